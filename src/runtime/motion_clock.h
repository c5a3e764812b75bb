// A motion on a clock. The main motion, each overlay and the outgoing side of
// a cross-fade each run on one, and move it forward the same way.
#pragma once

#include <cstdint>
#include <vector>

#include "model/anime_motion.h"
#include "runtime/motion_events.h"

namespace kivanime {

struct MotionClock {
    const AnimeMotion* motion = nullptr;
    float time = 0.0f;  // milliseconds into the motion
    float speed = 1.0f;
    bool playing = false;
    // Not yet moved forward since it was started: its events at 0 count.
    bool fresh = false;
    // Per track, the keyframe that began the segment sampled last (a hint
    // that spares the search; see SampleTrack).
    std::vector<uint16_t> segments;
};

// Starts `motion` from 0 at `speed`: playing, fresh, a hint per track.
void StartClock(MotionClock& clock, const AnimeMotion* motion, float speed);

// Wraps a looping clock into [0, duration) in bounded time. Clocks below 0,
// and durations of 0 or less, are left alone.
float WrapLoopClock(float time, float duration);

// Moves the clock (which has a motion) by dt x speed. A looping motion wraps
// (End::Lap once it reached a duration above 0); any other stops at its
// duration (End::Finished, no longer playing). A NaN clock does neither.
ClockStep AdvanceClock(MotionClock& clock, float dt);

}  // namespace kivanime
