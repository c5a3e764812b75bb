// The lint compiled to WebAssembly, run over files held in memory. It reads
// them with the library's own reader, so a browser shows the same findings,
// lines and columns as kivanime-lint on the command line.

let modulePromise = /** @type {Promise<{m: any, state: {out: string[]}}>|null} */ (null);

/**
 * @typedef {Object} LintFinding
 * @property {'error'|'warning'|'info'} severity
 * @property {string} code
 * @property {string} file the path given in `files`
 * @property {number} line from 1
 * @property {number} column from 1
 * @property {string} message
 */

/**
 * @typedef {Object} LintReport
 * @property {LintFinding[]} findings
 * @property {number} errors
 * @property {number} warnings
 * @property {number} infos
 */

/** @param {{moduleUrl?: string|URL}} [options] */
async function lintModule(options = {}) {
    if (!modulePromise) {
        const url = options.moduleUrl ?? new URL('../wasm/kivanime-lint.js', import.meta.url);
        modulePromise = import(String(url)).then(({ default: create }) => {
            const state = { out: /** @type {string[]} */ ([]) };
            return create({ print: (/** @type {string} */ s) => state.out.push(s), printErr: () => {} }).then(
                (/** @type {any} */ m) => ({ m, state }),
            );
        });
    }
    return modulePromise;
}

/**
 * Lints a puppet's files as one: the model first, then motion and expression
 * files. Texture files count as present when they are among `files`.
 * @param {{path: string, data: Uint8Array|string}[]|Map<string, Blob|Uint8Array|string>} files paths relative to
 *     one folder, e.g. "model.json", "motions/idle.json", "textures/head.png"
 * @param {{strict?: boolean, lint?: string[], moduleUrl?: string|URL}} [options]
 *     `lint`: the paths to check (default: every JSON file, models first)
 * @returns {Promise<LintReport & {exitCode: number}>}
 */
export async function lintFiles(files, options = {}) {
    if (files instanceof Map) {
        files = await Promise.all(
            Array.from(files, async ([path, data]) => ({
                path,
                data: data instanceof Blob ? new Uint8Array(await data.arrayBuffer()) : data,
            })),
        );
    }
    const { m, state } = await lintModule(options);
    const FS = m.FS;
    // A fresh folder per run, so files of an earlier puppet cannot answer.
    const root = `/lint${++runs}`;
    for (const file of files) {
        const parts = file.path.replace(/\\/g, '/').split('/').filter(Boolean);
        let dir = root;
        FS.analyzePath(dir).exists || FS.mkdir(dir);
        for (const part of parts.slice(0, -1)) {
            dir += '/' + part;
            FS.analyzePath(dir).exists || FS.mkdir(dir);
        }
        FS.writeFile(`${dir}/${parts[parts.length - 1]}`, file.data);
    }
    const json = options.lint ?? files.map((f) => f.path).filter((p) => p.toLowerCase().endsWith('.json'));
    const isModel = (/** @type {string} */ p) => !/(^|\/)(motions|expressions)\//.test(p);
    const ordered = [...json.filter(isModel), ...json.filter((p) => !isModel(p))];
    state.out.length = 0;
    const args = ['--json', ...(options.strict ? ['--strict'] : []), '--', ...ordered.map((p) => `${root}/${p}`)];
    const exitCode = m.callMain(args);
    const report = JSON.parse(state.out.join('\n'));
    for (const finding of report.findings) {
        if (typeof finding.file === 'string' && finding.file.startsWith(root + '/')) {
            finding.file = finding.file.slice(root.length + 1);
        }
    }
    removeTree(FS, root);
    return { ...report, exitCode };
}

let runs = 0;

/** @param {any} FS @param {string} path */
function removeTree(FS, path) {
    for (const name of FS.readdir(path)) {
        if (name === '.' || name === '..') {
            continue;
        }
        const child = `${path}/${name}`;
        if (FS.isDir(FS.stat(child).mode)) {
            removeTree(FS, child);
        } else {
            FS.unlink(child);
        }
    }
    FS.rmdir(path);
}

export const lint = lintFiles;
