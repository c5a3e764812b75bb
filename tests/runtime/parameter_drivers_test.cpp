// The drivers' arithmetic, which a page must repeat bit for bit: the sine
// polynomial, the blink generator and the audio feed's sums.
#include "runtime/parameter_drivers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace kivanime {
namespace {

TEST(ParameterDrivers, SineOfTurns) {
    // Exact where the folding makes it so, the same magnitude a half turn on.
    EXPECT_EQ(SinOfTurns(0.0f), 0.0f);
    EXPECT_EQ(SinOfTurns(0.5f), -0.0f);
    double worst = 0.0;
    for (int i = 0; i < 100000; ++i) {
        const float p = static_cast<float>(i) / 100000.0f;
        const double exact = std::sin(2.0 * std::numbers::pi * static_cast<double>(p));
        worst = std::max(worst, std::fabs(static_cast<double>(SinOfTurns(p)) - exact));
        if (p < 0.5f && (p + 0.5f) - 0.5f == p) {
            ASSERT_EQ(SinOfTurns(p), -SinOfTurns(p + 0.5f)) << p;
        }
    }
    EXPECT_LT(worst, 3e-7);
}

TEST(ParameterDrivers, BlinkJitterIsSeededAndWithinAQuarter) {
    // The first draws of instance 1's generator, pinned: the page's generator
    // must give the same. (The first draws of instances 1 and 2 show in the
    // blinks their instances make through the C interface.)
    uint32_t one = 1;
    const float first[] = {NextBlinkJitter(one), NextBlinkJitter(one), NextBlinkJitter(one)};
    EXPECT_EQ(first[0], 0x1.0b507cp+0f);
    EXPECT_EQ(first[1], 0x1.92bc84p-1f);
    EXPECT_EQ(first[2], 0x1.0b8f4cp+0f);
    uint32_t state = 77;
    double sum = 0.0;
    float lowest = 2.0f;
    float highest = 0.0f;
    constexpr int kDraws = 100000;
    for (int i = 0; i < kDraws; ++i) {
        const float j = NextBlinkJitter(state);
        sum += j;
        lowest = std::min(lowest, j);
        highest = std::max(highest, j);
    }
    EXPECT_GE(lowest, 0.75f);
    EXPECT_LT(lowest, 0.7501f);
    EXPECT_LT(highest, 1.25f);
    EXPECT_GT(highest, 1.2499f);
    EXPECT_NEAR(sum / kDraws, 1.0, 0.002);
}

TEST(ParameterDrivers, AudioFeedKeepsSumsOnly) {
    const struct {
        std::vector<float> samples;
        float sum;
    } cases[] = {
        {{}, 0.0f},
        {{0.5f, -0.5f}, 0.5f},
        {{NAN, 1.0f, INFINITY, -INFINITY}, 1.0f},
        {{0.1f, 0.2f, 0.3f}, (0.1f * 0.1f + 0.2f * 0.2f) + 0.3f * 0.3f},
    };
    for (const auto& c : cases) {
        AudioFeed feed;
        FeedAudio(feed, c.samples.data(), static_cast<int32_t>(c.samples.size()));
        EXPECT_EQ(feed.sumOfSquares, c.sum);
        EXPECT_EQ(feed.count, static_cast<int64_t>(c.samples.size()));
    }
}

}  // namespace
}  // namespace kivanime
