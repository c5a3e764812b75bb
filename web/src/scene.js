// Scene scripts (kivanime-player's --timeline files, docs/player.md) in the
// page, read and played by the player's own code compiled into the library's
// module: the same lenient reader, settings, events, tweens and crowd, so
// that frame N here is the player's frame N, call for call. The page loads
// the model (under SCENE_MODEL) and draws the frames.
//
//   const scene = new Scene(runtime, await (await fetch(url)).text(), 'scene.json', ['--size', '640x480']);
//   await runtime.loadPuppet(SCENE_MODEL, new URL(scene.settings.model, url));
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
 */

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
