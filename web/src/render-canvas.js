// Canvas 2D renderer: the reference picture on the web. Each sprite record
// becomes one drawImage under the transform the record describes (see
// records.js). Canvas 2D has no colour multiply per draw, so a tinted record
// draws from a tinted copy of its texture, made once per texture and tint.
// A mesh draws each triangle clipped to itself, under the affine transform
// that takes its texture coordinates to its corners, into a scratch canvas
// that then goes onto the picture with the record's alpha: the triangles add
// up there ("lighter"), so the coverage of two triangles along the edge they
// share sums to one and leaves no seam, and a translucent texel is not
// blended twice. Each blend mode is a composite operation (OPERATIONS): over
// an opaque picture they give the equations of include/kivanime.h; over
// transparent pixels a multiply part shows its own colour here (the player
// and WebGL2 show nothing there).

import { MESH_WORDS, WHITE, placeMesh, placeRecord } from './records.js';

// By blend mode (records.js BLEND): normal, additive, multiply, screen.
/** @type {readonly GlobalCompositeOperation[]} */
const OPERATIONS = ['source-over', 'lighter', 'multiply', 'screen'];

// Texels copied around a mesh's box of texels, the edge ones repeated: the
// player clamps what it reads to the box, and the copy's own edge then lies
// outside the triangles' smoothed edges (at scales above 1 / PAD).
const PAD = 4;
// Tinted copies kept per texture; the oldest goes first.
const COPIES_PER_TEXTURE = 32;

export class CanvasRenderer {
    /** @param {HTMLCanvasElement} canvas */
    constructor(canvas) {
        this.canvas = canvas;
        const ctx = canvas.getContext('2d');
        if (!ctx) {
            throw new Error('this browser gives no 2D canvas context');
        }
        this.ctx = ctx;
        // Drawing a canvas that was drawn on costs a copy of it: an
        // OffscreenCanvas's costs less (a third of a mesh's time, measured).
        this.scratch = typeof OffscreenCanvas === 'function' ? new OffscreenCanvas(1, 1) : document.createElement('canvas');
        this.scratchCtx = /** @type {CanvasRenderingContext2D|OffscreenCanvasRenderingContext2D} */ (this.scratch.getContext('2d'));
        /** @type {WeakMap<object, Map<string|number, HTMLCanvasElement>>} tinted copies by texture */
        this.copies = new WeakMap();
        /** @type {WeakMap<object, ImageData>} each texture's pixels, straight */
        this.pixels = new WeakMap();
        /** @type {WeakMap<HTMLCanvasElement, CanvasPattern>} */
        this.patterns = new WeakMap();
        this.matrix = new DOMMatrix();
    }

    /**
     * @param {import('./records.js').DrawList} list
     * @param {import('./kivanime.js').TextureStore} textures
     * @param {{background?: string|number[]|null}} [options]
     */
    render(list, textures, options = {}) {
        const ctx = this.ctx;
        const { width, height } = this.canvas;
        ctx.setTransform(1, 0, 0, 1, 0, 0);
        ctx.globalAlpha = 1;
        ctx.globalCompositeOperation = 'source-over';
        if (options.background) {
            const bg = options.background;
            ctx.fillStyle = Array.isArray(bg)
                ? `rgba(${bg[0] * 255}, ${bg[1] * 255}, ${bg[2] * 255}, ${bg[3] ?? 1})`
                : bg;
            ctx.fillRect(0, 0, width, height);
        } else {
            ctx.clearRect(0, 0, width, height);
        }
        ctx.imageSmoothingEnabled = true;
        ctx.imageSmoothingQuality = 'low'; // bilinear, as the player samples
        let m = 0;
        for (let i = 0; i < list.count; ++i) {
            if (m < list.meshCount && list.meshes[m * MESH_WORDS] === i) {
                const q = placeMesh(list, m++, textures);
                q && this.drawMesh(list, q);
                continue;
            }
            const p = placeRecord(list, i, textures);
            if (!p) {
                continue;
            }
            // Screen = translate(x, y) . rotate . scale, applied to the
            // image's pixels measured from the pivot.
            ctx.setTransform(p.cos * p.sx, p.sin * p.sx, -p.sin * p.sy, p.cos * p.sy, p.px, p.py);
            ctx.globalAlpha = p.alpha;
            ctx.globalCompositeOperation = OPERATIONS[p.mode];
            const source = p.tint === WHITE ? p.image.source : this.copy(p.image, p.tint, null);
            ctx.drawImage(source, p.x, p.y, p.w, p.h, -p.pivotX, -p.pivotY, p.w, p.h);
        }
        ctx.setTransform(1, 0, 0, 1, 0, 0);
        ctx.globalAlpha = 1;
        ctx.globalCompositeOperation = 'source-over';
    }

    /**
     * @param {import('./records.js').DrawList} list
     * @param {NonNullable<ReturnType<typeof placeMesh<import('./kivanime.js').TextureImage>>>} q
     */
    drawMesh(list, q) {
        const v = list.vertices;
        const idx = list.indices;
        // The pixels the mesh may touch, one more on each side for the smoothed edges.
        let x0 = Infinity;
        let y0 = Infinity;
        let x1 = -Infinity;
        let y1 = -Infinity;
        for (let k = q.first * 4; k < (q.first + q.count) * 4; k += 4) {
            if (Number.isFinite(v[k] + v[k + 1] + v[k + 2] + v[k + 3])) {
                x0 = Math.min(x0, v[k]);
                x1 = Math.max(x1, v[k]);
                y0 = Math.min(y0, v[k + 1]);
                y1 = Math.max(y1, v[k + 1]);
            }
        }
        x0 = Math.max(0, Math.floor(x0) - 1);
        y0 = Math.max(0, Math.floor(y0) - 1);
        x1 = Math.min(this.canvas.width, Math.ceil(x1) + 1);
        y1 = Math.min(this.canvas.height, Math.ceil(y1) + 1);
        if (!(x0 < x1 && y0 < y1)) {
            return;
        }
        const w = x1 - x0;
        const h = y1 - y0;
        const scratch = this.scratch;
        if (scratch.width < w || scratch.height < h) {
            scratch.width = Math.max(scratch.width, w);
            scratch.height = Math.max(scratch.height, h);
        }
        const s = this.scratchCtx;
        s.setTransform(1, 0, 0, 1, 0, 0);
        s.clearRect(0, 0, w, h);
        s.globalCompositeOperation = 'lighter';
        s.imageSmoothingEnabled = true;
        s.imageSmoothingQuality = 'low';
        const pattern = this.patternOf(this.copy(q.image, q.tint, q));
        const matrix = this.matrix;
        s.fillStyle = pattern;
        const texW = q.image.width;
        const texH = q.image.height;
        for (let t = q.firstIndex; t + 2 < q.firstIndex + q.indexCount; t += 3) {
            const a = (q.first + idx[t]) * 4;
            const b = (q.first + idx[t + 1]) * 4;
            const c = (q.first + idx[t + 2]) * 4;
            const ax = v[a] - x0;
            const ay = v[a + 1] - y0;
            const bx = v[b] - x0;
            const by = v[b + 1] - y0;
            const cx = v[c] - x0;
            const cy = v[c + 1] - y0;
            // The affine map from texels to the scratch canvas: it takes each
            // corner's texture coordinates to the corner.
            const au = v[a + 2] * texW;
            const av = v[a + 3] * texH;
            const u1 = v[b + 2] * texW - au;
            const v1 = v[b + 3] * texH - av;
            const u2 = v[c + 2] * texW - au;
            const v2 = v[c + 3] * texH - av;
            const det = u1 * v2 - u2 * v1;
            const area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
            if (!(Math.abs(area) > 1e-9) || !(Math.abs(det) > 1e-12) || !Number.isFinite(ax + ay + bx + by + cx + cy)) {
                continue; // no area on screen or in the texture, or not finite
            }
            const ma = ((bx - ax) * v2 - (cx - ax) * v1) / det;
            const mb = ((by - ay) * v2 - (cy - ay) * v1) / det;
            const mc = ((cx - ax) * u1 - (bx - ax) * u2) / det;
            const md = ((cy - ay) * u1 - (by - ay) * u2) / det;
            // The copy's first pixel is texel (minX - PAD, minY - PAD).
            const ox = q.minX - PAD - au;
            const oy = q.minY - PAD - av;
            matrix.a = ma;
            matrix.b = mb;
            matrix.c = mc;
            matrix.d = md;
            matrix.e = ax + ma * ox + mc * oy;
            matrix.f = ay + mb * ox + md * oy;
            pattern.setTransform(matrix);
            s.beginPath();
            s.moveTo(ax, ay);
            s.lineTo(bx, by);
            s.lineTo(cx, cy);
            s.fill();
        }
        const ctx = this.ctx;
        ctx.setTransform(1, 0, 0, 1, 0, 0);
        ctx.globalAlpha = q.alpha;
        ctx.globalCompositeOperation = OPERATIONS[q.mode];
        // Pixel for pixel: nothing to filter, and nothing read from beside the rectangle.
        ctx.imageSmoothingEnabled = false;
        ctx.drawImage(scratch, 0, 0, w, h, x0, y0, w, h);
        ctx.imageSmoothingEnabled = true;
    }

    /**
     * The texture with its colour multiplied by `tint` (bytes R, G, B, A in
     * memory order), straight. For a mesh (`box` given), only the texels of
     * its box with PAD more on each side, repeating the edge ones.
     * @param {import('./kivanime.js').TextureImage} image
     * @param {number} tint
     * @param {{minX: number, minY: number, maxX: number, maxY: number}|null} box
     * @returns {HTMLCanvasElement}
     */
    copy(image, tint, box) {
        let copies = this.copies.get(image);
        if (!copies) {
            copies = new Map();
            this.copies.set(image, copies);
        }
        const key = box ? `${tint} ${box.minX} ${box.minY} ${box.maxX} ${box.maxY}` : tint;
        let copy = copies.get(key);
        if (copy) {
            return copy;
        }
        if (copies.size >= COPIES_PER_TEXTURE) {
            copies.delete(copies.keys().next().value ?? '');
        }
        const from = this.pixelsOf(image);
        const [left, top, right, bottom] = box ? [box.minX - PAD, box.minY - PAD, box.maxX + PAD, box.maxY + PAD] : [0, 0, image.width - 1, image.height - 1];
        const [lowX, lowY, highX, highY] = box ? [box.minX, box.minY, box.maxX, box.maxY] : [left, top, right, bottom];
        const out = new ImageData(right - left + 1, bottom - top + 1);
        const factors = [tint & 255, (tint >>> 8) & 255, (tint >>> 16) & 255].map((b) => b / 255);
        let o = 0;
        for (let y = top; y <= bottom; ++y) {
            const row = Math.min(Math.max(y, lowY), highY) * from.width;
            for (let x = left; x <= right; ++x, o += 4) {
                const i = (row + Math.min(Math.max(x, lowX), highX)) * 4;
                // Rounded to the nearest level as they are stored.
                out.data[o] = from.data[i] * factors[0];
                out.data[o + 1] = from.data[i + 1] * factors[1];
                out.data[o + 2] = from.data[i + 2] * factors[2];
                out.data[o + 3] = from.data[i + 3];
            }
        }
        copy = document.createElement('canvas');
        copy.width = out.width;
        copy.height = out.height;
        /** @type {CanvasRenderingContext2D} */ (copy.getContext('2d')).putImageData(out, 0, 0);
        copies.set(key, copy);
        return copy;
    }

    /** @param {HTMLCanvasElement} copy @returns {CanvasPattern} */
    patternOf(copy) {
        let pattern = this.patterns.get(copy);
        if (!pattern) {
            pattern = /** @type {CanvasPattern} */ (this.scratchCtx.createPattern(copy, 'no-repeat'));
            this.patterns.set(copy, pattern);
        }
        return pattern;
    }

    /** @param {import('./kivanime.js').TextureImage} image @returns {ImageData} */
    pixelsOf(image) {
        let pixels = this.pixels.get(image);
        if (!pixels) {
            const canvas = document.createElement('canvas');
            canvas.width = image.width;
            canvas.height = image.height;
            const ctx = /** @type {CanvasRenderingContext2D} */ (canvas.getContext('2d', { willReadFrequently: true }));
            ctx.drawImage(image.source, 0, 0);
            pixels = ctx.getImageData(0, 0, image.width, image.height);
            this.pixels.set(image, pixels);
        }
        return pixels;
    }
}
