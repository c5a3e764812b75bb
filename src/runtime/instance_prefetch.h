// Asks the processor to start fetching an instance's record, or its poses, so
// that when a frame walks many instances the memory of the next ones arrives
// while the current one is worked on. They change nothing.
#pragma once

#include <cstddef>

#include "runtime/anime_instance.h"

namespace kivanime {

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
    // And the vertices of its meshes, when it has any.
    const char* vertices = reinterpret_cast<const char*>(instance.mesh.xy.data());
    const char* verticesEnd = vertices + instance.mesh.xy.size() * sizeof(float);
    for (const char* line = vertices; line < verticesEnd; line += 64) {
        __builtin_prefetch(line);
    }
#else
    (void)instance;
#endif
}

}  // namespace kivanime
