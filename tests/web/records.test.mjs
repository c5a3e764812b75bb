// In Chromium: the JavaScript module's C mirror gives the same results,
// texture calls and draw records (bit for bit) as the native library for
// scripted sessions (sequence.txt, and the face with parameters, bindings
// and drivers of tests/fixtures, run natively by kivanime_record_sequence);
// <kivanime-player> loads the sample puppet through the URL loader, draws it
// with a motion and an expression, pauses off screen, reports a bad src
// once, and reaches a face's parameters and drivers; the page learns what a file is, and what a model holds, from the
// library's readers. (Both renderers against the native player's frames:
// viewer.test.mjs.)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';

import { NATIVE_DIR, REPO, openPage, run, sameLines, serveCopy, withBrowser } from './harness.mjs';

const SCRIPTS = ['tests/web/sequence.txt', 'tests/fixtures/record-scene-parameters.txt'];
// Files the scripts load besides the sample puppet (which the web folder holds).
const FIXTURES = ['tests/fixtures/face-puppet'];
const NATIVE = path.join(NATIVE_DIR, 'tests/web/kivanime_record_sequence');

// Runs in the page: the same interpreter and printing as record_sequence.cpp.
async function runInPage({ script, fixtures }) {
    const { loadRuntime, C_FUNCTIONS } = await import('/src/kivanime.js');
    const kv = await loadRuntime();
    const list = await (await fetch('/examples/hero/files.json')).json();
    for (const file of list.filter((f) => f.endsWith('.json'))) {
        kv.writeFile('/examples/hero/' + file, new Uint8Array(await (await fetch('/examples/hero/' + file)).arrayBuffer()));
    }
    Object.entries(fixtures).forEach(([file, text]) => kv.writeFile('/' + file, text));
    kv.module.FS.chdir('/');
    const out = [];
    const words = (tag, floats) => [tag, ...Array.from(new Uint32Array(Float32Array.from(floats).buffer), (u) => u.toString(16).padStart(8, '0'))].join(' ');
    // A record's words, as its 64 bytes hold them, after `tag`.
    const record = (tag, r) => {
        const f = new Float32Array([0, r.x, r.y, 0, r.reserved1, r.rotation, r.scaleX, r.scaleY, r.alpha, 0,
            r.anchorX, r.anchorY, r.srcX, r.srcY, r.srcWidth, r.srcHeight]);
        new Int32Array(f.buffer)[0] = r.texture;
        new Uint32Array(f.buffer)[3] = r.flags;
        new Uint32Array(f.buffer)[9] = r.reserved2;
        return words(tag, f);
    };
    // An event's words: four integers, three floats and the reserved word.
    const event = (e) => {
        const f = new Float32Array(8);
        new Int32Array(f.buffer).set([e.instance, e.kind, e.source, e.intValue, 0, 0, 0, e.reserved].map((v) => v ?? 0));
        f.set([e.floatValue ?? 0, e.time ?? 0, e.lateMs ?? 0], 4);
        return words('=', f);
    };
    let nextHandle = 0;
    const host = {
        loadTexture: (p) => {
            const handle = p.includes('refuse') ? -1 : nextHandle++;
            out.push(`load ${p} -> ${handle}`);
            return handle;
        },
        releaseTexture: (h) => out.push(`release ${h}`),
        draw: (r) => out.push(record('draw', r)),
    };
    for (const line of script.split('\n')) {
        const [call, ...a] = line.trim().split(/\s+/).filter(Boolean);
        if (call === undefined || call.startsWith('#')) continue;
        const args = a.map((w) => (w === '-' ? null : /^-?[0-9.]+$/.test(w) ? Number(w) : w));
        out.push(line);
        // "Init" alone hands the recording host over; "Init -" a NULL table;
        // "SetMeshCallback -" NULL, with any other word the printing function.
        // A part's transform, and an event unless "-" asks for NULL, are
        // written into the object passed last; a mesh, into room for 64
        // vertices passed before the capacity.
        const transform = call === 'GetPartTransform' ? [new Float32Array(6)] : call === 'GetEvent' && a.length < 2 ? [{}] : [];
        const vertices = new Float32Array(256);
        if (call === 'GetPartMesh') args.splice(2, 0, vertices);
        if (call === 'SetMeshCallback') args[0] &&= (r, vertices, indices) => out.push(record('mesh', r), words('vertices', vertices), ['indices', ...indices].join(' '));
        // Samples: a comma-separated pattern repeated to the count after it.
        if (call === 'FeedAudio' && args[1] !== null) {
            const pattern = String(args[1]).split(',').map(Number);
            args[1] = Float32Array.from({ length: Math.max(args[2], 1) }, (_, i) => pattern[i % pattern.length]);
        }
        const result = call === 'Init' ? kv.api.Anime_Init(a.length ? null : host) : kv.api['Anime_' + call](...args, ...transform);
        // Outputs come back as an array (null when a function returning 0 or 1 failed).
        const [kind, kinds] = (C_FUNCTIONS['Anime_' + call] ?? 'v:').split(':');
        const outs = kinds.split('o').length - 1;
        if (outs) {
            if (kind !== 'v') out.push(`= ${result ? 1 : 0}`);
            out.push(words('=', result ?? new Array(outs).fill(0)));
        } else if (result !== undefined) out.push(`= ${result ?? '(null)'}`);
        transform.forEach((t) => out.push(call === 'GetEvent' ? event(t) : words('=', t)));
        if (call === 'GetPartMesh') out.push(words('=', vertices.subarray(0, 4 * Math.min(Math.max(result, 0), 64))));
    }
    return out.join('\n') + '\n';
}

// Runs in the page: what the library reads texts as, the sample puppet as the
// library holds it.
async function readThroughLibrary() {
    const kv = await (await import('/src/kivanime.js')).loadRuntime();
    const kinds = ['{"parts": [{"name": "a"},], "textures": {}}', '{"canvas": {"width": 20}}', '{"name": "walk" "tracks": [{}]}',
        '{"name": "smile", "params": [{}]}', '{"blendMs": 100}', '{"model": "m.json", "events": [],}', '{"events": [{"at": 0, "motion": "idle"}]}',
        '{"model": "m.json", "tracks": [{}]}', '{"events": [{"at": -1, "motion": "idle"}]}', '{}', '[1]', ''].map((text) => {
        const d = kv.readFile(new TextEncoder().encode(text));
        return `${d.kind} ${d.name ?? d.model ?? ''}`.trim();
    });
    const dir = '/examples/hero/';
    const hero = await kv.loadPuppet('hero', { model: `${dir}model.json`, motions: [`${dir}motions/wave.json`, `${dir}motions/idle.json`], expressions: [`${dir}expressions/smile.json`] });
    return { kinds, motions: hero.motions, expressions: hero.expressions, size: [hero.width, hero.height], thigh: hero.parts[1],
        ribbonParent: hero.parts[hero.parts.find((p) => p.name === 'ribbon_tail_l').parentIndex].name, textures: kv.describeModel('hero').textures.length };
}

async function element() {
    await import('/src/player-element.js');
    const el = document.createElement('kivanime-player');
    Object.entries({ src: '/examples/hero/model.json', motion: 'walk', expression: 'smile', renderer: 'canvas', background: '#ffffff',
        skin: 'forest', tint: '#ff8000' }).forEach(([name, value]) => el.setAttribute(name, value));
    el.style.cssText = 'width: 200px; height: 200px';
    const loaded = new Promise((resolve, reject) => {
        el.addEventListener('load', resolve);
        el.addEventListener('error', (e) => reject(e.detail));
    });
    document.body.append(el);
    await loaded;
    const frames = () => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
    const step = await new Promise((resolve) => el.addEventListener('motionevent', (e) => resolve(e.detail), { once: true }));
    // The skin and the tint (bytes R, G, B, A) are in its records; loaded
    // again, the new instance walks in them too.
    const look = () => {
        const list = el.runtime.collect(el.instance);
        const records = Array.from({ length: list.count }, (_, i) => list.record(i));
        return [el.instance.playing, records.every((r) => r.reserved2 === 0xff0080ff),
            records.some((r) => el.runtime.textures.get(r.texture).path.endsWith('torso_forest.png'))];
    };
    const looks = [look()];
    el.setAttribute('src', '/examples/hero/model.json');
    await new Promise((resolve) => el.addEventListener('load', resolve, { once: true }));
    looks.push(look());
    const canvas = el.shadowRoot.querySelector('canvas');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const drawn = data.filter((v, i) => i % 4 === 0 && (v < 250 || data[i + 1] < 250)).length / (data.length / 4);
    el.style.cssText = 'position: absolute; top: 5000px; width: 200px; height: 200px';
    await frames().then(frames);
    return { drawn, pausedOffScreen: el.frame === 0, looks, step: [step.instance === el.instance.id - 1, step.name, step.string] };
}

// The element with a face that has parameters: its methods reach them
// (nothing before the puppet plays), and its blink and breath attributes
// drive the parameters they name until removed.
async function faceElement(dir) {
    await import('/src/player-element.js');
    const el = document.createElement('kivanime-player');
    const early = [el.setParameter('Tilt', 1), el.getParameter('Tilt'), el.parameters.length, el.feedAudio([0.5], 8000)];
    el.setAttribute('src', `${dir}model.json`);
    el.setAttribute('breath', 'Breath');
    el.setAttribute('blink', 'EyeOpen');
    el.style.cssText = 'width: 200px; height: 200px';
    await new Promise((resolve, reject) => {
        el.addEventListener('load', resolve);
        el.addEventListener('error', (e) => reject(e.detail));
        document.body.append(el);
    });
    const until = async (test) => {
        for (let i = 0; i < 600 && !test(); ++i) await new Promise((r) => requestAnimationFrame(r));
        return test();
    };
    const range = el.parameterRange('Swapped');
    const set = [el.setParameter('Tilt', -0.5), el.setParameter('nope', 1), el.setLipSync('MouthOpen', 4),
        el.feedAudio(new Float32Array(1000).fill(0.5), 16000), el.setAutoBlink('nope')];
    // The next update hears the samples fed (RMS 0.5, times 4, clamped).
    const spoke = await until(() => el.getParameter('MouthOpen') === 1);
    const breathes = await until(() => el.getParameter('Breath') > 0.2);
    el.removeAttribute('breath');
    const rests = await until(() => el.getParameter('Breath') === 0);
    const blinks = await until(() => el.getParameter('EyeOpen') < 0.5);
    el.resetParameters();
    await until(() => el.getParameter('Tilt') === 0.25);
    return { early, names: el.parameters.map((p) => p.name).join(' '), range, set, breathes, spoke, rests, blinks, tilt: el.getParameter('Tilt') };
}

// Parsed with its src before the element is defined, it starts one load for
// the attribute and one when connected: a bad src still fires one error.
async function badSource() {
    document.body.innerHTML = '<kivanime-player src="/examples/hero/missing.json"></kivanime-player>';
    const el = document.querySelector('kivanime-player');
    const events = [];
    el.addEventListener('error', (e) => events.push(String(e.detail)));
    const failed = new Promise((resolve) => el.addEventListener('error', resolve, { once: true }));
    await import('/src/player-element.js');
    await failed;
    await new Promise((resolve) => setTimeout(resolve, 1000));
    return events;
}

test('the C mirror in the browser matches the native library call for call; the custom element plays; files are read through the library', (t) =>
    withBrowser(
        t,
        async ({ url, browser }) => {
            const fixtures = Object.fromEntries(FIXTURES.flatMap((dir) => fs.readdirSync(path.join(REPO, dir), { recursive: true })
                .filter((f) => f.endsWith('.json')).map((f) => [`${dir}/${f}`, fs.readFileSync(path.join(REPO, dir, f), 'utf8')])));
            const { page, errors } = await openPage(browser, `${url}/__blank.html`);
            for (const script of SCRIPTS) {
                // Run from the top folder, as the native recorder is.
                const native = run(NATIVE, [script]);
                assert.ok(native.split('\n').filter((l) => l.startsWith('draw ')).length > 100, `${script} draws`);
                const played = await page.evaluate(runInPage, { script: fs.readFileSync(path.join(REPO, script), 'utf8'), fixtures });
                sameLines(native.split('\n'), played.split('\n'), (i) => `${script}, output line ${i + 1}`);
            }
            const second = await openPage(browser, `${url}/__blank.html`);
            const el = await second.page.evaluate(element);
            // It drew on a tenth of its canvas or more, and holds its frame off screen.
            assert.ok(el.drawn > 0.1 && el.pausedOffScreen, JSON.stringify(el));
            assert.deepEqual([el.looks, el.step], [[[true, true, true], [true, true, true]], [true, 'footstep', 'left']]);
            const face = serveCopy('tests/fixtures/face-puppet');
            const faced = await (await openPage(browser, `${url}/__blank.html`)).page.evaluate(faceElement, face.url).finally(face.remove);
            assert.deepEqual(faced, { early: [false, null, 0, false], names: 'AngleX AngleY EyeOpen MouthOpen Breath Swapped Tilt',
                range: { min: -2, max: 2, default: 2 }, set: [true, false, true, true, false], breathes: true, spoke: true, rests: true, blinks: true, tilt: 0.25 });
            const events = await (await openPage(browser, `${url}/__blank.html`)).page.evaluate(badSource);
            assert.ok(events.length === 1 && /missing\.json/.test(events[0]), events.join('\n'));
            const read = await second.page.evaluate(readThroughLibrary);
            assert.deepEqual(read, {
                kinds: ['model unnamed', 'model unnamed', 'motion walk', 'expression smile', 'expression unnamed', 'scene m.json', 'scene',
                    'motion unnamed', 'motion unnamed', 'motion unnamed', 'none', 'none'],
                motions: ['blink', 'idle', 'wave'], expressions: ['smile'], size: [512, 512], ribbonParent: 'ribbon_knot', textures: 37,
                thigh: { name: 'thigh_l', parent: 'hip', texture: 'thigh', parentIndex: 0, blend: 'normal', maskIndex: -1 },
            });
            assert.deepEqual([...errors, ...second.errors], []);
        },
        { 'the native recorder (cmake --preset dev)': NATIVE },
    ));
