// Both renderers in Chromium draw the blend-mode fixture (every mode over a
// coloured ground, a part clipped by a quad, a multiply part clipped by a
// hidden mesh) as the native player's golden frame shows it, within the
// tolerance of the viewer's frames: WebGL2 switching blend functions between
// runs of one mode, Canvas 2D through composite operations, both drawing the
// clipped triangle lists without seams.
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
        } finally {
            fs.rmSync(served, { recursive: true, force: true });
        }
    }));
