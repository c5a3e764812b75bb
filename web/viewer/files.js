// Puppet folders reaching the viewer: dropped, picked or opened through a
// directory handle, as one map from a path to a File; arrangePuppet then
// makes the paths relative to the puppet's folder ("model.json",
// "motions/idle.json").

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
    return { files, handle: null };
}

/** Reads a folder handle (from a drop or showDirectoryPicker). @param {any} handle */
export async function readHandle(handle) {
    const files = /** @type {Files} */ (new Map());
    await walkHandle(handle, '', files);
    return files;
}

/** Reads an <input type=file> selection (a folder with webkitdirectory, or files). @param {FileList} fileList */
export async function readPicked(fileList) {
    const files = /** @type {Files} */ (new Map());
    for (const file of fileList) files.set(file.webkitRelativePath || file.name, file);
    return files;
}

/**
 * What the library reads a file as.
 * @typedef {import('../src/kivanime.js').FileDescription} FileDescription
 */

/**
 * Files picked one by one come without their folders. They are put where a
 * puppet folder would have them: the model and any scene script at the top,
 * motions under motions/, expressions under expressions/, and each image at
 * the path the model gives for it.
 * @param {Map<string, File>} files
 * @param {Map<Blob, FileDescription>} kinds
 */
function placeLoose(files, kinds) {
    const models = [...files].filter(([, file]) => kinds.get(file)?.kind === 'model');
    const model = models.find(([name]) => /^model\.json$/i.test(name)) ?? models[0];
    const wanted = (model && kinds.get(model[1])?.textures) || [];
    const out = new Map();
    for (const [name, file] of files) {
        const kind = kinds.get(file)?.kind;
        if (kind === 'motion' || kind === 'expression') out.set(`${kind}s/${name}`, file);
        else if (kind) out.set(name, file);
        else out.set(wanted.find((w) => w.split(/[\\/]/).pop() === name) ?? name, file);
    }
    return out;
}

/** @param {string} path */
function folderOf(path) {
    const slash = path.lastIndexOf('/');
    return slash < 0 ? '' : path.slice(0, slash + 1);
}

/**
 * Finds the puppet among the files, telling them apart by what the library
 * reads them as (`read`): the model is the shallowest "model.json", else the
 * shallowest file read as a model, and paths are made relative to its folder
 * so that the texture paths it names resolve. Loose files are put in place
 * first (placeLoose). `scene` is a scene script beside the model; `dropped`
 * gives each path its name as it was dropped, and `folder` is the name of the
 * model's folder among them ("" when the model was at the top).
 * @param {Map<string, File>} files
 * @param {(file: Blob) => Promise<FileDescription>} read
 * @returns {Promise<{files: Map<string, File>, dropped: Map<string, string>, folder: string, model?: string, scene?: string}>}
 */
export async function arrangePuppet(files, read) {
    const kinds = new Map();
    for (const [path, file] of files) if (/\.json$/i.test(path)) kinds.set(file, await read(file));
    const given = new Map([...files].map(([path, file]) => [file, path]));
    if (![...files.keys()].some((p) => p.includes('/'))) files = placeLoose(files, kinds);
    const depth = (/** @type {string} */ p) => p.split('/').length;
    const json = [...files.keys()].filter((p) => kinds.has(files.get(p))).sort((a, b) => depth(a) - depth(b));
    const model = json.find((p) => /(^|\/)model\.json$/i.test(p)) ?? json.find((p) => kinds.get(files.get(p)).kind === 'model');
    const dropped = new Map([...files].map(([path, file]) => [path, given.get(file) ?? path]));
    if (model === undefined) return { files, dropped, folder: '' };
    const root = folderOf(model);
    const out = new Map();
    for (const [path, file] of files) {
        if (path.startsWith(root)) out.set(path.slice(root.length), file);
    }
    const scene = [...out.keys()].find((p) => !p.includes('/') && kinds.get(out.get(p))?.kind === 'scene');
    return {
        files: out,
        dropped: new Map([...out].map(([path, file]) => [path, given.get(file) ?? path])),
        folder: root.split('/').at(-2) ?? '',
        model: model.slice(root.length),
        scene,
    };
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
