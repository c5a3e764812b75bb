// The public header as a C compiler sees it (header_c99_check.c) agrees with
// the C++ view, field by field.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "kivanime.h"
#include "kivanime_export_names.h"

extern "C" int KivanimeHeaderLayoutFromC(size_t* out, int capacity);
extern "C" int KivanimeHeaderExportCountFromC(void);

namespace {

TEST(HeaderC99, LayoutMatchesTheCxxView) {
    const std::vector<size_t> expected = {sizeof(AnimeDrawParams),
                                          0,
                                          4,
                                          8,
                                          12,
                                          16,
                                          20,
                                          24,
                                          28,
                                          32,
                                          36,
                                          40,
                                          44,
                                          48,
                                          52,
                                          56,
                                          60,
                                          sizeof(AnimeHostCallbacks),
                                          offsetof(AnimeHostCallbacks, loadTexture),
                                          offsetof(AnimeHostCallbacks, releaseTexture),
                                          offsetof(AnimeHostCallbacks, reserved),
                                          offsetof(AnimeHostCallbacks, draw)};
    std::vector<size_t> fromC(22, 999);
    ASSERT_EQ(KivanimeHeaderLayoutFromC(fromC.data(), 22), 22);
    EXPECT_EQ(fromC, expected);
    EXPECT_EQ(fromC[0], 64u);
    EXPECT_EQ(fromC[18], 0u);
    EXPECT_EQ(fromC[21], 3 * sizeof(void*));
    EXPECT_EQ(KivanimeHeaderExportCountFromC(), KIVANIME_EXPORT_COUNT);
    EXPECT_EQ(KIVANIME_EXPORT_COUNT, 42);
}

}  // namespace
