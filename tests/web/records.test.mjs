// The JavaScript module's C mirror, run in Chromium, gives the same results,
// texture calls and draw records (bit for bit) as the native library for a
// scripted session (sequence.txt, run natively by kivanime_record_sequence).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';

import { NATIVE_DIR, openPage, run, withBrowser } from './harness.mjs';

const SCRIPT = path.join(import.meta.dirname ?? path.dirname(new URL(import.meta.url).pathname), 'sequence.txt');
const NATIVE = path.join(NATIVE_DIR, 'tests/web/kivanime_record_sequence');

/** Runs in the page: the same interpreter as record_sequence.cpp. */
async function runInPage(script) {
    const { loadRuntime } = await import('/src/kivanime.js');
    const kv = await loadRuntime();
    const list = await (await fetch('/examples/hero/files.json')).json();
    for (const file of list.filter((f) => f.endsWith('.json'))) {
        const data = new Uint8Array(await (await fetch('/examples/hero/' + file)).arrayBuffer());
        kv.writeFile('/examples/hero/' + file, data);
    }
    const out = [];
    const hex = (/** @type {number} */ u) => (u >>> 0).toString(16).padStart(8, '0');
    const bits = (/** @type {number} */ f) => hex(new Uint32Array(new Float32Array([f]).buffer)[0]);
    let nextHandle = 0;
    const host = {
        loadTexture: (/** @type {string} */ p) => {
            const handle = p.includes('refuse') ? -1 : nextHandle++;
            out.push(`load ${p} -> ${handle}`);
            return handle;
        },
        releaseTexture: (/** @type {number} */ h) => out.push(`release ${h}`),
        draw: (/** @type {any} */ r) => {
            const f = new Float32Array(16);
            const i = new Int32Array(f.buffer);
            const u = new Uint32Array(f.buffer);
            i[0] = r.texture;
            [r.x, r.y, r.reserved0, r.reserved1, r.rotation, r.scaleX, r.scaleY, r.alpha].forEach((v, k) => (f[k + 1] = v));
            u[9] = r.reserved2;
            [r.anchorX, r.anchorY, r.srcX, r.srcY, r.srcWidth, r.srcHeight].forEach((v, k) => (f[k + 10] = v));
            out.push('draw ' + Array.from(u, hex).join(' '));
        },
    };
    const api = kv.api;
    for (const line of script.split('\n')) {
        const words = line.trim().split(/\s+/).filter(Boolean);
        if (words.length === 0 || words[0].startsWith('#')) {
            continue;
        }
        const [call, ...a] = words;
        const args = a.map((w) => (w === '-' ? null : /^-?[0-9.]+$/.test(w) ? Number(w) : w));
        out.push(line);
        if (call === 'Init') {
            api.Anime_Init(a.length ? null : host);
        } else if (call === 'GetPosition') {
            const [x, y] = api.Anime_GetPosition(args[0]);
            out.push(`= ${bits(x)} ${bits(y)}`);
        } else {
            const result = api['Anime_' + call](...args);
            if (result !== undefined) {
                out.push(`= ${result}`);
            }
        }
    }
    return out.join('\n') + '\n';
}

test('the C mirror in the browser matches the native library call for call', (t) =>
    withBrowser(
        t,
        async ({ url, browser }) => {
            const native = run(NATIVE, [SCRIPT]);
            assert.ok(native.split('\n').filter((l) => l.startsWith('draw ')).length > 100, 'the script draws');
            const { page, errors } = await openPage(browser, `${url}/__blank.html`);
            const web = await page.evaluate(runInPage, fs.readFileSync(SCRIPT, 'utf8'));
            const a = native.split('\n');
            const b = web.split('\n');
            const first = a.findIndex((line, i) => line !== b[i]);
            assert.equal(first, -1, `first difference at line ${first + 1}:\n native: ${a[first]}\n web:    ${b[first]}`);
            assert.equal(b.length, a.length);
            assert.deepEqual(errors, []);
        },
        [{ what: 'the native recorder (cmake --preset dev)', path: NATIVE }],
    ));
