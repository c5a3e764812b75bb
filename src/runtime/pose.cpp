#include "runtime/pose.h"

#include <math.h>

#include <cmath>
#include <type_traits>

#include "runtime/channel_ops.h"

namespace kivanime {

namespace {

// Cosine and sine of one angle. glibc's sincosf gives exactly what cosf and
// sinf give (they share one implementation) in one call, at little more than
// the cost of one of them.
void CosSin(float angle, float& c, float& s) {
#if defined(__GLIBC__)
    sincosf(angle, &s, &c);
#else
    c = std::cos(angle);
    s = std::sin(angle);
#endif
}

}  // namespace

void ResetLocalPose(const AnimeModel& model, std::vector<PartPose>& poses) {
    const size_t count = poses.size();
    for (size_t i = 0; i < count; ++i) {
        const AnimePart& part = model.parts[i];
        PartPose& p = poses[i];
        p.local = part.rest;
        p.visible = part.visible;
    }
}

void ResolveWorldPose(const AnimeModel& model, std::vector<PartPose>& poses,
                      std::vector<float>& parentCosSin, const PoseChannels* offsets) {
    const ModelTopology& topo = model.topology;
    const size_t count = poses.size();
    if (parentCosSin.size() < count * 2) {
        parentCosSin.resize(count * 2);
    }
    // World = local, changed by the offsets if any (the local pose itself
    // stays as the animation left it); one loop for each case, so that a
    // frame without offsets asks nothing per part.
    const auto start = [&](auto withOffsets) {
        for (size_t i = 0; i < count; ++i) {
            PartPose& p = poses[i];
            if constexpr (withOffsets) {
                SetChannels(p.world, p.local, offsets[i]);
            } else {
                p.world = p.local;
            }
            // A root with children: its rotation is final now.
            if (topo.hasChildren[i] && topo.parentIndex[i] < 0) {
                CosSin(p.world.rotation, parentCosSin[2 * i], parentCosSin[2 * i + 1]);
            }
        }
    };
    if (offsets != nullptr) {
        start(std::true_type{});
    } else {
        start(std::false_type{});
    }
    for (int32_t index : topo.resolveOrder) {
        const size_t ci = static_cast<size_t>(index);
        const size_t pi = static_cast<size_t>(topo.parentIndex[ci]);
        PartPose& c = poses[ci];
        const PartPose& parent = poses[pi];
        const float cs = parentCosSin[2 * pi];
        const float sn = parentCosSin[2 * pi + 1];
        // The local pose as the loop above left it in the world fields.
        const PoseChannels local = c.world;
        const PoseChannels& parentWorld = parent.world;
        c.world.x = (local.x * cs - local.y * sn) * parentWorld.scaleX + parentWorld.x;
        c.world.y = (local.x * sn + local.y * cs) * parentWorld.scaleY + parentWorld.y;
        c.world.rotation = local.rotation + parentWorld.rotation;
        c.world.scaleX = local.scaleX * parentWorld.scaleX;
        c.world.scaleY = local.scaleY * parentWorld.scaleY;
        c.world.alpha = local.alpha * parentWorld.alpha;
        if (!parent.visible) {
            c.visible = false;
        }
        if (topo.hasChildren[ci]) {
            CosSin(c.world.rotation, parentCosSin[2 * ci], parentCosSin[2 * ci + 1]);
        }
    }
}

}  // namespace kivanime
