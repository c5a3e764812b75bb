// Sampling a track: holds outside its keyframes, the later keyframe's easing
// shapes each segment, visibility and texture swaps switch at keyframe
// times, repeated times jump, and hostile times never trap.
#include "runtime/keyframes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace kivanime {
namespace {

constexpr int32_t kNone = kNoTextureSwap;
constexpr float kAny = NAN;  // an x the case does not check

struct Key {
    float time, x;
    EasingType easing = EasingType::Linear;
    int32_t visible = -1, swap = kNone;
};

struct Sample {
    float time, x;
    int32_t visible = -1, swap = kNone;
};

MotionTrack Track(const std::vector<Key>& keys) {
    MotionTrack track;
    for (const Key& key : keys) {
        track.keyframes.push_back({.time = key.time,
                                   .channels = {.x = key.x},
                                   .easing = key.easing,
                                   .visible = key.visible,
                                   .textureSwapIndex = key.swap});
    }
    return track;
}

TEST(SampleTrack, Cases) {
    using E = EasingType;
    const float below500 = std::nextafter(500.0f, 0.0f);
    const struct {
        const char* what;
        std::vector<Key> keys;
        std::vector<Sample> samples;
    } cases[] = {
        // clang-format off
        // {what, keyframes {time, x, easing, visible, swap}, samples {time, x, visible, swap}}
        {"linear, holding outside", {{0, 0}, {1000, 100}},
         {{250, 25}, {-50, 0}, {1000, 100}, {5000, 100}}},
        {"step", {{0, 0}, {1000, 100, E::Step}},
         {{500, 0}, {std::nextafter(1000.0f, 0.0f), 0}, {1000, 100}}},
        {"the first keyframe's easing never acts", {{0, 0, E::EaseIn}, {1000, 100}}, {{500, 50}}},
        {"each segment its own easing", {{0, 0}, {1000, 100, E::EaseIn}, {2000, 200, E::Step}},
         {{500, 25}, {1500, 100}}},
        {"the first keyframe holds before its time", {{200, 10}, {400, 30}},
         {{0, 10}, {199, 10}, {200, 10}, {300, 20}}},
        {"a repeated time: the segment heads for the first, the second holds",
         {{0, 0}, {100, 10, E::Linear, 0}, {100, 20, E::Linear, 1}, {200, 30}},
         {{50, 5}, {100, 20, 1}, {150, 25, 1}}},
        {"every keyframe at one time", {{50, 1}, {50, 2}, {50, 3}}, {{50, 1}, {51, 3}}},
        {"visibility and swaps follow the raw fraction, not the curve",
         {{0, 0, E::Linear, 0, 1}, {500, 100, E::EaseOutBack, 1, 2}},
         {{-10, 0, 0, 1}, {250, kAny, 0, 1}, {below500, kAny, 0, 1}, {500, 100, 1, 2},
          {900, 100, 1, 2}}},
        {"a keyframe without override or swap clears them", {{0, 0, E::Linear, 1, 3}, {100, 0}},
         {{50, 0, 1, 3}, {100, 0}}},
        {"a single keyframe", {{300, 7, E::Linear, 0, 4}},
         {{0, 7, 0, 4}, {300, 7, 0, 4}, {1e9f, 7, 0, 4}, {-1e9f, 7, 0, 4}}},
        {"no keyframes", {}, {{0, 0}, {123, 0}}},
        {"NaN times sort last and are never reached", {{0, 0}, {100, 10}, {NAN, 99}},
         {{50, 5}, {1e30f, 10}, {-INFINITY, 0}, {NAN, kAny}}},
        {"infinite times", {{-INFINITY, 1}, {INFINITY, 2}},
         {{-INFINITY, 1}, {INFINITY, 2}, {0, kAny}}},
        // clang-format on
    };
    for (const auto& c : cases) {
        const MotionTrack track = Track(c.keys);
        for (const Sample& s : c.samples) {
            SCOPED_TRACE(::testing::Message() << c.what << " at " << s.time);
            const PartDelta d = SampleTrack(track, s.time);
            if (!std::isnan(s.x)) {
                EXPECT_EQ(d.channels.x, s.x);
            }
            EXPECT_EQ(d.visible, s.visible);
            EXPECT_EQ(d.textureSwap, s.swap);
        }
    }
}

TEST(SampleTrack, ARememberedSegmentNeverChangesTheResult) {
    // Clocks going forward at several speeds, wrapping back, jumping, and
    // hints left by another motion: every sample equals the plain search, bit
    // for bit. The second track has NaN times, where bisection does not end
    // on the bracketing segment.
    using E = EasingType;
    // clang-format off
    const MotionTrack tracks[] = {
        Track({{0, 0}, {10, 1, E::EaseIn}, {10, 2}, {30, 3, E::EaseOutBounce, 0}, {60, 5},
               {90, -1, E::Step}}),
        Track({{0, 0}, {10, 4}, {NAN, 9}, {NAN, 8}, {NAN, 7}})};
    // clang-format on
    const float times[] = {-5, 0,  1, 2.5f, 9,  10, 10,   11, 29, 31,    59,  61, 89,
                           90, 95, 3, 7,    40, 88, 0.5f, 60, 33, 1e30f, NAN, 12};
    for (const MotionTrack& track : tracks) {
        for (uint16_t start : {uint16_t{0}, uint16_t{3}, uint16_t{7}, uint16_t{65535}}) {
            uint16_t segment = start;
            for (float t : times) {
                const PartDelta plain = SampleTrack(track, t);
                const PartDelta hinted = SampleTrack(track, t, segment);
                EXPECT_EQ(std::memcmp(&plain, &hinted, sizeof plain), 0) << t << " from " << start;
            }
        }
    }
}

}  // namespace
}  // namespace kivanime
