// The scene-script reader without a browser: it refuses what the native
// player refuses, with the same words (timeline-errors.json: a text, then the
// message). (What a scene does, from its settings
// to the order of events at the same time, is compared with the native
// player's frames in viewer.test.mjs.)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';

import { parseTimeline, TimelineScene } from '../../web/src/timeline.js';
import { REPO } from './harness.mjs';

test('timelines are read strictly, with the player\'s messages', () => {
    const cases = JSON.parse(fs.readFileSync(path.join(REPO, 'tests/web/timeline-errors.json'), 'utf8'));
    for (const [text, message] of cases) {
        assert.throws(() => parseTimeline(text), { message }, text);
    }
});

// The player eases in single precision; double precision would give a turn
// of 3.5199999809265137 degrees 80 ms into 100 ms, the frames differing too
// little to see.
test('tweens are computed in single precision, as the player computes them', () => {
    const calls = [];
    const lib = new Proxy({}, { get: (_, name) => (...args) => calls.push(`${String(name)} ${args.join(' ')}`) && 1 });
    const scene = new TimelineScene(lib, 'm', parseTimeline('{"events": [{"at": 40, "angles": [10, 0, 0], "over": 100}]}'));
    scene.start();
    scene.advanceTo(3);
    assert.ok(calls.includes('Anime_Set3DAngles 1 3.5200002193450928 0 0'), calls.join('\n'));
});
