// The viewer: drop a puppet folder and it plays, with its motions (cross-faded
// over the chosen time), overlays, expressions, skins, the 3D turn, the wind,
// a crowd, a head that looks at the pointer, the part tree, the events the
// motions announce and the lint's findings. With URL parameters (see contract.js) it renders one frame of a
// scene script instead.

import { openRuntime, lintFiles } from './core.js';
import { arrangePuppet, readDrop, readHandle, readPicked, watchHandle } from './files.js';
import { approach, lookTarget } from './look.js';
import { runContract, wantsContract } from './contract.js';
import { Scene } from '../src/scene.js';
import { FIELD, RECORD_WORDS } from '../src/records.js';

/** The page's elements by id; the page is known, so they are not checked. */
const $ = (/** @type {string} */ id) => /** @type {any} */ (document.getElementById(id));
const STEP_MS = 1000 / 60;
const CROWD_PHASE_MS = 173;

// What the page shows. main() sets the runtime, the renderer and the
// overlay's context before anything reads them.
const view = {
    runtime: /** @type {import('./core.js').ViewerRuntime} */ (/** @type {unknown} */ (null)),
    renderer: /** @type {ReturnType<import('./core.js').ViewerRuntime['createRenderer']>} */ (/** @type {unknown} */ (null)),
    overlay: /** @type {CanvasRenderingContext2D} */ (/** @type {unknown} */ (null)),
    files: /** @type {Map<string, File>|null} */ (null),
    info: /** @type {PuppetInfo|null} */ (null),
    ids: /** @type {number[]} */ ([]),
    // the loaded puppet (its name in the library is puppet.name, one per
    // load; the page names it after its folder)
    puppet: /** @type {import('../src/kivanime.js').Puppet|null} */ (null),
    stopWatching: /** @type {(() => void)|null} */ (null),
    origin: [0, 0],
    scale: 1,
    pivot3D: [0, 0],
    focal: 1500,
    paused: false,
    loads: 0,
    background: [0, 0, 0, 0],
    last: 0,
    clockMs: 0,
    // Where the pointer is, in the canvas's pixels (outside it too).
    pointer: [0, 0],
    // The part that looks at the pointer and its parent, when the puppet has them.
    lookAt: /** @type {{head: string, parent: string}|null} */ (null),
    // Each crowd member's head turn, in radians; a reload keeps them.
    lookAngles: /** @type {number[]} */ ([]),
    // What the animator chose for this puppet; a reload of the same puppet
    // keeps it. The sliders (angles, wind, speed, crowd) stay as they are.
    state: { motion: '', overlays: /** @type {Map<string, number>} */ (new Map()), expression: '', skin: '' },
};

function showMessage(/** @type {string} */ text) {
    $('message').textContent = text;
    $('message').hidden = !text;
}

function setSlider(/** @type {string} */ id, /** @type {number} */ value) {
    $(id).value = String(value);
    $(id).dispatchEvent(new Event('input'));
}

function num(/** @type {string} */ id) {
    return Number($(id).value);
}

// ---- instances

function applyState(/** @type {number} */ id) {
    const { lib } = view.runtime;
    const s = view.state;
    lib.Anime_SetDrawOrder(id, 0);
    if (s.motion) lib.Anime_PlayMotion(id, s.motion, 1);
    for (const [name, weight] of s.overlays) lib.Anime_PlayOverlay(id, name, 1, weight);
    if (s.expression) lib.Anime_SetExpression(id, s.expression);
    if (s.skin) lib.Anime_SetSkin(id, s.skin);
    apply3D(id);
    lib.Anime_SetWind(id, num('wind-x'), num('wind-y'));
}

function apply3D(/** @type {number} */ id) {
    const { lib } = view.runtime;
    const [px, py] = view.pivot3D;
    lib.Anime_Set3DSetup(id, 1, px, py, view.focal, num('curve'), 0);
    lib.Anime_Set3DAngles(id, num('yaw'), num('pitch'), num('roll'));
}

// The crowd stands in a grid as in kivanime-player: the first cell holds
// the puppet at full size, each further row and column shrinks them all.
function layout() {
    const { lib } = view.runtime;
    const canvas = $('canvas');
    const n = view.ids.length;
    const columns = Math.ceil(Math.sqrt(n));
    const rows = Math.ceil(n / columns);
    const cellScale = 1 / Math.max(columns, rows);
    view.ids.forEach((id, k) => {
        const column = k % columns;
        const row = Math.floor(k / columns);
        const x = n === 1 ? view.origin[0] : (column + 0.5) * (canvas.width / columns);
        const y =
            n === 1 ? view.origin[1] : (row + 1) * (canvas.height / rows) - (canvas.height - view.origin[1]) * cellScale;
        lib.Anime_SetPosition(id, x, y);
        lib.Anime_SetScale(id, view.scale * cellScale, view.scale * cellScale);
        lib.Anime_SetDrawOrder(id, row);
    });
}

function setCrowd(/** @type {number} */ n) {
    const { lib } = view.runtime;
    while (view.ids.length > n) lib.Anime_DestroyInstance(view.ids.pop() ?? 0);
    while (view.ids.length < n) {
        const id = view.puppet ? lib.Anime_CreateInstance(view.puppet.name) : 0;
        if (!id) break;
        applyState(id);
        // A new member starts at its own moment: the others stand still
        // (hidden) while the library runs it ahead.
        if (view.ids.length > 0) {
            for (const other of view.ids) lib.Anime_SetVisible(other, 0);
            lib.Anime_Update(CROWD_PHASE_MS * (view.ids.length % 7));
            for (const other of view.ids) lib.Anime_SetVisible(other, 1);
        }
        view.ids.push(id);
    }
    layout();
}

function forEachInstance(/** @type {(lib: import('../src/kivanime.js').CInterface, id: number) => void} */ fn) {
    for (const id of view.ids) fn(view.runtime.lib, id);
}

// ---- loading

// One <li> per item; `make` fills it. Items that are names become the
// element's data-name, which the highlighting and the tests go by.
/** @template T @param {string} listId @param {T[]} items @param {(li: HTMLLIElement, item: T) => void} make */
function fillList(listId, items, make) {
    $(listId).replaceChildren(
        ...items.map((item) => {
            const li = document.createElement('li');
            if (typeof item === 'string') li.dataset.name = item;
            make(li, item);
            return li;
        }),
    );
}

function markActive() {
    for (const li of $('motions').children) li.classList.toggle('active', li.dataset.name === view.state.motion);
    for (const li of $('expressions').children) {
        li.classList.toggle('active', li.dataset.name === view.state.expression);
    }
    for (const li of $('overlays').children) {
        li.querySelector('input[type=checkbox]').checked = view.state.overlays.has(li.dataset.name);
    }
}

function showLists(/** @type {PuppetInfo} */ info) {
    fillList('motions', info.motions, (li, name) => {
        li.textContent = name;
        li.addEventListener('click', () => {
            view.state.motion = name;
            forEachInstance((lib, id) => lib.Anime_CrossFadeMotion(id, name, 1, num('fade')));
            markActive();
        });
    });
    fillList('overlays', info.motions, (li, name) => {
        const box = document.createElement('input');
        box.type = 'checkbox';
        const label = document.createElement('span');
        label.className = 'name';
        label.textContent = name;
        const weight = document.createElement('input');
        weight.type = 'range';
        weight.min = '0';
        weight.max = '1';
        weight.step = '0.05';
        weight.value = String(view.state.overlays.get(name) ?? 1);
        weight.title = 'weight';
        const play = () => {
            if (!box.checked) {
                view.state.overlays.delete(name);
                forEachInstance((lib, id) => lib.Anime_StopOverlay(id, name));
                return;
            }
            view.state.overlays.set(name, Number(weight.value));
            forEachInstance((lib, id) => lib.Anime_PlayOverlay(id, name, 1, Number(weight.value)));
        };
        box.addEventListener('change', play);
        weight.addEventListener('change', () => box.checked && play());
        li.append(box, label, weight);
        label.addEventListener('click', () => {
            box.checked = !box.checked;
            play();
        });
    });
    fillList('expressions', ['(none)', ...info.expressions], (li, name) => {
        li.textContent = name;
        if (name === '(none)') li.dataset.name = '';
        li.addEventListener('click', () => {
            view.state.expression = li.dataset.name ?? '';
            forEachInstance((lib, id) =>
                view.state.expression ? lib.Anime_SetExpression(id, view.state.expression) : lib.Anime_ClearExpression(id),
            );
            markActive();
        });
    });
    $('skin').replaceChildren(
        ...['', ...info.skins].map((name) => new Option(name || '(own textures)', name, false, name === view.state.skin)),
    );
    fillList('parts', info.parts, (li, part) => {
        li.dataset.name = part.name;
        li.style.paddingLeft = `${part.depth * 12}px`;
        li.textContent = part.name || '(unnamed)';
        li.title = part.parent ? `child of ${part.parent}` : 'root';
        // How it blends (when not normally) and what clips it.
        const mask = part.maskIndex >= 0 ? view.puppet?.parts[part.maskIndex]?.name : undefined;
        for (const [kind, text] of [['blend', part.blend !== 'normal' ? part.blend : ''], ['mask', mask !== undefined ? `in ${mask || '(unnamed)'}` : '']]) {
            if (text) {
                li.append(' ', Object.assign(document.createElement('span'), { className: kind, textContent: text }));
                li.title += kind === 'blend' ? `, blends ${text}` : `, clipped by ${mask}`;
            }
        }
    });
    markActive();
}

async function showLint(/** @type {Map<string, File>} */ files, /** @type {string|undefined} */ model, /** @type {{dropped: Map<string, string>}} */ names) {
    $('lint').replaceChildren();
    $('lint-summary').textContent = '…';
    let report;
    try {
        report = await lintFiles(files, model);
    } catch (e) {
        $('lint-summary').textContent = `the lint did not run: ${/** @type {Error} */ (e).message}`;
        return report;
    }
    $('lint-summary').textContent = `${report.errors} errors, ${report.warnings} warnings, ${report.infos} infos`;
    $('lint').replaceChildren(
        ...report.findings.map((f) => {
            const li = document.createElement('li');
            const where = document.createElement('span');
            where.className = 'where';
            where.textContent = `${names.dropped.get(f.file) ?? f.file}:${f.line}:${f.column}`;
            const severity = document.createElement('span');
            severity.className = f.severity;
            severity.textContent = ` ${f.severity}: `;
            li.append(where, severity, `${f.message} [${f.code}]`);
            return li;
        }),
    );
    return report;
}

// The placement, the background and the 3D pivot come from a scene script
// beside the model when there is one that the player reads, as the animator
// set them up for the player; else from the player's defaults.
async function sceneSettings(/** @type {File|undefined} */ scene) {
    const runtime = view.runtime.runtime;
    const options = ['--size', `${$('canvas').width}x${$('canvas').height}`];
    try {
        return new Scene(runtime, scene ? await scene.text() : null, 'scene', options).settings;
    } catch {
        return new Scene(runtime, null, 'scene', options).settings;
    }
}

// Parts in tree order (each parent before its children), with their depth,
// as the library links them; a part in a parent cycle is shown once, at the top.
/** @typedef {import('../src/kivanime.js').Puppet['parts'][number]} Part */
/** @typedef {{motions: string[], expressions: string[], skins: string[], parts: (Part & {depth: number})[]}} PuppetInfo */
function partTree(/** @type {Part[]} */ parts) {
    const children = parts.map(() => /** @type {number[]} */ ([]));
    const roots = /** @type {number[]} */ ([]);
    parts.forEach((p, i) => (p.parentIndex >= 0 && p.parentIndex !== i ? children[p.parentIndex] : roots).push(i));
    const out = /** @type {PuppetInfo['parts']} */ ([]);
    const seen = new Set();
    const visit = (/** @type {number} */ i, /** @type {number} */ depth) => {
        if (seen.has(i)) return;
        seen.add(i);
        out.push({ ...parts[i], depth });
        children[i].forEach((child) => visit(child, depth + 1));
    };
    roots.forEach((i) => visit(i, 0));
    parts.forEach((_, i) => visit(i, 0));
    return out;
}

// The first error the lint found, with its place, for the message line.
function firstError(/** @type {import('../src/lint.js').LintReport|undefined} */ report) {
    const f = report?.findings?.find((finding) => finding.severity === 'error');
    return f ? `${f.file}:${f.line}:${f.column}: ${f.message}` : '';
}

// What the page says names files as the animator dropped them and the
// puppet after its folder: `dropped` maps the paths the library was given to
// the dropped ones, `name` is the library's name for the puppet and `shown`
// the page's.
/** @param {string} text @param {{dropped: Map<string, string>, name?: string, shown?: string}} names */
function inDroppedNames(text, { dropped, name, shown }) {
    const renamed = [...dropped].filter(([path, as]) => path !== as).sort((a, b) => b[0].length - a[0].length);
    if (name && shown) text = text.replaceAll(`"${name}"`, `"${shown}"`);
    if (renamed.length === 0) return text;
    const escape = (/** @type {string} */ p) => p.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
    const paths = new RegExp(`(?<![\\w./-])(?:${renamed.map(([path]) => escape(path)).join('|')})(?![\\w./-])`, 'g');
    return text.replace(paths, (path) => dropped.get(path) ?? path);
}

async function loadFiles(/** @type {Map<string, File>} */ found, { keepState = false, folder = '' } = {}) {
    document.body.dataset.state = 'loading';
    showMessage('');
    const rt = view.runtime;
    let lintDone = /** @type {Promise<import('../src/lint.js').LintReport|undefined>|null} */ (null);
    /** @type {Parameters<typeof inDroppedNames>[1]} */
    let names = { dropped: new Map() };
    try {
        const arranged = await arrangePuppet(found, (/** @type {Blob} */ file) => rt.readFile(file));
        const { files, model, scene, dropped } = arranged;
        names = { dropped };
        lintDone = showLint(files, model, names);
        if (!model) throw new Error('no model file: the folder needs a model.json (or another file the library reads as a model)');
        // Named after the model's folder, else the folder dropped, else the model file.
        const shown = arranged.folder || folder || (dropped.get(model) ?? model).replace(/^.*\//, '').replace(/\.json$/i, '');
        // Loaded under a new name, so that the puppet on screen keeps playing
        // when the new files do not load (a half-finished save, say).
        const name = `puppet${view.loads + 1}`;
        names = { dropped, name, shown };
        const puppet = await rt.loadPuppet(name, files, model);
        view.ids.forEach((id) => rt.lib.Anime_DestroyInstance(id));
        view.ids = [];
        if (view.puppet) rt.unloadPuppet(view.puppet);
        view.puppet = puppet;
        if (!keepState) view.state = { motion: '', overlays: new Map(), expression: '', skin: '' };
        view.files = files;
        const info = (view.info = { motions: puppet.motions, expressions: puppet.expressions, skins: puppet.skins, parts: partTree(puppet.parts) });
        if (!info.skins.includes(view.state.skin)) view.state.skin = '';
        const head = puppet.parts.find((p) => p.name === 'head');
        view.lookAt = head?.parent ? { head: head.name, parent: head.parent } : null;
        $('look-at').disabled = !view.lookAt;
        const settings = await sceneSettings(scene ? files.get(scene) : undefined);
        view.origin = settings.origin;
        view.scale = settings.scale;
        view.pivot3D = settings.pivot;
        view.focal = settings.focal;
        view.background = settings.background;
        if (!keepState && info.motions.includes('idle')) view.state.motion = 'idle';
        else if (!keepState && info.motions.length) view.state.motion = info.motions[0];
        showLists(info);
        // What the motions of the puppet before announced is gone with it.
        $('events').replaceChildren();
        view.clockMs = 0;
        setCrowd(num('crowd'));
        $('title').textContent = `${shown} · ${dropped.get(model) ?? model}`;
        document.body.classList.add('loaded');
    } catch (e) {
        const kept = view.puppet ? '\nThe puppet on screen is the one loaded before.' : '';
        showMessage(`The puppet did not load: ${inDroppedNames(/** @type {Error} */ (e).message, names)}${kept}`);
        finishLoad('error');
        return;
    }
    // The library repairs what it can and loads the rest without a word; the
    // lint says what was lost.
    const where = inDroppedNames(firstError(await lintDone), names);
    showMessage(where && `The lint found errors; the first: ${where}`);
    finishLoad('ready');
}

// Tests and scripts wait on these: the state, and how many loads have ended.
function finishLoad(/** @type {string} */ state) {
    view.loads += 1;
    document.body.dataset.loads = String(view.loads);
    document.body.dataset.state = state;
}

// `folder` names a dropped folder whose files' paths do not (a folder
// handle's, the sample's).
async function openDropped(/** @type {{files: Map<string, File>, handle: any, folder?: string}} */ result) {
    view.stopWatching?.();
    view.stopWatching = null;
    const folder = result.handle?.name ?? result.folder ?? '';
    await loadFiles(result.files, { folder });
    if (result.handle) watch(result.handle, folder);
}

// Saving a file in a watched folder reloads the puppet and keeps what the
// animator had chosen.
function watch(/** @type {any} */ handle, /** @type {string} */ folder) {
    view.stopWatching = watchHandle(handle, async (files) => {
        await loadFiles(files, { keepState: true, folder });
    });
}

// ---- the frame loop

function frame(/** @type {number} */ time) {
    requestAnimationFrame(frame);
    const dt = view.last ? Math.min(time - view.last, 100) : 0;
    view.last = time;
    if (!view.runtime || view.ids.length === 0) return;
    if (!view.paused) advance(dt * num('speed'), dt);
    draw();
}

// `ms` of the puppets' time; the head follows the pointer in the page's
// time (`pageMs`), at any speed.
function advance(/** @type {number} */ ms, pageMs = ms) {
    if (view.lookAt) lookAtPointer(view.lookAt, pageMs);
    const events = view.runtime.runtime.update(ms);
    view.clockMs += ms;
    $('clock').textContent = `${(view.clockMs / 1000).toFixed(2)} s`;
    if (events.length) logEvents(events);
}

// The head turns toward the pointer, easing and limited in rate and range
// (look.js), from where its parent holds it; unticked, it turns back to
// where the motions hold it. Its pivot stays where its parent puts it
// whatever its turn, so its own transform gives the point it turns about.
function lookAtPointer(/** @type {{head: string, parent: string}} */ { head, parent }, /** @type {number} */ ms) {
    const on = $('look-at').checked;
    const angles = view.lookAngles;
    if (!on && angles.every((a) => a === 0)) return;
    const at = [0, 0, 0, 0, 0, 0];
    const pivot = [0, 0, 0, 0, 0, 0];
    view.ids.forEach((id, k) => {
        const lib = view.runtime.lib;
        if (!lib.Anime_GetPartTransform(id, parent, at) || !lib.Anime_GetPartTransform(id, head, pivot)) return;
        angles[k] = approach(angles[k] ?? 0, on ? lookTarget(pivot, at[2], view.pointer) : 0, ms);
        lib.Anime_SetPartOffset(id, head, 0, 0, angles[k], 1, 1, 1);
    });
    angles.length = view.ids.length;
    $('look-angle').textContent = `${Math.round(((angles[0] ?? 0) * 180) / Math.PI)}°`;
}

// An event's values as the motion file gives them: its string, and its int
// and float when not 0 (float32, shown to its precision).
function eventValues(/** @type {import('../src/kivanime.js').KivanimeEvent} */ e) {
    const values = [e.string && `string "${e.string}"`, e.intValue && `int ${e.intValue}`,
        e.floatValue && `float ${Number(e.floatValue.toPrecision(7))}`];
    return values.filter(Boolean).map((v) => ` ${v}`).join('');
}

// Newest first, at the moment each happened; the last fifty.
function logEvents(/** @type {import('../src/kivanime.js').KivanimeEvent[]} */ events) {
    const log = $('events');
    for (const e of events) {
        const what = e.kind === 'event' ? `"${e.name}"${eventValues(e)}` : e.kind === 'lap' ? `lap ×${e.intValue}` : 'end';
        const li = document.createElement('li');
        li.textContent = `${((view.clockMs - e.lateMs) / 1000).toFixed(2)} s #${e.instance} ${e.motion}${e.source === 'overlay' ? ' (overlay)' : ''}: ${what}`;
        log.prepend(li);
    }
    while (log.children.length > 50) log.lastChild.remove();
}

function draw() {
    const records = view.renderer.render(view.background);
    const ctx = view.overlay;
    ctx.clearRect(0, 0, ctx.canvas.width, ctx.canvas.height);
    if ($('pivots').checked) drawPivots(ctx, records);
}

// Each draw record's (x, y) is where the part's pivot lands on the canvas.
function drawPivots(/** @type {CanvasRenderingContext2D} */ ctx, /** @type {import('../src/records.js').DrawList} */ list) {
    ctx.fillStyle = '#d02a6a';
    ctx.strokeStyle = '#fff';
    for (let i = 0; i < list.count; ++i) {
        const base = i * RECORD_WORDS;
        ctx.beginPath();
        ctx.arc(list.f32[base + FIELD.x], list.f32[base + FIELD.y], 3, 0, 2 * Math.PI);
        ctx.fill();
        ctx.stroke();
    }
}

// ---- controls

function wireControls() {
    /** @type {Record<string, (v: number) => string>} */
    const outputs = {
        speed: (v) => `${v.toFixed(2)}×`,
        fade: (v) => `${v} ms`,
        yaw: (v) => `${v}°`,
        pitch: (v) => `${v}°`,
        roll: (v) => `${v}°`,
    };
    for (const input of /** @type {NodeListOf<HTMLInputElement>} */ (document.querySelectorAll('input[type=range][id]'))) {
        const out = document.querySelector(`output[for="${input.id}"]`);
        input.addEventListener('input', () => {
            const v = Number(input.value);
            if (out) out.textContent = (outputs[input.id] ?? String)(v);
        });
    }
    for (const id of ['yaw', 'pitch', 'roll', 'curve']) {
        $(id).addEventListener('input', () => forEachInstance((_, i) => apply3D(i)));
    }
    for (const id of ['wind-x', 'wind-y']) {
        $(id).addEventListener('input', () => forEachInstance((lib, i) => lib.Anime_SetWind(i, num('wind-x'), num('wind-y'))));
    }
    $('skin').addEventListener('change', () => {
        view.state.skin = $('skin').value;
        forEachInstance((lib, id) => lib.Anime_SetSkin(id, view.state.skin));
    });
    document.addEventListener('pointermove', (e) => {
        const canvas = $('canvas');
        const box = canvas.getBoundingClientRect();
        view.pointer = [((e.clientX - box.left) * canvas.width) / box.width, ((e.clientY - box.top) * canvas.height) / box.height];
    });
    $('crowd').addEventListener('input', () => view.runtime && view.files && setCrowd(num('crowd')));
    $('reset-view').addEventListener('click', () => {
        for (const [id, value] of /** @type {[string, number][]} */ ([['yaw', 0], ['pitch', 0], ['roll', 0], ['curve', 0], ['wind-x', 0], ['wind-y', 0], ['speed', 1]])) {
            setSlider(id, value);
        }
    });
    $('pause').addEventListener('click', () => {
        view.paused = !view.paused;
        $('pause').textContent = view.paused ? 'Play' : 'Pause';
    });
    $('step').addEventListener('click', () => {
        view.paused = true;
        $('pause').textContent = 'Play';
        if (view.ids.length) advance(STEP_MS);
    });

    for (const id of ['pick-files', 'pick-folder']) {
        $(id).addEventListener('change', async () => openDropped({ files: await readPicked($(id).files), handle: null }));
    }
    if ('showDirectoryPicker' in window) {
        $('open-folder').hidden = false;
        $('open-folder').addEventListener('click', async () => {
            const handle = await /** @type {any} */ (window).showDirectoryPicker().catch(() => null);
            if (handle) await openDropped({ files: await readHandle(handle), handle });
        });
    }
    $('load-sample').addEventListener('click', () => loadSample());

    document.addEventListener('dragover', (e) => {
        e.preventDefault();
        document.body.classList.add('dragging');
    });
    document.addEventListener('dragleave', (e) => {
        if (e.relatedTarget === null) document.body.classList.remove('dragging');
    });
    document.addEventListener('drop', (e) => {
        e.preventDefault();
        document.body.classList.remove('dragging');
        if (e.dataTransfer) readDrop(e.dataTransfer).then(openDropped, (error) => showMessage(`The drop could not be read: ${error.message}`));
    });
}

// The sample puppet ships in the built folder; its file list is fixed.
async function loadSample() {
    const base = new URL('../examples/hero/', location.href);
    const list = await fetch(new URL('files.json', base)).then((r) => (r.ok ? r.json() : null), () => null);
    if (!list) {
        showMessage('The sample puppet is not in this folder.');
        return;
    }
    const files = /** @type {Map<string, File>} */ (new Map());
    await Promise.all(
        list.map(async (/** @type {string} */ path) => {
            const blob = await fetch(new URL(path, base)).then((r) => r.blob());
            files.set(path, new File([blob], path.split('/').pop() ?? path));
        }),
    );
    await openDropped({ files, handle: null, folder: 'hero' });
}

async function main() {
    const params = new URLSearchParams(location.search);
    if (wantsContract(params)) {
        await runContract(params);
        return;
    }
    wireControls();
    try {
        view.runtime = await openRuntime();
        const canvas = $('canvas');
        view.renderer = view.runtime.createRenderer(canvas, params.get('renderer') ?? 'canvas');
        view.overlay = $('overlay').getContext('2d');
    } catch (e) {
        document.body.dataset.state = 'error';
        showMessage(`The WebAssembly library did not start: ${/** @type {Error} */ (e).message}`);
        return;
    }
    document.body.dataset.state = 'empty';
    requestAnimationFrame(frame);
}

main();
