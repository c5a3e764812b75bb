// The instance registry's id counter, driven directly on a private manager so
// that it can be started near the end of its range.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "api/instance_registry.h"
#include "api/manager.h"
#include "api/model_cache.h"

namespace kivanime {
namespace {

TEST(InstanceRegistry, WrappedCounterSkipsZeroAndLiveIds) {
    AnimeManager manager;
    manager.modelCache.emplace("m", std::make_shared<AnimeModel>());
    ASSERT_EQ(CreateInstance(manager, "m"), 1u);
    ASSERT_EQ(CreateInstance(manager, "m"), 2u);
    ASSERT_EQ(CreateInstance(manager, "m"), 3u);
    DestroyInstance(manager, 2);

    manager.nextInstanceId = UINT32_MAX - 1;
    EXPECT_EQ(CreateInstance(manager, "m"), UINT32_MAX - 1);
    EXPECT_EQ(CreateInstance(manager, "m"), UINT32_MAX);
    // 0 is the failure value and 1 is still live; 2 was destroyed.
    EXPECT_EQ(CreateInstance(manager, "m"), 2u);
    EXPECT_EQ(manager.nextInstanceId, 3u);
    // 3 is live too.
    EXPECT_EQ(CreateInstance(manager, "m"), 4u);
    EXPECT_EQ(manager.instances.size(), 6u);

    // A failed creation moves nothing.
    manager.nextInstanceId = 0;
    EXPECT_EQ(CreateInstance(manager, "absent"), 0u);
    EXPECT_EQ(manager.nextInstanceId, 0u);
    EXPECT_EQ(CreateInstance(manager, "m"), 5u);

    Shutdown(manager);
    EXPECT_TRUE(manager.instances.empty());
    EXPECT_TRUE(manager.modelCache.empty());
    EXPECT_EQ(manager.nextInstanceId, 1u);
}

}  // namespace
}  // namespace kivanime
