// One frame of a scene script, for comparing the web picture with
// kivanime-player's: ?timeline=T&model=M&frame=N&size=WxH&bare=1&renderer=webgl
// renders what `kivanime-player M --timeline T --size WxH` writes as frame N,
// then sets document.body.dataset.state to "ready" (or "error", with the
// message in the page). docs/web.md describes the parameters.

import { openRuntime, fetchPuppetFiles } from './core.js';
import { parseTimeline, TimelineScene } from '../src/timeline.js';

const MODEL_NAME = 'puppet';

/** Whether the URL asks for a scene frame rather than the interactive viewer. */
export function wantsContract(/** @type {URLSearchParams} */ params) {
    return params.has('model') || params.has('timeline');
}

async function fetchText(/** @type {string} */ url) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(`cannot read '${url}': HTTP ${response.status}`);
    return response.text();
}

/**
 * Reads the parameters into what the scene needs; throws with a message
 * for anything the player's command line would refuse.
 * @param {URLSearchParams} params @param {string} base
 */
export function readParams(params, base) {
    /** @type {{bare: boolean, renderer: string, frame: number, width?: number, height?: number, timeline?: string, model?: string}} */
    const out = { bare: params.get('bare') === '1', renderer: params.get('renderer') ?? 'canvas', frame: 0 };
    if (out.renderer !== 'canvas' && out.renderer !== 'webgl') {
        throw new Error(`renderer must be canvas or webgl, not '${out.renderer}'`);
    }
    const frame = params.get('frame') ?? '0';
    if (!/^\d{1,6}$/.test(frame)) throw new Error(`frame must be a frame number (0 or more), not '${frame}'`);
    out.frame = Number(frame);
    const size = params.get('size');
    if (size !== null) {
        const m = /^(\d{1,4})x(\d{1,4})$/.exec(size);
        const [w, h] = m ? [Number(m[1]), Number(m[2])] : [0, 0];
        if (w < 1 || h < 1 || w > 8192 || h > 8192) throw new Error(`size must be WxH in pixels, not '${size}'`);
        out.width = w;
        out.height = h;
    }
    for (const key of /** @type {const} */ (['timeline', 'model'])) {
        const value = params.get(key);
        if (value) out[key] = new URL(value, base).href;
    }
    return out;
}

/** Renders the frame the URL names into the page's canvas. */
export async function runContract(/** @type {URLSearchParams} */ params) {
    const body = document.body;
    const message = /** @type {HTMLElement} */ (document.getElementById('message'));
    body.classList.add('loaded');
    try {
        const p = readParams(params, location.href);
        body.classList.toggle('bare', p.bare);
        /** @type {import('../src/timeline.js').Timeline} */
        let timeline = { model: '', enable3D: false, events: [] };
        if (p.timeline) {
            const folder = p.timeline.slice(0, p.timeline.lastIndexOf('/') + 1);
            try {
                timeline = parseTimeline(await fetchText(p.timeline), folder);
            } catch (e) {
                throw new Error(`timeline '${params.get('timeline')}': ${/** @type {Error} */ (e).message}`);
            }
        }
        const model = p.model ?? timeline.model;
        if (!model) throw new Error('no model: give model=URL, or a timeline that names one');

        const runtime = await openRuntime();
        const names = timeline.events.flatMap((e) => [e.name, e.then]).filter(Boolean);
        const { files, path } = await fetchPuppetFiles(model, names);
        const { missing } = await runtime.loadPuppet(MODEL_NAME, files, path);
        if (missing.length > 0) {
            throw new Error(`cannot load the texture '${missing[0]}': missing or not an image`);
        }

        const scene = new TimelineScene(runtime.lib, MODEL_NAME, timeline, { width: p.width, height: p.height });
        const { width, height, frames, background } = scene.settings;
        if (p.frame >= frames) {
            throw new Error(`frame ${p.frame} is past the scene's last frame, ${frames - 1}`);
        }
        const canvas = /** @type {HTMLCanvasElement} */ (document.getElementById('canvas'));
        canvas.width = width;
        canvas.height = height;
        const renderer = runtime.createRenderer(canvas, p.renderer);
        scene.start();
        scene.advanceTo(p.frame);
        renderer.render(background);
        // Ready once the frame is on screen, not merely drawn.
        await new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
        body.dataset.frame = String(p.frame);
        body.dataset.state = 'ready';
    } catch (e) {
        message.textContent = /** @type {Error} */ (e).message;
        message.hidden = false;
        body.dataset.state = 'error';
    }
}
