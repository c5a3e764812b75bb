// The viewer's "look at the pointer": how far the head turns toward a point
// of the page, and how it gets there. The angle is an offset on the head's
// rotation (Anime_SetPartOffset), measured from where its parent holds it.

/** The farthest the head turns either way, in radians. */
export const LOOK_RANGE = 0.4;
/** The fastest it turns, in radians per second. */
export const LOOK_RATE = 3;
/** How quickly it settles: the part of the way left that remains after this many ms is 1/e. */
const SETTLE_MS = 90;

/**
 * The turn toward `pointer` of a head whose pivot is at `head` (x, y) and
 * whose parent is turned by `parentRotation` (radians, as its draw record
 * says), all in canvas pixels with y downward. Straight up from the pivot, as
 * the parent holds it, is 0; to its right, positive. A point below the pivot
 * turns the head toward its side as much as the point mirrored above would,
 * so that the angle never jumps from one side to the other when the pointer
 * passes under the neck; the result is within ±LOOK_RANGE.
 * @param {number[]} head @param {number} parentRotation @param {number[]} pointer
 */
export function lookTarget(head, parentRotation, pointer) {
    const dx = pointer[0] - head[0];
    const dy = pointer[1] - head[1];
    const cos = Math.cos(parentRotation);
    const sin = Math.sin(parentRotation);
    // In the parent's frame: across and up.
    const across = dx * cos + dy * sin;
    const up = dx * sin - dy * cos;
    const angle = Math.atan2(across, Math.abs(up));
    return Math.min(Math.max(angle, -LOOK_RANGE), LOOK_RANGE);
}

/**
 * The angle `ms` after `angle` on its way to `target`: it eases in, never
 * faster than LOOK_RATE, and lands on the target exactly once within a
 * hundredth of a degree.
 * @param {number} angle @param {number} target @param {number} ms
 */
export function approach(angle, target, ms) {
    const gap = target - angle;
    const limit = (LOOK_RATE * ms) / 1000;
    const step = Math.min(Math.max(gap * (1 - Math.exp(-ms / SETTLE_MS)), -limit), limit);
    return Math.abs(gap - step) < 2e-4 ? target : angle + step;
}
