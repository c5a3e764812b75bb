// Scene scripts ("timelines") in the browser: the same JSON format, the same
// settings and the same frame-by-frame order of calls as kivanime-player's
// --timeline, so that frame N here is frame N there (docs/player.md describes
// the format). All arithmetic that reaches the library is done in single
// precision, one operation at a time, exactly as the player does it.

const f = Math.fround;

// Crowd members start this far apart in time, so they do not move in step.
const CROWD_PHASE_MS = 173;

/**
 * @typedef {{atMs: number, kind: string, name: string, then: string, speed: number, weight: number,
 *            overMs: number, values: number[], flag: boolean, index: number}} TimelineEvent
 * @typedef {{model: string, enable3D: boolean, events: TimelineEvent[], width?: number, height?: number,
 *            fps?: number, durationMs?: number, origin?: number[], scale?: number, background?: number[],
 *            crowd?: number, pivot?: number[], focal?: number, curve?: number[], strength3D?: number[]}} Timeline
 * @typedef {{id: number, cellScale: number, then: string, cell: number[], position: Tween}} ScenePuppet
 */

/** A timeline file that cannot be used; `message` says why. */
export class TimelineError extends Error {}

/** @type {[string, string|number][]} */
const COMMANDS = [
    ['motion', 'motion'],
    ['stopMotion', 'flag'],
    ['overlay', 'name'],
    ['stopOverlay', 'name'],
    ['stopOverlays', 'flag'],
    ['expression', 'name'],
    ['clearExpression', 'flag'],
    ['angles', 3],
    ['wind', 2],
    ['globalWind', 2],
    ['position', 2],
    ['scale', 'scale'],
    ['alpha', 1],
    ['visible', 'flag'],
    ['resetPhysics', 'flag'],
];

const isNumber = (/** @type {unknown} */ v) => typeof v === 'number';
const isObject = (/** @type {any} */ v) => v !== null && typeof v === 'object' && !Array.isArray(v);
const has = (/** @type {object} */ object, /** @type {string} */ key) => Object.prototype.hasOwnProperty.call(object, key);

function readNumber(/** @type {unknown} */ v, /** @type {string} */ key) {
    if (typeof v !== 'number' || !Number.isFinite(v)) throw new TimelineError(`"${key}" must be a number`);
    return f(v);
}

function readNumbers(/** @type {unknown} */ v, /** @type {string} */ key, /** @type {number} */ count) {
    const message = `"${key}" must be an array of ${count} numbers`;
    if (!Array.isArray(v) || v.length !== count) throw new TimelineError(message);
    return v.map((item) => {
        if (!isNumber(item) || !Number.isFinite(item)) throw new TimelineError(message);
        return f(item);
    });
}

function readName(/** @type {unknown} */ v, /** @type {string} */ key) {
    if (typeof v !== 'string' || v === '') {
        throw new TimelineError(`"${key}" must be a non-empty string`);
    }
    return v;
}

/** @param {any} v @param {number} index @returns {TimelineEvent} */
function readEvent(v, index) {
    if (!isObject(v)) throw new TimelineError('must be an object');
    let atMs = NaN;
    try {
        atMs = readNumber(v.at, 'at');
    } catch {
        // reported below with the same words as a negative time
    }
    if (!(atMs >= 0)) throw new TimelineError('needs "at", a time in milliseconds (0 or more)');
    let command = /** @type {[string, string|number]|null} */ (null);
    for (const candidate of COMMANDS) {
        if (!has(v, candidate[0])) continue;
        if (command) {
            throw new TimelineError(`has two commands, "${command[0]}" and "${candidate[0]}"`);
        }
        command = candidate;
    }
    if (!command) {
        throw new TimelineError(
            'has no command (motion, stopMotion, overlay, stopOverlay, stopOverlays, ' +
                'expression, clearExpression, angles, wind, globalWind, position, scale, ' +
                'alpha, visible, resetPhysics)',
        );
    }
    const [key, shape] = command;
    const optional = (/** @type {string} */ name, /** @type {number} */ fallback) => (has(v, name) ? readNumber(v[name], name) : fallback);
    const event = {
        atMs,
        kind: key,
        name: '',
        then: '',
        speed: optional('speed', 1),
        weight: optional('weight', 1),
        overMs: Math.max(optional('over', 0), 0),
        values: [0, 0, 0],
        flag: true,
        index,
    };
    const value = v[key];
    if (shape === 'motion' || shape === 'name') {
        if (shape === 'motion' && has(v, 'then')) event.then = readName(v.then, 'then');
        event.name = readName(value, key);
    } else if (shape === 'flag') {
        if (typeof value !== 'boolean') throw new TimelineError(`"${key}" must be true or false`);
        event.flag = value;
    } else if (shape === 'scale') {
        event.values = isNumber(value) ? [readNumber(value, key), 0, 0] : readNumbers(value, key, 2);
        if (isNumber(value)) event.values[1] = event.values[0];
    } else if (shape === 1) {
        event.values[0] = readNumber(value, key);
    } else {
        event.values = readNumbers(value, key, Number(shape));
    }
    return event;
}

function readPairKey(/** @type {any} */ object, /** @type {string} */ key) {
    return has(object, key) ? readNumbers(object[key], key, 2) : undefined;
}

function readNumberKey(/** @type {any} */ object, /** @type {string} */ key) {
    return has(object, key) ? readNumber(object[key], key) : undefined;
}

function hexDigit(/** @type {string} */ c) {
    const i = '0123456789abcdef'.indexOf(c.toLowerCase());
    return c.length === 1 ? i : -1;
}

/**
 * A colour as the player's --background takes it: "#rrggbb", "#rrggbbaa",
 * the same without "#", "transparent" or "none".
 * @param {string} text
 * @returns {number[] | null} [r, g, b, a] from 0 to 1, or null when unreadable
 */
export function parseColor(text) {
    if (text === 'transparent' || text === 'none') return [0, 0, 0, 0];
    const hex = text.startsWith('#') ? text.slice(1) : text;
    if (hex.length !== 6 && hex.length !== 8) return null;
    const channels = [0, 0, 0, 1];
    for (let i = 0; i < hex.length / 2; ++i) {
        const hi = hexDigit(hex[i * 2]);
        const lo = hexDigit(hex[i * 2 + 1]);
        if (hi < 0 || lo < 0) return null;
        channels[i] = f((hi * 16 + lo) / 255);
    }
    return channels;
}

function isAbsolute(/** @type {string} */ path) {
    return path.startsWith('/') || /^[a-z][a-z0-9+.-]*:/i.test(path);
}

/**
 * Reads a timeline. `baseUrl` (ending in "/", or empty) is put in front of a
 * relative "model" path.
 * @param {string} text the file's JSON text
 * @param {string} [baseUrl]
 * @returns {Timeline} the timeline; throws TimelineError with the player's message
 */
export function parseTimeline(text, baseUrl = '') {
    let root;
    try {
        root = JSON.parse(text);
    } catch {
        root = null;
    }
    if (!isObject(root)) throw new TimelineError('the top level is not a JSON object');
    /** @type {Timeline} */
    const t = { model: '', enable3D: false, events: [] };
    if (has(root, 'model')) {
        const model = readName(root.model, 'model');
        t.model = isAbsolute(model) ? model : baseUrl + model;
    }
    if (has(root, 'size')) {
        const sizeError = new TimelineError('"size" must be [width, height] in pixels');
        let size;
        try {
            size = readNumbers(root.size, 'size', 2);
        } catch {
            throw sizeError;
        }
        if (size.some((n) => n < 1 || n > 8192)) throw sizeError;
        [t.width, t.height] = size.map(Math.trunc);
    }
    t.fps = readNumberKey(root, 'fps');
    t.durationMs = readNumberKey(root, 'duration');
    t.origin = readPairKey(root, 'origin');
    t.scale = readNumberKey(root, 'scale');
    if (t.fps !== undefined && (t.fps < 1 || t.fps > 1000)) {
        throw new TimelineError('"fps" must be between 1 and 1000');
    }
    if (t.durationMs !== undefined && t.durationMs <= 0) {
        throw new TimelineError('"duration" must be more than 0 milliseconds');
    }
    if (has(root, 'background')) {
        const color = typeof root.background === 'string' ? parseColor(root.background) : null;
        if (!color) throw new TimelineError('"background" must be a colour such as "#f3efe6"');
        t.background = color;
    }
    if (has(root, 'crowd')) {
        const crowd = isNumber(root.crowd) && Number.isFinite(root.crowd) ? f(root.crowd) : NaN;
        if (!(crowd >= 1 && crowd <= 400)) {
            throw new TimelineError('"crowd" must be a number from 1 to 400');
        }
        t.crowd = Math.trunc(crowd);
    }
    if (has(root, 'setup3d')) {
        const setup = root.setup3d;
        if (!isObject(setup)) throw new TimelineError('"setup3d" must be an object');
        try {
            t.pivot = readPairKey(setup, 'pivot');
            t.focal = readNumberKey(setup, 'focal');
            t.curve = readPairKey(setup, 'curve');
            t.strength3D = readPairKey(setup, 'strength');
        } catch (e) {
            throw new TimelineError(`in "setup3d": ${/** @type {Error} */ (e).message}`);
        }
        t.enable3D = true;
    }
    if (has(root, 'events') && !Array.isArray(root.events)) {
        throw new TimelineError('"events" must be an array');
    }
    (root.events || []).forEach((/** @type {unknown} */ item, /** @type {number} */ i) => {
        let event;
        try {
            event = readEvent(item, i);
        } catch (e) {
            throw new TimelineError(`event ${i} ${/** @type {Error} */ (e).message}`);
        }
        if (event.kind === 'angles') t.enable3D = true;
        t.events.push(event);
    });
    t.events.sort((a, b) => a.atMs - b.atMs); // stable: file order kept for ties
    return t;
}

/**
 * The scene's settings: the overrides first (the player's command line),
 * then the timeline, then the player's defaults.
 * @param {Timeline} t a parsed timeline
 * @param {{width?: number, height?: number, fps?: number, frames?: number}} [o]
 */
export function resolveSettings(t, o = {}) {
    const width = o.width ?? t.width ?? 512;
    const height = o.height ?? t.height ?? 512;
    const fps = f(o.fps ?? t.fps ?? 25);
    let frames = o.frames ?? 60;
    if (o.frames === undefined && t.durationMs !== undefined) {
        frames = Math.max(1, Math.round(f(f(t.durationMs * fps) / 1000)));
    }
    return {
        width,
        height,
        fps,
        frames,
        origin: t.origin ?? [f(width * 0.5), f(height - 30)],
        scale: t.scale ?? 1,
        background: t.background ?? /** @type {number[]} */ (parseColor('#f3efe6')),
        crowd: t.crowd ?? 1,
        enable3D: t.enable3D,
        pivot: t.pivot ?? [0, 0],
        focal: t.focal ?? 1500,
        curve: t.curve ?? [0, 0],
        strength3D: t.strength3D ?? [1, 1],
    };
}

// A value eased in and out between two settings over a stretch of time, for
// angles, wind and positions.
class Tween {
    constructor(/** @type {number[]} */ values) {
        this.from = values.slice();
        this.to = values.slice();
        this.startMs = 0;
        this.lengthMs = 0;
    }

    start(/** @type {number[]} */ current, /** @type {number[]} */ target, /** @type {number} */ now, /** @type {number} */ length) {
        this.from = current.slice();
        this.to = target.slice();
        this.startMs = now;
        this.lengthMs = length;
    }

    at(/** @type {number} */ i, /** @type {number} */ now) {
        if (this.lengthMs <= 0 || now >= f(this.startMs + this.lengthMs)) return this.to[i];
        const u = Math.min(Math.max(f(f(now - this.startMs) / this.lengthMs), 0), 1);
        const e = f(f(u * u) * f(3 - f(2 * u)));
        return f(this.from[i] + f(f(this.to[i] - this.from[i]) * e));
    }

    all(/** @type {number} */ now) {
        return this.to.map((_, i) => this.at(i, now));
    }
}

/**
 * Plays a timeline on the library, frame by frame, making the same calls in
 * the same order as kivanime-player. `lib` is the runtime's C mirror (the
 * `api` of kivanime.js's Runtime, with the Anime_ functions); the model must
 * already be loaded under `modelName`.
 */
export class TimelineScene {
    /**
     * @param {import('./kivanime.js').CInterface} lib
     * @param {string} modelName
     * @param {Timeline} timeline from parseTimeline
     * @param {{width?: number, height?: number, fps?: number, frames?: number}} [overrides] as for resolveSettings
     */
    constructor(lib, modelName, timeline, overrides = {}) {
        this.lib = lib;
        this.modelName = modelName;
        this.timeline = timeline;
        this.settings = resolveSettings(timeline, overrides);
        /** @type {ScenePuppet[]} */
        this.puppets = [];
        this.frame = -1; // the last frame advanced to
        this.previousMs = 0;
        this.next = 0;
        this.sceneOrigin = this.settings.origin;
        this.angles = new Tween([0, 0, 0]);
        this.wind = new Tween([0, 0]);
    }

    /**
     * Tries every motion and expression name the timeline uses on a scratch
     * instance, which also loads every texture; throws TimelineError naming the
     * first unknown one. Then creates the instances and applies the events at
     * time 0.
     */
    start() {
        const { lib } = this;
        const probe = lib.Anime_CreateInstance(this.modelName);
        if (!probe) throw new TimelineError('the library refused to create an instance of the model');
        try {
            for (const e of this.timeline.events) {
                const where = `timeline event ${e.index}`;
                const names = /** @type {[string, boolean][]} */ ([]);
                if (e.kind === 'motion' || e.kind === 'overlay' || e.kind === 'stopOverlay') {
                    names.push([e.name, false]);
                    if (e.then) names.push([e.then, false]);
                } else if (e.kind === 'expression') {
                    names.push([e.name, true]);
                }
                for (const [name, expression] of names) {
                    const ok = expression ? lib.Anime_SetExpression(probe, name) : lib.Anime_PlayMotion(probe, name, 1);
                    if (!ok) {
                        const what = expression ? 'expression' : 'motion';
                        throw new TimelineError(`the model has no ${what} '${name}' (${where})`);
                    }
                }
            }
        } finally {
            lib.Anime_DestroyInstance(probe);
        }
        this.createPuppets();
        const { events } = this.timeline;
        // Commands at time 0 come before the crowd's phases are spread, so that
        // each member starts its motions at its own moment.
        while (this.next < events.length && events[this.next].atMs <= 0) {
            this.apply(events[this.next++], 0);
        }
        for (let k = 1; k < this.puppets.length; ++k) {
            this.puppets.forEach((p, j) => lib.Anime_SetVisible(p.id, j >= k ? 1 : 0));
            lib.Anime_Update(CROWD_PHASE_MS);
        }
        for (const p of this.puppets) lib.Anime_SetVisible(p.id, 1);
    }

    /** The time of a frame in milliseconds, as the player computes it. @param {number} frame */
    timeOf(frame) {
        return f((frame * 1000) / this.settings.fps);
    }

    /** Applies the next frame's events and tweens and updates the library. */
    step() {
        const frame = this.frame + 1;
        const now = this.timeOf(frame);
        const { events } = this.timeline;
        while (this.next < events.length && events[this.next].atMs <= now) {
            this.apply(events[this.next++], now);
        }
        this.applyTweens(now);
        this.lib.Anime_Update(f(now - this.previousMs));
        this.previousMs = now;
        this.frame = frame;
        return frame;
    }

    /** Steps until `frame` (0-based) is the current frame. @param {number} frame */
    advanceTo(frame) {
        while (this.frame < frame) this.step();
    }

    /** Destroys the scene's instances. */
    destroy() {
        for (const p of this.puppets) this.lib.Anime_DestroyInstance(p.id);
        this.puppets = [];
    }

    /** @param {{cell: number[], cellScale: number}} p @param {number[]} sceneOrigin */
    puppetOrigin(p, sceneOrigin) {
        const s = this.settings;
        const defaultX = f(s.width * 0.5);
        const defaultY = f(s.height - 30);
        return [
            f(p.cell[0] + f(f(sceneOrigin[0] - defaultX) * p.cellScale)),
            f(p.cell[1] + f(f(sceneOrigin[1] - defaultY) * p.cellScale)),
        ];
    }

    createPuppets() {
        const { lib } = this;
        const s = this.settings;
        const n = s.crowd;
        const columns = Math.ceil(Math.sqrt(n));
        const rows = Math.floor((n + columns - 1) / columns);
        const cellScale = f(1 / Math.max(columns, rows));
        const cellW = f(s.width / columns);
        const cellH = f(s.height / rows);
        this.sceneOrigin = s.origin;
        this.angles = new Tween([0, 0, 0]);
        this.wind = new Tween([0, 0]);
        for (let k = 0; k < n; ++k) {
            const column = k % columns;
            const row = Math.floor(k / columns);
            const cell =
                n === 1
                    ? [f(s.width * 0.5), f(s.height - 30)]
                    : [f(f(column + 0.5) * cellW), f(f(f(row + 1) * cellH) - f(30 * cellScale))];
            const at = this.puppetOrigin({ cell, cellScale }, this.sceneOrigin);
            const p = { id: lib.Anime_CreateInstance(this.modelName), cellScale, then: '', cell, position: new Tween(at) };
            lib.Anime_SetPosition(p.id, at[0], at[1]);
            lib.Anime_SetScale(p.id, f(s.scale * cellScale), f(Math.abs(s.scale) * cellScale));
            lib.Anime_SetAlpha(p.id, 1);
            lib.Anime_SetDrawOrder(p.id, row); // lower rows stand in front
            if (s.enable3D) {
                lib.Anime_Set3DSetup(p.id, 1, s.pivot[0], s.pivot[1], s.focal, s.curve[0], s.curve[1]);
                lib.Anime_Set3DStrength(p.id, s.strength3D[0], s.strength3D[1]);
                lib.Anime_Set3DAngles(p.id, 0, 0, 0);
            }
            this.puppets.push(p);
        }
    }

    apply(/** @type {TimelineEvent} */ e, /** @type {number} */ now) {
        const { lib } = this;
        switch (e.kind) {
            case 'angles':
                this.angles.start(this.angles.all(now), e.values, now, e.overMs);
                return;
            case 'wind':
                this.wind.start(this.wind.all(now), e.values.slice(0, 2), now, e.overMs);
                return;
            case 'globalWind':
                lib.Anime_SetGlobalWind(e.values[0], e.values[1]);
                return;
            case 'position':
                this.sceneOrigin = e.values.slice(0, 2);
                for (const p of this.puppets) {
                    const from = lib.Anime_GetPosition(p.id);
                    p.position.start(from, this.puppetOrigin(p, this.sceneOrigin), now, e.overMs);
                }
                return;
            default:
                break;
        }
        for (const p of this.puppets) {
            switch (e.kind) {
                case 'motion':
                    lib.Anime_PlayMotion(p.id, e.name, e.speed);
                    p.then = e.then;
                    break;
                case 'stopMotion':
                    if (e.flag) {
                        lib.Anime_StopMotion(p.id);
                        p.then = '';
                    }
                    break;
                case 'overlay':
                    lib.Anime_PlayOverlay(p.id, e.name, e.speed, e.weight);
                    break;
                case 'stopOverlay':
                    lib.Anime_StopOverlay(p.id, e.name);
                    break;
                case 'stopOverlays':
                    if (e.flag) lib.Anime_StopAllOverlays(p.id);
                    break;
                case 'expression':
                    lib.Anime_SetExpression(p.id, e.name);
                    break;
                case 'clearExpression':
                    if (e.flag) lib.Anime_ClearExpression(p.id);
                    break;
                case 'scale':
                    lib.Anime_SetScale(p.id, f(e.values[0] * p.cellScale), f(e.values[1] * p.cellScale));
                    break;
                case 'alpha':
                    lib.Anime_SetAlpha(p.id, e.values[0]);
                    break;
                case 'visible':
                    lib.Anime_SetVisible(p.id, e.flag ? 1 : 0);
                    break;
                case 'resetPhysics':
                    if (e.flag) lib.Anime_ResetPhysics(p.id);
                    break;
                default:
                    break;
            }
        }
    }

    applyTweens(/** @type {number} */ now) {
        const { lib } = this;
        for (const p of this.puppets) {
            lib.Anime_SetPosition(p.id, p.position.at(0, now), p.position.at(1, now));
            lib.Anime_SetWind(p.id, this.wind.at(0, now), this.wind.at(1, now));
            if (this.settings.enable3D) {
                lib.Anime_Set3DAngles(p.id, this.angles.at(0, now), this.angles.at(1, now), this.angles.at(2, now));
            }
            // A finished motion hands over to its follow-up.
            if (p.then && !lib.Anime_IsMotionPlaying(p.id) && lib.Anime_IsMotionFinished(p.id)) {
                lib.Anime_PlayMotion(p.id, p.then, 1);
                p.then = '';
            }
        }
    }
}
