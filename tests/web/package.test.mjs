// The npm package as a web developer gets it: `npm pack` in the built web
// folder makes a tarball of the modules, their type declarations, the
// WebAssembly files and the license, at the header's version. Installed into
// a scratch project, it type-checks a strict TypeScript program, whose
// output then runs in Chromium, importing the package by name (through an
// import map made from the package's `exports`, as a bundler resolves
// them): it draws the sample puppet.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';

import { REPO, VERSION, VERSION_NUMBER, WEB_DIR, need, openPage, run, withBrowser } from './harness.mjs';

const NPM = process.env.KIVANIME_NPM ?? '/usr/bin/npm';
const TSC = path.join(REPO, 'node_modules/.bin/tsc');

// What a user writes: strict TypeScript against the package's declarations
// (the line marked @ts-expect-error must not type-check).
const PROGRAM = `import { loadRuntime, CanvasRenderer, type Instance } from 'kivanime';
import { lintFiles } from 'kivanime/lint';
import 'kivanime/player-element';

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
document.body.dataset.result = JSON.stringify({ version: kv.version, records: list.count, drawn, lint: typeof lintFiles, misuse: typeof misuse });
`;

test('the npm package installs into a project, type-checks strictly and plays a puppet', async (t) => {
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
        const pkg = JSON.parse(fs.readFileSync(path.join(app, 'node_modules/kivanime/package.json'), 'utf8'));
        const imports = Object.fromEntries(Object.entries(pkg.exports).map(([key, target]) => [
            `kivanime${key.slice(1)}`.replace(/\*$/, ''),
            `./node_modules/kivanime/${(target.default ?? target).slice(2)}`.replace(/\*$/, ''),
        ]));
        fs.writeFileSync(path.join(app, 'index.html'), `<!doctype html><meta charset="utf-8">
<script type="importmap">${JSON.stringify({ imports })}</script>
<canvas width="256" height="256"></canvas><script type="module" src="main.js"></script>`);

        await withBrowser(t, async ({ url, browser }) => {
            const { page, errors } = await openPage(browser, `${url}/index.html`);
            await page.waitForFunction(() => document.body.dataset.result, { timeout: 60000 });
            const result = JSON.parse(await page.evaluate(() => document.body.dataset.result));
            assert.equal(result.version, VERSION_NUMBER);
            assert.ok(result.records > 20 && result.drawn > 0.05 && result.lint === 'function', JSON.stringify(result));
            assert.deepEqual(errors, []);
        }, {}, app);
    } finally {
        fs.rmSync(scratch, { recursive: true, force: true });
    }
});
