// The instance registry's id counter and order, driven directly on a private manager so
// that it can be started near the end of its range. (That a failed creation
// moves nothing and a shutdown restarts it shows through the C interface.)
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

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
    // The table keeps creation order, whatever the ids, and finds each id.
    const auto ids = [&] {
        std::vector<uint32_t> order;
        for (const InstanceTable::Slot& slot : manager.instances) {
            order.push_back(slot.id);
            EXPECT_EQ(FindInstance(manager, slot.id), &slot.instance);
        }
        return order;
    };
    EXPECT_EQ(ids(), (std::vector<uint32_t>{1, 3, UINT32_MAX - 1, UINT32_MAX, 2, 4}));
    DestroyInstance(manager, UINT32_MAX);
    DestroyInstance(manager, 1);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{3, UINT32_MAX - 1, 2, 4}));
    EXPECT_EQ(FindInstance(manager, 1), nullptr);
}

}  // namespace
}  // namespace kivanime
