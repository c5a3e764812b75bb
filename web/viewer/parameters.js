// The viewer's parameters: a slider per parameter of the puppet, made from
// what the library says the puppet has (never from the file), the blink and
// breath drivers, and lip sync from an audio file played through WebAudio,
// whose samples reach the library frame by frame as they are heard.

/** @typedef {import('../src/kivanime.js').CInterface} CInterface */
/** @typedef {{name: string, min: number, max: number, default: number}} Parameter */

/** Blinks every 3 s, closing over 150 ms; breathes over 3 s across half the range. */
export const BLINK = { intervalMs: 3000, closeMs: 150 };
export const BREATH_MS = 3000;
export const LIP_GAIN = 4;

/**
 * The instance's parameters as the library lists them, with their ranges.
 * @param {CInterface} lib @param {number} id @returns {Parameter[]}
 */
export function readParameters(lib, id) {
    const list = [];
    for (let i = 0, n = lib.Anime_GetParameterCount(id); i < n; ++i) {
        const name = lib.Anime_GetParameterName(id, i);
        const range = name === null ? null : lib.Anime_GetParameterRange(id, name);
        if (name !== null && range) list.push({ name, min: range[0], max: range[1], default: range[2] });
    }
    return list;
}

/**
 * The parameter a driver most likely means, by its name (eyes for a blink,
 * breath for breathing, the mouth for lip sync); '' when none fits.
 * @param {Parameter[]} parameters @param {RegExp} pattern
 */
export function likely(parameters, pattern) {
    return parameters.find((p) => pattern.test(p.name))?.name ?? '';
}

/**
 * What the animator chose, kept when the same puppet loads again: the game's
 * values of the sliders moved, and which parameter each driver moves ('' for
 * none).
 * @typedef {{values: Map<string, number>, blink: string, breath: string, lip: string, gain: number}} ParameterState
 * @returns {ParameterState}
 */
export function freshState() {
    return { values: new Map(), blink: '', breath: '', lip: '', gain: LIP_GAIN };
}

/**
 * Sets an instance up as the state says (a new instance of the crowd, a
 * reloaded puppet). Lip sync moves its parameter only while audio plays.
 * @param {CInterface} lib @param {number} id @param {ParameterState} state
 * @param {Parameter[]} parameters @param {boolean} speaking
 */
export function applyParameters(lib, id, state, parameters, speaking) {
    for (const [name, value] of state.values) lib.Anime_SetParameter(id, name, value);
    const named = (/** @type {string} */ name) => parameters.find((p) => p.name === name);
    for (const p of parameters) {
        lib.Anime_SetAutoBlink(id, p.name, p.name === state.blink ? BLINK.intervalMs : 0, BLINK.closeMs);
        const range = p.name === state.breath ? /** @type {Parameter} */ (named(p.name)) : null;
        lib.Anime_SetBreath(id, p.name, range ? BREATH_MS : 0, range ? 0.5 * (range.max - range.min) : 0);
        lib.Anime_SetLipSync(id, p.name, speaking && p.name === state.lip ? state.gain : 0);
    }
}

/**
 * A sound played through WebAudio whose samples (mixed to mono) are handed
 * out as they are played: take() gives those heard since the last take.
 */
export class SpokenAudio {
    constructor() {
        /** @type {AudioContext|null} */
        this.context = null;
        /** @type {AudioBufferSourceNode|null} */
        this.source = null;
        this.samples = new Float32Array(0);
        this.sampleRate = 0;
        this.startedAt = 0;
        this.taken = 0;
        /** @type {(() => void)|null} called when the sound ends or is stopped */
        this.onEnd = null;
    }

    /** Decodes (wav, mp3, ogg: what the browser reads) and starts playing. @param {Blob} file */
    async play(file) {
        this.stop();
        const context = (this.context ??= new AudioContext());
        const buffer = await context.decodeAudioData(await file.arrayBuffer());
        const mono = new Float32Array(buffer.length);
        for (let c = 0; c < buffer.numberOfChannels; ++c) {
            const channel = buffer.getChannelData(c);
            for (let i = 0; i < mono.length; ++i) mono[i] += channel[i] / buffer.numberOfChannels;
        }
        await context.resume();
        const source = context.createBufferSource();
        source.buffer = buffer;
        source.connect(context.destination);
        source.addEventListener('ended', () => {
            if (this.source === source) this.stop();
        });
        this.samples = mono;
        this.sampleRate = buffer.sampleRate;
        this.source = source;
        this.taken = 0;
        this.startedAt = context.currentTime;
        source.start();
    }

    get playing() {
        return this.source !== null;
    }

    /** The samples played since the last call (a view, valid until the next play). */
    take() {
        if (!this.source || !this.context) return this.samples.subarray(0, 0);
        const now = Math.min(this.samples.length, Math.floor((this.context.currentTime - this.startedAt) * this.sampleRate));
        const from = this.taken;
        this.taken = Math.max(from, now);
        return this.samples.subarray(from, this.taken);
    }

    stop() {
        const source = this.source;
        this.source = null;
        if (source) {
            source.stop();
            source.disconnect();
            this.onEnd?.();
        }
    }
}
