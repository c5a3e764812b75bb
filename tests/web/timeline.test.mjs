// The scene-script interpreter without a browser: it refuses what the native
// player refuses, with the same words, and drives the library with the
// player's calls (crowd layout and phases, eased tweens in single precision,
// the follow-up motion once one has finished).
import assert from 'node:assert/strict';
import test from 'node:test';

import { parseTimeline, TimelineScene } from '../../web/src/timeline.js';

test('timelines are read strictly, with the player\'s messages', () => {
    const t = parseTimeline(
        '{"model": "hero.json", "size": [320, 240], "background": "transparent", "events": [' +
            '{"at": 500, "angles": [10, -5, 2], "over": 250}, {"at": 0, "motion": "jump", "then": "idle"},' +
            '{"at": 500, "scale": 2}, {"at": 0, "overlay": "wave", "weight": 0.5}]}',
        'scenes/',
    );
    assert.equal(t.model, 'scenes/hero.json');
    assert.deepEqual([t.width, t.height, t.background[3], t.enable3D], [320, 240, 0, true]);
    assert.deepEqual(t.events.map((e) => e.index), [1, 3, 0, 2]); // by time, file order for ties
    assert.deepEqual(t.events[3].values.slice(0, 2), [2, 2]);
    const cases = [
        ['[]', 'the top level is not a JSON object'],
        ['{"events": {}}', '"events" must be an array'],
        ['{"events": [{"at": -1, "motion": "idle"}]}', 'event 0 needs "at", a time in milliseconds (0 or more)'],
        ['{"events": [{"at": 0}, {"at": 1, "jump": true}]}', /^event 0 has no command/],
        ['{"events": [{"at": 0, "motion": "idle", "expression": "smile"}]}', 'event 0 has two commands, "motion" and "expression"'],
        ['{"events": [{"at": 0, "motion": ""}]}', 'event 0 "motion" must be a non-empty string'],
        ['{"events": [{"at": 0, "motion": "a"}, {"at": 0, "angles": [1, 2]}]}', 'event 1 "angles" must be an array of 3 numbers'],
        ['{"events": [{"at": 0, "overlay": "a", "weight": "full"}]}', 'event 0 "weight" must be a number'],
        ['{"events": [{"at": 0, "visible": 1}]}', 'event 0 "visible" must be true or false'],
        ['{"size": [0, 10]}', '"size" must be [width, height] in pixels'],
        ['{"fps": 0}', '"fps" must be between 1 and 1000'],
        ['{"crowd": 401}', '"crowd" must be a number from 1 to 400'],
        ['{"setup3d": {"pivot": 3}}', 'in "setup3d": "pivot" must be an array of 2 numbers'],
        ['{"background": "#12345"}', '"background" must be a colour such as "#f3efe6"'],
    ];
    for (const [text, message] of cases) {
        assert.throws(() => parseTimeline(text), { message }, text);
    }
});

// A library that records every call; motions finish when told to, and
// calls naming `refuse` fail.
function recordingLibrary() {
    const calls = [];
    const state = { finished: false, nextId: 1, refuse: '' };
    const answers = {
        Anime_CreateInstance: () => state.nextId++,
        Anime_GetPosition: () => [0, 0],
        Anime_IsMotionPlaying: () => (state.finished ? 0 : 1),
        Anime_IsMotionFinished: () => (state.finished ? 1 : 0),
    };
    const lib = new Proxy({}, {
        get: (_, name) => (...args) => {
            calls.push(`${String(name).replace('Anime_', '')} ${args.join(' ')}`.trim());
            return answers[name]?.() ?? (args.includes(state.refuse) ? 0 : 1);
        },
    });
    return { lib, calls, state };
}

test('a scene makes the player\'s calls: layout, phases, tweens and follow-ups', () => {
    const { lib, calls, state } = recordingLibrary();
    const timeline = parseTimeline(
        '{"crowd": 2, "scale": 0.5, "events": [{"at": 0, "motion": "jump", "then": "idle"},' +
            '{"at": 40, "angles": [10, 0, 0], "over": 100}, {"at": 40, "wind": [10, 0]}, {"at": 40, "globalWind": [1, 2]},' +
            '{"at": 40, "position": [100, 200]}, {"at": 40, "scale": [2, 3]}, {"at": 40, "visible": false}]}',
    );
    const scene = new TimelineScene(lib, 'm', timeline);
    scene.start();
    assert.deepEqual(calls.slice(0, 4), ['CreateInstance m', 'PlayMotion 1 jump 1', 'PlayMotion 1 idle 1', 'DestroyInstance 1']);
    // Two columns at half size; the second puppet stands in the right half.
    assert.ok(calls.includes('SetPosition 3 384 497'), calls.join('\n'));
    assert.ok(calls.includes('SetScale 3 0.25 0.25'));
    assert.ok(calls.includes('Set3DSetup 3 1 0 0 1500 0 0'));
    // The second member starts 173 ms later than the first.
    assert.deepEqual(calls.slice(-4), ['SetVisible 3 1', 'Update 173', 'SetVisible 2 1', 'SetVisible 3 1']);

    calls.length = 0;
    // 120 ms: 80 ms into the 100 ms turn. In single precision as the player
    // computes it; double precision would give 3.5199999809265137.
    scene.advanceTo(3);
    const angles = calls.filter((c) => c.startsWith('Set3DAngles 2'));
    assert.deepEqual(angles, ['Set3DAngles 2 0 0 0', 'Set3DAngles 2 0 0 0', 'Set3DAngles 2 3.5200002193450928 0 0', 'Set3DAngles 2 8.960000038146973 0 0']);
    assert.deepEqual(calls.filter((c) => c.startsWith('Update')), ['Update 0', 'Update 40', 'Update 40', 'Update 40']);
    assert.ok(!calls.some((c) => c.startsWith('PlayMotion')));
    // The other commands of frame 1, on each member in its own cell.
    for (const call of ['SetGlobalWind 1 2', 'SetScale 2 1 1.5', 'SetVisible 3 0', 'SetWind 3 10 0', 'SetPosition 2 50 356', 'SetPosition 3 306 356']) {
        assert.ok(calls.includes(call), `${call} in\n${calls.join('\n')}`);
    }

    calls.length = 0;
    state.finished = true;
    scene.step();
    scene.step();
    assert.deepEqual(calls.filter((c) => c.startsWith('PlayMotion')), ['PlayMotion 2 idle 1', 'PlayMotion 3 idle 1']);

    // A name the model lacks stops the scene before it starts, as in the player.
    calls.length = 0;
    state.refuse = 'wlak';
    const typo = parseTimeline('{"events": [{"at": 5, "motion": "idle"}, {"at": 0, "expression": "wlak"}]}');
    assert.throws(() => new TimelineScene(lib, 'm', typo).start(), {
        message: "the model has no expression 'wlak' (timeline event 1)",
    });
    assert.equal(calls.at(-1), `DestroyInstance ${state.nextId - 1}`);
});
