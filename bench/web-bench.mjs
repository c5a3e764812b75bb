// Prints the WebAssembly figures of web/bench/ (headless Chromium) beside
// the native figures of bench/hero_crowd.c for the same scene, as a Markdown
// table. Usage: node bench/web-bench.mjs NATIVE_PROGRAM
import { REPO, run, withBrowser } from '../tests/web/harness.mjs';

const native = run(process.argv[2], [REPO])
    .trim()
    .split('\n')
    .map((line) => JSON.parse(line));

// The browser tests' frame (server, Chromium, clean-up); what it needs and
// misses fails the run, as a test under KIVANIME_NO_SKIP=1 does.
const mustRun = { skip: (/** @type {string} */ reason) => { throw new Error(reason); } };
let wasm;
let version = '';
await withBrowser(mustRun, async ({ url, browser }) => {
    const page = await browser.newPage();
    await page.goto(`${url}/bench/`, { waitUntil: 'load' });
    await page.waitForFunction(() => document.body.dataset.results, { timeout: 600000 });
    wasm = JSON.parse(await page.evaluate(() => document.body.dataset.results ?? ''));
    version = await browser.version();
});
if (!Array.isArray(wasm)) {
    throw new Error(`the benchmark page failed: ${JSON.stringify(wasm)}`);
}
const f = (/** @type {number} */ v) => v.toFixed(1);
console.log('| Instances | Parts drawn per frame | Update native | Update wasm | Ratio | Render native | Render wasm | Ratio | Frame ratio |');
console.log('|---:|---:|---:|---:|---:|---:|---:|---:|---:|');
for (const w of wasm) {
    const n = native.find((row) => row.instances === w.instances);
    console.log(
        `| ${w.instances} | ${w.parts} | ${f(n.update)} | ${f(w.update)} | ${(w.update / n.update).toFixed(2)}x | ` +
            `${f(n.render)} | ${f(w.render)} | ${(w.render / n.render).toFixed(2)}x | ` +
            `${((w.update + w.render) / (n.update + n.render)).toFixed(2)}x |`,
    );
}
console.log(`\nns per drawn part per frame, fastest of nine batches; wasm: headless Chromium ${version}`);
