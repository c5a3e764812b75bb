// The viewer's side of the runtime module: puppets loaded from the viewer's
// file maps or fetched whole from a URL, files told apart by the library, and
// the two renderers behind one call.

import { loadRuntime, CanvasRenderer, TextureStore, WebGLRenderer } from '../src/kivanime.js';
import { lintFiles as lintInMemory } from '../src/lint.js';

/**
 * A colour as [r, g, b, a] from 0 to 1, as CSS for the renderers; null for
 * a fully transparent one, which the renderers clear to.
 * @param {number[]} c
 */
export function cssColour(c) {
    if (c[3] <= 0) {
        return null;
    }
    const byte = (/** @type {number} */ v) => Math.round(Math.min(Math.max(v, 0), 1) * 255);
    return `rgba(${byte(c[0])}, ${byte(c[1])}, ${byte(c[2])}, ${byte(c[3]) / 255})`;
}

/**
 * Starts the WebAssembly library.
 * @returns {Promise<ViewerRuntime>}
 */
export async function openRuntime() {
    return new ViewerRuntime(await loadRuntime());
}

export class ViewerRuntime {
    /** @param {import('../src/kivanime.js').Runtime} runtime */
    constructor(runtime) {
        this.runtime = runtime;
        this.lib = runtime.api;
    }

    /**
     * Loads a puppet under `name` from a map of paths (relative to the model's
     * folder) to files. Rejects with the reason when the model, one of its
     * files or a texture does not load.
     * @param {string} name
     * @param {Map<string, Blob>} files
     * @param {string} modelPath
     */
    async loadPuppet(name, files, modelPath) {
        const list = [...files].map(([path, file]) => ({ path, file }));
        // The model goes first so that it is the one picked.
        list.sort((a, b) => (a.path === modelPath ? -1 : b.path === modelPath ? 1 : 0));
        return this.runtime.loadPuppet(name, list);
    }

    /**
     * What the library reads a file as (Runtime.readFile).
     * @param {Blob} file
     */
    async readFile(file) {
        return this.runtime.readFile(new Uint8Array(await file.arrayBuffer()));
    }

    /**
     * Drops a puppet loaded by loadPuppet with its decoded images (a live
     * folder is loaded again on every save; its old images must not pile up).
     * @param {import('../src/kivanime.js').Puppet} puppet
     */
    unloadPuppet(puppet) {
        this.runtime.unloadPuppet(puppet.name);
        const images = this.runtime.textures.images;
        for (const key of [...images.keys()]) {
            if (key.startsWith(TextureStore.key(puppet.root))) {
                images.delete(key);
            }
        }
    }

    /**
     * A renderer for `canvas`: "canvas" (Canvas 2D) or "webgl" (WebGL2).
     * Its render(background) draws the current frame and returns the draw
     * records.
     * @param {HTMLCanvasElement} canvas
     * @param {string} kind
     */
    createRenderer(canvas, kind) {
        const renderer = kind === 'webgl' ? new WebGLRenderer(canvas) : new CanvasRenderer(canvas);
        return {
            kind,
            /** @param {number[]} background [r, g, b, a] */
            render: (background) => this.runtime.render(renderer, { background: cssColour(background) }),
        };
    }
}

/**
 * Runs the lint over a puppet folder as `kivanime-lint model.json
 * motions/*.json expressions/*.json` would; other JSON files (a scene
 * script, say) are not puppet files and are left out.
 * @param {Map<string, Blob>} files
 * @param {string|undefined} model the model's path, when there is one
 */
export async function lintFiles(files, model) {
    const list = await Promise.all(
        [...files].map(async ([path, file]) => ({ path, data: new Uint8Array(await file.arrayBuffer()) })),
    );
    const sorted = [...files.keys()].filter((p) => /^(motions|expressions)\/[^/]+\.json$/i.test(p)).sort();
    return lintInMemory(list, { lint: model ? [model, ...sorted] : sorted });
}

/**
 * Fetches a whole puppet folder given its model's URL. Web servers do not
 * list folders in a standard way, so the folder's files are taken from a
 * files.json beside the model when there is one (the build writes it for
 * the sample), else from the links of a folder index page, else from the
 * motion and expression names `names` (as motions/NAME.json and
 * expressions/NAME.json).
 * @param {ViewerRuntime} runtime
 * @param {string} modelUrl
 * @param {string[]} [names]
 * @returns {Promise<{files: Map<string, Blob>, path: string}>}
 */
export async function fetchPuppetFiles(runtime, modelUrl, names = []) {
    const base = new URL('.', modelUrl);
    const path = decodeURIComponent(new URL(modelUrl).pathname.split('/').pop() ?? 'model.json');
    /** @type {Map<string, Blob>} */
    const files = new Map();
    const model = await fetch(modelUrl).catch(() => null);
    if (!model || !model.ok) {
        throw new Error(`cannot load the model '${modelUrl}': ${model ? `HTTP ${model.status}` : 'no answer'}`);
    }
    files.set(path, await model.blob());
    const manifest = await fetch(new URL('files.json', base))
        .then((r) => (r.ok ? r.json() : null))
        .catch(() => null);
    const puppetFile = (/** @type {unknown} */ p) => typeof p === 'string' && /^(motions|expressions)\/[^/]+\.json$/i.test(p);
    /** @type {string[]} */
    let wanted = Array.isArray(manifest) ? manifest.filter(puppetFile) : [];
    if (wanted.length === 0) {
        for (const folder of ['motions/', 'expressions/']) {
            wanted.push(...(await listFolder(new URL(folder, base))).map((p) => folder + p));
        }
    }
    if (wanted.length === 0) {
        for (const name of names) {
            wanted.push(`motions/${name}.json`, `expressions/${name}.json`);
        }
    }
    // The texture files the model names, as the library reads it.
    wanted.push(...((await runtime.readFile(/** @type {Blob} */ (files.get(path)))).textures ?? []));
    await Promise.all(
        [...new Set(wanted)]
            .filter((p) => p !== path)
            .map(async (p) => {
                const response = await fetch(new URL(p, base)).catch(() => null);
                if (response && response.ok) {
                    files.set(p, await response.blob());
                }
            }),
    );
    return { files, path };
}

/**
 * The file names an index page links to (as python -m http.server and most
 * static servers write them), or none.
 * @param {URL} url
 * @returns {Promise<string[]>}
 */
async function listFolder(url) {
    const response = await fetch(url).catch(() => null);
    if (!response || !response.ok || !(response.headers.get('content-type') ?? '').includes('html')) {
        return [];
    }
    const page = new DOMParser().parseFromString(await response.text(), 'text/html');
    return [...page.querySelectorAll('a[href]')]
        .map((a) => decodeURIComponent(a.getAttribute('href') ?? ''))
        .filter((href) => /^[^/?#]+\.json$/i.test(href));
}
