// One live copy of a model: everything that changes per puppet. The model is
// shared and read-only here.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kivanime.h"
#include "model/anime_model.h"
#include "runtime/motion_player.h"
#include "runtime/parallax.h"
#include "runtime/physics.h"
#include "runtime/pose.h"

namespace kivanime {

struct AnimeInstance {
    std::shared_ptr<AnimeModel> model;  // null only after teardown
    AnimeHostCallbacks host{};          // the host table in force at creation
    // The texture table: host handle per model texture (same index), -1 for
    // textures the host did not load. Names map to indices through the
    // model's texture index.
    std::vector<int32_t> textureHandles;
    MotionPlayer player;
    PhysicsState physics;
    std::vector<PartPose> poses;
    Parallax3D parallax;
    float x = 0.0f;
    float y = 0.0f;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    float alpha = 1.0f;
    bool visible = true;
    int32_t drawOrder = 0;
};

// Ask the processor to start fetching an instance's record, or its poses, so
// that when frames walk many instances the memory of the next ones arrives
// while the current one is worked on. They change nothing.
inline void PrefetchInstance(const AnimeInstance& instance) {
#if defined(__GNUC__)
    const char* begin = reinterpret_cast<const char*>(&instance);
    for (size_t offset = 0; offset < sizeof(AnimeInstance); offset += 64) {
        __builtin_prefetch(begin + offset);
    }
#else
    (void)instance;
#endif
}

inline void PrefetchPoses(const AnimeInstance& instance) {
#if defined(__GNUC__)
    const char* begin = reinterpret_cast<const char*>(instance.poses.data());
    const char* end = begin + instance.poses.size() * sizeof(PartPose);
    for (const char* line = begin; line < end; line += 64) {
        __builtin_prefetch(line);
    }
#else
    (void)instance;
#endif
}

// Sizes the pose list and scratch space for the instance's model and copies
// the rest pose and textures into the poses (handles must be loaded).
void InitializeInstanceState(AnimeInstance& instance);

// Advances one instance by dt milliseconds: rest pose, clocks, motions,
// expression, hierarchy, springs, opacity. Hidden instances and instances
// without a model are left alone.
void UpdateInstance(AnimeInstance& instance, float dt);

}  // namespace kivanime
