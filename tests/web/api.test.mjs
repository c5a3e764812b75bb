// The C mirror's table, as built, gives every function of the header with
// the header's parameters and result. In Chromium: the JavaScript API covers
// every function the header declares, so a function added to the library
// cannot be forgotten here. The C mirror has each under both of its names;
// the idiomatic surface reaches each through the member of its row in
// COVERAGE, which must call it, with its numbers in the C order. Failures
// carry the library's own reason and error code (ErrorCode, the header's
// constants), and Runtime.dispose() gives back every allocation, function
// and image the JavaScript side took.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';
import { pathToFileURL } from 'node:url';

import { REPO, VERSION_NUMBER, WEB_DIR, need, openPage, serveCopy, withBrowser } from './harness.mjs';

// The header's error codes, as ErrorCode must name them.
const HEADER_CODES = Object.fromEntries([...fs.readFileSync(path.join(REPO, 'include/kivanime.h'), 'utf8')
    .matchAll(/^\s*ANIME_ERROR_(\w+) = (\d+),?$/gm)].map(([, name, value]) => [name, Number(value)]));
// What the build made from the header: each function's name, result and
// parameter types as C spells them.
const SIGNATURES = path.join(WEB_DIR, '../generated/signatures.txt');
const signatures = () => fs.readFileSync(SIGNATURES, 'utf8').split('\n').filter((l) => l.startsWith('Anime_')).map((l) => l.split('|'));

// The mirror's kinds each C type may take: bytes (b) and samples (g) come
// with their length (n) after them.
const RESULT_KINDS = { void: 'v', int32_t: 'i', uint32_t: 'u', 'const char *': 'z' };
const PARAMETER_KINDS = { uint32_t: 'u', int32_t: 'in', float: 'f', 'const char *': 'sb', 'float *': 'o', 'float *[6]': 'a',
    'const AnimeHostCallbacks *': 'h', AnimeDrawMeshFn: 'm', 'AnimeEvent *': 'e', 'AnimeMeshVertex *': 'x',
    AnimeEnqueueTaskFn: 'i', AnimeFinishTaskFn: 'i', 'void *': 'i', 'const float *': 'g' };

test('the C mirror\'s table gives every function of the header with its parameters and result', async (t) => {
    const table = path.join(WEB_DIR, 'src/c-interface.js');
    if (!need(t, { 'the web build (scripts/web.sh)': table, 'the list made from the header': SIGNATURES })) return;
    const { C_FUNCTIONS } = await import(pathToFileURL(table).href);
    const header = signatures();
    assert.ok(header.length > 50, `${SIGNATURES} lists ${header.length} functions`);
    assert.deepEqual(Object.keys(C_FUNCTIONS), header.map(([name]) => name), 'the table names the header\'s functions, in its order');
    const wrong = header.filter(([name, result, ...params]) => {
        const [r, kinds] = (C_FUNCTIONS[name] ?? ':').split(':');
        const paired = [...kinds].every((k, i) => (k === 'b' || k === 'g') === (kinds[i + 1] === 'n'));
        return r !== RESULT_KINDS[result] || kinds.length !== params.length || !paired ||
            params.some((p, i) => !(PARAMETER_KINDS[p] ?? '').includes(kinds[i]));
    });
    assert.deepEqual(wrong.map(([name]) => `${name}: ${C_FUNCTIONS[name]}`), [], 'functions whose table entry differs from the header');
});

// Runs before each row's check: the hero with three motions and an expression.
const LOAD = `c.hero = await c.kv.loadPuppet('hero', { model: '/examples/hero/model.json',
    motions: ['/examples/hero/motions/idle.json', '/examples/hero/motions/wave.json', '/examples/hero/motions/walk.json'],
    expressions: ['/examples/hero/expressions/smile.json'] })`;

// [function, what calls it (c: kv, hero, a), what must hold after (r: its
// value, n: the numbers the function was called with, called(name,
// numbers): whether it called that function), the function actually called
// when another reaches the same end]. The rows run in order.
const COVERAGE = [
    ['Anime_Init', 'c.kv.useOwnHost()', 'n.length === 0'],
    ['Anime_GetVersion', 'c.kv.version', 'r === VERSION'],
    ['Anime_LoadModel', LOAD, 'c.hero.name === "hero"'],
    ['Anime_LoadMotion', LOAD, 'true'],
    ['Anime_LoadExpression', LOAD, 'true'],
    // Files reach the library through the module's file system, so that
    // its reasons name them.
    ['Anime_LoadModelFromMemory', LOAD, 'true', 'Anime_LoadModel'],
    ['Anime_LoadMotionFromMemory', LOAD, 'true', 'Anime_LoadMotion'],
    ['Anime_LoadExpressionFromMemory', LOAD, 'true', 'Anime_LoadExpression'],
    ['Anime_CreateInstance', "c.a = c.hero.createInstance({ x: 3, y: 4, scale: 2, motion: 'idle', expression: 'smile' })",
        "c.a.id === 1 && c.a.playing && same(c.a.getPosition(), [3, 4]) && called('Anime_SetScale', [1, 2, 2]) && called('Anime_SetExpression')"],
    ['Anime_GetInstanceCount', 'c.kv.instanceCount', 'r === 1'],
    ['Anime_HasInstances', 'c.kv.hasInstances', 'r === true'],
    ['Anime_PlayMotion', "c.a.play('idle', 2)", 'r === true && same(n, [1, 2])'],
    ['Anime_IsMotionPlaying', 'c.a.playing', 'r === true'],
    ['Anime_StopMotion', 'c.a.stop()', 'c.a.playing === false'],
    ['Anime_IsMotionFinished', 'c.a.finished', 'r === true'],
    ['Anime_PlayOverlay', "c.a.overlay('wave', 0.5, 0.25)", 'r === true && same(n, [1, 0.5, 0.25])'],
    ['Anime_StopOverlay', "c.a.stopOverlay('wave')", 'same(n, [1])'],
    ['Anime_StopAllOverlays', 'c.a.stopOverlays()', 'same(n, [1])'],
    ['Anime_SetExpression', "c.a.express('smile')", "r === true && c.a.express('nope') === false"],
    ['Anime_ClearExpression', 'c.a.clearExpression()', 'same(n, [1])'],
    ['Anime_SetPosition', 'c.a.setPosition(3, 4)', 'same(n, [1, 3, 4])'],
    ['Anime_GetPosition', 'c.a.getPosition()', 'same(r, [3, 4])'],
    ['Anime_SetScale', 'c.a.setScale(2)', 'same(n, [1, 2, 2])'],
    ['Anime_SetAlpha', 'c.a.setAlpha(0.5)', 'same(n, [1, 0.5])'],
    ['Anime_SetVisible', '(c.a.setVisible(false), c.a.setVisible(true))', 'same(n, [1, 0])'],
    ['Anime_SetDrawOrder', 'c.a.setDrawOrder(-2)', 'same(n, [1, -2])'],
    ['Anime_SetWind', 'c.a.setWind(5, 6)', 'same(n, [1, 5, 6])'],
    ['Anime_SetGlobalWind', 'c.kv.setGlobalWind(7, 8)', 'same(n, [7, 8])'],
    ['Anime_ResetPhysics', 'c.a.resetPhysics()', 'same(n, [1])'],
    ['Anime_Set3DSetup', 'c.a.setup3D({ pivot: [1, 2], focal: 1500, curve: [3, 4] })', 'same(n, [1, 1, 1, 2, 1500, 3, 4])'],
    ['Anime_Set3DAngles', 'c.a.turn(10, 20, 30)', 'same(n, [1, 10, 20, 30])'],
    ['Anime_Set3DStrength', 'c.a.set3DStrength(0.5, 2)', 'same(n, [1, 0.5, 2])'],
    ['Anime_Update', 'c.kv.update(16)', 'same(n, [16])'],
    ['Anime_Render', 'c.kv.collect()', 'r.count > 20'],
    ['Anime_RenderInstance', 'c.a.collect()', 'same(n, [1]) && r.count > 20'],
    ['Anime_GetPartTransform', "c.a.partTransform('hand_r')",
        "r.alpha === 0.5 && same(Object.values(r), mirrored('hand_r')) && c.a.partTransform('nope') === null"],
    ['Anime_GetLastError', 'c.kv.lastError', 'r === \'model "hero" (instance 1) has no part named "nope"\''],
    ['Anime_GetLastErrorCode', 'c.kv.lastErrorCode', 'r === 6 /* UNKNOWN_PART */'],
    ['Anime_CrossFadeMotion', "c.a.crossFade('walk', 2, 100)", "r === true && same(n, [1, 2, 100]) && c.a.crossFade('nope') === false"],
    ['Anime_QueueMotion', "c.a.queue('idle', 0.5, 50)", 'r === true && same(n, [1, 0.5, 50])'],
    ['Anime_FadeOverlay', "(c.a.overlay('wave'), c.a.fadeOverlay('wave', 0.5, 200))", "r === true && same(n, [1, 0.5, 200]) && c.a.fadeOverlay('idle', 1) === false"],
    // Walking at twice the speed: the left step at 400 is 50 ms old at 500;
    // the right one at 800 comes with the lap, which hands over to idle.
    ['Anime_GetEventText', 'c.kv.update(250)', `c.kv.events === r && c.kv.api.Anime_GetEventText(0, 3) === null && same(r, [{ instance: 1, kind: 'event',
        source: 'main', motion: 'walk', name: 'footstep', string: 'left', intValue: 0, floatValue: 0, time: 400, lateMs: 50 }])`],
    ['Anime_GetEvent', 'c.kv.update(200)', "same(r.map((e) => [e.kind, e.string, e.intValue, e.time, e.lateMs]), [['event', 'right', 0, 800, 50], ['lap', '', 1, 800, 50]])"],
    ['Anime_GetEventCount', 'c.kv.update(0)', 'same(r, []) && c.a.playing'],
    ['Anime_SetPartOffset', "c.a.setPartOffset('head', 5)", "r === true && same(n, [1, 5, 0, 0, 1, 1, 1]) && !c.a.setPartOffset('nope') && c.kv.lastError.includes('nope')"],
    ['Anime_ClearPartOffsets', 'c.a.clearPartOffsets()', 'same(n, [1])'],
    ['Anime_SetPartTexture', "c.a.setPartTexture('torso', 'torso_forest')", "r && c.a.setPartTexture('torso') && !c.a.setPartTexture('torso', 'nope')"],
    ['Anime_SetSkin', "c.a.setSkin('forest')", "r && c.a.setSkin() && !c.a.setSkin('nope') && same(c.hero.skins, ['forest'])"],
    // Bytes R, G, B, A in memory order.
    ['Anime_SetTint', 'c.a.setTint(1, 0.6, 0)', 'same(n, [1, 1, 0.6, 0]) && c.a.collect().record(0).reserved2 === 0xff0099ff'],
    ['Anime_SetPartTint', "c.a.setPartTint('head', 0.5, 0.25, 1)", 'r === true && same(n, [1, 0.5, 0.25, 1])'],
    // An instance keeps the mesh function it was created with.
    ['Anime_SetMeshCallback', `(c.meshes = [], c.kv.setMeshFunction((r, v, i) => c.meshes.push([[...v], [...i]])), c.m = c.hero.createInstance(),
        c.kv.setMeshFunction(null), c.m.collect(), c.meshes)`,
        // null gives meshes back to the runtime's own function, which puts them in the frame's list.
        // The hero draws seven: its tail first, then the eye whites and the irises and pupils they clip.
        "r.length === 7 && same(r[0][0], [...c.m.partMesh('tail')]) && r[0][1].length === 30 && (c.n = c.hero.createInstance(), c.n.collect().meshCount === 7) && !c.n.destroy()"],
    ['Anime_GetPartMesh', "[c.m.partMesh('tail'), c.m.partMesh('head'), c.m.destroy()]", 'r[0].length === 48 && r[1] === null'],
    // The web build has no threads: only the mirror, where a task system is refused or serial.
    ['Anime_SetTaskSystem', '[c.kv.api.Anime_SetTaskSystem(0, 0, 1, 0), c.kv.api.Anime_SetTaskSystem(0, 0, 0, 0)]',
        'same(r, [1, 0]) && c.kv.lastError.includes("outside 1 to 64")'],
    // A face with parameters (tests/fixtures/face-puppet), as the library lists them after its repairs.
    ['Anime_GetParameterCount', `(c.face = await c.kv.loadPuppet('face', { model: c.fixture + 'model.json', motions: [c.fixture + 'motions/nod.json'] }),
        c.f = c.face.createInstance(), c.f.parameters)`, "r.length === 7 && same(r[0], { name: 'AngleX', min: -30, max: 30, default: -30 })"],
    ['Anime_GetParameterName', 'c.f.parameters.map((p) => p.name)',
        "same(r, ['AngleX', 'AngleY', 'EyeOpen', 'MouthOpen', 'Breath', 'Swapped', 'Tilt']) && c.kv.api.Anime_GetParameterName(c.f.id, 7) === null"],
    ['Anime_GetParameterRange', "c.f.parameterRange('Swapped')", "same(r, { min: -2, max: 2, default: 2 }) && c.f.parameterRange('nope') === null"],
    ['Anime_SetParameter', "c.f.setParameter('AngleX', 12)",
        "r === true && n[1] === 12 && !c.f.setParameter('AngleX', NaN) && !c.f.setParameter('nope', 1) && c.kv.lastErrorCode === 19 /* UNKNOWN_PARAMETER */"],
    ['Anime_GetParameter', "c.f.getParameter('AngleX')", "r === 12 && c.f.getParameter('nope') === null"],
    ['Anime_ResetParameters', "(c.f.resetParameters(), c.f.getParameter('AngleX'))", 'r === -30'],
    // Blinks every 3 s closing over 150 ms, breathes over 3 s across half the range, unless told otherwise.
    ['Anime_SetAutoBlink', "c.f.setAutoBlink('EyeOpen')", "r === true && same(n.slice(1), [3000, 150]) && !c.f.setAutoBlink('EyeOpen', 100, 0) && c.f.setAutoBlink('EyeOpen', 0, 0)"],
    ['Anime_SetBreath', "c.f.setBreath('Breath')", "r === true && same(n.slice(1), [3000, 0.5]) && c.f.setBreath('Swapped', 1000, 0.25) && !c.f.setBreath('nope')"],
    ['Anime_SetLipSync', "c.f.setLipSync('MouthOpen', 4)", 'r === true && n[1] === 4'],
    // Samples cross through scratch memory, whole or the first `count`; a
    // count beyond them is refused before the library is called.
    ['Anime_FeedAudio', "[c.f.feedAudio(new Float32Array(4000).fill(0.5), 16000), c.f.feedAudio([0.25, 0.25, 9], 8000, 2), (c.kv.update(16), c.f.getParameter('MouthOpen')), c.f.destroy()]",
        "same(r, [true, true, 1, null]) && n[1] === 16000 && failure(() => c.f.feedAudio([1], 8000, 2)) === 'RangeError undefined: length 2 is more than the 1 samples given'"],
    ['Anime_DestroyInstance', 'c.a.destroy()', 'same(n, [1]) && c.a.id === 0 && c.kv.instanceCount === 0'],
    ['Anime_DestroyAllInstances', '(c.b = c.hero.createInstance(), c.kv.destroyAllInstances())', 'c.b.id === 0 && c.hero.instances.size === 0'],
    ['Anime_UnloadModel', '(c.b = c.hero.createInstance(), c.hero.unload())',
        'c.b.id === 0 && failure(() => c.hero.createInstance()) === \'KivanimeError 2: no model named "hero" is loaded\''],
    ['Anime_UnloadAll', `(${LOAD}, c.kv.unloadAll())`, 'c.kv.puppets.size === 0 && c.kv.textures.images.size === 0'],
    ['Anime_Shutdown', `(${LOAD}, c.hero.createInstance(), c.image = [...c.kv.textures.images.values()][0].source, c.kv.dispose(), c.kv.dispose())`,
        "c.kv.textures.releases === c.kv.textures.loads && c.kv.puppets.size + c.kv.textures.images.size + c.image.width === 0 && called('Anime_Init') && called('Anime_SetMeshCallback', [0])"],
];

// Runs in the page: the rows against a runtime whose module records every
// call of the C interface and every allocation the JavaScript side makes.
async function runInPage({ exports, coverage, version, fixture }) {
    const lib = await import('/src/kivanime.js');
    const module = await (await import('/wasm/kivanime.js')).default();
    const calls = [];
    // The module may put its functions in place on their first call: the
    // spies stay.
    const spy = (name, record) => {
        const real = module[name];
        const spied = (...args) => { const result = real(...args); record(args, result); return result; };
        Object.defineProperty(module, name, { get: () => spied, set: () => {} });
    };
    exports.forEach((name) => spy('_' + name, (args) => calls.push({ name, args })));
    const held = { memory: new Set(), functions: new Set(), strayFrees: 0 };
    spy('_malloc', (_, p) => held.memory.add(p));
    spy('_free', ([p]) => p && !held.memory.delete(p) && ++held.strayFrees);
    spy('addFunction', (_, f) => held.functions.add(f));
    spy('removeFunction', ([f]) => held.functions.delete(f));
    const kv = new lib.Runtime(module);
    const report = { rows: [], extra: Object.keys(lib.C_FUNCTIONS).filter((n) => !exports.includes(n)),
        mirror: exports.filter((n) => typeof kv.api[n] !== 'function' || kv.api[n[6].toLowerCase() + n.slice(7)] !== kv.api[n]) };
    // A host of JavaScript functions, whose functions dispose() removes.
    kv.api.Anime_Init({ draw: () => {} });
    // The mirror refuses a length beyond the bytes it is given; long text
    // crosses whole, as UTF-8.
    report.overrun = await Promise.all([() => kv.api.Anime_LoadMotionFromMemory('x', '{}', 3), () => kv.api.Anime_GetPartMesh(1, 'x', [0, 0, 0, 0], 2)]
        .map((call) => Promise.resolve().then(call).catch((e) => e.name)));
    kv.api.Anime_LoadMotionFromMemory('é'.repeat(400), '{}', 2);
    report.long = kv.lastError === `no model named "${'é'.repeat(400)}" is loaded`;
    // A refused file says why, naming it as the caller named it, and leaves
    // no model behind.
    report.reason = await kv.loadPuppet('broken', new Map([['model.json', '{}'], ['motions/bad.json', '\n "x"']])).catch((e) => `${e.name} ${e.code}: ${e.message}`);
    report.codes = lib.ErrorCode;
    report.left = kv.describeModel('broken');
    const c = { kv, fixture };
    const same = (x, y) => JSON.stringify(x) === JSON.stringify(y);
    const failure = (fn) => {
        try { fn(); } catch (e) { return `${e.name} ${e.code}: ${e.message}`; }
        return 'no failure';
    };
    // The numbers of a function's first call in the row (strings are addresses).
    const numbers = (name) => {
        const kinds = lib.C_FUNCTIONS[name].split(':')[1].replace(/o/g, '');
        return calls.find((x) => x.name === name)?.args.filter((_, i) => 'uifm'.includes(kinds[i]));
    };
    const called = (name, expected) => numbers(name) !== undefined && (!expected || same(numbers(name), expected));
    // A part's transform as the mirror writes it, into an array of its own.
    const mirrored = (part, out = []) => (kv.api.Anime_GetPartTransform(1, part, out), out);
    const AsyncFunction = (async () => {}).constructor;
    for (const [name, run, check, via = name] of coverage) {
        calls.length = 0;
        const r = await new AsyncFunction('c', `return ${run}`)(c);
        const n = numbers(via) ?? [];
        const ok = new Function('c', 'r', 'n', 'same', 'called', 'mirrored', 'failure', 'VERSION', `return ${check}`)(
            c, r, n, same, called, mirrored, failure, version);
        if (!called(via) || !ok) report.rows.push(`${name}: ${called(via) ? `${check} fails (n = ${JSON.stringify(n)})` : `${run} does not call ${via}`}`);
    }
    report.held = { memory: held.memory.size, functions: held.functions.size, strayFrees: held.strayFrees };
    return report;
}

test('the JavaScript API covers every export, reports failures with the library\'s reason and gives everything back', (t) =>
    withBrowser(t, async ({ url, browser }) => {
        const exports = signatures().map(([name]) => name);
        const covered = COVERAGE.map((row) => row[0]);
        assert.deepEqual([...covered].sort(), [...exports].sort(), 'COVERAGE has one row per export');
        const { page, errors } = await openPage(browser, `${url}/__blank.html`);
        const face = serveCopy('tests/fixtures/face-puppet');
        const report = await page.evaluate(runInPage, { exports, coverage: COVERAGE, version: VERSION_NUMBER, fixture: face.url })
            .finally(face.remove);
        assert.deepEqual(report.mirror, [], 'exports the C mirror lacks');
        assert.deepEqual(report.extra, [], 'C_FUNCTIONS names functions the library does not export');
        assert.deepEqual(report.rows, []);
        assert.deepEqual([report.overrun, report.long], [['RangeError', 'RangeError'], true]);
        assert.deepEqual(report.codes, HEADER_CODES, 'ErrorCode mirrors AnimeErrorCode of kivanime.h');
        assert.deepEqual([report.reason, report.left], ['KivanimeError 14: cannot load a motion into model "broken": motions/bad.json:2:2: expected a JSON object, found a string ""x""', { kind: 'none' }]);
        assert.deepEqual(report.held, { memory: 0, functions: 0, strayFrees: 0 }, 'left behind by dispose() (twice), or freed twice');
        assert.deepEqual(errors, []);
    }, { 'the list made from the header': SIGNATURES }));
