// The viewer's look at the pointer (web/viewer/look.js), without a browser:
// the head turns toward the pointer's side wherever the pointer is, within
// its range and without a jump as the pointer passes under the neck, and
// gets there eased and never faster than its rate.
import assert from 'node:assert/strict';
import test from 'node:test';

import { LOOK_RANGE, LOOK_RATE, approach, lookTarget } from '../../web/viewer/look.js';

const near = (a, b) => Math.abs(a - b) < 1e-9;

test('the head turns toward the pointer anywhere on the page, within its range and without a jump', () => {
    const head = [200, 150];
    // [pointer, parent's rotation, turn]
    const cases = [
        [[200, 50], 0, 0], // straight above
        [[210, 50], 0, Math.atan2(10, 100)],
        [[190, 50], 0, -Math.atan2(10, 100)],
        [[400, 150], 0, LOOK_RANGE], // level, to the right: as far as it goes
        [[0, 150], 0, -LOOK_RANGE],
        [[200, 400], 0, 0], // straight below: ahead, not turned to one side
        [[210, 400], 0, Math.atan2(10, 250)], // below, a little to the right: a little to the right
        [[190, 400], 0, -Math.atan2(10, 250)],
        [[200, 150], 0, 0], // on the pivot
        // Measured from where the parent holds it: straight along the parent's up is 0.
        [[200 + 100 * Math.sin(0.3), 150 - 100 * Math.cos(0.3)], 0.3, 0],
        [[200, 50], 0.3, -0.3],
        [[200, 50], -1, LOOK_RANGE],
    ];
    for (const [pointer, parent, turn] of cases) {
        assert.ok(near(lookTarget(head, parent, pointer), turn), `${pointer} with the parent at ${parent}: ${lookTarget(head, parent, pointer)}, not ${turn}`);
    }
    // Swept along a line under the neck and round a circle about the pivot,
    // a pixel at a time, the turn never jumps.
    const sweeps = {
        'under the neck': Array.from({ length: 801 }, (_, i) => [i - 200, 300]),
        'round the pivot': Array.from({ length: 3600 }, (_, i) => [head[0] + 120 * Math.sin(i / 573), head[1] - 120 * Math.cos(i / 573)]),
    };
    for (const [name, points] of Object.entries(sweeps)) {
        const turns = points.map((p) => lookTarget(head, 0.2, p));
        const jump = Math.max(...turns.slice(1).map((t, i) => Math.abs(t - turns[i])));
        assert.ok(jump < 0.02, `${name}: a jump of ${jump}`);
        assert.ok(turns.every((t) => Math.abs(t) <= LOOK_RANGE) && Math.min(...turns) === -LOOK_RANGE && Math.max(...turns) === LOOK_RANGE, name);
    }
});

test('the head gets to its turn eased, never faster than its rate, and lands on it', () => {
    // From one side to the other at 60 frames a second, then at 10 (a busy page).
    for (const ms of [1000 / 60, 100]) {
        let angle = -LOOK_RANGE;
        const steps = [];
        for (let frame = 0; frame < 60 && angle !== LOOK_RANGE; ++frame) {
            const next = approach(angle, LOOK_RANGE, ms);
            steps.push(next - angle);
            angle = next;
        }
        assert.equal(angle, LOOK_RANGE, `${ms} ms frames: it lands on the turn`);
        assert.ok(steps.every((s) => s >= 0 && s <= (LOOK_RATE * ms) / 1000 + 1e-12), `${ms} ms frames: ${steps}`);
        assert.ok(steps.length * ms >= (2 * LOOK_RANGE * 1000) / LOOK_RATE, `${ms} ms frames: it takes its time`);
        // Eased: the last steps are smaller than the largest.
        assert.ok(steps.at(-2) < Math.max(...steps) / 2, `${ms} ms frames: it slows down as it arrives`);
    }
    assert.equal(approach(0.1, 0.1, 16), 0.1);
    assert.equal(approach(0.1, 0.2, 0), 0.1, 'no time, no turn');
});
