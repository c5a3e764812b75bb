// In Chromium: the Canvas 2D and WebGL2 renderers draw the same picture of a
// turned, expressive, mid-motion puppet within a small tolerance, loaded
// through the URL loader; and <kivanime-player> draws and pauses off screen.
import assert from 'node:assert/strict';
import test from 'node:test';

import { openPage, withBrowser } from './harness.mjs';

async function renderBoth() {
    const kv = await (await import('/src/kivanime.js')).loadRuntime();
    const { CanvasRenderer, WebGLRenderer } = await import('/src/kivanime.js');
    const files = await (await fetch('/examples/hero/files.json')).json();
    const pick = (dir) => files.filter((f) => f.startsWith(dir + '/') && f.endsWith('.json')).map((f) => '/examples/hero/' + f);
    const hero = await kv.loadPuppet('hero', {
        model: '/examples/hero/model.json',
        motions: pick('motions'),
        expressions: pick('expressions'),
    });
    const i = hero.createInstance({ x: 256, y: 490, scale: 0.85, motion: 'idle', expression: 'smile' });
    i.overlay('wave', 0.8);
    i.setup3D({ pivot: [0, -360], focal: 1500, curve: [300, 0] });
    i.turn(24, 6, 4);
    i.setWind(30, 0);
    for (let t = 0; t < 60; ++t) {
        kv.update(16.667);
    }
    const pixels = (renderer) => {
        kv.render(renderer, { background: '#f3efe6' });
        const copy = document.createElement('canvas');
        copy.width = copy.height = 512;
        const ctx = copy.getContext('2d');
        ctx.drawImage(renderer.canvas, 0, 0);
        return Array.from(ctx.getImageData(0, 0, 512, 512).data);
    };
    const make = () => Object.assign(document.createElement('canvas'), { width: 512, height: 512 });
    const a = pixels(new CanvasRenderer(make()));
    const b = pixels(new WebGLRenderer(make()));
    let sum = 0;
    let far = 0;
    let covered = 0;
    for (let p = 0; p < a.length; p += 4) {
        let worst = 0;
        for (let c = 0; c < 3; ++c) {
            const d = Math.abs(a[p + c] - b[p + c]);
            sum += d;
            worst = Math.max(worst, d);
        }
        far += worst > 48 ? 1 : 0;
        covered += a[p] !== 0xf3 || a[p + 1] !== 0xef || a[p + 2] !== 0xe6 ? 1 : 0;
    }
    return { mean: sum / (512 * 512 * 3), far: far / (512 * 512), covered: covered / (512 * 512), records: kv.list.count };
}

async function element() {
    await import('/src/player-element.js');
    const el = document.createElement('kivanime-player');
    el.setAttribute('src', '/examples/hero/model.json');
    el.setAttribute('motion', 'idle');
    el.setAttribute('expression', 'smile');
    el.setAttribute('renderer', 'canvas');
    el.setAttribute('background', '#ffffff');
    el.style.cssText = 'width: 200px; height: 200px';
    const loaded = new Promise((resolve, reject) => {
        el.addEventListener('load', resolve);
        el.addEventListener('error', (e) => reject(e.detail));
    });
    document.body.append(el);
    await loaded;
    const frames = () => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
    await frames();
    await frames();
    const canvas = el.shadowRoot.querySelector('canvas');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let drawn = 0;
    for (let p = 0; p < data.length; p += 4) {
        drawn += data[p] < 250 || data[p + 1] < 250 ? 1 : 0;
    }
    el.style.cssText = 'position: absolute; top: 5000px; width: 200px; height: 200px';
    await frames();
    await frames();
    return { drawn: drawn / (data.length / 4), pausedOffScreen: el.frame === 0, playing: el.instance.playing };
}

test('Canvas 2D and WebGL2 agree; the custom element plays and pauses off screen', (t) =>
    withBrowser(t, async ({ url, browser }) => {
        const { page, errors } = await openPage(browser, `${url}/__blank.html`);
        const both = await page.evaluate(renderBoth);
        t.diagnostic(JSON.stringify(both));
        assert.ok(both.records > 20, `records drawn: ${both.records}`);
        assert.ok(both.covered > 0.1, `the puppet covers ${both.covered} of the frame`);
        assert.ok(both.mean < 0.5, `mean difference ${both.mean} per channel`);
        assert.ok(both.far < 0.001, `${both.far} of the pixels differ by more than 48`);
        const el = await page.evaluate(element);
        assert.ok(el.drawn > 0.1, `the element drew ${el.drawn} of its canvas`);
        assert.ok(el.pausedOffScreen && el.playing, JSON.stringify(el));
        assert.deepEqual(errors, []);
    }));
