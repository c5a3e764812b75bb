// Puppet folders reaching the viewer: dropped, picked or opened through a
// directory handle. Everything ends as one map from a path relative to the
// puppet's folder ("model.json", "motions/idle.json") to a File.

import { readJson } from './puppet-info.js';

const WATCHED = /\.(json|png)$/i;

/** @typedef {Map<string, File>} Files */

async function walkEntry(/** @type {any} */ entry, /** @type {string} */ prefix, /** @type {Files} */ out) {
    if (entry.isFile) {
        const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
        out.set(prefix + entry.name, file);
        return;
    }
    const reader = entry.createReader();
    // readEntries hands out a folder in batches until it returns none.
    for (;;) {
        const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (batch.length === 0) return;
        for (const child of batch) await walkEntry(child, `${prefix}${entry.name}/`, out);
    }
}

async function walkHandle(/** @type {any} */ handle, /** @type {string} */ prefix, /** @type {Files} */ out) {
    for await (const [name, child] of handle.entries()) {
        if (child.kind === 'directory') {
            await walkHandle(child, `${prefix}${name}/`, out);
        } else {
            out.set(prefix + name, await child.getFile());
        }
    }
}

/**
 * Reads a drop. Where the browser offers file-system handles (Chromium), the
 * dropped folder's handle comes back too, for watching.
 * @param {DataTransfer} transfer
 * @returns {Promise<{files: Map<string, File>, handle: any}>}
 */
export async function readDrop(transfer) {
    const items = [...transfer.items].filter((item) => item.kind === 'file');
    // Both getters must be called before the first await: the drop's data is
    // gone once the event handler returns.
    const handles = items.map((item) => /** @type {any} */ (item).getAsFileSystemHandle?.() ?? null);
    const entries = items.map((item) => item.webkitGetAsEntry?.() ?? null);
    const plain = [...transfer.files];
    // Text dropped from another page, for instance, carries no files.
    if (items.length === 0) throw new Error('nothing to open: drop a folder or files');
    const resolved = await Promise.all(handles.map((h) => (h ? h.catch(() => null) : null)));
    const folder = resolved.length === 1 && resolved[0]?.kind === 'directory' ? resolved[0] : null;
    if (folder) return { files: await readHandle(folder), handle: folder };
    const files = /** @type {Files} */ (new Map());
    for (let i = 0; i < items.length; ++i) {
        if (entries[i]) await walkEntry(entries[i], '', files);
        else if (plain[i]) files.set(plain[i].name, plain[i]);
    }
    return { files: rootAtModel(await arrangeLoose(files)), handle: null };
}

/** Reads a folder handle (from a drop or showDirectoryPicker). @param {any} handle */
export async function readHandle(handle) {
    const files = /** @type {Files} */ (new Map());
    await walkHandle(handle, '', files);
    return rootAtModel(files);
}

/** Reads an <input type=file> selection (a folder with webkitdirectory, or files). @param {FileList} fileList */
export async function readPicked(fileList) {
    const files = /** @type {Files} */ (new Map());
    for (const file of fileList) files.set(file.webkitRelativePath || file.name, file);
    return rootAtModel(await arrangeLoose(files));
}

/**
 * Files picked one by one come without their folders. They are put where a
 * puppet folder would have them: the model (the JSON file with parts or
 * textures) at the top, motions under motions/, expressions under
 * expressions/, and each image at the path the model gives for it.
 * Folders that came with their paths are returned as they are.
 * @param {Files} files
 */
export async function arrangeLoose(files) {
    if ([...files.keys()].some((p) => p.includes('/'))) return files;
    const out = /** @type {Files} */ (new Map());
    const images = new Map();
    /** @type {{name: string, value: any}|null} */
    let model = null;
    for (const [name, file] of files) {
        if (!/\.json$/i.test(name)) {
            images.set(name, file);
            continue;
        }
        const value = await readJson(file);
        const isModel = value && ('parts' in value || 'textures' in value);
        if (isModel && (!model || /^model\.json$/i.test(name))) model = { name, value };
        if (isModel || !value) out.set(name, file);
        else if ('params' in value || 'blendMs' in value) out.set(`expressions/${name}`, file);
        else out.set(`motions/${name}`, file);
    }
    const textures = model?.value.textures;
    const wanted = textures && typeof textures === 'object' ? Object.values(textures) : [];
    for (const [name, file] of images) {
        const path = wanted.find((w) => typeof w === 'string' && w.split(/[\\/]/).pop() === name);
        out.set(path ?? name, file);
    }
    return out;
}

function folderOf(/** @type {string} */ path) {
    const slash = path.lastIndexOf('/');
    return slash < 0 ? '' : path.slice(0, slash + 1);
}

// The model is the shallowest "model.json", else the shallowest JSON file
// outside motions/ and expressions/. Paths are made relative to its folder,
// so that the texture paths it names resolve.
function rootAtModel(/** @type {Files} */ files) {
    const depth = (/** @type {string} */ p) => p.split('/').length;
    const json = [...files.keys()].filter((p) => /\.json$/i.test(p)).sort((a, b) => depth(a) - depth(b));
    const model =
        json.find((p) => /(^|\/)model\.json$/i.test(p)) ??
        json.find((p) => !/(^|\/)(motions|expressions)\//i.test(p) && !/(^|\/)scene\.json$/i.test(p));
    if (model === undefined) return files;
    const root = folderOf(model);
    const out = /** @type {Files} */ (new Map());
    for (const [path, file] of files) {
        if (path.startsWith(root)) out.set(path.slice(root.length), file);
    }
    return out;
}

/** The model file's path in a map from readDrop/readPicked, or undefined. */
export function modelPath(/** @type {Files} */ files) {
    const paths = [...files.keys()];
    return paths.find((p) => /^model\.json$/i.test(p)) ?? paths.find((p) => /^[^/]+\.json$/i.test(p) && p !== 'scene.json');
}

/**
 * Watches a folder handle: calls `onChange(files)` with the whole folder
 * again when a JSON or PNG file in it was saved, added or removed. Polls,
 * because browsers have no change events for file-system handles.
 * @param {any} handle @param {(files: Files) => unknown} onChange
 * @returns {() => void} stops watching
 */
export function watchHandle(handle, onChange, intervalMs = 250) {
    let last = /** @type {string|null} */ (null);
    let stopped = false;
    /** @type {ReturnType<typeof setTimeout> | undefined} */
    let timer;
    const stamp = (/** @type {Files} */ files) =>
        [...files]
            .filter(([path]) => WATCHED.test(path))
            .map(([path, file]) => `${path}:${file.lastModified}:${file.size}`)
            .sort()
            .join('|');
    const poll = async () => {
        try {
            const files = await readHandle(handle);
            const now = stamp(files);
            if (last !== null && now !== last && !stopped) await onChange(files);
            last = now;
        } catch {
            // A file half-written or a folder gone for a moment: try again later.
        }
        if (!stopped) timer = setTimeout(poll, intervalMs);
    };
    poll();
    return () => {
        stopped = true;
        clearTimeout(timer);
    };
}
