#include "runtime/easing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "model/motion_loader.h"

namespace kivanime {
namespace {

// Each curve by the name a keyframe gives it. Values where every product is
// exact in single precision pin each formula bit for bit; the back curves,
// which overshoot, have the single-precision results (-0.0876975 and
// 1.0876975 at the middle, to seven digits).
TEST(Easing, CurvesAtExactFractions) {
    struct Case {
        const char* name;
        float u25, u50, u75;
    };
    const Case cases[] = {
        {"linear", 0.25f, 0.5f, 0.75f},
        {"ease_in", 0.0625f, 0.25f, 0.5625f},
        {"ease_out", 0.4375f, 0.75f, 0.9375f},
        {"ease_in_out", 0.125f, 0.5f, 0.875f},
        {"ease_in_cubic", 0.015625f, 0.125f, 0.421875f},
        {"ease_out_cubic", 0.578125f, 0.875f, 0.984375f},
        {"ease_in_out_cubic", 0.0625f, 0.5f, 0.9375f},
        {"ease_in_back", -0.0641365647f, -0.087697506f, 0.182590246f},
        {"ease_out_back", 0.817409754f, 1.0876975f, 1.06413651f},
        {"ease_out_bounce", 0.47265625f, 0.765625f, 0.97265625f},
        {"step", 0.0f, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EasingType type = ParseEasing(c.name);
        EXPECT_EQ(Ease(type, 0.25f), c.u25);
        EXPECT_EQ(Ease(type, 0.5f), c.u50);
        EXPECT_EQ(Ease(type, 0.75f), c.u75);
    }
}

TEST(Easing, BounceBreakpoints) {
    // Each breakpoint belongs to the piece that starts there; the pieces meet
    // at 1 but differ in the last bit, which pins which piece runs.
    const float bp1 = 0.36363637f;  // 1 / 2.75
    const float bp2 = 0.72727275f;  // 2 / 2.75
    const float bp3 = 0.90909094f;  // 2.5 / 2.75
    // Just below and at each breakpoint, then the bottoms of the second,
    // third and fourth bounce.
    // clang-format off
    const std::pair<float, float> cases[] = {
        {std::nextafter(bp1, 0.0f), 0.99999988f}, {bp1, 1.0f},
        {std::nextafter(bp2, 0.0f), 0.99999988f}, {bp2, 0.99999994f},
        {std::nextafter(bp3, 0.0f), 0.99999994f}, {bp3, 1.0f},
        {0.54545456f, 0.75f}, {0.8181818f, 0.9375f}, {0.95454544f, 0.984375f}};
    // clang-format on
    for (const auto& [u, expected] : cases) {
        EXPECT_EQ(Ease(EasingType::EaseOutBounce, u), expected) << u;
    }
}

}  // namespace
}  // namespace kivanime
