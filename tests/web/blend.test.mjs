// Both renderers in Chromium draw the blend-mode fixture (every mode over a
// coloured ground, a part clipped by a quad, a multiply part clipped by a
// hidden mesh) as the native player's golden frame shows it, within the
// tolerance of the viewer's frames: WebGL2 switching blend functions between
// runs of one mode, Canvas 2D through composite operations, both drawing the
// clipped triangle lists without seams (a quad clipped by a mask that
// covers it draws as the whole quad). The viewer's part list names each
// part's blend mode and mask.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';

import { REPO, WEB_DIR, decodePngs, difference, openPage, withBrowser } from './harness.mjs';

const FIXTURE = path.join(REPO, 'tests/fixtures/blend-puppet');
const GOLDEN = path.join(REPO, 'tests/tools/player/golden');

test('both renderers draw every blend mode and mask as the player\'s golden frame', (t) =>
    withBrowser(t, async ({ url, browser }) => {
        // The fixture served beside the sample, with the golden's scene naming it.
        const served = path.join(WEB_DIR, 'examples/blend-puppet');
        fs.cpSync(FIXTURE, served, { recursive: true });
        fs.writeFileSync(path.join(served, 'blend.json'), fs.readFileSync(path.join(GOLDEN, 'blend.json'), 'utf8').replace(/"model": "[^"]*"/, '"model": "model.json"'));
        // What a page fetches a puppet folder by (web/list-files.cmake).
        const files = fs.readdirSync(served, { recursive: true, withFileTypes: true }).filter((f) => f.isFile());
        fs.writeFileSync(path.join(served, 'files.json'), JSON.stringify(files.map((f) => path.relative(served, path.join(f.parentPath ?? f.path, f.name))).sort()));
        try {
            for (const renderer of ['canvas', 'webgl']) {
                const query = `timeline=../examples/blend-puppet/blend.json&renderer=${renderer}&bare=1`;
                const { page, errors } = await openPage(browser, `${url}/viewer/?${query}`);
                await page.waitForFunction(() => ['ready', 'error'].includes(document.body.dataset.state ?? ''), { timeout: 60000 });
                assert.equal(await page.evaluate(() => document.body.dataset.state), 'ready', await page.$eval('#message', (m) => m.textContent));
                const { width, height } = await page.$eval('#canvas', (c) => ({ width: c.width, height: c.height }));
                const shot = await page.screenshot({ clip: { x: 0, y: 0, width, height }, encoding: 'base64' });
                const [x, y] = await page.evaluate(decodePngs, shot, fs.readFileSync(path.join(GOLDEN, 'blend.png')).toString('base64'));
                const diff = { size: `${x.size} against ${y.size}`, ...difference(x.pixels, y.pixels) };
                t.diagnostic(`${renderer}: ${JSON.stringify(diff)}`);
                // The viewer's bound for the player's frames (viewer.test.mjs).
                assert.ok(x.size === y.size && diff.mean < 0.3 && diff.over < 0.002 * width * height, `${renderer}: ${JSON.stringify(diff)}`);
                assert.deepEqual(errors, []);
                await page.close();
            }
            // The part list says how each part blends and what clips it.
            const { page, errors } = await openPage(browser, `${url}/viewer/`);
            await page.waitForFunction(() => document.body.dataset.state === 'empty', { timeout: 60000 });
            const picked = ['model.json', 'motions/look.json', ...fs.readdirSync(path.join(FIXTURE, 'textures')).map((f) => `textures/${f}`)];
            await (await page.$('#pick-files'))?.uploadFile(...picked.map((f) => path.join(FIXTURE, f)));
            await page.waitForFunction(() => document.querySelectorAll('#parts li').length > 0, { timeout: 60000 });
            const parts = await page.$$eval('#parts li', (els) => els.map((e) => [e.dataset.name, e.textContent.replace(/\s+/g, ' ').trim(), e.title]));
            assert.deepEqual(Object.fromEntries(parts.map(([name, text]) => [name, text])), {
                base: 'base', glow: 'glow additive', shade: 'shade multiply', light: 'light screen', white: 'white',
                iris: 'iris in white', cheek: 'cheek', blush: 'blush multiply in cheek',
            });
            assert.equal(parts.find(([name]) => name === 'blush')?.[2], 'root, blends multiply, clipped by cheek');
            assert.deepEqual(errors, []);
        } finally {
            fs.rmSync(served, { recursive: true, force: true });
        }
    }));

// Runs in the page: for each renderer, the pixels of a quad mesh drawn
// whole and clipped by a hidden mask that covers it (so the library cuts it
// into pieces along the mask's diagonal), over a coloured ground.
async function drawCovered(masks) {
    const { loadRuntime, CanvasRenderer, WebGLRenderer } = await import('/src/kivanime.js');
    const kv = await loadRuntime();
    const texels = new ImageData(16, 8);
    texels.data.forEach((_, i) => (texels.data[i] = i % 4 === 3 ? 255 : (i * 53) % 251));
    const image = new OffscreenCanvas(16, 8);
    image.getContext('2d').putImageData(texels, 0, 0);
    const png = await image.convertToBlob();
    const part = { name: 'p', texture: 't', srcRect: [0, 0, 16, 8], vertices: [[-8, -4, 0, 0], [8, -4, 1, 0], [8, 4, 1, 1], [-8, 4, 0, 1]], triangles: [0, 1, 2, 0, 2, 3] };
    const out = [];
    for (const kind of ['canvas', 'webgl']) {
        const canvas = Object.assign(document.createElement('canvas'), { width: 64, height: 64 });
        const renderer = kind === 'webgl' ? new WebGLRenderer(canvas) : new CanvasRenderer(canvas);
        for (const mask of masks) {
            const drawn = [];
            for (const parts of [[part], [{ ...mask, name: 'm', texture: 't', visible: false }, { ...part, clip: 'm' }]]) {
                const puppet = await kv.loadPuppet(`p${drawn.length}`, new Map([['model.json', JSON.stringify({ textures: { t: 't.png' }, parts })], ['t.png', png]]));
                const instance = puppet.createInstance({ x: 31.3, y: 30.6 });
                instance.setScale(-2.5, 3);
                kv.update(0);
                const list = instance.collect();
                renderer.render(list, kv.textures, { background: [0.2, 0.5, 0.3, 1] });
                const ctx = new OffscreenCanvas(64, 64).getContext('2d');
                ctx.drawImage(renderer.canvas, 0, 0);
                drawn.push({ pixels: Array.from(ctx.getImageData(0, 0, 64, 64).data), vertices: list.meshCount ? list.mesh(0).vertices.length / 4 : 0 });
                instance.destroy();
            }
            out.push({ kind, whole: drawn[0], clipped: drawn[1] });
        }
    }
    return out;
}

test('a quad clipped by a mask that covers it draws as the whole quad in both renderers', (t) =>
    withBrowser(t, async ({ url, browser }) => {
        const { page, errors } = await openPage(browser, `${url}/__blank.html`);
        // Masks turned so that their diagonals (and a mesh fan's spokes) cut the quad.
        const masks = [
            { srcRect: [0, 0, 16, 8], scale: [3, 4], rotation: 0.5 },
            { vertices: [[0, -40, 0, 0], [40, 0, 1, 0], [0, 40, 1, 1], [-40, 0, 0, 1], [1, 2, 0, 0]], triangles: [4, 0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0], position: [1.3, -0.7] },
        ];
        const drawn = await page.evaluate(drawCovered, masks);
        for (const [i, { kind, whole, clipped }] of drawn.entries()) {
            const name = `${kind}, mask ${i % masks.length}`;
            // Cut into more triangles than the quad's two: the clip ran.
            assert.ok(whole.vertices === 4 && clipped.vertices > 6, `${name}: ${whole.vertices} and ${clipped.vertices} vertices`);
            const diff = difference(clipped.pixels, whole.pixels);
            t.diagnostic(`${name}: ${JSON.stringify(diff)}`);
            assert.ok(diff.worst <= 16 && diff.mean < 0.2, `${name}: ${JSON.stringify(diff)}`);
        }
        assert.deepEqual(errors, []);
    }));
