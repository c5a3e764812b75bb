// The 64-byte draw record as JavaScript sees it, and the one reading of it
// that every renderer shares (the reference player's rasteriser reads it the
// same way):
//  - srcX, srcY, srcWidth, srcHeight are texture pixels; a width or height of
//    zero or less (or a non-finite value) means the whole texture.
//  - The pivot sits at (anchorX x width, anchorY x height) of that rectangle
//    and lands on (x, y). Around it the image is scaled by (scaleX, scaleY),
//    then rotated by `rotation` radians, +x turning toward +y, y pointing down.
//    A negative scale mirrors.
//  - The image is blended "over" what is below, its opacity times `alpha`
//    clamped to [0, 1] (NaN draws nothing). The reserved fields are not read.
//  - A record with a zero or non-finite scale, position, rotation or anchor
//    draws nothing.

/** Size of one record in bytes, and in 32-bit words. */
export const RECORD_BYTES = 64;
export const RECORD_WORDS = 16;

/** Word index of each field inside a record. */
export const FIELD = Object.freeze({
    texture: 0,
    x: 1,
    y: 2,
    reserved0: 3,
    reserved1: 4,
    rotation: 5,
    scaleX: 6,
    scaleY: 7,
    alpha: 8,
    reserved2: 9,
    anchorX: 10,
    anchorY: 11,
    srcX: 12,
    srcY: 13,
    srcWidth: 14,
    srcHeight: 15,
});

/**
 * @typedef {Object} DrawRecord
 * @property {number} texture
 * @property {number} x
 * @property {number} y
 * @property {number} reserved0
 * @property {number} reserved1
 * @property {number} rotation
 * @property {number} scaleX
 * @property {number} scaleY
 * @property {number} alpha
 * @property {number} reserved2
 * @property {number} anchorX
 * @property {number} anchorY
 * @property {number} srcX
 * @property {number} srcY
 * @property {number} srcWidth
 * @property {number} srcHeight
 */

/**
 * The records of one frame: `count` records of 16 words each, read through
 * `f32` (the float fields) and `i32` (the texture handle) over one buffer.
 */
export class DrawList {
    constructor() {
        /** @type {number} */
        this.count = 0;
        /** @type {Float32Array} */
        this.f32 = new Float32Array(0);
        /** @type {Int32Array} */
        this.i32 = new Int32Array(0);
    }

    /**
     * Copies `count` records from the module's memory at byte `offset`.
     * @param {ArrayBuffer} heap
     * @param {number} offset
     * @param {number} count
     */
    copyFrom(heap, offset, count) {
        const words = count * RECORD_WORDS;
        if (this.f32.length < words) {
            const buffer = new ArrayBuffer(Math.max(words, this.f32.length * 2) * 4);
            this.f32 = new Float32Array(buffer);
            this.i32 = new Int32Array(buffer);
        }
        if (words > 0) {
            this.i32.set(new Int32Array(heap, offset, words));
        }
        this.count = count;
    }

    /**
     * Record `i` as a plain object.
     * @param {number} i
     * @returns {DrawRecord}
     */
    record(i) {
        return readRecord(this.f32, this.i32, i * RECORD_WORDS);
    }
}

/**
 * @param {Float32Array} f32
 * @param {Int32Array} i32
 * @param {number} base word index of the record
 * @returns {DrawRecord}
 */
export function readRecord(f32, i32, base) {
    return {
        texture: i32[base],
        x: f32[base + 1],
        y: f32[base + 2],
        reserved0: f32[base + 3],
        reserved1: f32[base + 4],
        rotation: f32[base + 5],
        scaleX: f32[base + 6],
        scaleY: f32[base + 7],
        alpha: f32[base + 8],
        reserved2: i32[base + 9] >>> 0,
        anchorX: f32[base + 10],
        anchorY: f32[base + 11],
        srcX: f32[base + 12],
        srcY: f32[base + 13],
        srcWidth: f32[base + 14],
        srcHeight: f32[base + 15],
    };
}

/**
 * How record `i` places its image, or null when it draws nothing.
 * @param {DrawList} list
 * @param {number} i
 * @template {{width: number, height: number}} T
 * @param {{get(handle: number): (T|null)}} textures
 */
export function placeRecord(list, i, textures) {
    const { f32, i32 } = list;
    const base = i * RECORD_WORDS;
    const image = textures.get(i32[base]);
    const px = f32[base + 1];
    const py = f32[base + 2];
    const rotation = f32[base + 5];
    const sx = f32[base + 6];
    const sy = f32[base + 7];
    const ax = f32[base + 10];
    const ay = f32[base + 11];
    if (
        !image ||
        !Number.isFinite(px + py + rotation + sx + sy + ax + ay) ||
        sx === 0 ||
        sy === 0 ||
        image.width <= 0 ||
        image.height <= 0
    ) {
        return null;
    }
    const rawAlpha = f32[base + 8];
    const alpha = Number.isNaN(rawAlpha) ? 0 : Math.min(Math.max(rawAlpha, 0), 1);
    if (alpha <= 0) {
        return null;
    }
    let x = f32[base + 12];
    let y = f32[base + 13];
    let w = f32[base + 14];
    let h = f32[base + 15];
    if (!(w > 0) || !(h > 0) || !Number.isFinite(x + y + w + h)) {
        x = 0;
        y = 0;
        w = image.width;
        h = image.height;
    }
    return {
        image,
        px,
        py,
        sx,
        sy,
        x,
        y,
        w,
        h,
        pivotX: ax * w,
        pivotY: ay * h,
        cos: Math.cos(rotation),
        sin: Math.sin(rotation),
        alpha,
    };
}
