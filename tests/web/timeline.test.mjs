// The scene-script reader without a browser: it refuses what the native
// player refuses, with the same words (timeline-errors.json: a text, then the
// message). (What a scene does, from its settings
// to the order of events at the same time, is compared with the native
// player's frames in viewer.test.mjs.)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';

import { parseTimeline } from '../../web/src/timeline.js';
import { REPO } from './harness.mjs';

test('timelines are read strictly, with the player\'s messages', () => {
    const cases = JSON.parse(fs.readFileSync(path.join(REPO, 'tests/web/timeline-errors.json'), 'utf8'));
    for (const [text, message] of cases) {
        assert.throws(() => parseTimeline(text), { message }, text);
    }
});
