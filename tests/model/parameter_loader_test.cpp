// The repairs a parameter entry gets as it is read: bounds that are NaN
// take their defaults, bounds in the wrong order swap, and the default (the
// minimum when absent or NaN) is clamped into them.
#include "model/parameter_loader.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kivanime {
namespace {

TEST(ParameterLoader, EntriesAreRepaired) {
    const struct {
        float min, max, def;
        float wantMin, wantMax, wantDef;
    } cases[] = {
        {0, 1, NAN, 0, 1, 0},         {5, -5, NAN, -5, 5, -5},
        {NAN, NAN, 0.5f, 0, 1, 0.5f}, {NAN, -3, 9, -3, 0, 0},
        {2, NAN, 3, 1, 2, 2},         {-1, 1, -7, -1, 1, -1},
        {1, 1, 0, 1, 1, 1},           {-INFINITY, 0, -INFINITY, -INFINITY, 0, -INFINITY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << " " << c.max << " " << c.def);
        const AnimeParameter p = RepairParameter({"p", c.min, c.max, c.def});
        EXPECT_EQ(p.min, c.wantMin);
        EXPECT_EQ(p.max, c.wantMax);
        EXPECT_EQ(p.def, c.wantDef);
    }
}

}  // namespace
}  // namespace kivanime
