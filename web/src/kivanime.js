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

import { DrawList, readRecord } from './records.js';

export { DrawList, FIELD, RECORD_BYTES, RECORD_WORDS, readRecord, placeRecord } from './records.js';
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
 * The 35 functions of the C interface, with JavaScript strings and numbers.
 * Results are those of the C functions (ids as unsigned numbers);
 * Anime_GetPosition returns [x, y]. A null string is passed as NULL.
 */
export class CInterface {
    /** @param {any} module the Emscripten module */
    constructor(module) {
        this.m = module;
        this.scratch = 0;
        this.scratchSize = 0;
        this.tables = [];
        this.out = module._malloc(8);
    }

    /** Writes strings into scratch memory; returns their addresses (0 for null). */
    strings(...values) {
        const m = this.m;
        let need = 0;
        for (const v of values) {
            need += v == null ? 0 : m.lengthBytesUTF8(v) + 1;
        }
        if (need > this.scratchSize) {
            if (this.scratch) {
                m._free(this.scratch);
            }
            this.scratchSize = Math.max(need, 256) * 2;
            this.scratch = m._malloc(this.scratchSize);
        }
        let at = this.scratch;
        return values.map((v) => {
            if (v == null) {
                return 0;
            }
            const p = at;
            at += m.stringToUTF8(v, p, need) + 1;
            return p;
        });
    }

    /**
     * Stores a host table built from JavaScript functions (or `table`, the
     * address of one already in memory). Tables stay alive: instances keep
     * the table they were created with.
     * @param {JsHost|null} host
     * @param {number} [table]
     */
    Anime_Init(host, table) {
        const m = this.m;
        if (table === undefined) {
            if (host == null) {
                m._Anime_Init(0);
                return;
            }
            table = m._malloc(HOST_TABLE_BYTES);
            const slots = [0, 0, 0, 0];
            if (host.loadTexture) {
                const fn = host.loadTexture;
                slots[0] = m.addFunction((p) => fn(m.UTF16ToString(p)) | 0, 'ii');
            }
            if (host.releaseTexture) {
                const fn = host.releaseTexture;
                slots[1] = m.addFunction((h) => void fn(h), 'vi');
            }
            if (host.draw) {
                const fn = host.draw;
                slots[3] = m.addFunction((p) => fn(readRecord(m.HEAPF32, m.HEAP32, p >> 2)), 'vi');
            }
            m.HEAP32.set(slots, table >> 2);
            this.tables.push(table);
        }
        m._Anime_Init(table);
    }
    Anime_Shutdown() {
        this.m._Anime_Shutdown();
    }
    Anime_UnloadAll() {
        this.m._Anime_UnloadAll();
    }
    /** @param {string|null} modelName @param {string|null} path */
    Anime_LoadModel(modelName, path) {
        return this.m._Anime_LoadModel(...this.strings(modelName, path));
    }
    /** @param {string|null} modelName */
    Anime_UnloadModel(modelName) {
        this.m._Anime_UnloadModel(...this.strings(modelName));
    }
    /** @param {string|null} modelName @param {string|null} path */
    Anime_LoadMotion(modelName, path) {
        return this.m._Anime_LoadMotion(...this.strings(modelName, path));
    }
    /** @param {string|null} modelName @param {string|null} path */
    Anime_LoadExpression(modelName, path) {
        return this.m._Anime_LoadExpression(...this.strings(modelName, path));
    }
    /** @param {string|null} modelName @returns {number} */
    Anime_CreateInstance(modelName) {
        return this.m._Anime_CreateInstance(...this.strings(modelName)) >>> 0;
    }
    /** @param {number} id */
    Anime_DestroyInstance(id) {
        this.m._Anime_DestroyInstance(id);
    }
    Anime_DestroyAllInstances() {
        this.m._Anime_DestroyAllInstances();
    }
    Anime_GetInstanceCount() {
        return this.m._Anime_GetInstanceCount();
    }
    Anime_HasInstances() {
        return this.m._Anime_HasInstances();
    }
    /** @param {number} id @param {string|null} motionName @param {number} speed */
    Anime_PlayMotion(id, motionName, speed) {
        return this.m._Anime_PlayMotion(id, ...this.strings(motionName), speed);
    }
    /** @param {number} id */
    Anime_StopMotion(id) {
        this.m._Anime_StopMotion(id);
    }
    /** @param {number} id */
    Anime_IsMotionPlaying(id) {
        return this.m._Anime_IsMotionPlaying(id);
    }
    /** @param {number} id */
    Anime_IsMotionFinished(id) {
        return this.m._Anime_IsMotionFinished(id);
    }
    /** @param {number} id @param {string|null} motionName @param {number} speed @param {number} weight */
    Anime_PlayOverlay(id, motionName, speed, weight) {
        return this.m._Anime_PlayOverlay(id, ...this.strings(motionName), speed, weight);
    }
    /** @param {number} id @param {string|null} motionName */
    Anime_StopOverlay(id, motionName) {
        this.m._Anime_StopOverlay(id, ...this.strings(motionName));
    }
    /** @param {number} id */
    Anime_StopAllOverlays(id) {
        this.m._Anime_StopAllOverlays(id);
    }
    /** @param {number} id @param {string|null} expressionName */
    Anime_SetExpression(id, expressionName) {
        return this.m._Anime_SetExpression(id, ...this.strings(expressionName));
    }
    /** @param {number} id */
    Anime_ClearExpression(id) {
        this.m._Anime_ClearExpression(id);
    }
    /** @param {number} id @param {number} x @param {number} y */
    Anime_SetPosition(id, x, y) {
        this.m._Anime_SetPosition(id, x, y);
    }
    /** @param {number} id @returns {[number, number]} */
    Anime_GetPosition(id) {
        const p = this.out;
        this.m._Anime_GetPosition(id, p, p + 4);
        return [this.m.HEAPF32[p >> 2], this.m.HEAPF32[(p >> 2) + 1]];
    }
    /** @param {number} id @param {number} scaleX @param {number} scaleY */
    Anime_SetScale(id, scaleX, scaleY) {
        this.m._Anime_SetScale(id, scaleX, scaleY);
    }
    /** @param {number} id @param {number} alpha */
    Anime_SetAlpha(id, alpha) {
        this.m._Anime_SetAlpha(id, alpha);
    }
    /** @param {number} id @param {number} visible */
    Anime_SetVisible(id, visible) {
        this.m._Anime_SetVisible(id, visible);
    }
    /** @param {number} id @param {number} order */
    Anime_SetDrawOrder(id, order) {
        this.m._Anime_SetDrawOrder(id, order);
    }
    /** @param {number} id @param {number} windX @param {number} windY */
    Anime_SetWind(id, windX, windY) {
        this.m._Anime_SetWind(id, windX, windY);
    }
    /** @param {number} windX @param {number} windY */
    Anime_SetGlobalWind(windX, windY) {
        this.m._Anime_SetGlobalWind(windX, windY);
    }
    /** @param {number} id */
    Anime_ResetPhysics(id) {
        this.m._Anime_ResetPhysics(id);
    }
    /**
     * @param {number} id @param {number} enabled3D @param {number} pivotX @param {number} pivotY
     * @param {number} focalDistance @param {number} curveRadiusX @param {number} curveRadiusY
     */
    Anime_Set3DSetup(id, enabled3D, pivotX, pivotY, focalDistance, curveRadiusX, curveRadiusY) {
        this.m._Anime_Set3DSetup(id, enabled3D, pivotX, pivotY, focalDistance, curveRadiusX, curveRadiusY);
    }
    /** @param {number} id @param {number} yaw @param {number} pitch @param {number} roll */
    Anime_Set3DAngles(id, yaw, pitch, roll) {
        this.m._Anime_Set3DAngles(id, yaw, pitch, roll);
    }
    /** @param {number} id @param {number} depthStrength @param {number} perspectiveStrength */
    Anime_Set3DStrength(id, depthStrength, perspectiveStrength) {
        this.m._Anime_Set3DStrength(id, depthStrength, perspectiveStrength);
    }
    /** @param {number} dt milliseconds */
    Anime_Update(dt) {
        this.m._Anime_Update(dt);
    }
    Anime_Render() {
        this.m._Anime_Render();
    }
}

// The same functions under their names without the prefix, in
// lowerCamelCase: createInstance, playMotion, update, render, ...
for (const name of Object.getOwnPropertyNames(CInterface.prototype)) {
    if (name.startsWith('Anime_')) {
        const alias = name[6].toLowerCase() + name.slice(7);
        Object.defineProperty(CInterface.prototype, alias, {
            value: /** @type {any} */ (CInterface.prototype)[name],
        });
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

/** One library instance and everything loaded into it. */
export class Runtime {
    /** @param {any} module */
    constructor(module) {
        this.module = module;
        this.api = new CInterface(module);
        this.textures = new TextureStore();
        /** @type {Map<string, Puppet>} */
        this.puppets = new Map();
        this.list = new DrawList();
        this.hostTable = module._malloc(HOST_TABLE_BYTES);
        const load = module.addFunction((p) => this.textures.open(module.UTF16ToString(p)), 'ii');
        const release = module.addFunction((h) => this.textures.close(h), 'vi');
        module.HEAP32.set([load, release, 0, module._KivanimeWeb_CollectingDraw()], this.hostTable >> 2);
        this.api.Anime_Init(null, this.hostTable);
        /** @type {Loop|null} */
        this.loop = null;
    }

    /** Puts the runtime's host back (after the C mirror's Anime_Init was used). */
    useOwnHost() {
        this.api.Anime_Init(null, this.hostTable);
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
                    const reason = this.module.UTF8ToString(this.module._Anime_GetLastError()).replaceAll(root, '');
                    this.api.Anime_UnloadModel(name);
                    throw new Error(reason);
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
        const puppet = this.puppets.get(name);
        if (puppet) {
            for (const instance of puppet.instances) {
                instance.id = 0;
            }
            puppet.instances.clear();
            this.puppets.delete(name);
        }
        this.api.Anime_UnloadModel(name);
        const root = TextureStore.key(`/puppets/${encodeURIComponent(name)}/`);
        for (const key of [...this.textures.images.keys()]) {
            if (key.startsWith(root)) {
                this.textures.images.delete(key);
            }
        }
    }

    /** Advances every visible instance. @param {number} ms */
    update(ms) {
        this.module._Anime_Update(ms);
    }

    /**
     * Runs Anime_Render into the frame buffer and returns its records (valid
     * until the next call).
     * @returns {DrawList}
     */
    collect() {
        const m = this.module;
        m._KivanimeWeb_ClearRecords();
        m._Anime_Render();
        this.list.copyFrom(m.HEAP32.buffer, m._KivanimeWeb_Records(), m._KivanimeWeb_RecordCount());
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
        const [width, height] = model.canvas ?? [0, 0];
        this.width = width;
        this.height = height;
        /**
         * parentIndex: the part the parent's name resolves to, -1 for none.
         * @type {{name: string, parent: string|null, texture: string|null, parentIndex: number}[]}
         */
        this.parts = (model.parts ?? []).map((p) => ({
            name: p.name,
            parent: p.parent || null,
            texture: p.texture || null,
            parentIndex: p.parentIndex,
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
            throw new Error(`cannot create an instance of '${this.name}'`);
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
    /** @param {string} motion @param {number} [weight] @param {number} [speed] @returns {boolean} */
    overlay(motion, weight = 1, speed = 1) {
        return this.api.Anime_PlayOverlay(this.id, motion, speed, weight) === 1;
    }
    /** @param {string} motion */
    stopOverlay(motion) {
        this.api.Anime_StopOverlay(this.id, motion);
    }
    stopOverlays() {
        this.api.Anime_StopAllOverlays(this.id);
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
        return this.api.Anime_GetPosition(this.id);
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
 * @property {{name: string, parent: string, texture: string, parentIndex: number}[]} [parts]
 * @property {string[]} [motions]
 * @property {string[]} [expressions]
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
