// WebGL2 renderer: the fast path. One vertex buffer per frame holds every
// record: four corners and two triangles per sprite, each triangle of a mesh
// on its own three corners; records in a row that use the same image go out
// in one draw call, meshes among sprites. The fragment shader samples and
// smooths edges the way the reference player's rasteriser does (records.js
// has the shared reading): texels are read bilinearly at pixel centres from
// premultiplied colours, never outside the source rectangle (a mesh: the box
// its texture coordinates span), and each outer edge fades over one screen
// pixel, which is why every sprite reaches one pixel beyond its image and a
// mesh's triangles one pixel beyond its outline. The colour is multiplied by
// the record's tint, a vertex colour. The shader writes premultiplied colour,
// so each blend mode is one pair of blend functions (blendFunctions); a run
// of records ends where the mode changes too.

import { BLEND, BOX_SLACK, MESH_FIELD, MESH_WORDS, WELD, placeMesh, placeRecord } from './records.js';

const VERTEX_SHADER = `#version 300 es
layout(location = 0) in vec2 aScreen;
layout(location = 1) in vec2 aTexel;
layout(location = 2) in vec4 aBox;
layout(location = 3) in vec4 aPairs;
layout(location = 4) in vec4 aEdges;
layout(location = 5) in float aAlpha;
layout(location = 6) in vec4 aTint;
uniform vec2 uSize;
out vec2 vTexel;
out vec4 vPairs;
out vec4 vEdges;
flat out vec4 vBox;
flat out float vAlpha;
flat out vec3 vTint;
void main() {
    vTexel = aTexel;
    vPairs = aPairs;
    vEdges = aEdges;
    vBox = aBox;
    vAlpha = aAlpha;
    vTint = aTint.rgb;
    gl_Position = vec4(aScreen.x / uSize.x * 2.0 - 1.0, 1.0 - aScreen.y / uSize.y * 2.0, 0.0, 1.0);
}`;

// Coverage, from distances in screen pixels (positive inside) to the edges
// that fade: a sprite's two pairs of opposite edges (the nearer of each pair
// counts, as in the player), a mesh's outline edges one by one.
const FRAGMENT_SHADER = `#version 300 es
precision highp float;
precision highp int;
uniform highp sampler2D uImage;
in vec2 vTexel;
in vec4 vPairs;
in vec4 vEdges;
flat in vec4 vBox;
flat in float vAlpha;
flat in vec3 vTint;
out vec4 outColor;
vec4 texel(ivec2 at) {
    vec4 c = texelFetch(uImage, at, 0);
    return vec4(c.rgb * c.a, c.a);
}
void main() {
    vec2 pairs = min(vPairs.xz, vPairs.yw) + 0.5;
    vec4 edges = vEdges + 0.5;
    if (min(pairs.x, pairs.y) <= 0.0 || min(min(edges.x, edges.y), min(edges.z, edges.w)) <= 0.0) {
        discard;
    }
    vec2 p = min(pairs, 1.0);
    vec4 e = min(edges, 1.0);
    float coverage = p.x * p.y * e.x * e.y * e.z * e.w * vAlpha;
    ivec2 size = textureSize(uImage, 0);
    ivec2 lo = clamp(ivec2(floor(vBox.xy)), ivec2(0), size - 1);
    ivec2 hi = clamp(ivec2(ceil(vBox.zw)) - 1, lo, size - 1);
    vec2 f = clamp(vTexel, vBox.xy, vBox.zw) - 0.5;
    vec2 fl = floor(f);
    vec2 w = f - fl;
    ivec2 i0 = clamp(ivec2(fl), lo, hi);
    ivec2 i1 = clamp(ivec2(fl) + 1, lo, hi);
    vec4 top = mix(texel(i0), texel(ivec2(i1.x, i0.y)), w.x);
    vec4 bottom = mix(texel(ivec2(i0.x, i1.y)), texel(i1), w.x);
    vec4 c = mix(top, bottom, w.y);
    // Premultiplied, so tinting the colour is tinting the straight colour.
    outColor = vec4(c.rgb * vTint, c.a) * coverage;
}`;

// Per vertex: screen x, y; texel x, y; the box of texels (x0, y0, x1, y1);
// two pairs of edge distances; four edge distances; alpha; the tint as four
// bytes (the record's reserved2 as it is).
const WORDS_PER_VERTEX = 18;
const TINT_WORD = 17;
// An edge that does not fade: its distance never brings coverage below 1.
const FAR = 1e6;
// How far a mesh's triangles reach beyond its outline, in pixels: the fade
// covers half a pixel; the rest is margin.
const REACH = 1;
// The outline edges that fade one triangle, at most (the player has no limit;
// a triangle whose three corners lie on the outline has six).
const MAX_EDGES = 6;

export class WebGLRenderer {
    /** @param {HTMLCanvasElement} canvas */
    constructor(canvas) {
        this.canvas = canvas;
        const gl = canvas.getContext('webgl2', { premultipliedAlpha: true, antialias: false, preserveDrawingBuffer: true });
        if (!gl) {
            throw new Error('this browser gives no WebGL2 context');
        }
        this.gl = gl;
        // Source and destination factors of each blend mode (records.js
        // BLEND) on premultiplied colour: normal dst(1 - a) + src a, additive
        // dst + src a, multiply dst(1 - a) + dst src a, screen
        // dst + src a (1 - dst).
        this.blendFunctions = [
            [gl.ONE, gl.ONE_MINUS_SRC_ALPHA],
            [gl.ONE, gl.ONE],
            [gl.DST_COLOR, gl.ONE_MINUS_SRC_ALPHA],
            [gl.ONE_MINUS_DST_COLOR, gl.ONE],
        ];
        this.program = linkProgram(gl, VERTEX_SHADER, FRAGMENT_SHADER);
        this.uSize = gl.getUniformLocation(this.program, 'uSize');
        this.uImage = gl.getUniformLocation(this.program, 'uImage');
        this.buffer = gl.createBuffer();
        this.indexBuffer = gl.createBuffer();
        this.vao = gl.createVertexArray();
        gl.bindVertexArray(this.vao);
        gl.bindBuffer(gl.ARRAY_BUFFER, this.buffer);
        gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, this.indexBuffer);
        const stride = WORDS_PER_VERTEX * 4;
        const layout = [2, 2, 4, 4, 4, 1];
        let offset = 0;
        layout.forEach((size, location) => {
            gl.enableVertexAttribArray(location);
            gl.vertexAttribPointer(location, size, gl.FLOAT, false, stride, offset * 4);
            offset += size;
        });
        gl.enableVertexAttribArray(layout.length);
        gl.vertexAttribPointer(layout.length, 4, gl.UNSIGNED_BYTE, true, stride, TINT_WORD * 4);
        gl.bindVertexArray(null);
        this.f32 = new Float32Array(0);
        this.u32 = new Uint32Array(0);
        this.index = new Uint32Array(0);
        this.grow(1024, 1536);
        // Scratch for one vertex: its box, edge distances and texel.
        this.box = new Float32Array(4);
        this.distances = new Float32Array(8);
        // Scratch for one triangle: its corners, where their strips end, its
        // texel planes, and its edges (outward normal x, y, and reach).
        this.corners = new Float64Array(6);
        this.moved = new Float64Array(6);
        this.plane = new Float64Array(6);
        this.normals = new Float64Array(9);
        this.edgeCount = 0;
        this.n = 0;
        this.ni = 0;
        /** Outline lines of the mesh being drawn: nx, ny, c per edge. */
        this.lines = new Float32Array(0);
        /** The fading edges of one triangle: nx, ny, c each. */
        this.edges = new Float32Array(MAX_EDGES * 3);
        /** @type {WeakMap<object, WebGLTexture>} */
        this.glTextures = new WeakMap();
        /** @type {Map<string, number[]>} */
        this.colours = new Map();
    }

    /** Room for `vertices` vertices and `indices` indices. @param {number} vertices @param {number} indices */
    grow(vertices, indices) {
        const data = new ArrayBuffer(vertices * WORDS_PER_VERTEX * 4);
        const f32 = new Float32Array(data);
        const u32 = new Uint32Array(data);
        const index = new Uint32Array(indices);
        f32.set(this.f32);
        index.set(this.index);
        this.f32 = f32;
        this.u32 = u32;
        this.index = index;
    }

    /**
     * Frees everything this renderer made on the GPU, textures included, by
     * giving up the canvas's WebGL context: the canvas is not drawn on again.
     */
    dispose() {
        this.gl.getExtension('WEBGL_lose_context')?.loseContext();
    }

    /** @param {import('./kivanime.js').TextureImage} image */
    textureFor(image) {
        let texture = this.glTextures.get(image);
        if (!texture) {
            const gl = this.gl;
            texture = /** @type {WebGLTexture} */ (gl.createTexture());
            gl.bindTexture(gl.TEXTURE_2D, texture);
            gl.pixelStorei(gl.UNPACK_PREMULTIPLY_ALPHA_WEBGL, false);
            gl.pixelStorei(gl.UNPACK_COLORSPACE_CONVERSION_WEBGL, gl.NONE);
            gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA8, gl.RGBA, gl.UNSIGNED_BYTE,
                /** @type {TexImageSource} */ (image.source));
            gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
            gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
            this.glTextures.set(image, texture);
        }
        return texture;
    }

    /** @param {string} css @returns {number[]} premultiplied RGBA */
    colour(css) {
        let rgba = this.colours.get(css);
        if (!rgba) {
            const probe = document.createElement('canvas').getContext('2d', { willReadFrequently: true });
            if (!probe) {
                return [0, 0, 0, 0];
            }
            probe.fillStyle = css;
            probe.fillRect(0, 0, 1, 1);
            const d = probe.getImageData(0, 0, 1, 1).data;
            const a = d[3] / 255;
            rgba = [(d[0] / 255) * a, (d[1] / 255) * a, (d[2] / 255) * a, a];
            this.colours.set(css, rgba);
        }
        return rgba;
    }

    /**
     * @param {import('./records.js').DrawList} list
     * @param {import('./kivanime.js').TextureStore} textures
     * @param {{background?: string|number[]|null}} [options]
     */
    render(list, textures, options = {}) {
        const gl = this.gl;
        const { width, height } = this.canvas;
        gl.viewport(0, 0, width, height);
        const bg = options.background;
        const [r, g, b, a] = Array.isArray(bg)
            ? [bg[0] * (bg[3] ?? 1), bg[1] * (bg[3] ?? 1), bg[2] * (bg[3] ?? 1), bg[3] ?? 1]
            : bg
              ? this.colour(bg)
              : [0, 0, 0, 0];
        gl.clearColor(r, g, b, a);
        gl.clear(gl.COLOR_BUFFER_BIT);
        // Fill the buffers and note where each run of one image and blend mode starts.
        /** @type {{image: any, mode: number, first: number, count: number}[]} */
        const runs = [];
        this.n = 0;
        this.ni = 0;
        let m = 0;
        for (let i = 0; i < list.count; ++i) {
            const before = this.ni;
            let image;
            let mode = /** @type {number} */ (BLEND.normal);
            if (m < list.meshCount && list.meshes[m * MESH_WORDS] === i) {
                const q = placeMesh(list, m, textures);
                q && this.mesh(list, m, q);
                image = q?.image;
                mode = q?.mode ?? mode;
                ++m;
            } else {
                const p = placeRecord(list, i, textures);
                p && this.sprite(p);
                image = p?.image;
                mode = p?.mode ?? mode;
            }
            if (this.ni === before) {
                continue;
            }
            const last = runs[runs.length - 1];
            if (last && last.image === image && last.mode === mode) {
                last.count += this.ni - before;
            } else {
                runs.push({ image, mode, first: before, count: this.ni - before });
            }
        }
        const n = this.n;
        if (n === 0) {
            return;
        }
        gl.useProgram(this.program);
        gl.uniform2f(this.uSize, width, height);
        gl.uniform1i(this.uImage, 0);
        gl.bindVertexArray(this.vao);
        gl.bindBuffer(gl.ARRAY_BUFFER, this.buffer);
        gl.bufferData(gl.ARRAY_BUFFER, this.f32.subarray(0, n * WORDS_PER_VERTEX), gl.STREAM_DRAW);
        gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, this.index.subarray(0, this.ni), gl.STREAM_DRAW);
        gl.enable(gl.BLEND);
        gl.activeTexture(gl.TEXTURE0);
        let mode = -1;
        for (const run of runs) {
            if (run.mode !== mode) {
                mode = run.mode;
                const [source, destination] = this.blendFunctions[mode];
                gl.blendFunc(source, destination);
            }
            gl.bindTexture(gl.TEXTURE_2D, this.textureFor(run.image));
            gl.drawElements(gl.TRIANGLES, run.count, gl.UNSIGNED_INT, run.first * 4);
        }
        gl.bindVertexArray(null);
    }

    /** Makes room for `vertices` and `indices` more. @param {number} vertices @param {number} indices */
    reserve(vertices, indices) {
        if ((this.n + vertices) * WORDS_PER_VERTEX > this.f32.length || this.ni + indices > this.index.length) {
            this.grow((this.n + vertices) * 2, (this.ni + indices) * 2);
        }
    }

    /**
     * One vertex at (x, y) on the screen and (tx, ty) in the texture.
     * @param {number} x @param {number} y @param {number} tx @param {number} ty
     * @param {ArrayLike<number>} box x0, y0, x1, y1
     * @param {ArrayLike<number>} distances two pairs, then four single edges
     * @param {number} alpha @param {number} tint
     */
    vertex(x, y, tx, ty, box, distances, alpha, tint) {
        const f = this.f32;
        let k = this.n++ * WORDS_PER_VERTEX;
        f[k++] = x;
        f[k++] = y;
        f[k++] = tx;
        f[k++] = ty;
        for (let j = 0; j < 4; ++j) {
            f[k++] = box[j];
        }
        for (let j = 0; j < 8; ++j) {
            f[k++] = distances[j];
        }
        f[k++] = alpha;
        this.u32[k] = tint;
    }

    /** A sprite: its quad, one pixel wider on each side for the fade. @param {NonNullable<ReturnType<typeof placeRecord>>} p */
    sprite(p) {
        this.reserve(4, 6);
        const { px: x, py: y, sx, sy, cos, sin } = p;
        const edgeX = Math.abs(sx);
        const edgeY = Math.abs(sy);
        const box = this.box;
        box[0] = p.x;
        box[1] = p.y;
        box[2] = p.x + p.w;
        box[3] = p.y + p.h;
        const d = this.distances.fill(FAR);
        const first = this.n;
        for (let c = 0; c < 4; ++c) {
            const lx = c & 1 ? p.w + 1 / edgeX : -1 / edgeX;
            const ly = c & 2 ? p.h + 1 / edgeY : -1 / edgeY;
            const ox = (lx - p.pivotX) * sx;
            const oy = (ly - p.pivotY) * sy;
            d[0] = lx * edgeX;
            d[1] = (p.w - lx) * edgeX;
            d[2] = ly * edgeY;
            d[3] = (p.h - ly) * edgeY;
            this.vertex(x + cos * ox - sin * oy, y + sin * ox + cos * oy, p.x + lx, p.y + ly, box, d, p.alpha, p.tint);
        }
        const index = this.index;
        index[this.ni++] = first;
        index[this.ni++] = first + 1;
        index[this.ni++] = first + 2;
        index[this.ni++] = first + 2;
        index[this.ni++] = first + 1;
        index[this.ni++] = first + 3;
    }

    /**
     * A mesh: each triangle on its own three corners, as the library gives
     * them (so two triangles meet exactly and the GPU draws each pixel inside
     * once), and beyond each of its outline edges a strip REACH pixels wide
     * for the fade, whose far corners slide along the triangle's other edges
     * (so the strips of one corner meet). Every outline edge that meets a
     * corner fades the triangle when the triangle lies on its inner side, as
     * in the player.
     * @param {import('./records.js').DrawList} list @param {number} m
     * @param {NonNullable<ReturnType<typeof placeMesh<import('./kivanime.js').TextureImage>>>} q
     */
    mesh(list, m, q) {
        const outline = meshOutline(list, m);
        const v = list.vertices.subarray(q.first * 4, (q.first + q.count) * 4);
        // Corners are the triangles' own vertices; the outline's lines join
        // the vertices each stands for (see MeshOutline).
        const own = list.indices.subarray(q.firstIndex, q.firstIndex + q.indexCount);
        const idx = outline.indices;
        if (this.lines.length < outline.triangles * 9) {
            this.lines = new Float32Array(outline.triangles * 9);
        }
        const lines = this.lines;
        for (let e = 0; e < outline.triangles * 3; ++e) {
            if (!outline.shared[e]) {
                const t = e - (e % 3);
                edgeLine(v, idx[e], idx[t + ((e % 3) + 1) % 3], idx[t + ((e % 3) + 2) % 3], lines, e * 3);
            }
        }
        this.reserve(outline.triangles * 15, outline.triangles * 21);
        // Brought in by BOX_SLACK so that the shader's texels are placeMesh's.
        const box = this.box;
        const slackU = q.u1 - q.u0 > 2 * BOX_SLACK ? BOX_SLACK : 0;
        const slackV = q.v1 - q.v0 > 2 * BOX_SLACK ? BOX_SLACK : 0;
        box[0] = q.u0 + slackU;
        box[1] = q.v0 + slackV;
        box[2] = q.u1 - slackU;
        box[3] = q.v1 - slackV;
        const { edges, normals, plane, moved } = this;
        const corners = this.corners;
        for (let t = 0; t < outline.triangles; ++t) {
            let finite = true;
            for (let k = 0; k < 3; ++k) {
                const at = own[t * 3 + k] * 4;
                corners[k * 2] = v[at];
                corners[k * 2 + 1] = v[at + 1];
                // Texel coordinates, in double precision as the player's planes.
                plane[k] = v[at + 2] * q.image.width;
                plane[k + 3] = v[at + 3] * q.image.height;
                finite = finite && Number.isFinite(v[at] + v[at + 1] + v[at + 2] + v[at + 3]);
            }
            const [ax, ay] = corners;
            const bx = corners[2] - ax;
            const by = corners[3] - ay;
            const cx = corners[4] - ax;
            const cy = corners[5] - ay;
            const det = bx * cy - by * cx;
            const flat = idx[t * 3] === idx[t * 3 + 1] || idx[t * 3 + 1] === idx[t * 3 + 2] || idx[t * 3] === idx[t * 3 + 2];
            if (!finite || flat || !(Math.abs(det) > 1e-9)) {
                continue; // not finite, two corners in one place, or no area
            }
            // Texel coordinates as planes over the screen: value at a, then
            // the change per pixel in x and in y.
            for (let axis = 0; axis < 6; axis += 3) {
                const t1 = plane[axis + 1] - plane[axis];
                const t2 = plane[axis + 2] - plane[axis];
                plane[axis + 1] = (t1 * cy - t2 * by) / det;
                plane[axis + 2] = (t2 * bx - t1 * cx) / det;
            }
            // The outline edges that fade this triangle, each line once.
            let count = 0;
            for (let j = outline.nearStart[t]; j < outline.nearStart[t + 1] && count < MAX_EDGES; ++j) {
                const l = outline.near[j] * 3;
                let inside = !Number.isNaN(lines[l]);
                for (let k = 0; k < 6 && inside; k += 2) {
                    inside = lines[l] * corners[k] + lines[l + 1] * corners[k + 1] + lines[l + 2] >= -1e-3;
                }
                // Lines met before (a straight side split in two counts once).
                for (let o = 0; o < count * 3 && inside; o += 3) {
                    inside = !(edges[o] * lines[l] + edges[o + 1] * lines[l + 1] > 0.99999 && Math.abs(edges[o + 2] - lines[l + 2]) < 0.01);
                }
                if (inside) {
                    edges[count * 3] = lines[l];
                    edges[count * 3 + 1] = lines[l + 1];
                    edges[count * 3 + 2] = lines[l + 2];
                    ++count;
                }
            }
            this.edgeCount = count;
            // Each edge's outward normal, and how far its strip reaches.
            for (let k = 0; k < 3; ++k) {
                const p = k * 2;
                const r = ((k + 1) % 3) * 2;
                const o = ((k + 2) % 3) * 2;
                const ex = corners[r] - corners[p];
                const ey = corners[r + 1] - corners[p + 1];
                const length = Math.hypot(ex, ey);
                const side = (corners[o] - corners[p]) * -ey + (corners[o + 1] - corners[p + 1]) * ex > 0 ? -1 : 1;
                normals[k * 3] = (-ey / length) * side;
                normals[k * 3 + 1] = (ex / length) * side;
                normals[k * 3 + 2] = !outline.shared[t * 3 + k] && !Number.isNaN(lines[(t * 3 + k) * 3]) ? REACH : 0;
            }
            // Where each corner's strips end: where the lines of its two
            // edges, each moved out by its reach, cross (at most 4 * REACH
            // away, for sharp corners).
            for (let k = 0; k < 3; ++k) {
                const i = ((k + 2) % 3) * 3;
                const j = k * 3;
                const cross = normals[i] * normals[j + 1] - normals[i + 1] * normals[j];
                let dx = (normals[i + 2] * normals[j + 1] - normals[j + 2] * normals[i + 1]) / cross;
                let dy = (normals[i] * normals[j + 2] - normals[j] * normals[i + 2]) / cross;
                const far = Math.hypot(dx, dy);
                if (far > 4 * REACH) {
                    dx *= (4 * REACH) / far;
                    dy *= (4 * REACH) / far;
                }
                moved[k * 2] = corners[k * 2] + dx;
                moved[k * 2 + 1] = corners[k * 2 + 1] + dy;
            }
            const first = this.n;
            const index = this.index;
            for (let k = 0; k < 3; ++k) {
                this.meshVertex(corners[k * 2], corners[k * 2 + 1], ax, ay, q);
                index[this.ni++] = first + k;
            }
            for (let k = 0; k < 3; ++k) {
                if (normals[k * 3 + 2] === 0) {
                    continue;
                }
                const r = (k + 1) % 3;
                const strip = this.n;
                this.meshVertex(moved[k * 2], moved[k * 2 + 1], ax, ay, q);
                this.meshVertex(moved[r * 2], moved[r * 2 + 1], ax, ay, q);
                index[this.ni++] = first + k;
                index[this.ni++] = first + r;
                index[this.ni++] = strip;
                index[this.ni++] = strip;
                index[this.ni++] = first + r;
                index[this.ni++] = strip + 1;
            }
        }
    }

    /**
     * A vertex of the triangle being drawn (this.plane, this.edges).
     * @param {number} x @param {number} y @param {number} ax @param {number} ay its first corner
     * @param {{alpha: number, tint: number}} q
     */
    meshVertex(x, y, ax, ay, q) {
        const { plane, edges, distances } = this;
        distances.fill(FAR);
        for (let e = 0; e < this.edgeCount; ++e) {
            distances[e < 2 ? e * 2 : e + 2] = edges[e * 3] * x + edges[e * 3 + 1] * y + edges[e * 3 + 2];
        }
        const tx = plane[0] + plane[1] * (x - ax) + plane[2] * (y - ay);
        const ty = plane[3] + plane[4] * (x - ax) + plane[5] * (y - ay);
        this.vertex(x, y, tx, ty, this.box, distances, q.alpha, q.tint);
    }
}

/**
 * What a mesh's triangles say about its outline, worked out once per part:
 * `shared[t * 3 + k]` is 1 when edge k of triangle t (from its corner k to
 * corner k + 1) belongs to another triangle too, which makes it a hard edge;
 * the other edges are the outline. `near` lists, for each triangle t, the
 * outline edges (as t' * 3 + k') that meet one of its corners, its own among
 * them: near[nearStart[t]] up to near[nearStart[t + 1]]. A triangle list
 * (indices 0, 1, 2, ..., as a clipped part comes) says nothing by its
 * indices about which edges triangles share: there each vertex stands for the
 * first vertex within WELD of it (`indices`), a triangle with two corners in
 * one place has no edges, and the outline is worked out every frame.
 * @typedef {Object} MeshOutline
 * @property {Uint16Array} indices the triangles it was worked out from, each
 *   vertex as the one it stands for
 * @property {number} triangles
 * @property {Uint8Array} shared
 * @property {Int32Array} near
 * @property {Int32Array} nearStart
 */

/** @type {Map<number, MeshOutline>} by MESH_FIELD.topology */
const outlines = new Map();

/**
 * The outline of mesh `m` of the list (see MeshOutline), kept per part.
 * @param {import('./records.js').DrawList} list
 * @param {number} m
 * @returns {MeshOutline}
 */
function meshOutline(list, m) {
    const at = m * MESH_WORDS;
    const first = list.meshes[at + MESH_FIELD.firstIndex];
    const indices = list.indices.subarray(first, first + list.meshes[at + MESH_FIELD.indexCount]);
    const count = list.meshes[at + MESH_FIELD.vertexCount];
    let triangleList = indices.length === count;
    for (let i = 0; i < indices.length && triangleList; ++i) {
        triangleList = indices[i] === i;
    }
    if (triangleList) {
        const first = list.meshes[at + MESH_FIELD.firstVertex];
        return findOutline(cornerIds(list.vertices.subarray(first * 4, (first + count) * 4), count));
    }
    const key = list.meshes[at + MESH_FIELD.topology];
    const kept = outlines.get(key);
    // A model loaded again may put other triangles where these were.
    if (kept && kept.indices.length === indices.length) {
        let i = 0;
        while (i < indices.length && kept.indices[i] === indices[i]) {
            ++i;
        }
        if (i === indices.length) {
            return kept;
        }
    }
    if (outlines.size >= 256) {
        outlines.clear();
    }
    const outline = findOutline(indices);
    outlines.set(key, outline);
    return outline;
}

/**
 * Each vertex of a triangle list (x, y, u, v each) as the first vertex within
 * WELD of it, by place.
 * @param {Float32Array} vertices @param {number} count @returns {Uint16Array}
 */
function cornerIds(vertices, count) {
    const ids = new Uint16Array(count);
    /** @type {number[]} */
    const order = [];
    for (let k = 0; k < count; ++k) {
        ids[k] = k;
        if (Number.isFinite(vertices[k * 4] + vertices[k * 4 + 1])) {
            order.push(k);
        }
    }
    order.sort((a, b) => vertices[a * 4] - vertices[b * 4] || a - b);
    for (let i = 0; i < order.length; ++i) {
        const a = order[i];
        for (let j = i + 1; j < order.length && vertices[order[j] * 4] - vertices[a * 4] <= WELD; ++j) {
            const b = order[j];
            if (ids[b] === b && ids[a] === a && Math.abs(vertices[b * 4 + 1] - vertices[a * 4 + 1]) <= WELD) {
                ids[b] = a;
            }
        }
    }
    return ids;
}

/** @param {Uint16Array} indices @returns {MeshOutline} */
function findOutline(indices) {
    const triangles = Math.floor(indices.length / 3);
    const corner = (/** @type {number} */ e) => indices[e - (e % 3) + ((e % 3) + 1) % 3];
    const keyOf = (/** @type {number} */ e) => Math.min(indices[e], corner(e)) * 65536 + Math.max(indices[e], corner(e));
    const flat = (/** @type {number} */ t) => indices[t * 3] === indices[t * 3 + 1] || indices[t * 3 + 1] === indices[t * 3 + 2] || indices[t * 3] === indices[t * 3 + 2];
    const edges = Array.from({ length: triangles * 3 }, (_, e) => e)
        .filter((e) => !flat(Math.floor(e / 3)))
        .sort((x, y) => keyOf(x) - keyOf(y) || x - y);
    const shared = new Uint8Array(triangles * 3);
    /** @type {Map<number, number[]>} outline edges by the vertices they join */
    const atVertex = new Map();
    for (let i = 0; i < edges.length; ) {
        let j = i + 1;
        while (j < edges.length && keyOf(edges[j]) === keyOf(edges[i])) {
            ++j;
        }
        for (let k = i; k < j; ++k) {
            shared[edges[k]] = j - i > 1 ? 1 : 0;
        }
        if (j - i === 1) {
            for (const v of [indices[edges[i]], corner(edges[i])]) {
                atVertex.set(v, [...(atVertex.get(v) ?? []), edges[i]]);
            }
        }
        i = j;
    }
    /** @type {number[]} */
    const near = [];
    const nearStart = new Int32Array(triangles + 1);
    for (let t = 0; t < triangles; ++t) {
        nearStart[t] = near.length;
        const listed = new Set();
        for (let k = 0; k < 3; ++k) {
            for (const e of atVertex.get(indices[t * 3 + k]) ?? []) {
                if (!listed.has(e)) {
                    listed.add(e);
                    near.push(e);
                }
            }
        }
    }
    nearStart[triangles] = near.length;
    return { indices: indices.slice(), triangles, shared, near: Int32Array.from(near), nearStart };
}

/**
 * The line through vertices a and b of a mesh (x, y at vertices[4 * i]) as a
 * signed distance in pixels, nx * x + ny * y + c, positive on the side of
 * vertex `inside`; written to out[at..at + 2] in single precision, or NaNs
 * when a and b coincide or `inside` lies on the line.
 * @param {Float32Array} vertices
 * @param {number} a
 * @param {number} b
 * @param {number} inside
 * @param {Float32Array} out
 * @param {number} at
 */
function edgeLine(vertices, a, b, inside, out, at) {
    const ax = vertices[a * 4];
    const ay = vertices[a * 4 + 1];
    const dx = vertices[b * 4] - ax;
    const dy = vertices[b * 4 + 1] - ay;
    const length = Math.sqrt(dx * dx + dy * dy);
    const nx = -dy / length;
    const ny = dx / length;
    const c = -(nx * ax + ny * ay);
    const side = nx * vertices[inside * 4] + ny * vertices[inside * 4 + 1] + c;
    if (!(length > 0) || !(side !== 0)) {
        out[at] = out[at + 1] = out[at + 2] = NaN;
        return;
    }
    const sign = side < 0 ? -1 : 1;
    out[at] = nx * sign;
    out[at + 1] = ny * sign;
    out[at + 2] = c * sign;
}

/**
 * @param {WebGL2RenderingContext} gl
 * @param {string} vertexSource
 * @param {string} fragmentSource
 */
function linkProgram(gl, vertexSource, fragmentSource) {
    const program = /** @type {WebGLProgram} */ (gl.createProgram());
    for (const [type, source] of [
        [gl.VERTEX_SHADER, vertexSource],
        [gl.FRAGMENT_SHADER, fragmentSource],
    ]) {
        const shader = /** @type {WebGLShader} */ (gl.createShader(/** @type {number} */ (type)));
        gl.shaderSource(shader, /** @type {string} */ (source));
        gl.compileShader(shader);
        if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) {
            throw new Error('WebGL shader: ' + gl.getShaderInfoLog(shader));
        }
        gl.attachShader(program, shader);
    }
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS)) {
        throw new Error('WebGL program: ' + gl.getProgramInfoLog(program));
    }
    return program;
}
