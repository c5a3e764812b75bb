// The viewer page in Chromium: frames of scene scripts through the URL
// parameters match the native player's with both renderers (the sample
// scene, whose ponytail is a mesh bent by the motions; a crowd with
// placement, visibility and wind commands; a model and a scene that only the
// lenient reader takes; the second skin with tints), and what the player refuses the
// page refuses too; a dropped puppet folder plays and its controls act;
// saving a file reloads it and keeps what was chosen; a broken model, motion
// or expression shows the library's reason with its line and column, naming
// the puppet after its folder and the file as dropped; loose picked files,
// the scene among them, are told apart; skins, the look at the pointer (its
// turn eased, never a snap), the fade between motions and the event log (its
// values, cleared when the puppet reloads) act; nothing is logged as an error.
// KIVANIME_SCREENSHOT=1 also writes docs/web-viewer.png.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';

import { NATIVE_DIR, REPO, WEB_DIR, decodePngs, difference, openPage, run, withBrowser } from './harness.mjs';

const HERO = path.join(REPO, 'examples/hero');
const PLAYER = path.join(NATIVE_DIR, 'tools/player/kivanime-player');

// Files copied beside the sample scene in the served folder (scenes/): a
// crowd at its own phases, moved, scaled, hidden and blown about; a scene
// naming an expression the model lacks; and a model and scene with trailing
// and missing commas, a missing colon, numbers such as "1." and "1e", values
// of the wrong kind and unknown keys; a scene that feeds a sound file, with
// the file, and one whose sound file is missing.
const SCENES = fs.readdirSync(path.join(REPO, 'tests/web/scenes'));
// The player's golden frame of the second skin, with tints (the mesh among
// the parts tinted), served beside the model it names.
const FOREST = path.join(REPO, 'tests/tools/player/golden/forest.json');

const waitState = (page, states) =>
    page.waitForFunction((s) => s.includes(document.body.dataset.state), { timeout: 60000 }, states);

// Opens the URL-parameter page and waits for its frame or its refusal.
async function openFrame(browser, url) {
    const { page, errors } = await openPage(browser, url);
    await waitState(page, ['ready', 'error']);
    const state = await page.evaluate(() => document.body.dataset.state);
    return { page, errors, state, message: await page.$eval('#message', (m) => m.textContent) };
}

// Saves a file of a watched folder in one step, as editors do (write, then
// rename): the folder's watcher never reads it half-written.
const save = (file, text) => (fs.writeFileSync(`${file}.saving`, text), fs.renameSync(`${file}.saving`, file));

// Runs `action` and waits until the page has finished one more puppet load.
async function afterLoad(page, action) {
    const loads = await page.evaluate(() => Number(document.body.dataset.loads ?? 0));
    await action();
    await page.waitForFunction((n) => Number(document.body.dataset.loads ?? 0) > n, { timeout: 60000 }, loads);
}

test('the viewer page: the native player\'s frames and refusals; a dropped folder plays, its controls act, saving reloads it, broken files show why', (t) =>
    withBrowser(
        t,
        async ({ url, browser }) => {
            const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kivanime-viewer-'));
            const scenes = path.join(WEB_DIR, 'examples/hero');
            SCENES.forEach((name) => fs.copyFileSync(path.join(REPO, 'tests/web/scenes', name), path.join(scenes, name)));
            fs.writeFileSync(path.join(scenes, 'forest.json'), fs.readFileSync(FOREST, 'utf8').replace(/"model": "[^"]*"/, '"model": "model.json"'));
            try {
                const scene = ['--timeline', path.join(HERO, 'scene.json')];
                // [the player's arguments, the page's parameters, its renderers ('': the page's default)]
                const cases = [
                    [[...scene, '--frames', '86'], 'timeline=../examples/hero/scene.json&frame=85', ['canvas', 'webgl']],
                    // Past the jump's hand-over to idle and the overlays' stop.
                    [[...scene, '--size', '480x512'], 'timeline=../examples/hero/scene.json&frame=149&size=480x512', ['']],
                    // The player's defaults: 60 frames at 25 per second, 512x512, the origin 30 px above the bottom.
                    [[path.join(HERO, 'model.json'), '--frames', '11', '--size', '300x400'], 'model=../examples/hero/model.json&frame=10&size=300x400', ['']],
                    [['--timeline', path.join(scenes, 'crowd.json'), '--frames', '21'], 'timeline=../examples/hero/crowd.json&frame=20', ['', 'webgl']],
                    [['--timeline', path.join(scenes, 'lenient.json'), '--frames', '31'], 'timeline=../examples/hero/lenient.json&frame=30', ['']],
                    [['--timeline', FOREST, '--frames', '1'], 'timeline=../examples/hero/forest.json', ['canvas', 'webgl']],
                    // A stereo sound file fed, stopped and fed again, read by the page as by the player.
                    [['--timeline', path.join(scenes, 'voice.json'), '--frames', '9'], 'timeline=../examples/hero/voice.json&frame=8', ['']],
                ];
                const still = path.join(work, 'still.png');
                for (const [args, parameters, renderers] of cases) for (const renderer of renderers) {
                    if (renderer === renderers[0]) run(PLAYER, [...args, '--quiet', '--still', still]);
                    const query = parameters + (renderer && `&renderer=${renderer}`);
                    const { page, errors, state, message } = await openFrame(browser, `${url}/viewer/?${query}&bare=1`);
                    assert.equal(state, 'ready', message);
                    const { width, height } = await page.$eval('#canvas', (c) => ({ width: c.width, height: c.height }));
                    const shot = await page.screenshot({ clip: { x: 0, y: 0, width, height }, encoding: 'base64' });
                    const [x, y] = await page.evaluate(decodePngs, shot, fs.readFileSync(still).toString('base64'));
                    const diff = { size: `${x.size} against ${y.size}`, ...difference(x.pixels, y.pixels) };
                    // A few edge pixels are smoothed differently by the browser's sampler; a
                    // neighbouring frame already differs tenfold more (mean 1.25, 1.6% of the
                    // pixels off by more than 24).
                    assert.ok(x.size === y.size && diff.mean < 0.3 && diff.over < 0.002 * width * height, `${query}: ${JSON.stringify(diff)}`);
                    assert.deepEqual(errors, []);
                    await page.close();
                }
                const refusals = [
                    ['timeline=../examples/hero/scene.json&frame=150', /last frame, 149/],
                    ['timeline=../examples/hero/typo.json', /the model has no expression 'wlak' \(timeline event 1\)/],
                    ['timeline=../examples/hero/mute.json', /^cannot read the sound file 'missing.wav': HTTP 404$/],
                    // Any other parameter is the player's option of that name.
                    ['timeline=../examples/hero/lenient.json&crowd=0', /^bad value '0' for --crowd \(expected N\)$/],
                ];
                for (const [query, message] of refusals) {
                    const { state, message: shown } = await openFrame(browser, `${url}/viewer/?${query}`);
                    assert.deepEqual([state, message.test(shown)], ['error', true], `${query}: ${shown}`);
                }

                // The puppet's folder inside the folder dropped: the page names the
                // puppet "hero" and its files as dropped, hero/model.json.
                const hero = path.join(work, 'drop/hero');
                fs.cpSync(HERO, hero, { recursive: true });
                const { page, errors } = await openPage(browser, `${url}/viewer/`);
                await page.setViewport({ width: 1280, height: 760 });
                await waitState(page, ['empty']);
                // Dropped from the disk, as the desktop would.
                await afterLoad(page, async () => {
                    const cdp = await page.createCDPSession();
                    const data = { items: [], files: [path.dirname(hero)], dragOperationsMask: 1 };
                    for (const type of ['dragEnter', 'dragOver', 'drop']) await cdp.send('Input.dispatchDragEvent', { type, x: 600, y: 380, data });
                    await cdp.detach();
                });
                const text = (sel) => page.$$eval(sel, (els) => els.map((e) => e.textContent.trim()));
                // The puppet's motions and expressions, and the lint's summary, as listed.
                const listing = async () => [await text('#motions li'), await text('#expressions li'), await text('#lint-summary')];
                const heroListing = [['blink', 'idle', 'jump', 'look', 'walk', 'wave'], ['(none)', 'sleepy', 'smile', 'surprised'], ['0 errors, 0 warnings, 0 infos']];
                assert.deepEqual(await listing(), heroListing);
                assert.ok((await text('#parts li')).includes('head'));
                assert.deepEqual(await text('#title'), ['hero · hero/model.json']);

                // A fingerprint of the picture with its pivot layer, as shown, `ms` after `act`.
                const print = async (act, ms) => {
                    await act?.();
                    await new Promise((r) => setTimeout(r, ms));
                    return createHash('sha1').update(await (await page.$('#screen')).screenshot()).digest('hex');
                };
                // It plays: the picture changes by itself; paused, it holds; a step moves it.
                const click = (sel) => () => page.click(sel);
                const playing = await print(null, 0);
                assert.notEqual(await print(null, 300), playing, 'the puppet moves');
                const held = await print(click('#pause'), 100);
                assert.equal(await print(null, 200), held, 'paused');
                assert.notEqual(await print(click('#step'), 100), held, 'one step');

                // Controls reach the library: an expression, an overlay, the turn, the pivots, the crowd.
                const input = (sel, value) => () => page.$eval(sel, (e, v) => { e.value = v; e.dispatchEvent(new Event('input')); }, value);
                const wave = click('#overlays li[data-name="wave"] input[type=checkbox]');
                const acts = [click('#expressions li[data-name="smile"]'), wave, input('#yaw', '30'), click('#pivots'), wave, wave, input('#crowd', '4')];
                for (const act of acts) {
                    if (act === acts.at(-1) && process.env.KIVANIME_SCREENSHOT === '1') await page.screenshot({ path: path.join(REPO, 'docs/web-viewer.png') });
                    const before = await print(null, 0);
                    await act();
                    assert.notEqual(await print(click('#step'), 100), before);
                }
                await page.click('#pause');

                // Saving a file reloads the puppet and keeps the motion, expression and angles.
                const expression = path.join(hero, 'expressions/smile.json');
                const started = Date.now();
                await afterLoad(page, () => save(expression, fs.readFileSync(expression, 'utf8').replace('"blendMs": 250', '"blendMs": 100')));
                t.diagnostic(`reloaded ${Date.now() - started} ms after the save`);
                // Typically 0.3 to 0.9 s here (a poll every 250 ms, then the load
                // and the lint); the bound leaves room for a busy machine.
                assert.ok(Date.now() - started < 2000);
                await waitState(page, ['ready']);
                const kept = await page.evaluate(() => [document.querySelector('#expressions li.active').textContent,
                    document.querySelector('#motions li.active').textContent, document.querySelector('#yaw').value,
                    document.querySelector('#overlays li[data-name="wave"] input[type=checkbox]').checked]);
                assert.deepEqual(kept, ['smile', 'idle', '30', true]);

                // A save that breaks the model, a motion or an expression (not a
                // JSON object) shows the library's reason, with its place, and the
                // puppet loaded before plays on; a model the reader repairs loads,
                // and the lint's first error is shown with its place. Each file is
                // put back afterwards.
                const modelFile = path.join(hero, 'model.json');
                const model = fs.readFileSync(modelFile, 'utf8');
                const line = model.slice(0, model.indexOf('"parts": [')).split('\n').length;
                const broken = '\n  [1, 2,\n  3';
                const refused = (what, file) => new RegExp(`^The puppet did not load: cannot load ${what} "hero": hero/${file}:2:3: expected a JSON object, found an array "\\[1, 2,"\nThe puppet on screen is the one loaded before\\.$`);
                for (const [file, text, state, message] of [
                    ['model.json', broken, 'error', refused('model', 'model\\.json')],
                    ['model.json', model.replace('"parts": [', '"parts": [ {"name": ], '), 'ready', new RegExp(`^The lint found errors; the first: hero/model\\.json:${line}:\\d+: `)],
                    ['model.json', model, 'ready', /^$/],
                    ['motions/wave.json', broken, 'error', refused('a motion into model', 'motions/wave\\.json')],
                    ['motions/wave.json', fs.readFileSync(path.join(HERO, 'motions/wave.json'), 'utf8'), 'ready', /^$/],
                    ['expressions/sleepy.json', broken, 'error', refused('an expression into model', 'expressions/sleepy\\.json')],
                    ['expressions/sleepy.json', fs.readFileSync(path.join(HERO, 'expressions/sleepy.json'), 'utf8'), 'ready', /^$/],
                ]) {
                    await afterLoad(page, () => save(path.join(hero, file), text));
                    assert.equal(await page.evaluate(() => document.body.dataset.state), state, file);
                    assert.match(await page.$eval('#message', (e) => e.textContent), message);
                    const still = await print(null, 0);
                    assert.notEqual(await print(null, 300), still, 'the puppet loaded before, or the repaired one, plays');
                }
                // The message sits under the picture, not on it.
                await afterLoad(page, () => save(modelFile, broken));
                const [picture, shown] = await page.$$eval('#canvas, #message', (els) => els.map((e) => e.getBoundingClientRect().toJSON()));
                assert.ok(shown.height > 0 && shown.top >= picture.bottom, JSON.stringify({ picture, shown }));

                // Files picked one by one, without their folders, are put back in
                // place by what the library reads them as: the scene is no motion.
                const loose = ['model.json', 'scene.json', ...['motions', 'expressions', 'textures'].flatMap((folder) =>
                    fs.readdirSync(path.join(HERO, folder)).map((f) => `${folder}/${f}`))];
                await afterLoad(page, async () => (await page.$('#pick-files')).uploadFile(...loose.map((f) => path.join(HERO, f))));
                assert.deepEqual([await text('#message'), ...(await listing())], [[''], ...heroListing]);

                // Paused, a skin shows at once, and comes off (every part
                // showing its own texture, a blink's closed eyes too) as often
                // as it goes on; at speed 0, the head follows the pointer only while
                // asked to; a motion cross-fades in and its events are logged
                // as they fire.
                await page.click('#pause');
                const skins = [await print(null, 100)];
                for (const skin of ['forest', '', 'forest', '']) {
                    await page.select('#skin', skin);
                    skins.push(await print(null, 100));
                }
                assert.deepEqual([skins[1] !== skins[0], skins[3] !== skins[4], skins[4]], [true, true, skins[2]]);
                await page.click('#pause');
                await input('#speed', '0')();
                await input('#crowd', '1')();
                const box = await (await page.$('#canvas')).boundingBox();
                const pointAt = (x, y = 0.2) => page.mouse.move(box.x + x * box.width, box.y + y * box.height);
                const ahead = await print(() => pointAt(0.1), 200);
                assert.equal(await print(() => pointAt(0.9), 200), ahead, 'the head stays as the motion holds it');
                // Looking: the head's turn, in whole degrees, frame by frame
                // while the pointer goes to (x, y) of the canvas, and the picture.
                const turns = async (x, y) => {
                    const frames = page.evaluate(async () => {
                        const seen = [];
                        for (let i = 0; i < 45; ++i) {
                            await new Promise((r) => requestAnimationFrame(r));
                            seen.push(parseInt(document.querySelector('#look-angle').textContent, 10));
                        }
                        return seen;
                    });
                    await pointAt(x, y);
                    return [await frames, await print(null, 0)];
                };
                await page.click('#look-at');
                // Below the neck, to one side then the other, and straight below:
                // the head turns as far as it may toward the pointer's side, over
                // several frames (never a snap), and straight below it looks ahead.
                const [left, leftPicture] = await turns(0.2, 0.9);
                const [right, rightPicture] = await turns(0.8, 0.9);
                const [below] = await turns(0.5, 0.95);
                const steps = (seen) => Math.max(...seen.slice(1).map((t, i) => Math.abs(t - seen[i])));
                assert.deepEqual([left.at(-1), right.at(-1), leftPicture !== rightPicture], [-23, 23, true], JSON.stringify({ left, right }));
                assert.ok(Math.abs(below.at(-1)) <= 2, JSON.stringify(below));
                // 3 radians a second at most, and frames of 100 ms at most: 17.2°.
                assert.ok(steps([...left, ...right, ...below]) <= 18, JSON.stringify({ left, right, below }));
                assert.ok(right.filter((t) => t > -23 && t < 23).length >= 2, `the turn takes frames: ${right}`);
                // Unticked, it turns back to where the motion holds it.
                await page.click('#look-at');
                await page.waitForFunction(() => document.querySelector('#look-angle').textContent === '0°');
                assert.equal(await print(() => pointAt(0.1), 800), ahead);

                // A motion cross-fades in, and its events are logged as they
                // fire with their values; a reload clears the log.
                await input('#fade', '300')();
                await click('#motions li[data-name="walk"]')();
                await input('#speed', '1')();
                await page.waitForFunction(() => / #\d+ walk: "footstep" string "(left|right)"$/.test(document.querySelector('#events li')?.textContent ?? ''));
                await click('#motions li[data-name="jump"]')();
                await page.waitForFunction(() => / #\d+ jump: "land" float 1$/.test(document.querySelector('#events li')?.textContent ?? ''), { timeout: 10000 });
                await page.click('#pause');
                await afterLoad(page, click('#load-sample'));
                assert.deepEqual([await text('#events li'), await text('#title')], [[], ['hero · model.json']]);
                assert.deepEqual(errors, []);
            } finally {
                fs.rmSync(work, { recursive: true, force: true });
                [...SCENES, 'forest.json'].forEach((name) => fs.rmSync(path.join(scenes, name), { force: true }));
            }
        },
        { 'the native player (cmake --preset dev)': PLAYER },
    ));
