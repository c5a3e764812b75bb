// Times the WebAssembly library as bench/hero_crowd.c times the native one:
// the same scene, the same batches, the same per-part figures (the fastest
// batch of nine: the machine is shared, and other work only adds time). The result
// lands in document.body.dataset.results (JSON) when done.
import { loadRuntime } from '../src/kivanime.js';

const BATCHES = 9;

const best = (/** @type {number[]} */ v) => Math.min(...v);

async function main() {
    const kv = await loadRuntime();
    const m = kv.module;
    const api = kv.api;
    const files = await (await fetch('../examples/hero/files.json')).json();
    const pick = (/** @type {string} */ dir) =>
        files.filter((/** @type {string} */ f) => f.startsWith(dir + '/') && f.endsWith('.json')).map((/** @type {string} */ f) => '../examples/hero/' + f);
    await kv.loadPuppet('hero', { model: '../examples/hero/model.json', motions: pick('motions'), expressions: pick('expressions') });
    // Draws only counted, as the native figures are: the runtime's own
    // texture functions, the module's counting draw.
    const table = m._malloc(16);
    m.HEAP32.set(m.HEAP32.subarray(kv.hostTable >> 2, (kv.hostTable >> 2) + 2), table >> 2);
    m.HEAP32[(table >> 2) + 2] = 0;
    m.HEAP32[(table >> 2) + 3] = m._KivanimeWeb_CountingDraw();
    api.Anime_Init(table);
    const results = [];
    const sizes = (new URLSearchParams(location.search).get('sizes') ?? '100,1000').split(',').map(Number);
    for (const n of sizes) {
        const frames = n >= 1000 ? 40 : 400;
        api.Anime_DestroyAllInstances();
        for (let i = 0; i < n; ++i) {
            const id = api.Anime_CreateInstance('hero');
            api.Anime_PlayMotion(id, 'idle', 1);
            api.Anime_PlayOverlay(id, 'wave', 1, 0.6);
            api.Anime_SetExpression(id, 'smile');
            api.Anime_SetPosition(id, (i % 40) * 20, Math.floor(i / 40) * 20);
            api.Anime_Set3DSetup(id, 1, 0, -360, 1500, 0, 0);
            api.Anime_Set3DAngles(id, -25 + (50 * i) / n, 6, 2);
            api.Anime_SetWind(id, 20, 0);
        }
        // Warm up for a second at least: the engine compiles hot code again
        // with its optimising tier in the background.
        const warm = performance.now();
        for (let f = 0; f < 60 || performance.now() - warm < 1000; ++f) {
            api.Anime_Update(16.6667);
            api.Anime_Render();
        }
        m._KivanimeWeb_ClearRecords();
        api.Anime_Render();
        const parts = m._KivanimeWeb_DrawCalls();
        const update = [];
        const render = [];
        for (let b = 0; b < BATCHES; ++b) {
            const t0 = performance.now();
            for (let f = 0; f < frames; ++f) {
                api.Anime_Update(16.6667);
            }
            const t1 = performance.now();
            for (let f = 0; f < frames; ++f) {
                api.Anime_Render();
            }
            const t2 = performance.now();
            update.push(((t1 - t0) * 1e6) / frames / parts);
            render.push(((t2 - t1) * 1e6) / frames / parts);
            await new Promise((r) => setTimeout(r, 0)); // let the page breathe
        }
        const row = { instances: n, parts, update: best(update), render: best(render) };
        results.push(row);
        const tr = document.createElement('tr');
        for (const v of [n, parts, row.update.toFixed(2), row.render.toFixed(2)]) {
            tr.append(Object.assign(document.createElement('td'), { textContent: String(v) }));
        }
        /** @type {HTMLElement} */ (document.getElementById('rows')).append(tr);
    }
    api.Anime_DestroyAllInstances();
    kv.useOwnHost();
    /** @type {HTMLElement} */ (document.getElementById('status')).textContent = 'done';
    document.body.dataset.results = JSON.stringify(results);
}

main().catch((error) => {
    /** @type {HTMLElement} */ (document.getElementById('status')).textContent = 'failed: ' + error;
    document.body.dataset.results = JSON.stringify({ error: String(error) });
});
