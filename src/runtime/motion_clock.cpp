#include "runtime/motion_clock.h"

#include <cmath>

namespace kivanime {

void StartClock(MotionClock& clock, const AnimeMotion* motion, float speed) {
    clock.segments.assign(motion->tracks.size(), 0);
    clock.motion = motion;
    clock.time = 0.0f;
    clock.speed = speed;
    clock.playing = true;
    clock.fresh = true;
}

float WrapLoopClock(float time, float duration) {
    if (!(duration > 0.0f) || !(time >= duration)) {
        return time;
    }
    // The remainder, computed directly: repeated subtraction would take
    // millions of steps for a large clock and never end once subtracting the
    // duration no longer changes the value. fmod is exact, so small clocks
    // land where repeated subtraction would; the guards keep the result in
    // [0, duration) whatever rounding did.
    float wrapped = std::fmod(time, duration);
    if (!(wrapped >= 0.0f) || wrapped >= duration) {
        wrapped = 0.0f;
    }
    return wrapped;
}

ClockStep AdvanceClock(MotionClock& clock, float dt) {
    ClockStep step;
    step.u0 = clock.time;
    step.u1 = clock.time + dt * clock.speed;
    step.speed = clock.speed;
    step.forward = dt > 0.0f && clock.speed > 0.0f;
    step.fresh = clock.fresh;
    clock.fresh = clock.fresh && !step.forward;
    clock.time = step.u1;
    const AnimeMotion& motion = *clock.motion;
    const float d = motion.duration;
    if (motion.loop) {
        clock.time = WrapLoopClock(clock.time, d);
        if (d > 0.0f && step.u1 >= d) {
            step.end = ClockStep::End::Lap;
            step.wrapped = clock.time;
        }
    } else if (clock.time >= d) {
        clock.time = d;
        clock.playing = false;
        step.end = ClockStep::End::Finished;
    }
    return step;
}

}  // namespace kivanime
