// The npm package as a web developer gets it: `npm pack` in the built web
// folder makes a tarball of the modules, their type declarations, the
// WebAssembly files and the license, at the header's version. Installed into
// a scratch project, it type-checks a strict TypeScript program, whose
// output then runs in Chromium, importing the package by name (through an
// import map made from the package's `exports`, as a bundler resolves
// them): it draws the sample puppet, and its <kivanime-player> elements,
// typed by tag, fire their typed events. The plain page of docs/web.md, with
// its import map, runs as the page gives it in the same project.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';

import { REPO, VERSION, VERSION_NUMBER, WEB_DIR, decodePngs, need, openPage, run, withBrowser } from './harness.mjs';

const NPM = process.env.KIVANIME_NPM ?? '/usr/bin/npm';
const TSC = path.join(REPO, 'node_modules/.bin/tsc');

// What a user writes: strict TypeScript against the package's declarations
// (the line marked @ts-expect-error must not type-check).
const PROGRAM = `import { loadRuntime, CanvasRenderer, type Instance, type KivanimeEvent } from 'kivanime';
import { lintFiles } from 'kivanime/lint';
import 'kivanime/player-element';

// The elements by their tag, and their own events, without a cast.
const [player, broken] = document.querySelectorAll('kivanime-player');
const loaded = new Promise<number>((resolve) => player.addEventListener('load', () => resolve(player.instance?.id ?? 0)));
const announced = new Promise<KivanimeEvent>((resolve) => player.addEventListener('motionevent', (e) => resolve(e.detail), { once: true }));
const failed = new Promise<string>((resolve) => broken.addEventListener('error', (e) => resolve(e.detail.message)));
// @ts-expect-error: an error's detail is an Error (never called)
const misread = () => broken.addEventListener('error', (e) => e.detail.toFixed());
// @ts-expect-error: an event record has no such field (never called)
const misspelt = () => player.addEventListener('motionevent', (e) => e.detail.nmae);

const kv = await loadRuntime();
const hero = await kv.loadPuppet('hero', 'hero/model.json');
const a: Instance = hero.createInstance({ x: 128, y: 250, scale: 0.45 });
// @ts-expect-error: a speed is a number (never called)
const misuse = () => a.overlay('wave', 'fast');
kv.update(16);
const canvas = document.querySelector('canvas') as HTMLCanvasElement;
const list = kv.render(new CanvasRenderer(canvas), { background: '#ffffff' });
const pixels = (canvas.getContext('2d') as CanvasRenderingContext2D).getImageData(0, 0, 256, 256).data;
const drawn = pixels.filter((v, i) => i % 4 === 0 && v < 250).length / (256 * 256);
const element = { instance: await loaded, event: (await announced).name, error: await failed, unused: [typeof misread, typeof misspelt] };
document.body.dataset.result = JSON.stringify({ version: kv.version, records: list.count, drawn, lint: typeof lintFiles, misuse: typeof misuse, element });
`;

// The fenced html block of docs/web.md that holds an import map: the recipe
// for a plain page.
function docsRecipe() {
    const blocks = [...fs.readFileSync(path.join(REPO, 'docs/web.md'), 'utf8').matchAll(/^```html\n([\s\S]*?)^```$/gm)].map((m) => m[1]);
    const recipes = blocks.filter((b) => b.includes('<script type="importmap">'));
    assert.equal(recipes.length, 1, 'docs/web.md shows one page with an import map');
    return recipes[0];
}

test('the npm package installs into a project, type-checks strictly and plays a puppet; the plain page of docs/web.md runs', async (t) => {
    const needs = { 'the web build (scripts/web.sh)': path.join(WEB_DIR, 'src/kivanime.d.ts'), npm: NPM, 'TypeScript (npm ci)': TSC };
    if (!need(t, needs)) return;
    const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kivanime-package-'));
    try {
        const [packed] = JSON.parse(run(NPM, ['pack', '--json', '--pack-destination', scratch, WEB_DIR]));
        assert.equal(packed.version, VERSION.join('.'));
        const files = packed.files.map((f) => f.path);
        assert.deepEqual(['package.json', 'LICENSE', 'src/kivanime.js', 'src/kivanime.d.ts', 'src/player-element.d.ts', 'wasm/kivanime.wasm',
            'wasm/kivanime-lint.wasm'].filter((f) => !files.includes(f)), [], 'missing from the package');
        assert.deepEqual(files.filter((f) => !/^(src|wasm)\/|^(package\.json|LICENSE)$/.test(f)), [], 'only the package is packed');

        const app = path.join(scratch, 'app');
        fs.mkdirSync(app);
        fs.writeFileSync(path.join(app, 'package.json'), JSON.stringify({ name: 'app', private: true, type: 'module' }));
        run(NPM, ['install', '--offline', '--no-audit', '--no-fund', '--prefix', app, path.join(scratch, packed.filename)]);
        fs.writeFileSync(path.join(app, 'main.ts'), PROGRAM);
        run(TSC, ['--strict', '--target', 'es2022', '--module', 'es2022', '--moduleResolution', 'bundler',
            '--lib', 'es2022,dom,dom.iterable', path.join(app, 'main.ts')]);
        fs.cpSync(path.join(REPO, 'examples/hero'), path.join(app, 'hero'), { recursive: true });
        fs.writeFileSync(path.join(app, 'hero/broken.json'), '[1, 2]');
        const pkg = JSON.parse(fs.readFileSync(path.join(app, 'node_modules/kivanime/package.json'), 'utf8'));
        const imports = Object.fromEntries(Object.entries(pkg.exports).map(([key, target]) => [
            `kivanime${key.slice(1)}`.replace(/\*$/, ''),
            `./node_modules/kivanime/${(target.default ?? target).slice(2)}`.replace(/\*$/, ''),
        ]));
        fs.writeFileSync(path.join(app, 'index.html'), `<!doctype html><meta charset="utf-8">
<script type="importmap">${JSON.stringify({ imports })}</script>
<canvas width="256" height="256"></canvas><script type="module" src="main.js"></script>
<kivanime-player src="hero/model.json" motion="walk"></kivanime-player><kivanime-player src="hero/broken.json"></kivanime-player>`);
        // The recipe maps every module the package exports.
        const recipe = docsRecipe();
        const recipeMap = JSON.parse(recipe.match(/<script type="importmap">([\s\S]*?)<\/script>/)[1]).imports;
        assert.deepEqual(Object.keys(imports).filter((name) => !/\/(wasm\/|package\.json)$/.test(name) && !(name in recipeMap)), [], 'missing from the recipe\'s import map');
        fs.writeFileSync(path.join(app, 'recipe.html'), recipe);

        await withBrowser(t, async ({ url, browser }) => {
            const { page, errors } = await openPage(browser, `${url}/index.html`);
            await page.waitForFunction(() => document.body.dataset.result, { timeout: 60000 });
            const result = JSON.parse(await page.evaluate(() => document.body.dataset.result));
            assert.equal(result.version, VERSION_NUMBER);
            assert.ok(result.records > 20 && result.drawn > 0.05 && result.lint === 'function', JSON.stringify(result));
            assert.ok(result.element.instance > 0 && /^cannot load model "[^"]+": broken\.json:1:1: /.test(result.element.error), JSON.stringify(result.element));
            assert.equal(result.element.event, 'footstep');
            assert.deepEqual(errors, []);

            // The recipe's page: its player walks and says so.
            const recipePage = await openPage(browser, `${url}/recipe.html`);
            await recipePage.page.waitForFunction(() => /footstep/.test(document.querySelector('output')?.textContent ?? ''), { timeout: 60000 });
            const shot = await (await recipePage.page.$('kivanime-player')).screenshot({ encoding: 'base64' });
            const [{ pixels }] = await recipePage.page.evaluate(decodePngs, shot);
            const drawn = pixels.filter((v, i) => i % 4 === 0 && v < 250).length / (pixels.length / 4);
            assert.ok(drawn > 0.05, `the player drew on ${drawn} of its box`);
            assert.deepEqual(recipePage.errors, []);
        }, {}, app);
    } finally {
        fs.rmSync(scratch, { recursive: true, force: true });
    }
});
