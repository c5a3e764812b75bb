// In Chromium: <kivanime-player> loads the sample puppet through the URL
// loader, draws it with a motion and an expression, and pauses off screen.
// (Both renderers against the native player's frames: viewer.test.mjs.)
import assert from 'node:assert/strict';
import test from 'node:test';

import { openPage, withBrowser } from './harness.mjs';

async function element() {
    await import('/src/player-element.js');
    const el = document.createElement('kivanime-player');
    const attributes = { src: '/examples/hero/model.json', motion: 'idle', expression: 'smile', renderer: 'canvas', background: '#ffffff' };
    Object.entries(attributes).forEach(([name, value]) => el.setAttribute(name, value));
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

test('the custom element plays and pauses off screen', (t) =>
    withBrowser(t, async ({ url, browser }) => {
        const { page, errors } = await openPage(browser, `${url}/__blank.html`);
        const el = await page.evaluate(element);
        assert.ok(el.drawn > 0.1, `the element drew ${el.drawn} of its canvas`);
        assert.ok(el.pausedOffScreen && el.playing, JSON.stringify(el));
        assert.deepEqual(errors, []);
    }));
