#include "runtime/keyframes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

namespace kivanime {
namespace {

MotionKeyframe Key(float time, float x, EasingType easing = EasingType::Linear) {
    MotionKeyframe k;
    k.time = time;
    k.x = x;
    k.easing = easing;
    return k;
}

MotionTrack Track(std::initializer_list<MotionKeyframe> keys) {
    MotionTrack track;
    track.keyframes = keys;
    return track;
}

void ExpectNeutral(const PartDelta& d) {
    EXPECT_EQ(d.x, 0.0f);
    EXPECT_EQ(d.y, 0.0f);
    EXPECT_EQ(d.rotation, 0.0f);
    EXPECT_EQ(d.scaleX, 1.0f);
    EXPECT_EQ(d.scaleY, 1.0f);
    EXPECT_EQ(d.alpha, 1.0f);
    EXPECT_EQ(d.visible, -1);
    EXPECT_EQ(d.textureSwap, kNoTextureSwap);
}

TEST(SampleTrack, LinearSegmentHoldsOutsideItsKeyframes) {
    const MotionTrack track = Track({Key(0.0f, 0.0f), Key(1000.0f, 100.0f)});
    EXPECT_EQ(SampleTrack(track, 250.0f).x, 25.0f);
    EXPECT_EQ(SampleTrack(track, -50.0f).x, 0.0f);
    EXPECT_EQ(SampleTrack(track, 1000.0f).x, 100.0f);
    EXPECT_EQ(SampleTrack(track, 5000.0f).x, 100.0f);
}

TEST(SampleTrack, LaterKeyframesEasingShapesTheSegment) {
    EXPECT_EQ(SampleTrack(Track({Key(0, 0), Key(1000, 100, EasingType::EaseIn)}), 500).x, 25.0f);
    EXPECT_EQ(SampleTrack(Track({Key(0, 0), Key(1000, 100, EasingType::EaseOut)}), 500).x, 75.0f);

    const MotionTrack step = Track({Key(0, 0), Key(1000, 100, EasingType::Step)});
    EXPECT_EQ(SampleTrack(step, 500).x, 0.0f);
    EXPECT_EQ(SampleTrack(step, std::nextafter(1000.0f, 0.0f)).x, 0.0f);
    EXPECT_EQ(SampleTrack(step, 1000).x, 100.0f);

    // An easing written on the first keyframe never takes effect.
    const MotionTrack first = Track({Key(0, 0, EasingType::EaseIn), Key(1000, 100)});
    EXPECT_EQ(SampleTrack(first, 500).x, 50.0f);

    // In a three-keyframe track each segment uses its own later keyframe.
    const MotionTrack mixed =
        Track({Key(0, 0), Key(1000, 100, EasingType::EaseIn), Key(2000, 200, EasingType::Step)});
    EXPECT_EQ(SampleTrack(mixed, 500).x, 25.0f);
    EXPECT_EQ(SampleTrack(mixed, 1500).x, 100.0f);
}

TEST(SampleTrack, InterpolatesEveryNumericField) {
    MotionKeyframe a;
    MotionKeyframe b;
    b.time = 100.0f;
    b.x = 10.0f;
    b.y = -20.0f;
    b.rotation = 1.0f;
    b.scaleX = 3.0f;
    b.scaleY = 0.0f;
    b.alpha = 0.0f;
    const PartDelta d = SampleTrack(Track({a, b}), 25.0f);
    EXPECT_EQ(d.x, 2.5f);
    EXPECT_EQ(d.y, -5.0f);
    EXPECT_EQ(d.rotation, 0.25f);
    EXPECT_EQ(d.scaleX, 1.5f);
    EXPECT_EQ(d.scaleY, 0.75f);
    EXPECT_EQ(d.alpha, 0.75f);
}

TEST(SampleTrack, SingleKeyframeAndEmptyTrack) {
    MotionKeyframe only = Key(300.0f, 7.0f);
    only.y = 8.0f;
    only.rotation = 0.5f;
    only.scaleX = 2.0f;
    only.scaleY = 3.0f;
    only.alpha = 0.25f;
    only.visible = 0;
    only.textureSwapIndex = 4;
    const MotionTrack track = Track({only});
    for (float t : {0.0f, 299.0f, 300.0f, 1e9f, -1e9f}) {
        SCOPED_TRACE(t);
        const PartDelta d = SampleTrack(track, t);
        EXPECT_EQ(d.x, 7.0f);
        EXPECT_EQ(d.y, 8.0f);
        EXPECT_EQ(d.rotation, 0.5f);
        EXPECT_EQ(d.scaleX, 2.0f);
        EXPECT_EQ(d.scaleY, 3.0f);
        EXPECT_EQ(d.alpha, 0.25f);
        EXPECT_EQ(d.visible, 0);
        EXPECT_EQ(d.textureSwap, 4);
    }
    ExpectNeutral(SampleTrack(MotionTrack{}, 0.0f));
    ExpectNeutral(SampleTrack(MotionTrack{}, 123.0f));
}

TEST(SampleTrack, FirstKeyframeHoldsBeforeItsTime) {
    const MotionTrack track = Track({Key(200, 10), Key(400, 30)});
    for (float t : {0.0f, 100.0f, 199.0f, 200.0f}) {
        EXPECT_EQ(SampleTrack(track, t).x, 10.0f) << t;
    }
    EXPECT_EQ(SampleTrack(track, 300).x, 20.0f);
}

TEST(SampleTrack, VisibilityAndTextureSwitchAtKeyframeTimes) {
    // Discrete values follow the raw fraction: the earlier keyframe's hold
    // until the later keyframe's time, even when the curve has already
    // arrived (ease_out) or overshot (ease_out_back).
    for (EasingType easing :
         {EasingType::Linear, EasingType::EaseOut, EasingType::EaseOutBack, EasingType::Step}) {
        SCOPED_TRACE(static_cast<int>(easing));
        MotionKeyframe a = Key(0, 0);
        a.visible = 0;
        a.textureSwapIndex = 1;
        MotionKeyframe b = Key(500, 100, easing);
        b.visible = 1;
        b.textureSwapIndex = 2;
        const MotionTrack track = Track({a, b});
        for (float t : {-10.0f, 0.0f, 250.0f, 499.0f, std::nextafter(500.0f, 0.0f)}) {
            const PartDelta d = SampleTrack(track, t);
            EXPECT_EQ(d.visible, 0) << t;
            EXPECT_EQ(d.textureSwap, 1) << t;
        }
        for (float t : {500.0f, 900.0f}) {
            const PartDelta d = SampleTrack(track, t);
            EXPECT_EQ(d.visible, 1) << t;
            EXPECT_EQ(d.textureSwap, 2) << t;
        }
    }
    // A keyframe without an override or swap clears the earlier one's.
    MotionKeyframe a = Key(0, 0);
    a.visible = 1;
    a.textureSwapIndex = 3;
    const PartDelta d = SampleTrack(Track({a, Key(100, 0)}), 100.0f);
    EXPECT_EQ(d.visible, -1);
    EXPECT_EQ(d.textureSwap, kNoTextureSwap);
}

TEST(SampleTrack, DuplicateTimesTakeTheLaterKeyframe) {
    MotionKeyframe k0 = Key(0, 0);
    MotionKeyframe k1 = Key(100, 10);
    k1.visible = 0;
    MotionKeyframe k2 = Key(100, 20);
    k2.visible = 1;
    MotionKeyframe k3 = Key(200, 30);
    const MotionTrack track = Track({k0, k1, k2, k3});

    // Just below 100 the segment heads for the first of the two.
    const PartDelta below = SampleTrack(track, std::nextafter(100.0f, 0.0f));
    EXPECT_GT(below.x, 9.99f);
    EXPECT_LT(below.x, 10.0f);
    EXPECT_EQ(below.visible, -1);
    // At 100 the second one holds; after it the segment to 200 starts from it.
    const PartDelta at = SampleTrack(track, 100.0f);
    EXPECT_EQ(at.x, 20.0f);
    EXPECT_EQ(at.visible, 1);
    EXPECT_EQ(SampleTrack(track, 150.0f).x, 25.0f);

    // Every keyframe at one time: before or at it the first holds, after it
    // the last.
    const MotionTrack same = Track({Key(50, 1), Key(50, 2), Key(50, 3)});
    EXPECT_EQ(SampleTrack(same, 50).x, 1.0f);
    EXPECT_EQ(SampleTrack(same, 51).x, 3.0f);
}

TEST(SampleTrack, BisectionFindsTheSegmentInALongTrack) {
    MotionTrack track;
    for (int i = 0; i <= 100; ++i) {
        track.keyframes.push_back(Key(static_cast<float>(i * 10), static_cast<float>(i * i)));
    }
    for (int i = 0; i < 100; ++i) {
        const float t = static_cast<float>(i * 10) + 5.0f;
        const float expected = static_cast<float>(i * i) + static_cast<float>(2 * i + 1) * 0.5f;
        EXPECT_EQ(SampleTrack(track, t).x, expected) << t;
    }
}

TEST(SampleTrack, NonFiniteTimesAreSafe) {
    // Keyframe times as a hostile file can leave them after sorting (NaN
    // last), and clocks that are not finite: every sample still returns.
    MotionTrack track = Track({Key(0, 0), Key(100, 10), Key(NAN, 99)});
    EXPECT_EQ(SampleTrack(track, 50).x, 5.0f);
    EXPECT_EQ(SampleTrack(track, 1e30f).x, 10.0f);
    EXPECT_EQ(SampleTrack(track, -INFINITY).x, 0.0f);
    (void)SampleTrack(track, NAN);

    track = Track({Key(-INFINITY, 1), Key(INFINITY, 2)});
    EXPECT_EQ(SampleTrack(track, -INFINITY).x, 1.0f);
    EXPECT_EQ(SampleTrack(track, INFINITY).x, 2.0f);
    (void)SampleTrack(track, 0.0f);  // inf / inf: a NaN fraction, but no trap
}

TEST(SampleTrack, ARememberedSegmentNeverChangesTheResult) {
    // Clocks going forward at several speeds, wrapping back, jumping, and
    // hints left by another motion: every sample equals the plain search, bit
    // for bit. The second track has NaN times, where bisection does not end
    // on the bracketing segment.
    MotionKeyframe hidden = Key(30, 3, EasingType::EaseOutBounce);
    hidden.visible = 0;
    const MotionTrack tracks[] = {
        Track({Key(0, 0), Key(10, 1, EasingType::EaseIn), Key(10, 2), hidden, Key(60, 5),
               Key(90, -1, EasingType::Step)}),
        Track({Key(0, 0), Key(10, 4), Key(NAN, 9), Key(NAN, 8), Key(NAN, 7)})};
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
