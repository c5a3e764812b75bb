// A host that checks every call the library makes to it, for tests that drive
// the library with arbitrary calls or files (the fuzz harnesses, the thread
// stress test) and judge the outcome at the end: every texture path is a
// terminated, non-empty text; every handle released was handed out and comes
// back once; every draw record has its reserved fields set (a tint's alpha
// byte at 255) and names a live texture; every mesh has whole triangles whose
// indices all name one of its vertices, which are all readable; a call back
// into the library from the host is refused. What is wrong is counted in
// `faults`.
//
// The library calls the host with its lock held, so this state needs no lock
// of its own: a host call made outside the lock shows up as a data race under
// ThreadSanitizer.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "kivanime.h"

namespace kivanime::test::checking_host {

inline std::set<int32_t> live;  // handed out and not yet released
inline int32_t nextHandle = 0;
inline int64_t loads = 0;
inline int64_t draws = 0;
inline int64_t faults = 0;
inline int64_t refuseEvery = 0;  // refuse every n-th texture (0: none), so that parts lack one

inline int32_t Load(const uint16_t* path) {
    faults += path == nullptr ||
              std::char_traits<char16_t>::length(reinterpret_cast<const char16_t*>(path)) == 0;
    if (refuseEvery != 0 && ++loads % refuseEvery == 0) {
        return -1;
    }
    live.insert(nextHandle);
    return nextHandle++;
}

inline void Release(int32_t handle) {
    faults += live.erase(handle) != 1;
}

inline void Draw(const AnimeDrawParams* p) {
    faults += p == nullptr || (p->flags & ~7u) != 0 || p->reserved1 != 0.0f ||
              reinterpret_cast<const uint8_t*>(&p->reserved2)[3] != 255 ||
              live.count(p->texture) != 1;
    // A nested call is refused (answers 0) rather than deadlocking.
    faults += ++draws % 64 == 0 && Anime_GetInstanceCount() != 0;
}

inline int64_t meshDraws = 0;
inline float meshSink = 0.0f;

inline void DrawMesh(const AnimeDrawParams* p, const AnimeMeshVertex* vertices, int32_t count,
                     const uint16_t* indices, int32_t indexCount) {
    Draw(p);
    ++meshDraws;
    if (vertices == nullptr || indices == nullptr || count < 3 || indexCount < 3 ||
        indexCount % 3 != 0) {
        ++faults;
        return;
    }
    // Every vertex and index is read: a sanitizer catches a short buffer.
    for (int32_t k = 0; k < count; ++k) {
        meshSink += vertices[k].x + vertices[k].y + vertices[k].u + vertices[k].v;
    }
    for (int32_t k = 0; k < indexCount; ++k) {
        faults += indices[k] >= count;
    }
}

inline const AnimeHostCallbacks kHost{Load, Release, nullptr, Draw};

}  // namespace kivanime::test::checking_host
