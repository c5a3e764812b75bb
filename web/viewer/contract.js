// One frame of a scene script, for comparing the web picture with
// kivanime-player's: ?timeline=T&model=M&frame=N&size=WxH&bare=1&renderer=webgl
// renders what `kivanime-player M --timeline T --size WxH` writes as frame N,
// then sets document.body.dataset.state to "ready" (or "error", with the
// message in the page). docs/web.md describes the parameters.

import { openRuntime, fetchPuppetFiles } from './core.js';
import { Scene, SCENE_MODEL } from '../src/scene.js';

// The page's own parameters; every other one is the player's option of that name.
const PAGE = new Set(['timeline', 'frame', 'bare', 'renderer']);

/** Whether the URL asks for a scene frame rather than the interactive viewer. @param {URLSearchParams} params */
export function wantsContract(params) {
    return params.has('model') || params.has('timeline');
}

/** @param {string} url */
async function fetchText(url) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(`cannot read '${url}': HTTP ${response.status}`);
    return response.text();
}

/** Renders the frame the URL names into the page's canvas. @param {URLSearchParams} params */
export async function runContract(params) {
    const body = document.body;
    const message = /** @type {HTMLElement} */ (document.getElementById('message'));
    body.classList.add('loaded');
    try {
        body.classList.toggle('bare', params.get('bare') === '1');
        const renderer = params.get('renderer') ?? 'canvas';
        if (renderer !== 'canvas' && renderer !== 'webgl') throw new Error(`renderer must be canvas or webgl, not '${renderer}'`);
        const frame = params.get('frame') ?? '0';
        if (!/^\d{1,6}$/.test(frame)) throw new Error(`frame must be a frame number (0 or more), not '${frame}'`);
        // The model is the player's one positional argument.
        const options = [...params]
            .filter(([key]) => !PAGE.has(key))
            .map(([key, value]) => (key === 'model' ? new URL(value, location.href).href : value ? `--${key}=${value}` : `--${key}`));
        const timeline = params.get('timeline') ? new URL(String(params.get('timeline')), location.href).href : '';
        const runtime = await openRuntime();
        const scene = new Scene(runtime.runtime, timeline ? await fetchText(timeline) : null, params.get('timeline') ?? '', options);
        const { model, size, frames, background, names } = scene.settings;
        if (!model) throw new Error('no model: give model=URL, or a timeline that names one');
        if (Number(frame) >= frames) throw new Error(`frame ${frame} is past the scene's last frame, ${frames - 1}`);
        for (const file of scene.settings.sounds) {
            const url = new URL(file, timeline || location.href).href;
            const response = await fetch(url);
            if (!response.ok) throw new Error(`cannot read the sound file '${file}': HTTP ${response.status}`);
            scene.setSound(file, await response.arrayBuffer());
        }
        const { files, path } = await fetchPuppetFiles(runtime, new URL(model, timeline || location.href).href, names);
        await runtime.loadPuppet(SCENE_MODEL, files, path);

        const canvas = /** @type {HTMLCanvasElement} */ (document.getElementById('canvas'));
        [canvas.width, canvas.height] = size;
        const draw = runtime.createRenderer(canvas, renderer);
        scene.start();
        scene.advanceTo(Number(frame));
        draw.render(background);
        // Ready once the frame is on screen, not merely drawn.
        await new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
        body.dataset.frame = frame;
        body.dataset.state = 'ready';
    } catch (e) {
        message.textContent = /** @type {Error} */ (e).message;
        message.hidden = false;
        body.dataset.state = 'error';
    }
}
