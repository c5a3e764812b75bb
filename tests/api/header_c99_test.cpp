// The public header as a C compiler sees it (header_c99_check.c, which also
// checks the record layouts as it compiles) declares every export.
#include <gtest/gtest.h>

#include "kivanime.h"
#include "kivanime_export_names.h"

extern "C" int KivanimeHeaderExportCountFromC(void);

namespace {

TEST(HeaderC99, DeclaresEveryExport) {
    EXPECT_EQ(KivanimeHeaderExportCountFromC(), KIVANIME_EXPORT_COUNT);
    EXPECT_EQ(KIVANIME_EXPORT_COUNT, 68);
}

}  // namespace
