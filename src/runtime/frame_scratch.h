// Working space that an instance needs only while it is being updated. One set
// serves every instance updated in turn, so that an instance holds its own
// state and nothing else (a crowd of a thousand puppets would otherwise keep a
// thousand copies of space used one at a time). The manager owns the set and
// hands it down the update explicitly: nothing reaches it otherwise, so that
// updates running side by side can each be given a set of their own. It is
// sized when instances are created and grown by the first frame that needs
// more: later frames allocate nothing.
#pragma once

#include <cstddef>
#include <vector>

#include "runtime/motion_player.h"
#include "runtime/physics.h"

namespace kivanime {

struct FrameScratch {
    std::vector<float> parentCosSin;  // two per part
    std::vector<PhysicsAnchor> anchors;
    OverlayAccumulator overlaySums;
    FadeScratch fade;

    // Room for an instance of `parts` parts, `springs` springs and
    // `meshVertices` mesh vertices.
    void reserve(size_t parts, size_t springs, size_t meshVertices) {
        if (parentCosSin.size() < parts * 2) {
            parentCosSin.resize(parts * 2);
        }
        if (anchors.size() < springs) {
            anchors.resize(springs);
        }
        overlaySums.reserve(parts, meshVertices);
        fade.reserve(parts, meshVertices);
    }
};

}  // namespace kivanime
