// Scene scripts (kivanime-player's --timeline files, docs/player.md) in the
// page, read and played by the player's own code compiled into the library's
// module: the same lenient reader, settings, events, tweens and crowd, so
// that frame N here is the player's frame N, call for call. The page loads
// the model (under SCENE_MODEL) and draws the frames.
//
//   const scene = new Scene(runtime, await (await fetch(url)).text(), 'scene.json', ['--size', '640x480']);
//   await runtime.loadPuppet(SCENE_MODEL, new URL(scene.settings.model, url));
//   for (const file of scene.settings.sounds) scene.setSound(file, await (await fetch(new URL(file, url))).arrayBuffer());
//   scene.start();
//   scene.advanceTo(85);
//   runtime.render(renderer, { background: ... });

/** The name a scene's model is loaded under. */
export const SCENE_MODEL = 'puppet';

/**
 * What a scene needs from the page.
 * @typedef {Object} SceneSettings
 * @property {string} model the model file, relative to the timeline
 * @property {[number, number]} size the frame size in pixels
 * @property {number} frames
 * @property {[number, number]} origin where the model origin lands
 * @property {number} scale
 * @property {[number, number, number, number]} background colour, 0 to 1
 * @property {[number, number]} pivot the 3D pivot
 * @property {number} focal
 * @property {string[]} names every motion and expression name the scene uses
 * @property {string[]} sounds the sound files its "audio" commands feed, relative to the timeline
 */

/**
 * The samples of a WAV file as the player reads them with libsndfile:
 * integers divided by their full scale (16-bit ones by 32768), floats as
 * they are; channels interleaved.
 * @param {ArrayBuffer} bytes
 * @returns {{samples: Float32Array, channels: number, rate: number}}
 */
export function decodeWav(bytes) {
    const view = new DataView(bytes);
    const tag = (/** @type {number} */ at) => String.fromCharCode(...new Uint8Array(bytes, at, 4));
    if (bytes.byteLength < 12 || tag(0) !== 'RIFF' || tag(8) !== 'WAVE') throw new Error('not a WAV file');
    let format = 0, channels = 0, rate = 0, bits = 0;
    for (let at = 12; at + 8 <= bytes.byteLength; ) {
        const size = view.getUint32(at + 4, true);
        const body = at + 8;
        if (tag(at) === 'fmt ' && size >= 16 && body + 16 <= bytes.byteLength) {
            format = view.getUint16(body, true);
            channels = view.getUint16(body + 2, true);
            rate = view.getUint32(body + 4, true);
            bits = view.getUint16(body + 14, true);
            if (format === 0xfffe && size >= 26 && body + 26 <= bytes.byteLength) format = view.getUint16(body + 24, true); // the sub-format
        } else if (tag(at) === 'data') {
            const width = bits / 8;
            const float = format === 3 && (bits === 32 || bits === 64);
            if (!(channels > 0 && rate > 0 && (float || (format === 1 && [1, 2, 3, 4].includes(width))))) {
                throw new Error('a WAV encoding the page does not read (PCM of 8 to 32 bits, or float)');
            }
            const count = Math.floor(Math.min(size, bytes.byteLength - body) / width / channels) * channels;
            const samples = new Float32Array(count);
            for (let i = 0, p = body; i < count; ++i, p += width) {
                samples[i] = float ? (bits === 32 ? view.getFloat32(p, true) : view.getFloat64(p, true))
                    : width === 1 ? (view.getUint8(p) - 128) / 128
                    : width === 2 ? view.getInt16(p, true) / 32768
                    : width === 3 ? ((view.getInt8(p + 2) << 16) | view.getUint16(p, true)) / 8388608
                    : Math.fround(view.getInt32(p, true)) / 2147483648;
            }
            return { samples, channels, rate };
        }
        at = body + size + (size & 1);
    }
    throw new Error('a WAV file without its format or samples');
}

/**
 * One scene per runtime: reading another replaces it. Errors carry the
 * player's message.
 */
export class Scene {
    /**
     * Reads the scene as `kivanime-player OPTIONS --timeline NAME` would.
     * @param {import('./kivanime.js').Runtime} runtime
     * @param {string|null} timeline the timeline file's text; null: the options alone
     * @param {string} name the timeline's name in messages
     * @param {string[]} [options] the player's arguments, e.g. ['--size', '640x480', 'model.json']
     */
    constructor(runtime, timeline, name = 'timeline', options = []) {
        this.module = runtime.module;
        this.runtime = runtime;
        const answer = this.module._KivanimeWeb_ReadScene(...runtime.api.strings(name, timeline, options.join('\n')));
        if (!answer) {
            throw this.error();
        }
        /** @type {SceneSettings} */
        this.settings = JSON.parse(this.module.UTF8ToString(answer));
    }

    error() {
        return new Error(this.module.UTF8ToString(this.module._KivanimeWeb_SceneError()));
    }

    /**
     * Hands over a sound file of the scene (one of settings.sounds), as
     * kivanime-player reads it; before start().
     * @param {string} name the file as the scene names it
     * @param {ArrayBuffer} bytes the WAV file
     */
    setSound(name, bytes) {
        let wav;
        try {
            wav = decodeWav(bytes);
        } catch (e) {
            throw new Error(`cannot read the sound file '${name}': ${/** @type {Error} */ (e).message}`);
        }
        const m = this.module;
        const at = m._malloc(Math.max(wav.samples.length, 1) * 4);
        m.HEAPF32.set(wav.samples, at >> 2);
        const [text] = this.runtime.api.strings(name);
        const done = m._KivanimeWeb_SetSceneSound(text, at, wav.samples.length / wav.channels, wav.channels, wav.rate);
        m._free(at);
        if (!done) throw new Error(`cannot read the sound file '${name}'`);
    }

    /**
     * Tries every name the scene uses, creates its instances of SCENE_MODEL
     * (which must be loaded, with no other instances) and applies the
     * commands at time 0.
     */
    start() {
        if (this.module._KivanimeWeb_StartScene() !== 0) {
            throw this.error();
        }
    }

    /** Plays on to `frame` (from 0), as the player does before drawing it. @param {number} frame */
    advanceTo(frame) {
        this.module._KivanimeWeb_AdvanceScene(frame);
    }
}
