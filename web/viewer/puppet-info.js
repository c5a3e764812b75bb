// What the viewer lists about a puppet, read from its files: the motion and
// expression names (by the same naming rules as the library's loaders) and
// the part hierarchy.

/** A JSON file's top-level object, or null. @param {Blob|undefined} file */
export async function readJson(file) {
    try {
        const value = JSON.parse((await file?.text()) ?? '');
        return value !== null && typeof value === 'object' && !Array.isArray(value) ? value : null;
    } catch {
        return null;
    }
}

// A file's record is called by its "name" when that is a string, else
// "unnamed"; a record written inline in a model is called by its key, or by
// its own name when the key is empty.
function fileName(/** @type {any} */ record) {
    return typeof record.name === 'string' ? record.name : 'unnamed';
}

function inlineNames(/** @type {unknown} */ table) {
    if (table === null || typeof table !== 'object' || Array.isArray(table)) return [];
    return Object.entries(table).map(([key, record]) =>
        key !== '' ? key : fileName(record !== null && typeof record === 'object' ? record : {}),
    );
}

/**
 * @param {Map<string, File>} files paths relative to the model's folder
 * @param {string} model the model's path in `files`
 * @returns {Promise<{motions: string[], expressions: string[],
 *   parts: {name: string, parent: string, depth: number}[]}>}
 */
export async function describePuppet(files, model) {
    const root = (await readJson(files.get(model))) ?? {};
    const motions = inlineNames(root.motions);
    const expressions = inlineNames(root.expressions);
    const sorted = [...files.keys()].sort();
    for (const [folder, list] of /** @type {[string, string[]][]} */ ([
        ['motions/', motions],
        ['expressions/', expressions],
    ])) {
        for (const path of sorted) {
            if (!path.startsWith(folder) || !/\.json$/i.test(path)) continue;
            const record = await readJson(files.get(path));
            if (record) list.push(fileName(record));
        }
    }
    const unique = (/** @type {string[]} */ list) => [...new Set(list)];
    return { motions: unique(motions), expressions: unique(expressions), parts: partTree(root.parts) };
}

// Parts in tree order (each parent before its children), with their depth.
/** @typedef {{index: number, name: string, parent: string}} PartItem */
function partTree(/** @type {unknown} */ parts) {
    if (!Array.isArray(parts)) return [];
    const items = parts.map((p, index) => ({
        index,
        name: typeof p?.name === 'string' ? p.name : '',
        parent: typeof p?.parent === 'string' ? p.parent : '',
    }));
    const byName = new Map(items.map((item) => [item.name, item]));
    const children = /** @type {Map<PartItem, PartItem[]>} */ (new Map());
    const roots = [];
    for (const item of items) {
        const parent = byName.get(item.parent);
        if (item.parent && parent && parent !== item) {
            if (!children.has(parent)) children.set(parent, []);
            children.get(parent)?.push(item);
        } else {
            roots.push(item);
        }
    }
    /** @type {{name: string, parent: string, depth: number}[]} */
    const out = [];
    const seen = new Set();
    const visit = (/** @type {PartItem} */ item, /** @type {number} */ depth) => {
        if (seen.has(item)) return; // a parent cycle: shown once, at the top
        seen.add(item);
        out.push({ name: item.name, parent: item.parent, depth });
        for (const child of children.get(item) ?? []) visit(child, depth + 1);
    };
    roots.forEach((item) => visit(item, 0));
    items.forEach((item) => visit(item, 0));
    return out;
}
