#include "runtime/pose.h"

#include <math.h>

#include <cmath>

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
                      std::vector<float>& parentCosSin) {
    const ModelTopology& topo = model.topology;
    const size_t count = poses.size();
    if (parentCosSin.size() < count * 2) {
        parentCosSin.resize(count * 2);
    }
    for (size_t i = 0; i < count; ++i) {
        PartPose& p = poses[i];
        p.world = p.local;
        // A root with children: its rotation is final now.
        if (topo.hasChildren[i] && topo.parentIndex[i] < 0) {
            CosSin(p.world.rotation, parentCosSin[2 * i], parentCosSin[2 * i + 1]);
        }
    }
    for (int32_t index : topo.resolveOrder) {
        const size_t ci = static_cast<size_t>(index);
        const size_t pi = static_cast<size_t>(topo.parentIndex[ci]);
        PartPose& c = poses[ci];
        const PartPose& parent = poses[pi];
        const float cs = parentCosSin[2 * pi];
        const float sn = parentCosSin[2 * pi + 1];
        const PoseChannels& local = c.local;
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
