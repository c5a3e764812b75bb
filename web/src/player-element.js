// <kivanime-player src="hero/model.json" motion="idle" expression="smile">
//
// Plays one puppet in a canvas that fills the element (size it with CSS).
// Attributes: src (model URL), motion, expression, overlay, motions and
// expressions (space-separated names of files in the motions/ and
// expressions/ folders beside the model; the motion, overlay and expression
// named are fetched from there too unless the model holds them), fade (ms
// over which a change of motion cross-fades: 0 by default, at once; negative,
// the motion's own fadeIn), skin (one of the model's), tint (a CSS colour
// multiplying the puppet's), renderer ("webgl" or "canvas", default webgl
// with canvas as fallback), background (CSS colour), speed, blink and breath
// (a parameter of the model that blinks every 3 s, or breathes over 3 s
// across half its range; empty or missing: none). The puppet stands
// on the bottom centre of the element, scaled to fit the model's canvas. It
// pauses while off screen. It fires `load` once the puppet plays, `error`
// (a CustomEvent whose detail is the Error saying why) when it cannot load,
// and a `motionevent` (whose detail is the KivanimeEvent) for each event its
// motions announce; KivanimePlayerEventMap types them for TypeScript, and
// player-element-globals.ts makes document.querySelector('kivanime-player')
// a KivanimePlayerElement. Its methods reach the puppet's parameters and
// their drivers (setParameter, getParameter, parameters, parameterRange,
// resetParameters, setAutoBlink, setBreath, setLipSync, feedAudio: those of
// Instance); before the puppet plays they do nothing and answer false, null
// or [].
/// <reference path="./player-element-globals.ts" preserve="true" />

import { CanvasRenderer, WebGLRenderer, loadRuntime } from './kivanime.js';

/**
 * The element's own events, as addEventListener types them.
 * @typedef {Object} KivanimePlayerEventMap
 * @property {Event} load the puppet plays
 * @property {CustomEvent<Error>} error it cannot load; detail says why (a KivanimeError when the library refused a file)
 * @property {CustomEvent<import('./kivanime.js').KivanimeEvent>} motionevent one event its motions announced
 */

/** @type {Promise<import('./kivanime.js').Runtime>|null} */
let shared = null;
let nextName = 0;

export class KivanimePlayerElement extends HTMLElement {
    static get observedAttributes() {
        return ['src', 'motion', 'expression', 'overlay', 'speed', 'background', 'skin', 'tint', 'blink', 'breath'];
    }

    constructor() {
        super();
        const root = this.attachShadow({ mode: 'open' });
        root.innerHTML = '<style>:host{display:block;position:relative;width:300px;height:300px}' +
            'canvas{position:absolute;inset:0;width:100%;height:100%}</style><canvas></canvas>';
        this.canvas = /** @type {HTMLCanvasElement} */ (root.querySelector('canvas'));
        /** @type {import('./kivanime.js').Puppet|null} */
        this.puppet = null;
        /** @type {import('./kivanime.js').Instance|null} */
        this.instance = null;
        this.visible = false;
        this.frame = 0;
        this.last = -1;
        /** @type {Promise<void>|null} */
        this.loading = null;
        /** @type {string|null} the main motion asked for */
        this.playing = null;
        /** @type {string|null} the skin asked for */
        this.skin = null;
        /** @type {{blink: string|null, breath: string|null}} the parameters the attributes drive */
        this.driven = { blink: null, breath: null };
        this.tick = this.tick.bind(this);
    }

    connectedCallback() {
        this.observer = new IntersectionObserver((entries) => {
            this.visible = entries.some((e) => e.isIntersecting);
            if (this.visible && !this.frame) {
                this.last = -1;
                this.frame = requestAnimationFrame(this.tick);
            }
        });
        this.observer.observe(this);
        this.load();
    }

    disconnectedCallback() {
        this.observer?.disconnect();
        cancelAnimationFrame(this.frame);
        this.frame = 0;
        this.puppet?.unload();
        this.puppet = null;
        this.instance = null;
    }

    /** @param {string} name */
    attributeChangedCallback(name) {
        if (!this.isConnected) {
            return;
        }
        if (name === 'src') {
            this.load();
        } else if (this.instance) {
            this.apply();
        }
    }

    // Only for the types: the element's own events first, then every other.
    /**
     * @template {keyof KivanimePlayerEventMap} K
     * @overload
     * @param {K} type
     * @param {(this: KivanimePlayerElement, event: KivanimePlayerEventMap[K]) => unknown} listener
     * @param {boolean|AddEventListenerOptions} [options]
     * @returns {void}
     */
    /**
     * @template {keyof HTMLElementEventMap} E
     * @overload
     * @param {E} type
     * @param {(this: KivanimePlayerElement, event: HTMLElementEventMap[E]) => unknown} listener
     * @param {boolean|AddEventListenerOptions} [options]
     * @returns {void}
     */
    /**
     * @overload
     * @param {string} type
     * @param {EventListenerOrEventListenerObject} listener
     * @param {boolean|AddEventListenerOptions} [options]
     * @returns {void}
     */
    /** @param {string} type @param {EventListenerOrEventListenerObject} listener @param {boolean|AddEventListenerOptions} [options] */
    addEventListener(type, listener, options) {
        super.addEventListener(type, listener, options);
    }

    /**
     * @template {keyof KivanimePlayerEventMap} K
     * @overload
     * @param {K} type
     * @param {(this: KivanimePlayerElement, event: KivanimePlayerEventMap[K]) => unknown} listener
     * @param {boolean|EventListenerOptions} [options]
     * @returns {void}
     */
    /**
     * @template {keyof HTMLElementEventMap} E
     * @overload
     * @param {E} type
     * @param {(this: KivanimePlayerElement, event: HTMLElementEventMap[E]) => unknown} listener
     * @param {boolean|EventListenerOptions} [options]
     * @returns {void}
     */
    /**
     * @overload
     * @param {string} type
     * @param {EventListenerOrEventListenerObject} listener
     * @param {boolean|EventListenerOptions} [options]
     * @returns {void}
     */
    /** @param {string} type @param {EventListenerOrEventListenerObject} listener @param {boolean|EventListenerOptions} [options] */
    removeEventListener(type, listener, options) {
        super.removeEventListener(type, listener, options);
    }

    /** The runtime all players of the page share. */
    static runtime() {
        shared ??= loadRuntime();
        return shared;
    }

    async load() {
        const src = this.getAttribute('src');
        if (!src) {
            return;
        }
        let loading = /** @type {Promise<void>|null} */ (null);
        loading = this.loading = (async () => {
            const runtime = await KivanimePlayerElement.runtime();
            const names = (/** @type {string} */ attr, /** @type {string[]} */ extra) =>
                [...new Set([...(this.getAttribute(attr) ?? '').split(/\s+/), ...extra].filter(Boolean))];
            const base = new URL(src, document.baseURI);
            const exists = async (/** @type {URL} */ u) => (await fetch(u, { method: 'HEAD' })).ok;
            const beside = async (/** @type {string} */ folder, /** @type {string[]} */ list) => {
                const urls = list.map((n) => new URL(`${folder}/${encodeURIComponent(n)}.json`, base));
                const found = await Promise.all(urls.map(exists));
                return urls.filter((_, i) => found[i]);
            };
            const motions = await beside('motions', names('motions', [this.getAttribute('motion') ?? '', this.getAttribute('overlay') ?? '']));
            const expressions = await beside('expressions', names('expressions', [this.getAttribute('expression') ?? '']));
            const puppet = await runtime.loadPuppet(`kivanime-player-${++nextName}`, { model: base, motions, expressions });
            if (loading !== this.loading) {
                puppet.unload();
                return;
            }
            // Dropped only now: a newer load may have set it meanwhile, and
            // after a failed load the puppet before plays on.
            this.puppet?.unload();
            this.runtime = runtime;
            this.puppet = puppet;
            this.instance = puppet.createInstance();
            this.playing = this.skin = null;
            this.driven = { blink: null, breath: null };
            this.renderer = this.makeRenderer();
            this.apply();
            this.dispatchEvent(new Event('load'));
        })();
        try {
            await loading;
        } catch (error) {
            // Only the latest load speaks: an element parsed with its src
            // starts one load for the attribute and one when connected.
            if (loading === this.loading) {
                const detail = error instanceof Error ? error : new Error(String(error));
                this.dispatchEvent(new CustomEvent('error', { detail }));
            }
        }
    }

    makeRenderer() {
        if (this.getAttribute('renderer') !== 'canvas') {
            try {
                return new WebGLRenderer(this.canvas);
            } catch {
                // no WebGL2 here: the 2D canvas draws the same picture
            }
        }
        return new CanvasRenderer(this.canvas);
    }

    apply() {
        const i = this.instance;
        if (!i) {
            return;
        }
        const motion = this.getAttribute('motion');
        if (motion && motion !== this.playing) {
            i.crossFade(motion, 1, this.playing ? Number(this.getAttribute('fade') ?? 0) : 0);
        }
        this.playing = motion;
        // Put on only when it changes: putting on a skin undoes the motions' texture swaps.
        const skin = this.getAttribute('skin');
        if (skin !== this.skin) {
            i.setSkin(skin);
        }
        this.skin = skin;
        const tint = tintOf(this.getAttribute('tint'));
        i.setTint(tint[0], tint[1], tint[2]);
        const overlay = this.getAttribute('overlay');
        i.stopOverlays();
        if (overlay) {
            i.overlay(overlay);
        }
        const expression = this.getAttribute('expression');
        if (expression) {
            i.express(expression);
        } else {
            i.clearExpression();
        }
        // Set only when they change: a blinker set again starts its wait anew.
        const blink = this.getAttribute('blink') || null;
        if (blink !== this.driven.blink) {
            if (this.driven.blink) i.setAutoBlink(this.driven.blink, 0, 0);
            if (blink) i.setAutoBlink(blink);
        }
        const breath = this.getAttribute('breath') || null;
        if (breath !== this.driven.breath) {
            if (this.driven.breath) i.setBreath(this.driven.breath, 0, 0);
            if (breath) i.setBreath(breath);
        }
        this.driven = { blink, breath };
    }

    /** @param {string} name @param {number} value @returns {boolean} */
    setParameter(name, value) {
        return this.instance?.setParameter(name, value) ?? false;
    }
    /** @param {string} name @returns {number|null} */
    getParameter(name) {
        return this.instance?.getParameter(name) ?? null;
    }
    /** @returns {import('./kivanime.js').ParameterInfo[]} */
    get parameters() {
        return this.instance?.parameters ?? [];
    }
    /** @param {string} name */
    parameterRange(name) {
        return this.instance?.parameterRange(name) ?? null;
    }
    resetParameters() {
        this.instance?.resetParameters();
    }
    /** @param {string} name @param {number} [intervalMs] @param {number} [closeMs] @returns {boolean} */
    setAutoBlink(name, intervalMs, closeMs) {
        return this.instance?.setAutoBlink(name, intervalMs, closeMs) ?? false;
    }
    /** @param {string} name @param {number} [periodMs] @param {number} [amplitude] @returns {boolean} */
    setBreath(name, periodMs, amplitude) {
        return this.instance?.setBreath(name, periodMs, amplitude) ?? false;
    }
    /** @param {string} name @param {number} [gain] @returns {boolean} */
    setLipSync(name, gain) {
        return this.instance?.setLipSync(name, gain) ?? false;
    }
    /** @param {Float32Array|number[]} samples @param {number} sampleRate @param {number} [count] @returns {boolean} */
    feedAudio(samples, sampleRate, count) {
        return this.instance?.feedAudio(samples, sampleRate, count) ?? false;
    }

    /** Places the puppet: its canvas fitted into the element, standing on the bottom centre. */
    layout() {
        const dpr = window.devicePixelRatio || 1;
        const w = Math.max(1, Math.round(this.clientWidth * dpr));
        const h = Math.max(1, Math.round(this.clientHeight * dpr));
        if (this.canvas.width !== w || this.canvas.height !== h) {
            this.canvas.width = w;
            this.canvas.height = h;
        }
        const p = /** @type {import('./kivanime.js').Puppet} */ (this.puppet);
        const mw = p.width || w;
        const mh = p.height || h;
        const scale = Math.min(w / mw, h / mh);
        this.instance?.setScale(scale);
        this.instance?.setPosition(w / 2, h - (h - mh * scale) / 2);
    }

    /** @param {number} now */
    tick(now) {
        this.frame = 0;
        if (!this.visible) {
            return;
        }
        if (this.puppet && this.runtime && this.renderer) {
            const dt = this.last < 0 ? 0 : Math.min(now - this.last, 100) * Number(this.getAttribute('speed') ?? 1);
            this.last = now;
            // Every player of the page shares the runtime: show only ours.
            for (const other of this.runtime.puppets.values()) {
                for (const inst of other.instances) {
                    inst.setVisible(inst === this.instance);
                }
            }
            this.layout();
            for (const detail of this.runtime.update(dt)) {
                this.dispatchEvent(new CustomEvent('motionevent', { detail }));
            }
            this.runtime.render(this.renderer, { background: this.getAttribute('background') });
        }
        this.frame = requestAnimationFrame(this.tick);
    }
}

/**
 * A CSS colour as channel factors from 0 to 1; white for none or a colour the
 * browser does not read.
 * @param {string|null} colour
 */
function tintOf(colour) {
    const ctx = /** @type {CanvasRenderingContext2D} */ (document.createElement('canvas').getContext('2d'));
    ctx.fillStyle = '#fff';
    ctx.fillStyle = colour ?? '#fff';
    // The browser writes it back as #rrggbb, or rgba(r, g, b, a) when translucent.
    const css = String(ctx.fillStyle);
    const bytes = css[0] === '#' ? [1, 3, 5].map((i) => parseInt(css.slice(i, i + 2), 16)) : (css.match(/[\d.]+/g) ?? []).map(Number);
    return bytes.slice(0, 3).map((v) => v / 255);
}

if (!customElements.get('kivanime-player')) {
    customElements.define('kivanime-player', KivanimePlayerElement);
}
