// Asks the processor to start fetching an instance's record, or its poses, so
// that when a frame walks many instances the memory of the next ones arrives
// while the current one is worked on. They change nothing.
#pragma once

#include <cstddef>
#include <vector>

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

namespace prefetch {

template <typename T>
inline void Lines(const std::vector<T>& list) {
#if defined(__GNUC__)
    const char* begin = reinterpret_cast<const char*>(list.data());
    const char* end = begin + list.size() * sizeof(T);
    for (const char* line = begin; line < end; line += 64) {
        __builtin_prefetch(line);
    }
#else
    (void)list;
#endif
}

}  // namespace prefetch

// The poses, the offsets game code set on them and the vertices of the
// meshes, when there are any.
inline void PrefetchPoses(const AnimeInstance& instance) {
    prefetch::Lines(instance.poses);
    prefetch::Lines(instance.offsets.values);
    prefetch::Lines(instance.mesh.xy);
}

}  // namespace kivanime
