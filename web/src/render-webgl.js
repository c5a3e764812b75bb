// WebGL2 renderer: the fast path. One vertex buffer per frame holds two
// triangles per record; records in a row that use the same image go out in
// one draw call. The fragment shader samples and smooths edges the way the
// reference player's rasteriser does (records.js has the shared reading):
// texels are read bilinearly at pixel centres from premultiplied colours,
// never outside the source rectangle, and each edge fades over one screen
// pixel, which is why every quad reaches one pixel beyond its image.

import { placeRecord } from './records.js';

const VERTEX_SHADER = `#version 300 es
layout(location = 0) in vec2 aScreen;
layout(location = 1) in vec2 aLocal;
layout(location = 2) in vec4 aRect;
layout(location = 3) in vec3 aEdge;
uniform vec2 uSize;
out vec2 vLocal;
flat out vec4 vRect;
flat out vec3 vEdge;
void main() {
    vLocal = aLocal;
    vRect = aRect;
    vEdge = aEdge;
    gl_Position = vec4(aScreen.x / uSize.x * 2.0 - 1.0, 1.0 - aScreen.y / uSize.y * 2.0, 0.0, 1.0);
}`;

const FRAGMENT_SHADER = `#version 300 es
precision highp float;
precision highp int;
uniform highp sampler2D uImage;
in vec2 vLocal;
flat in vec4 vRect;
flat in vec3 vEdge;
out vec4 outColor;
vec4 texel(ivec2 at) {
    vec4 c = texelFetch(uImage, at, 0);
    return vec4(c.rgb * c.a, c.a);
}
void main() {
    float coverX = min(vLocal.x, vRect.z - vLocal.x) * vEdge.x + 0.5;
    float coverY = min(vLocal.y, vRect.w - vLocal.y) * vEdge.y + 0.5;
    if (coverX <= 0.0 || coverY <= 0.0) {
        discard;
    }
    float coverage = min(coverX, 1.0) * min(coverY, 1.0) * vEdge.z;
    ivec2 size = textureSize(uImage, 0);
    ivec2 lo = clamp(ivec2(floor(vRect.xy)), ivec2(0), size - 1);
    ivec2 hi = clamp(ivec2(ceil(vRect.xy + vRect.zw)) - 1, lo, size - 1);
    vec2 f = vRect.xy + clamp(vLocal, vec2(0.0), vRect.zw) - 0.5;
    vec2 fl = floor(f);
    vec2 w = f - fl;
    ivec2 i0 = clamp(ivec2(fl), lo, hi);
    ivec2 i1 = clamp(ivec2(fl) + 1, lo, hi);
    vec4 top = mix(texel(i0), texel(ivec2(i1.x, i0.y)), w.x);
    vec4 bottom = mix(texel(ivec2(i0.x, i1.y)), texel(i1), w.x);
    outColor = mix(top, bottom, w.y) * coverage;
}`;

const FLOATS_PER_VERTEX = 11;
const FLOATS_PER_RECORD = FLOATS_PER_VERTEX * 6;

export class WebGLRenderer {
    /** @param {HTMLCanvasElement} canvas */
    constructor(canvas) {
        this.canvas = canvas;
        const gl = canvas.getContext('webgl2', { premultipliedAlpha: true, antialias: false, preserveDrawingBuffer: true });
        if (!gl) {
            throw new Error('this browser gives no WebGL2 context');
        }
        this.gl = gl;
        this.program = linkProgram(gl, VERTEX_SHADER, FRAGMENT_SHADER);
        this.uSize = gl.getUniformLocation(this.program, 'uSize');
        this.uImage = gl.getUniformLocation(this.program, 'uImage');
        this.buffer = gl.createBuffer();
        this.vao = gl.createVertexArray();
        gl.bindVertexArray(this.vao);
        gl.bindBuffer(gl.ARRAY_BUFFER, this.buffer);
        const stride = FLOATS_PER_VERTEX * 4;
        const layout = [2, 2, 4, 3];
        let offset = 0;
        layout.forEach((size, location) => {
            gl.enableVertexAttribArray(location);
            gl.vertexAttribPointer(location, size, gl.FLOAT, false, stride, offset * 4);
            offset += size;
        });
        this.vertices = new Float32Array(FLOATS_PER_RECORD * 256);
        /** @type {WeakMap<object, WebGLTexture>} */
        this.glTextures = new WeakMap();
        /** @type {Map<string, number[]>} */
        this.colours = new Map();
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
        if (this.vertices.length < list.count * FLOATS_PER_RECORD) {
            this.vertices = new Float32Array(list.count * FLOATS_PER_RECORD * 2);
        }
        // Fill the buffer and note where each run of one image starts.
        const v = this.vertices;
        /** @type {{image: any, first: number, count: number}[]} */
        const runs = [];
        let n = 0;
        for (let i = 0; i < list.count; ++i) {
            const p = placeRecord(list, i, textures);
            if (!p) {
                continue;
            }
            const { px: x, py: y, sx, sy, image } = p;
            const edgeX = Math.abs(sx);
            const edgeY = Math.abs(sy);
            const mx = 1 / edgeX;
            const my = 1 / edgeY;
            const corners = [
                [-mx, -my],
                [p.w + mx, -my],
                [-mx, p.h + my],
                [p.w + mx, p.h + my],
            ];
            for (const c of [0, 1, 2, 2, 1, 3]) {
                const lx = corners[c][0];
                const ly = corners[c][1];
                const ox = (lx - p.pivotX) * sx;
                const oy = (ly - p.pivotY) * sy;
                v[n++] = x + p.cos * ox - p.sin * oy;
                v[n++] = y + p.sin * ox + p.cos * oy;
                v[n++] = lx;
                v[n++] = ly;
                v[n++] = p.x;
                v[n++] = p.y;
                v[n++] = p.w;
                v[n++] = p.h;
                v[n++] = edgeX;
                v[n++] = edgeY;
                v[n++] = p.alpha;
            }
            const last = runs[runs.length - 1];
            if (last && last.image === image) {
                last.count += 6;
            } else {
                runs.push({ image, first: n / FLOATS_PER_VERTEX - 6, count: 6 });
            }
        }
        if (n === 0) {
            return;
        }
        gl.useProgram(this.program);
        gl.uniform2f(this.uSize, width, height);
        gl.uniform1i(this.uImage, 0);
        gl.bindVertexArray(this.vao);
        gl.bindBuffer(gl.ARRAY_BUFFER, this.buffer);
        gl.bufferData(gl.ARRAY_BUFFER, v.subarray(0, n), gl.STREAM_DRAW);
        gl.enable(gl.BLEND);
        gl.blendFunc(gl.ONE, gl.ONE_MINUS_SRC_ALPHA);
        gl.activeTexture(gl.TEXTURE0);
        for (const run of runs) {
            gl.bindTexture(gl.TEXTURE_2D, this.textureFor(run.image));
            gl.drawArrays(gl.TRIANGLES, run.first, run.count);
        }
        gl.bindVertexArray(null);
    }
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
