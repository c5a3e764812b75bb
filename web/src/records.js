// The 64-byte draw record as JavaScript sees it, and the one reading of it
// that every renderer shares (the reference player's rasteriser reads it the
// same way):
//  - srcX, srcY, srcWidth, srcHeight are texture pixels; a width or height of
//    zero or less (or a non-finite value) means the whole texture.
//  - The pivot sits at (anchorX x width, anchorY x height) of that rectangle
//    and lands on (x, y). Around it the image is scaled by (scaleX, scaleY),
//    then rotated by `rotation` radians, +x turning toward +y, y pointing down.
//    A negative scale mirrors.
//  - The image's colour is multiplied by the tint, straight (not
//    premultiplied) colour channel by channel: reserved2 holds it as bytes R,
//    G, B, A in memory order (A is not read; white, 0xFFFFFFFF, changes
//    nothing). It is blended "over" what is below, its opacity times `alpha`
//    clamped to [0, 1] (NaN draws nothing), in the blend mode of bits 0-1 of
//    `flags` (the equations are in include/kivanime.h). reserved1 is not read.
//  - A record with a zero or non-finite scale, position, rotation or anchor
//    draws nothing.
//  - A record with a mesh draws its texture on the mesh's triangles instead:
//    vertices [x, y, u, v] in drawing space and texture coordinates (0 to 1
//    over the whole texture), sampled only inside the box the vertices' u, v
//    span, with the record's tint and alpha. Edges two triangles share are
//    hard; the mesh's outline is smoothed over a pixel as a sprite's edges
//    are. A triangle list (indices 0, 1, 2, ..., each triangle on vertices of
//    its own, as a clipped part comes) shares the edges whose ends lie within
//    WELD of each other, and outline edges in one line fade a pixel once.

import { RECORDS } from './c-interface.js';

/**
 * A record's fields as a plain object, read at word `base` through `f32`
 * and `i32` (views of one buffer) at the offsets the C header gives them.
 * @param {{fields: {[name: string]: readonly [number, string]}}} layout
 * @param {Float32Array} f32 @param {Int32Array} i32 @param {number} base
 * @returns {any}
 */
export function readFields(layout, f32, i32, base) {
    /** @type {Record<string, number>} */
    const out = {};
    for (const [name, [offset, type]] of Object.entries(layout.fields)) {
        const at = base + offset / 4;
        out[name] = type === 'float' ? f32[at] : type === 'uint32_t' ? i32[at] >>> 0 : i32[at];
    }
    return out;
}

/** Size of one record in bytes, and in 32-bit words. */
export const RECORD_BYTES = RECORDS.AnimeDrawParams.bytes;
export const RECORD_WORDS = RECORD_BYTES / 4;

/**
 * Word index of each field inside a record.
 * @type {Readonly<Record<keyof DrawRecord, number>>}
 */
export const FIELD = Object.freeze(
    /** @type {any} */ (Object.fromEntries(Object.entries(RECORDS.AnimeDrawParams.fields).map(([name, [offset]]) => [name, offset / 4]))),
);

/** Words per mesh in DrawList.meshes, and the index of each. */
export const MESH_WORDS = 6;
export const MESH_FIELD = Object.freeze({
    record: 0,
    firstVertex: 1,
    vertexCount: 2,
    firstIndex: 3,
    indexCount: 4,
    // Where the library keeps the part's triangles: the same for every frame
    // and instance of the part, so what is worked out from them can be kept.
    topology: 5,
});

/** The tint of a record without one (reserved2 read as an unsigned number). */
export const WHITE = 0xffffffff;

/**
 * The blend modes, bits 0-1 of a record's flags (AnimeBlendMode), and the
 * mask that takes them out.
 */
export const BLEND = Object.freeze({ normal: 0, additive: 1, multiply: 2, screen: 3 });
export const BLEND_MASK = 3;

/**
 * Texels: a box edge this little past a texel boundary is rounding (texture
 * coordinates interpolated along a clipped part's side) and reads no texel
 * beyond it.
 */
export const BOX_SLACK = 1 / 1024;

/**
 * Pixels, along each axis: corners of a triangle list this close are one
 * (the clip works out a point where two pieces meet once for each piece, and
 * the results may differ in the last bits).
 */
export const WELD = 1 / 1024;

/** @typedef {import('./c-interface.js').AnimeDrawParams} DrawRecord */

/**
 * The records of one frame: `count` records of 16 words each, read through
 * `f32` (the float fields) and `i32` (the texture handle) over one buffer.
 * The records drawn as meshes are listed in `meshes` (`meshCount` entries of
 * MESH_WORDS, in drawing order) with their `vertices` (x, y, u, v each) and
 * `indices` (three per triangle, counted from the mesh's first vertex).
 */
export class DrawList {
    constructor() {
        /** @type {number} */
        this.count = 0;
        /** @type {Float32Array} */
        this.f32 = new Float32Array(0);
        /** @type {Int32Array} */
        this.i32 = new Int32Array(0);
        this.meshCount = 0;
        /** @type {Int32Array} */
        this.meshes = new Int32Array(0);
        /** @type {Float32Array} */
        this.vertices = new Float32Array(0);
        /** @type {Uint16Array} */
        this.indices = new Uint16Array(0);
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
        this.meshCount = 0;
    }

    /**
     * Copies the frame's meshes from the module's memory: `table` is the
     * byte address of the draw buffer's mesh table (KivanimeWeb_Meshes), six
     * words: the meshes, their count, the vertices, their count, the
     * indices, their count.
     * @param {ArrayBuffer} heap
     * @param {number} table
     */
    copyMeshesFrom(heap, table) {
        const [meshes, meshCount, vertices, vertexCount, indices, indexCount] = new Uint32Array(heap, table, 6);
        this.meshes = fill(this.meshes, new Int32Array(heap, meshes, meshCount * MESH_WORDS));
        this.vertices = fill(this.vertices, new Float32Array(heap, vertices, vertexCount * 4));
        this.indices = fill(this.indices, new Uint16Array(heap, indices, indexCount));
        this.meshCount = meshCount;
    }

    /**
     * The mesh record `i` is drawn with: its vertices (x, y, u, v each) and
     * indices, as views valid until the next copy; null for a sprite.
     * @param {number} i
     * @returns {{vertices: Float32Array, indices: Uint16Array}|null}
     */
    mesh(i) {
        // Binary search: meshes are in drawing order.
        let lo = 0;
        let hi = this.meshCount;
        while (lo < hi) {
            const mid = (lo + hi) >> 1;
            if (this.meshes[mid * MESH_WORDS] < i) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        const at = lo * MESH_WORDS;
        if (lo === this.meshCount || this.meshes[at] !== i) {
            return null;
        }
        const m = this.meshes;
        const v = m[at + MESH_FIELD.firstVertex] * 4;
        return {
            vertices: this.vertices.subarray(v, v + m[at + MESH_FIELD.vertexCount] * 4),
            indices: this.indices.subarray(m[at + MESH_FIELD.firstIndex], m[at + MESH_FIELD.firstIndex] + m[at + MESH_FIELD.indexCount]),
        };
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
 * Copies `from` into `into`, or into a new array twice as long when it does
 * not fit: steady frames allocate nothing.
 * @template {Int32Array|Float32Array|Uint16Array} T
 * @param {T} into
 * @param {T} from
 * @returns {T}
 */
function fill(into, from) {
    if (into.length < from.length) {
        into = /** @type {T} */ (new /** @type {any} */ (into.constructor)(Math.max(from.length, into.length * 2)));
    }
    into.set(/** @type {any} */ (from));
    return into;
}

/**
 * @param {Float32Array} f32
 * @param {Int32Array} i32
 * @param {number} base word index of the record
 * @returns {DrawRecord}
 */
export function readRecord(f32, i32, base) {
    return readFields(RECORDS.AnimeDrawParams, f32, i32, base);
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
    const image = textures.get(i32[base + FIELD.texture]);
    const px = f32[base + FIELD.x];
    const py = f32[base + FIELD.y];
    const rotation = f32[base + FIELD.rotation];
    const sx = f32[base + FIELD.scaleX];
    const sy = f32[base + FIELD.scaleY];
    const ax = f32[base + FIELD.anchorX];
    const ay = f32[base + FIELD.anchorY];
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
    const alpha = alphaOf(f32[base + FIELD.alpha]);
    if (alpha <= 0) {
        return null;
    }
    let x = f32[base + FIELD.srcX];
    let y = f32[base + FIELD.srcY];
    let w = f32[base + FIELD.srcWidth];
    let h = f32[base + FIELD.srcHeight];
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
        tint: i32[base + FIELD.reserved2] >>> 0,
        mode: i32[base + FIELD.flags] & BLEND_MASK,
    };
}

/** @param {number} alpha the record's @returns {number} in [0, 1], NaN as 0 */
function alphaOf(alpha) {
    return Number.isNaN(alpha) ? 0 : Math.min(Math.max(alpha, 0), 1);
}

/**
 * How mesh `m` of the list is drawn, or null when it draws nothing: its
 * image, alpha and tint from the record, where its vertices and indices are
 * in the list, and the box of texels it reads (u0..u1, v0..v1, spanned by
 * the finite vertices' texture coordinates, and the texel indices it may
 * read, minX..maxX, minY..maxY).
 * @param {DrawList} list
 * @param {number} m
 * @template {{width: number, height: number}} T
 * @param {{get(handle: number): (T|null)}} textures
 */
export function placeMesh(list, m, textures) {
    const at = m * MESH_WORDS;
    const meshes = list.meshes;
    const base = meshes[at] * RECORD_WORDS;
    const image = textures.get(list.i32[base + FIELD.texture]);
    const alpha = alphaOf(list.f32[base + FIELD.alpha]);
    const first = meshes[at + MESH_FIELD.firstVertex];
    const count = meshes[at + MESH_FIELD.vertexCount];
    const indexCount = meshes[at + MESH_FIELD.indexCount];
    if (!image || image.width <= 0 || image.height <= 0 || alpha <= 0 || count < 3 || indexCount < 3) {
        return null;
    }
    const v = list.vertices;
    let u0 = Infinity;
    let v0 = Infinity;
    let u1 = -Infinity;
    let v1 = -Infinity;
    for (let k = first * 4; k < (first + count) * 4; k += 4) {
        if (Number.isFinite(v[k] + v[k + 1] + v[k + 2] + v[k + 3])) {
            // Single precision, as the player works them out.
            const u = Math.fround(v[k + 2] * image.width);
            const w = Math.fround(v[k + 3] * image.height);
            u0 = Math.min(u0, u);
            u1 = Math.max(u1, u);
            v0 = Math.min(v0, w);
            v1 = Math.max(v1, w);
        }
    }
    if (!(u0 <= u1) || !(v0 <= v1)) {
        return null;
    }
    const minX = clamp(Math.floor(u0 + BOX_SLACK), 0, image.width - 1);
    const minY = clamp(Math.floor(v0 + BOX_SLACK), 0, image.height - 1);
    return {
        image,
        alpha,
        tint: list.i32[base + FIELD.reserved2] >>> 0,
        mode: list.i32[base + FIELD.flags] & BLEND_MASK,
        first,
        count,
        firstIndex: meshes[at + MESH_FIELD.firstIndex],
        indexCount,
        topology: meshes[at + MESH_FIELD.topology],
        u0,
        v0,
        u1,
        v1,
        minX,
        minY,
        maxX: clamp(Math.ceil(u1 - BOX_SLACK) - 1, minX, image.width - 1),
        maxY: clamp(Math.ceil(v1 - BOX_SLACK) - 1, minY, image.height - 1),
    };
}

/** @param {number} v @param {number} lo @param {number} hi */
function clamp(v, lo, hi) {
    return Math.min(Math.max(v, lo), hi);
}
