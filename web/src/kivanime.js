// kivanime for the web: the library compiled to WebAssembly, its C interface
// mirrored one to one, and what a page needs around it: puppets loaded from
// URLs or dropped files with their textures decoded up front, instances,
// frames drawn by a renderer, and a loop on requestAnimationFrame.
//
//   import { loadRuntime, CanvasRenderer } from './kivanime.js';
//   const kv = await loadRuntime();
//   const hero = await kv.loadPuppet('hero', 'hero/model.json');
//   hero.createInstance({ x: 256, y: 490 }).play('idle');
//   kv.startLoop(new CanvasRenderer(canvas));
//
// Changes to this surface are listed here:
//  - first version.
//  - CInterface also answers to the names without the prefix in
//    lowerCamelCase (createInstance, playMotion, ..., update, render).
//  - loadPuppet takes a Map<relative path, File|Blob|Uint8Array|string> too;
//    it rejects with "cannot load the texture '<path>': <why>" when a texture
//    the model names is missing or not an image. Puppet.motions and
//    Puppet.expressions list the names.
//  - Runtime.render returns the frame's DrawList (list.record(i).x ...);
//    renderers take `background` as a CSS colour or [r, g, b, a] in 0..1.
//  - lint.js: lintFiles(files) takes a Map<path, File|Uint8Array|string> too;
//    `lint` is the same function.
//  - The built folder has files.json in examples/hero (every file, relative).
//  - docs/web.md now holds web-core's sections around web-viewer's ("The
//    viewer", "Comparing with the native player"): please edit in place.
//  - The C mirror (Runtime.api) covers every function, from one table
//    (C_FUNCTIONS); Anime_Init takes a JsHost, a table's address or null.
//    Instance.overlay(motion, speed, weight) takes the C order. Failed loads
//    and instance creations throw KivanimeError with the library's reason.
//    New: Runtime.dispose(), version, lastError, instanceCount,
//    hasInstances, setGlobalWind, destroyAllInstances, unloadAll;
//    Instance.collect() and partTransform(part); WebGLRenderer.dispose().
//  - The built folder is the npm package "kivanime" (package.json at the
//    library's version, type declarations made from this JSDoc).
//  - Motion control, events, parts driven from code, skins, tints, meshes:
//    Instance.crossFade, queue, fadeOverlay, setPartOffset,
//    clearPartOffsets, setPartTexture, setSkin, setTint, setPartTint,
//    partMesh; Runtime.update returns the events (also Runtime.events);
//    Runtime.setMeshFunction; Puppet.skins. The mirror's new kinds: z (a
//    string or null), e (an AnimeEvent object filled in), x (vertices filled
//    in), m (a mesh function).
//  - KivanimeError.code, Runtime.lastErrorCode and the ErrorCode constants
//    (the header's AnimeErrorCode): a page can branch on why a call failed.
//  - C_FUNCTIONS, the record layouts (RECORDS) and the enums AnimeEventKind
//    and AnimeEventSource come from src/c-interface.js, which the build makes
//    from the C header. Strings returned are of kind z (null for NULL), so
//    the mirror's Anime_GetLastError says string|null.

import { AnimeErrorCode, AnimeEventKind, AnimeEventSource, C_FUNCTIONS, RECORDS } from './c-interface.js';
import { DrawList, readFields, readRecord } from './records.js';

export { AnimeEventKind, AnimeEventSource, C_FUNCTIONS, RECORDS } from './c-interface.js';

export { DrawList, FIELD, MESH_FIELD, MESH_WORDS, RECORD_BYTES, RECORD_WORDS, WHITE, readRecord, placeRecord, placeMesh } from './records.js';
export { CanvasRenderer } from './render-canvas.js';
export { WebGLRenderer } from './render-webgl.js';

/**
 * A decoded image behind a texture handle.
 * @typedef {Object} TextureImage
 * @property {CanvasImageSource} source what drawImage and texImage2D take
 * @property {number} width
 * @property {number} height
 * @property {string} path the path the library asked for
 */

/**
 * What a renderer implements: draw one frame's records, back to front.
 * @typedef {Object} Renderer
 * @property {(list: DrawList, textures: TextureStore,
 *             options?: {background?: string|number[]|null}) => void} render
 * @property {HTMLCanvasElement} canvas
 */

/**
 * Host functions for the C mirror's Anime_Init, as in the C interface: any
 * may be missing. `draw` receives each record as a plain object.
 * @typedef {Object} JsHost
 * @property {(path: string) => number} [loadTexture]
 * @property {(texture: number) => void} [releaseTexture]
 * @property {(record: import('./records.js').DrawRecord) => void} [draw]
 */

const HOST_TABLE_BYTES = 16; // four 32-bit function pointers
/** The blend modes by number (records.js BLEND). @type {readonly ('normal'|'additive'|'multiply'|'screen')[]} */
const BLEND_NAMES = ['normal', 'additive', 'multiply', 'screen'];

/** Handles and their images. Handle numbers are never reused. */
export class TextureStore {
    constructor() {
        /** @type {Map<string, TextureImage>} decoded images by normalised path */
        this.images = new Map();
        /** @type {(TextureImage|null)[]} */
        this.handles = [];
        this.loads = 0;
        this.releases = 0;
    }

    /** @param {string} path */
    static key(path) {
        return path.replace(/\\/g, '/').replace(/\/\.\//g, '/');
    }

    /** @param {string} path @param {TextureImage} image */
    add(path, image) {
        this.images.set(TextureStore.key(path), image);
    }

    /** @param {string} path @returns {number} */
    open(path) {
        const image = this.images.get(TextureStore.key(path));
        if (!image) {
            return -1;
        }
        this.handles.push(image);
        ++this.loads;
        return this.handles.length - 1;
    }

    /** @param {number} handle */
    close(handle) {
        if (handle >= 0 && handle < this.handles.length && this.handles[handle]) {
            this.handles[handle] = null;
            ++this.releases;
        }
    }

    /** @param {number} handle @returns {TextureImage|null} */
    get(handle) {
        return (handle >= 0 && this.handles[handle]) || null;
    }
}

/**
 * What Anime_GetEvent writes: the C struct AnimeEvent, field for field.
 * @typedef {import('./c-interface.js').AnimeEvent} AnimeEvent
 */

/**
 * A mesh function for Anime_SetMeshCallback: the part's record, its vertices
 * in drawing space (x, y, u, v each) and its triangles' indices, both views
 * of the module's memory that hold only during the call.
 * @typedef {(record: import('./records.js').DrawRecord, vertices: Float32Array, indices: Uint16Array) => void} MeshFunction
 */

/*
 * C_FUNCTIONS (c-interface.js, made from the header by the build) gives every
 * function of the C interface with the kinds of its result and of its
 * parameters, in the C order. Results: v nothing, i a number, u an id
 * (unsigned), z a string or null for NULL.
 * Parameters: u an id, i an integer, f a number, s a string (UTF-8; null
 * passes NULL), b bytes (a Uint8Array, or a string as UTF-8; null passes
 * NULL) followed by their length n, h a host table (a JsHost, the address of
 * a table in the module's memory, or null), m a mesh function (a
 * MeshFunction, the address of one in the module's table, or null), a an
 * array of six numbers and e an AnimeEvent object the function fills in
 * when it succeeds, x an array of numbers the function fills with up to
 * as many vertices (four numbers each) as the integer after it says and as
 * it returns, o a number the function writes: a function with such outputs
 * returns them as an array instead. An array, object or function given for
 * a, e, x or m may be null, which passes NULL.
 */

/**
 * @typedef {{u: number, i: number, f: number, s: string|null, b: Uint8Array|string|null, n: number,
 *            h: JsHost|number|null, a: Float32Array|number[]|null, e: Partial<AnimeEvent>|null,
 *            x: Float32Array|number[]|null, m: MeshFunction|number|null}} ParameterKinds
 * @typedef {{v: void, i: number, u: number, z: string|null}} ResultKinds
 * @typedef {typeof C_FUNCTIONS} CFunctions
 */
/**
 * The JavaScript parameters of a signature's parameter kinds.
 * @template {string} P
 * @typedef {P extends `o${infer Rest}` ? CParameters<Rest>
 *     : P extends `${infer K extends keyof ParameterKinds}${infer Rest}` ? [ParameterKinds[K], ...CParameters<Rest>] : []} CParameters
 */
/**
 * The JavaScript function of a signature.
 * @template {string} S
 * @typedef {S extends `${infer R extends keyof ResultKinds}:${infer P}`
 *     ? (...args: CParameters<P>) => P extends `${string}o${string}` ? number[] : ResultKinds[R] : never} CFunction
 */
/**
 * The C interface: every function under its own name and under the name
 * without the prefix in lowerCamelCase (playMotion, update, ...).
 * @typedef {CMirror & {[K in keyof CFunctions]: CFunction<CFunctions[K]>}
 *     & {[K in keyof CFunctions as K extends `Anime_${infer N}` ? Uncapitalize<N> : never]: CFunction<CFunctions[K]>}} CInterface
 */

const encoder = new TextEncoder();

/** What the C interface's JavaScript side holds in the module. */
export class CMirror {
    /** @param {any} module the Emscripten module */
    constructor(module) {
        this.m = module;
        this.scratch = 0;
        this.scratchSize = 0;
        this.out = /** @type {number} */ (module._malloc(32)); // where the outputs are written
        /** @type {number[]} JavaScript host and mesh functions in the module's table */
        this.functions = [];
        for (const [name, signature] of Object.entries(C_FUNCTIONS)) {
            const call = this.bind(module['_' + name], signature);
            /** @type {any} */ (this)[name] = /** @type {any} */ (this)[name[6].toLowerCase() + name.slice(7)] = call;
        }
    }

    /**
     * The JavaScript function for one C function.
     * @param {(...args: number[]) => number} fn @param {string} signature
     */
    bind(fn, signature) {
        const [result, kinds] = signature.split(':');
        // Numbers in, a number out: the module's own function will do.
        if (/^[uif]*$/.test(kinds) && (result === 'v' || result === 'i')) {
            return fn;
        }
        const outs = kinds.split('o').length - 1;
        const filled = kinds.search(/[aex]/);
        return (/** @type {any[]} */ ...args) => {
            const m = this.m;
            const converted = this.convert(kinds, args);
            const r = fn(...converted);
            if (outs) {
                const at = this.out >> 2;
                return Array.from(m.HEAPF32.subarray(at, at + outs));
            }
            if (filled >= 0 && args[filled] && r > 0) {
                const count = kinds[filled] === 'x' ? 4 * Math.min(r, args[filled + 1]) : 6;
                this.fill(kinds[filled], args[filled], converted[filled] >> 2, count);
            }
            if (result === 'z') {
                return r ? m.UTF8ToString(r) : null;
            }
            return result === 'u' ? r >>> 0 : r;
        };
    }

    /**
     * Copies what a function wrote at word `at` into the caller's object
     * (an event, e) or array (its first `count` numbers).
     * @param {string} kind @param {any} target @param {number} at @param {number} count
     */
    fill(kind, target, at, count) {
        const { HEAPF32: f32, HEAP32: i32 } = this.m;
        if (kind === 'e') {
            Object.assign(target, readFields(RECORDS.AnimeEvent, f32, i32, at));
            return;
        }
        for (let i = 0; i < count; ++i) {
            target[i] = f32[at + i];
        }
    }

    /**
     * Converts arguments to what the C function takes: strings, bytes and
     * host tables go into scratch memory (the library copies them).
     * @param {string} kinds @param {any[]} args @returns {number[]}
     */
    convert(kinds, args) {
        const m = this.m;
        let next = 0;
        // Strings go over as UTF-8 with their NUL, bytes as they are.
        const given = Array.from(kinds, (kind) => {
            const v = kind === 'o' ? null : args[next++];
            return (kind === 's' || kind === 'b') && typeof v === 'string' ? encoder.encode(kind === 's' ? v + '\0' : v) : v;
        });
        // The room each argument takes in scratch memory, in whole words so
        // that every argument starts aligned.
        const room = (/** @type {any} */ v, /** @type {number} */ i) =>
            kinds[i] === 'h' ? (v && typeof v === 'object' ? HOST_TABLE_BYTES : 0)
            : kinds[i] === 'x' ? (v ? 16 * Math.max(0, given[i + 1] | 0) : 0)
            : 'sb'.includes(kinds[i]) && v ? v.length : 0;
        const size = (/** @type {any} */ v, /** @type {number} */ i) => (room(v, i) + 3) & ~3;
        const need = given.reduce((sum, v, i) => sum + size(v, i), 0);
        if (need > this.scratchSize) {
            m._free(this.scratch);
            this.scratchSize = Math.max(need, 256) * 2;
            this.scratch = m._malloc(this.scratchSize);
        }
        let at = this.scratch;
        let outs = 0;
        return given.map((v, i) => {
            const kind = kinds[i];
            const start = at;
            at += size(v, i);
            // NULL bytes are refused before any is read.
            if (kind === 'n' && given[i - 1] && v > given[i - 1].length) {
                throw new RangeError(`length ${v} is more than the ${given[i - 1].length} bytes given`);
            } else if (kind === 'x' && v && given[i + 1] > v.length / 4) {
                throw new RangeError(`room for ${given[i + 1]} vertices is more than the ${v.length} numbers given`);
            } else if ('oae'.includes(kind)) {
                return kind !== 'o' && v == null ? 0 : this.out + 4 * outs++;
            } else if (kind === 'x') {
                return v ? start : 0;
            } else if (kind === 'm') {
                return typeof v === 'function' ? this.meshFunction(v) : v ?? 0;
            } else if ((kind === 's' || kind === 'b') && v) {
                m.HEAPU8.set(v, start);
                return start;
            } else if (kind === 's' || kind === 'b') {
                return 0;
            } else if (kind === 'h') {
                return v && typeof v === 'object' ? this.hostTable(v, start) : v ?? 0;
            }
            return v;
        });
    }

    /**
     * Strings in scratch memory for a function of the module's own: their
     * addresses (0 for null), valid until the next call through the mirror.
     * @param {...(string|null)} values
     */
    strings(...values) {
        return this.convert('s'.repeat(values.length), values);
    }

    /**
     * Writes a host table of JavaScript functions at `table`. The library
     * copies the table, but instances keep calling its functions, so those
     * stay in the module until dispose().
     * @param {JsHost} host @param {number} table @returns {number}
     */
    hostTable(host, table) {
        const m = this.m;
        const { loadTexture, releaseTexture, draw } = host;
        const add = this.addFunction.bind(this);
        m.HEAP32.set(
            [
                loadTexture ? add((/** @type {number} */ p) => loadTexture(m.UTF16ToString(p)) | 0, 'ii') : 0,
                releaseTexture ? add((/** @type {number} */ h) => void releaseTexture(h), 'vi') : 0,
                0,
                draw ? add((/** @type {number} */ p) => draw(readRecord(m.HEAPF32, m.HEAP32, p >> 2)), 'vi') : 0,
            ],
            table >> 2,
        );
        return table;
    }

    /**
     * Places a mesh function in the module's table, where it stays until
     * dispose(): instances keep calling it.
     * @param {MeshFunction} drawMesh @returns {number}
     */
    meshFunction(drawMesh) {
        const m = this.m;
        const mesh = (/** @type {number[]} */ ...[p, vertices, count, indices, indexCount]) =>
            drawMesh(readRecord(m.HEAPF32, m.HEAP32, p >> 2), m.HEAPF32.subarray(vertices >> 2, (vertices >> 2) + 4 * count),
                m.HEAPU16.subarray(indices >> 1, (indices >> 1) + indexCount));
        return this.addFunction(mesh, 'viiiii');
    }

    /** @param {Function} fn @param {string} signature @returns {number} */
    addFunction(fn, signature) {
        const f = this.m.addFunction(fn, signature);
        this.functions.push(f);
        return f;
    }

    /** Frees the memory and functions above; the library must no longer hold a table of them. */
    dispose() {
        const m = this.m;
        this.functions.forEach((f) => m.removeFunction(f));
        m._free(this.scratch);
        m._free(this.out);
        this.functions = [];
        this.scratch = this.scratchSize = this.out = 0;
    }
}

/**
 * Loads the WebAssembly module and sets the library up with the runtime's own
 * host: textures come from the images decoded by loadPuppet, draws go into a
 * frame buffer that renderers read.
 * @param {{moduleUrl?: string|URL}} [options]
 * @returns {Promise<Runtime>}
 */
export async function loadRuntime(options = {}) {
    const url = options.moduleUrl ?? new URL('../wasm/kivanime.js', import.meta.url);
    const { default: create } = await import(String(url));
    const module = await create();
    return new Runtime(module);
}

/**
 * What the motions announced in an update (Runtime.update).
 * @typedef {Object} KivanimeEvent
 * @property {number} instance the instance's id
 * @property {'event'|'lap'|'end'} kind an event of the motion file, a completed lap of a looping motion, the end of a motion
 * @property {'main'|'overlay'} source
 * @property {string} motion
 * @property {string} name the event's name ("" for laps and ends)
 * @property {string} string the event's "string"
 * @property {number} intValue the event's "int"; for a lap, the laps completed in the update
 * @property {number} floatValue the event's "float"
 * @property {number} time ms in the motion; for a lap the duration, for an end the clock where it ended
 * @property {number} lateMs how long before the end of the update it happened
 */

/** @type {Record<number, KivanimeEvent['kind']>} */
const EVENT_KINDS = { [AnimeEventKind.Event]: 'event', [AnimeEventKind.Lap]: 'lap', [AnimeEventKind.Finished]: 'end' };
/** @type {KivanimeEvent[]} */
const NO_EVENTS = [];

/**
 * The kinds of failure, named as AnimeErrorCode in kivanime.h names them
 * (ANIME_ERROR_INVALID_JSON is INVALID_JSON): the generated enum's members
 * spelled as in C. KivanimeError.code and Runtime.lastErrorCode hold one.
 * The numbers never change.
 * @type {Readonly<Record<string, number>>}
 */
export const ErrorCode = Object.freeze(Object.fromEntries(Object.entries(AnimeErrorCode)
    .map(([name, value]) => [name.replace(/(?<=.)(?=[A-Z])/g, '_').toUpperCase(), value])));

/** A call the library refused; the message is its reason (Anime_GetLastError), `code` its ErrorCode. */
export class KivanimeError extends Error {
    name = 'KivanimeError';

    /** @param {string} message @param {number} code */
    constructor(message, code) {
        super(message);
        /** Which kind of failure (ErrorCode), to branch on. */
        this.code = code;
    }
}

/** One library instance and everything loaded into it; dispose() gives it all back. */
export class Runtime {
    /** @param {any} module */
    constructor(module) {
        this.module = module;
        this.api = /** @type {CInterface} */ (new CMirror(module));
        this.textures = new TextureStore();
        /** @type {Map<string, Puppet>} */
        this.puppets = new Map();
        this.list = new DrawList();
        // The runtime's host: textures from the decoded images, draws into
        // the module's frame buffer.
        this.hostTable = /** @type {number} */ (module._malloc(HOST_TABLE_BYTES));
        const host = {
            loadTexture: (/** @type {string} */ path) => this.textures.open(path),
            releaseTexture: (/** @type {number} */ handle) => this.textures.close(handle),
        };
        this.api.hostTable(host, this.hostTable);
        module.HEAP32[(this.hostTable >> 2) + 3] = module._KivanimeWeb_CollectingDraw();
        // Its mesh function (instances take it when they are created, so it
        // is set before any) puts meshes into the same buffer. It goes with
        // the host: a host put in through the C mirror sees what a C host
        // that set no mesh function sees, unless it sets one itself.
        const api = /** @type {any} */ (this.api);
        const { Anime_Init: init, Anime_SetMeshCallback: setMesh } = api;
        this.ownMesh = false;
        api.Anime_Init = api.init = (/** @type {JsHost|number|null} */ table) => {
            if (this.ownMesh) {
                module._KivanimeWeb_CollectMeshes(0);
                this.ownMesh = false;
            }
            init(table);
        };
        api.Anime_SetMeshCallback = api.setMeshCallback = (/** @type {any[]} */ ...args) => {
            this.ownMesh = false;
            return setMesh(...args);
        };
        /** @type {Loop|null} */
        this.loop = null;
        /** What the motions announced in the last update. */
        this.events = NO_EVENTS;
        this.useOwnHost();
    }

    /** Puts the runtime's host back (after the C mirror's Anime_Init was used). */
    useOwnHost() {
        this.api.Anime_Init(this.hostTable);
        this.module._KivanimeWeb_CollectMeshes(1);
        this.ownMesh = true;
    }

    /** The library's version: major * 10000 + minor * 100 + patch. */
    get version() {
        return this.api.Anime_GetVersion();
    }

    /** Why the library's last call failed; "" after one that succeeded. */
    get lastError() {
        return this.api.Anime_GetLastError() ?? '';
    }

    /** Which kind of failure the library's last call had (ErrorCode); NONE after one that succeeded. */
    get lastErrorCode() {
        return this.api.Anime_GetLastErrorCode();
    }

    /** The number of live instances, of every puppet. */
    get instanceCount() {
        return this.api.Anime_GetInstanceCount();
    }

    get hasInstances() {
        return this.api.Anime_HasInstances() === 1;
    }

    /** Wind on every instance, added to each one's own. @param {number} x @param {number} y */
    setGlobalWind(x, y) {
        this.api.Anime_SetGlobalWind(x, y);
    }

    /**
     * Instances created afterwards hand each part with a drawable mesh to `drawMesh` instead of the frame's
     * buffer (null: to the runtime's own function again, which puts meshes into the frame's buffer for the
     * renderers). The function stays in the module until dispose().
     * @param {MeshFunction|null} drawMesh
     */
    setMeshFunction(drawMesh) {
        if (drawMesh) {
            this.api.Anime_SetMeshCallback(drawMesh);
        } else {
            this.module._KivanimeWeb_CollectMeshes(1);
            this.ownMesh = true;
        }
    }

    /** Destroys every instance; the puppets stay loaded. */
    destroyAllInstances() {
        this.api.Anime_DestroyAllInstances();
        this.puppets.forEach((puppet) => puppet.forgetInstances());
    }

    /** Destroys every instance and drops every puppet with its images. */
    unloadAll() {
        [...this.puppets.keys()].forEach((name) => this.unloadPuppet(name));
        this.api.Anime_UnloadAll();
    }

    /**
     * Gives back everything the runtime holds: its instances (and their
     * textures), the decoded images, and the memory and functions it placed
     * in the module. The runtime cannot be used afterwards.
     */
    dispose() {
        this.loop?.stop();
        this.puppets.forEach((puppet) => puppet.forgetInstances());
        this.puppets.clear();
        this.api.Anime_Shutdown();
        this.api.Anime_Init(null);
        this.api.Anime_SetMeshCallback(null);
        this.api.dispose();
        this.module._free(this.hostTable);
        this.hostTable = 0;
        for (const image of this.textures.images.values()) {
            if (image.source instanceof ImageBitmap) {
                image.source.close();
            }
        }
        this.textures.images.clear();
    }

    /**
     * Writes a file into the module's file system, creating its folders.
     * @param {string} path absolute
     * @param {string|Uint8Array} data
     */
    writeFile(path, data) {
        const FS = this.module.FS;
        const parts = path.split('/').filter(Boolean);
        let dir = '';
        for (const part of parts.slice(0, -1)) {
            dir += '/' + part;
            if (!FS.analyzePath(dir).exists) {
                FS.mkdir(dir);
            }
        }
        FS.writeFile(path, data);
    }

    /**
     * Loads a puppet under `name`: from the URL of its model file (motion and
     * expression files listed or named), or from dropped files (the model
     * file, `motions/*.json` and `expressions/*.json` beside it and the
     * textures it names). Every texture is decoded before this resolves.
     * Loading a name again replaces the puppet (its instances are destroyed).
     * @param {string} name
     * @param {string|URL|PuppetUrls|Array<File|{path: string, file: Blob}>|FileList|
 *         Map<string, Blob|Uint8Array|string>} source
     * @returns {Promise<Puppet>}
     */
    async loadPuppet(name, source) {
        if (source instanceof Map) {
            source = Array.from(source, ([path, data]) => ({
                path,
                file: data instanceof Blob ? data : new Blob([/** @type {BlobPart} */ (data)]),
            }));
        }
        const files =
            Array.isArray(source) || (typeof FileList !== 'undefined' && source instanceof FileList)
                ? await collectDroppedFiles(/** @type {any} */ (source), (data) => this.readFile(data))
                : await fetchPuppetFiles(
                      /** @type {PuppetUrls} */ (
                          typeof source === 'object' && !(source instanceof URL) ? source : { model: source }
                      ),
                  );
        return this.loadPuppetFiles(name, files);
    }

    /**
     * Loads a puppet from files already in memory. The library reads every
     * file, repairing what its reader repairs; a file it refuses rejects with
     * its reason (file, line and column).
     * @param {string} name
     * @param {PuppetFiles} files
     * @returns {Promise<Puppet>}
     */
    async loadPuppetFiles(name, files) {
        const root = `/puppets/${encodeURIComponent(name)}/`;
        const decoded = await Promise.all(
            [...new Set(this.readFile(files.model.data).textures ?? [])]
                .map(async (p) => {
                    const blob = await files.texture(p);
                    if (!blob) {
                        throw new Error(`cannot load the texture '${p}': no such file`);
                    }
                    const image = await decodeImage(blob, root + p);
                    if (!image) {
                        throw new Error(`cannot load the texture '${p}': not an image this browser reads`);
                    }
                    return /** @type {[string, TextureImage]} */ ([p, image]);
                }),
        );
        this.unloadPuppet(name);
        for (const [path, image] of decoded) {
            this.textures.add(root + path, image);
        }
        /** @type {Array<['Anime_LoadModel'|'Anime_LoadMotion'|'Anime_LoadExpression', {path: string, data: Uint8Array}[]]>} */
        const loads = [
            ['Anime_LoadModel', [files.model]],
            ['Anime_LoadMotion', files.motions],
            ['Anime_LoadExpression', files.expressions],
        ];
        for (const [load, list] of loads) {
            for (const file of list) {
                this.writeFile(root + file.path, file.data);
                if (!this.api[load](name, root + file.path)) {
                    // The library names the file as written here; the page names it as given.
                    const error = new KivanimeError(this.lastError.replaceAll(root, ''), this.lastErrorCode);
                    this.api.Anime_UnloadModel(name);
                    throw error;
                }
            }
        }
        const puppet = new Puppet(this, name, root, this.describeModel(name));
        this.puppets.set(name, puppet);
        return puppet;
    }

    /**
     * What the library reads a file as, with its own lenient reader:
     * `{kind: 'model', ...}` with what it holds (as describeModel), `{kind:
     * 'motion' | 'expression', name}`, `{kind: 'scene', model}` (a scene
     * script, scene.js) or `{kind: 'none'}` (not a JSON object).
     * @param {Uint8Array} data
     * @returns {FileDescription}
     */
    readFile(data) {
        const m = this.module;
        const at = m._malloc(data.length + 1);
        m.HEAPU8.set(data, at);
        const answer = m._KivanimeWeb_ReadFile(at, data.length);
        m._free(at);
        return answer ? JSON.parse(m.UTF8ToString(answer)) : { kind: 'none' };
    }

    /**
     * A loaded model as the library holds it: its name, canvas, texture
     * files, parts, and the names of every motion and expression loaded.
     * @param {string} name
     * @returns {FileDescription}
     */
    describeModel(name) {
        const m = this.module;
        const answer = m._KivanimeWeb_DescribeModel(...this.api.strings(name));
        return answer ? JSON.parse(m.UTF8ToString(answer)) : { kind: 'none' };
    }

    /** Destroys the puppet's instances and drops it and its images. @param {string} name */
    unloadPuppet(name) {
        this.puppets.get(name)?.forgetInstances();
        this.puppets.delete(name);
        this.api.Anime_UnloadModel(name);
        const root = TextureStore.key(`/puppets/${encodeURIComponent(name)}/`);
        for (const key of [...this.textures.images.keys()]) {
            if (key.startsWith(root)) {
                this.textures.images.delete(key);
            }
        }
    }

    /**
     * Advances every visible instance and returns what their motions
     * announced meanwhile (kept in `events` until the next update).
     * @param {number} ms
     * @returns {KivanimeEvent[]}
     */
    update(ms) {
        const api = this.api;
        api.Anime_Update(ms);
        const count = api.Anime_GetEventCount();
        this.events = count ? [] : NO_EVENTS;
        for (let i = 0; i < count; ++i) {
            const e = /** @type {AnimeEvent} */ ({});
            api.Anime_GetEvent(i, e);
            const [name, motion, string] = [0, 1, 2].map((field) => api.Anime_GetEventText(i, field) ?? '');
            const { instance, intValue, floatValue, time, lateMs } = e;
            this.events.push({ instance, kind: EVENT_KINDS[e.kind], source: e.source === AnimeEventSource.Overlay ? 'overlay' : 'main', motion, name, string,
                intValue, floatValue, time, lateMs });
        }
        return this.events;
    }

    /**
     * Runs Anime_Render (or Anime_RenderInstance for one instance) into the
     * frame buffer and returns its records (valid until the next call).
     * @param {Instance|null} [instance]
     * @returns {DrawList}
     */
    collect(instance = null) {
        const m = this.module;
        m._KivanimeWeb_ClearRecords();
        instance ? this.api.Anime_RenderInstance(instance.id) : this.api.Anime_Render();
        this.list.copyFrom(m.HEAP32.buffer, m._KivanimeWeb_Records(), m._KivanimeWeb_RecordCount());
        this.list.copyMeshesFrom(m.HEAP32.buffer, m._KivanimeWeb_Meshes());
        return this.list;
    }

    /**
     * Draws the current frame with a renderer.
     * @param {Renderer} renderer
     * @param {{background?: string|number[]|null}} [options]
     * @returns {DrawList}
     */
    render(renderer, options = {}) {
        const list = this.collect();
        renderer.render(list, this.textures, options);
        return list;
    }

    /**
     * Updates and draws on every animation frame.
     * @param {Renderer} renderer
     * @param {LoopOptions} [options]
     * @returns {Loop}
     */
    startLoop(renderer, options = {}) {
        if (this.loop) {
            this.loop.stop();
        }
        this.loop = new Loop(this, renderer, options);
        return this.loop;
    }
}

/**
 * @typedef {Object} LoopOptions
 * @property {number} [speed] time factor (1 = real time)
 * @property {boolean} [paused]
 * @property {string|number[]|null} [background] CSS colour or [r, g, b, a] in 0..1; null: transparent
 * @property {(list: DrawList, dt: number) => void} [onFrame] after each frame
 */

/** The requestAnimationFrame loop. */
export class Loop {
    /** @param {Runtime} runtime @param {Renderer} renderer @param {LoopOptions} options */
    constructor(runtime, renderer, options) {
        this.runtime = runtime;
        this.renderer = renderer;
        this.speed = options.speed ?? 1;
        this.paused = options.paused ?? false;
        this.background = options.background ?? null;
        this.onFrame = options.onFrame ?? null;
        this.running = true;
        this.last = -1;
        this.pendingStep = 0;
        this.tick = this.tick.bind(this);
        requestAnimationFrame(this.tick);
    }

    /** @param {number} now */
    tick(now) {
        if (!this.running) {
            return;
        }
        // A hidden tab gets no frames: do not catch up in one huge step.
        const elapsed = this.last < 0 ? 0 : Math.min(now - this.last, 100);
        this.last = now;
        let dt = this.paused ? 0 : elapsed * this.speed;
        dt += this.pendingStep;
        this.pendingStep = 0;
        if (dt !== 0) {
            this.runtime.update(dt);
        }
        const list = this.runtime.render(this.renderer, { background: this.background });
        if (this.onFrame) {
            this.onFrame(list, dt);
        }
        requestAnimationFrame(this.tick);
    }

    pause() {
        this.paused = true;
    }
    resume() {
        this.paused = false;
    }
    /** Advances by `ms` on the next frame, paused or not. @param {number} ms */
    step(ms = 1000 / 60) {
        this.pendingStep += ms;
    }
    stop() {
        this.running = false;
        if (this.runtime.loop === this) {
            this.runtime.loop = null;
        }
    }
}

/** A loaded model with the names it offers. */
export class Puppet {
    /**
     * @param {Runtime} runtime @param {string} name @param {string} root
     * @param {FileDescription} model what the library holds (Runtime.describeModel)
     */
    constructor(runtime, name, root, model) {
        this.runtime = runtime;
        this.name = name;
        this.root = root;
        /** @type {string[]} */
        this.motions = model.motions ?? [];
        /** @type {string[]} */
        this.expressions = model.expressions ?? [];
        /** @type {string[]} the model's skins, in file order */
        this.skins = model.skins ?? [];
        const [width, height] = model.canvas ?? [0, 0];
        this.width = width;
        this.height = height;
        /**
         * parentIndex: the part the parent's name resolves to, -1 for none;
         * blend: the part's blend mode; maskIndex: the part whose shape
         * clips it, -1 for none.
         * @type {{name: string, parent: string|null, texture: string|null, parentIndex: number, blend: 'normal'|'additive'|'multiply'|'screen', maskIndex: number}[]}
         */
        this.parts = (model.parts ?? []).map((p) => ({
            name: p.name,
            parent: p.parent || null,
            texture: p.texture || null,
            parentIndex: p.parentIndex,
            blend: BLEND_NAMES[p.blend] ?? 'normal',
            maskIndex: p.maskIndex,
        }));
        /** @type {Set<Instance>} */
        this.instances = new Set();
    }

    /**
     * @param {{x?: number, y?: number, scale?: number, motion?: string, expression?: string}} [options]
     * @returns {Instance}
     */
    createInstance(options = {}) {
        const id = this.runtime.api.Anime_CreateInstance(this.name);
        if (id === 0) {
            throw new KivanimeError(this.runtime.lastError, this.runtime.lastErrorCode);
        }
        const instance = new Instance(this, id);
        this.instances.add(instance);
        if (options.x !== undefined || options.y !== undefined) {
            instance.setPosition(options.x ?? 0, options.y ?? 0);
        }
        if (options.scale !== undefined) {
            instance.setScale(options.scale);
        }
        if (options.motion) {
            instance.play(options.motion);
        }
        if (options.expression) {
            instance.express(options.expression);
        }
        return instance;
    }

    /** Destroys the puppet's instances and drops the model. */
    unload() {
        this.runtime.unloadPuppet(this.name);
    }

    /** Marks the instances as destroyed, once the library has destroyed them. */
    forgetInstances() {
        this.instances.forEach((instance) => (instance.id = 0));
        this.instances.clear();
    }
}

/** One puppet on screen. Methods on a destroyed instance do nothing. */
export class Instance {
    /** @param {Puppet} puppet @param {number} id */
    constructor(puppet, id) {
        this.puppet = puppet;
        this.api = puppet.runtime.api;
        this.id = id;
    }

    /** @param {string} motion @param {number} [speed] @returns {boolean} */
    play(motion, speed = 1) {
        return this.api.Anime_PlayMotion(this.id, motion, speed) === 1;
    }
    stop() {
        this.api.Anime_StopMotion(this.id);
    }
    get playing() {
        return this.api.Anime_IsMotionPlaying(this.id) === 1;
    }
    get finished() {
        return this.api.Anime_IsMotionFinished(this.id) === 1;
    }
    /**
     * Fades from what shows to `motion` over `fadeMs` (negative: the motion's fadeIn; 0: at once, as play).
     * @param {string} motion @param {number} [speed] @param {number} [fadeMs] @returns {boolean}
     */
    crossFade(motion, speed = 1, fadeMs = -1) {
        return this.api.Anime_CrossFadeMotion(this.id, motion, speed, fadeMs) === 1;
    }
    /**
     * Cross-fades to `motion` when the main motion ends (a looping one at its lap's end), at once when none plays.
     * @param {string} motion @param {number} [speed] @param {number} [fadeMs] @returns {boolean}
     */
    queue(motion, speed = 1, fadeMs = -1) {
        return this.api.Anime_QueueMotion(this.id, motion, speed, fadeMs) === 1;
    }
    /** @param {string} motion @param {number} [speed] @param {number} [weight] @returns {boolean} */
    overlay(motion, speed = 1, weight = 1) {
        return this.api.Anime_PlayOverlay(this.id, motion, speed, weight) === 1;
    }
    /** @param {string} motion */
    stopOverlay(motion) {
        this.api.Anime_StopOverlay(this.id, motion);
    }
    stopOverlays() {
        this.api.Anime_StopAllOverlays(this.id);
    }
    /**
     * Moves a playing overlay's weight to `weight` over `fadeMs` (negative: the motion's fadeIn or fadeOut).
     * @param {string} motion @param {number} weight @param {number} [fadeMs] @returns {boolean}
     */
    fadeOverlay(motion, weight, fadeMs = -1) {
        return this.api.Anime_FadeOverlay(this.id, motion, weight, fadeMs) === 1;
    }
    /** @param {string} expression @returns {boolean} */
    express(expression) {
        return this.api.Anime_SetExpression(this.id, expression) === 1;
    }
    clearExpression() {
        this.api.Anime_ClearExpression(this.id);
    }
    /** @param {number} x @param {number} y */
    setPosition(x, y) {
        this.api.Anime_SetPosition(this.id, x, y);
    }
    /** @returns {[number, number]} */
    getPosition() {
        return /** @type {[number, number]} */ (this.api.Anime_GetPosition(this.id));
    }
    /** @param {number} scaleX @param {number} [scaleY] */
    setScale(scaleX, scaleY = scaleX) {
        this.api.Anime_SetScale(this.id, scaleX, scaleY);
    }
    /** @param {number} alpha */
    setAlpha(alpha) {
        this.api.Anime_SetAlpha(this.id, alpha);
    }
    /** @param {boolean} visible */
    setVisible(visible) {
        this.api.Anime_SetVisible(this.id, visible ? 1 : 0);
    }
    /** @param {number} order */
    setDrawOrder(order) {
        this.api.Anime_SetDrawOrder(this.id, order);
    }
    /** @param {number} x @param {number} y */
    setWind(x, y) {
        this.api.Anime_SetWind(this.id, x, y);
    }
    resetPhysics() {
        this.api.Anime_ResetPhysics(this.id);
    }
    /**
     * Switches the 3D turn on or off.
     * @param {{enabled?: boolean, pivot?: [number, number], focal?: number, curve?: [number, number]}} [setup]
     */
    setup3D(setup = {}) {
        const pivot = setup.pivot ?? [0, 0];
        const curve = setup.curve ?? [0, 0];
        this.api.Anime_Set3DSetup(
            this.id,
            setup.enabled === false ? 0 : 1,
            pivot[0],
            pivot[1],
            setup.focal ?? 1000,
            curve[0],
            curve[1],
        );
    }
    /** Degrees. @param {number} yaw @param {number} [pitch] @param {number} [roll] */
    turn(yaw, pitch = 0, roll = 0) {
        this.api.Anime_Set3DAngles(this.id, yaw, pitch, roll);
    }
    /** @param {number} depth @param {number} perspective */
    set3DStrength(depth, perspective) {
        this.api.Anime_Set3DStrength(this.id, depth, perspective);
    }
    /**
     * Changes a part on top of its animation from the next update on: x, y and rotation add, the rest multiply.
     * @param {string} part @param {number} [x] @param {number} [y] @param {number} [rotation]
     * @param {number} [scaleX] @param {number} [scaleY] @param {number} [alpha] @returns {boolean}
     */
    setPartOffset(part, x = 0, y = 0, rotation = 0, scaleX = 1, scaleY = 1, alpha = 1) {
        return this.api.Anime_SetPartOffset(this.id, part, x, y, rotation, scaleX, scaleY, alpha) === 1;
    }
    clearPartOffsets() {
        this.api.Anime_ClearPartOffsets(this.id);
    }
    /** Shows a texture of the model on the part; null: its own. @param {string} part @param {string|null} [texture] @returns {boolean} */
    setPartTexture(part, texture = null) {
        return this.api.Anime_SetPartTexture(this.id, part, texture) === 1;
    }
    /** Puts on a skin of the model; null: every part's own texture. @param {string|null} [skin] @returns {boolean} */
    setSkin(skin = null) {
        return this.api.Anime_SetSkin(this.id, skin) === 1;
    }
    /** Channel factors from 0 to 1; white is (1, 1, 1). @param {number} r @param {number} g @param {number} b */
    setTint(r, g, b) {
        this.api.Anime_SetTint(this.id, r, g, b);
    }
    /** @param {string} part @param {number} r @param {number} g @param {number} b @returns {boolean} */
    setPartTint(part, r, g, b) {
        return this.api.Anime_SetPartTint(this.id, part, r, g, b) === 1;
    }
    /**
     * The part's mesh as the next render places it (x, y, u, v per vertex); null without a drawable mesh.
     * @param {string} part @returns {Float32Array|null}
     */
    partMesh(part) {
        const count = this.api.Anime_GetPartMesh(this.id, part, null, 0);
        const out = new Float32Array(4 * count);
        return count && this.api.Anime_GetPartMesh(this.id, part, out, count) ? out : null;
    }
    /** This instance's draw records alone (Anime_RenderInstance), valid until the next collect. */
    collect() {
        return this.puppet.runtime.collect(this);
    }
    /**
     * Where the part is drawn now (as its draw record would say, also when
     * hidden or without a texture); null when the model has no such part.
     * @param {string} part
     * @returns {{x: number, y: number, rotation: number, scaleX: number, scaleY: number, alpha: number}|null}
     */
    partTransform(part) {
        const t = [0, 0, 0, 0, 0, 0];
        if (!this.api.Anime_GetPartTransform(this.id, part, t)) {
            return null;
        }
        return { x: t[0], y: t[1], rotation: t[2], scaleX: t[3], scaleY: t[4], alpha: t[5] };
    }
    destroy() {
        this.api.Anime_DestroyInstance(this.id);
        this.puppet.instances.delete(this);
        this.id = 0;
    }
}

/**
 * @typedef {Object} PuppetUrls
 * @property {string|URL} model URL of the model file
 * @property {(string|URL)[]} [motions] URLs of motion files
 * @property {(string|URL)[]} [expressions] URLs of expression files
 */

/**
 * A puppet's files in memory; paths relative to the model's folder.
 * @typedef {Object} PuppetFiles
 * @property {{path: string, data: Uint8Array}} model
 * @property {{path: string, data: Uint8Array}[]} motions
 * @property {{path: string, data: Uint8Array}[]} expressions
 * @property {(path: string) => Promise<Blob|null>} texture the image a model path names
 */

/**
 * What the library reads a file as (Runtime.readFile, Runtime.describeModel).
 * @typedef {Object} FileDescription
 * @property {'model'|'motion'|'expression'|'scene'|'none'} kind
 * @property {string} [name]
 * @property {string} [model] a scene's model file
 * @property {[number, number]} [canvas]
 * @property {string[]} [textures] the texture files, as the model names them
 * @property {{name: string, parent: string, texture: string, parentIndex: number, blend: number, maskIndex: number}[]} [parts]
 * @property {string[]} [motions]
 * @property {string[]} [expressions]
 * @property {string[]} [skins]
 */

/** @param {string|URL} url */
async function fetchBytes(url) {
    const response = await fetch(url);
    if (!response.ok) {
        throw new Error(`cannot fetch ${url}: ${response.status} ${response.statusText}`);
    }
    return new Uint8Array(await response.arrayBuffer());
}

/** @param {PuppetUrls} urls @returns {Promise<PuppetFiles>} */
export async function fetchPuppetFiles(urls) {
    const modelUrl = new URL(String(urls.model), document.baseURI);
    const base = new URL('.', modelUrl);
    // Motion and expression URLs resolve like the model's; inside the
    // library they keep their place relative to the model file.
    const relative = (/** @type {URL} */ u) =>
        u.href.startsWith(base.href) ? decodeURIComponent(u.href.slice(base.href.length)) : u.pathname.split('/').pop() ?? '';
    const fetchAll = (/** @type {(string|URL)[]} */ list) =>
        Promise.all(
            list.map(async (u) => {
                const url = new URL(String(u), document.baseURI);
                return { path: relative(url), data: await fetchBytes(url) };
            }),
        );
    const [model, motions, expressions] = await Promise.all([
        fetchBytes(modelUrl),
        fetchAll(urls.motions ?? []),
        fetchAll(urls.expressions ?? []),
    ]);
    return {
        model: { path: decodeURIComponent(modelUrl.pathname.split('/').pop() || 'model.json'), data: model },
        motions,
        expressions,
        texture: async (p) => {
            const response = await fetch(new URL(p.replace(/\\/g, '/'), base));
            return response.ok ? response.blob() : null;
        },
    };
}

/**
 * Sorts dropped files into a puppet: the model file (model.json nearest the
 * top, else the first JSON file the library reads as a model), motion and
 * expression files in the folders of those names beside it, and images by path.
 * @param {Array<File|{path: string, file: Blob}>|FileList} dropped
 * @param {(data: Uint8Array) => FileDescription} readFile Runtime.readFile
 * @returns {Promise<PuppetFiles>}
 */
export async function collectDroppedFiles(dropped, readFile) {
    const entries = Array.from(dropped, (f) =>
        f instanceof Blob
            ? { path: (/** @type {any} */ (f).webkitRelativePath || f.name).replace(/\\/g, '/'), file: f }
            : { path: f.path.replace(/\\/g, '/').replace(/^\/+/, ''), file: f.file },
    );
    const json = entries.filter((e) => e.path.toLowerCase().endsWith('.json'));
    const depth = (/** @type {string} */ p) => p.split('/').length;
    let model = json.filter((e) => e.path.split('/').pop() === 'model.json').sort((a, b) => depth(a.path) - depth(b.path))[0];
    if (!model) {
        for (const e of json) {
            if (readFile(new Uint8Array(await e.file.arrayBuffer())).kind === 'model') {
                model = e;
                break;
            }
        }
    }
    if (!model) {
        throw new Error('no model file among the dropped files (e.g. model.json)');
    }
    const dir = model.path.includes('/') ? model.path.slice(0, model.path.lastIndexOf('/') + 1) : '';
    const inFolder = (/** @type {string} */ folder) =>
        json
            .filter((e) => e.path.startsWith(dir + folder + '/') && !e.path.slice(dir.length + folder.length + 1).includes('/'))
            .sort((a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0));
    const read = async (/** @type {{path: string, file: Blob}} */ e) => ({
        path: e.path.slice(dir.length),
        data: new Uint8Array(await e.file.arrayBuffer()),
    });
    const byPath = new Map(entries.map((e) => [e.path, e.file]));
    return {
        model: await read(model),
        motions: await Promise.all(inFolder('motions').map(read)),
        expressions: await Promise.all(inFolder('expressions').map(read)),
        texture: async (p) => byPath.get(normalisePath(dir + p.replace(/\\/g, '/'))) ?? null,
    };
}

/** Resolves "." and ".." segments. @param {string} path */
function normalisePath(path) {
    const out = [];
    for (const part of path.split('/')) {
        if (part === '..') {
            out.pop();
        } else if (part !== '.' && part !== '') {
            out.push(part);
        }
    }
    return out.join('/');
}

/**
 * Decodes an image file; null when it is not an image the browser reads.
 * Colours stay unpremultiplied, as in the file.
 * @param {Blob} blob @param {string} path
 * @returns {Promise<TextureImage|null>}
 */
async function decodeImage(blob, path) {
    try {
        const bitmap = await createImageBitmap(blob, { premultiplyAlpha: 'none', colorSpaceConversion: 'none' });
        return { source: bitmap, width: bitmap.width, height: bitmap.height, path };
    } catch {
        return null;
    }
}
