#include <gtest/gtest.h>

#include "kivanime.h"

TEST(ApiSmoke, FreshLibraryHasNoInstances) {
    EXPECT_EQ(Anime_GetInstanceCount(), 0);
    EXPECT_EQ(Anime_HasInstances(), 0);
}
