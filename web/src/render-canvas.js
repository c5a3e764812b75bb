// Canvas 2D renderer: the reference picture on the web. Each record becomes
// one drawImage under the transform the record describes (see records.js).

import { placeRecord } from './records.js';

export class CanvasRenderer {
    /** @param {HTMLCanvasElement} canvas */
    constructor(canvas) {
        this.canvas = canvas;
        const ctx = canvas.getContext('2d');
        if (!ctx) {
            throw new Error('this browser gives no 2D canvas context');
        }
        this.ctx = ctx;
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
        for (let i = 0; i < list.count; ++i) {
            const p = placeRecord(list, i, textures);
            if (!p) {
                continue;
            }
            // Screen = translate(x, y) . rotate . scale, applied to the
            // image's pixels measured from the pivot.
            ctx.setTransform(p.cos * p.sx, p.sin * p.sx, -p.sin * p.sy, p.cos * p.sy, p.px, p.py);
            ctx.globalAlpha = p.alpha;
            ctx.drawImage(p.image.source, p.x, p.y, p.w, p.h, -p.pivotX, -p.pivotY, p.w, p.h);
        }
        ctx.setTransform(1, 0, 0, 1, 0, 0);
        ctx.globalAlpha = 1;
    }
}
