#include "runtime/anime_instance.h"

#include "runtime/frame_scratch.h"

namespace kivanime {

void InitializeInstanceState(AnimeInstance& instance) {
    const AnimeModel& model = *instance.model;
    const size_t count = model.parts.size();
    instance.poses.assign(count, PartPose{});
    ResetLocalPose(model, instance.poses);
    for (size_t i = 0; i < count; ++i) {
        instance.poses[i].textureHandle =
            TextureHandleOf(model.topology.textureIndex[i], instance.textureHandles);
    }
    instance.player = MotionPlayer{};
    instance.player.overlayDeltas.resize(count);
    instance.player.overlays.reserve(4);
    BuildPhysics(instance.physics, model);
    gFrameScratch.reserve(count, model.physics.size());
}

void UpdateInstance(AnimeInstance& instance, float dt) {
    if (!instance.model || !instance.visible) {
        return;
    }
    const AnimeModel& model = *instance.model;
    std::vector<PartPose>& poses = instance.poses;

    AdvancePlayer(instance.player, dt);
    ApplyMotion(instance.player, model, instance.textureHandles, poses);
    ApplyExpression(instance.player.expression, instance.textureHandles, poses);
    FrameScratch& scratch = gFrameScratch;
    scratch.reserve(poses.size(), instance.physics.points.size());
    ResolveWorldPose(model, poses, scratch.parentCosSin);

    // Springs: anchored at the target's parent as resolved just now.
    const ModelTopology& topo = model.topology;
    const size_t springs = instance.physics.points.size();
    for (size_t k = 0; k < springs; ++k) {
        const int32_t anchor = topo.springAnchor[k];
        scratch.anchors[k] = anchor >= 0 ? PhysicsAnchor{poses[static_cast<size_t>(anchor)].worldX,
                                                         poses[static_cast<size_t>(anchor)].worldY}
                                         : PhysicsAnchor{};
    }
    StepPhysics(instance.physics, dt, scratch.anchors.data(), springs);
    // Only the target moves; its children were placed already and stay.
    for (size_t k = 0; k < springs; ++k) {
        const int32_t target = topo.springTarget[k];
        if (target >= 0) {
            PartPose& p = poses[static_cast<size_t>(target)];
            p.worldX += instance.physics.points[k].offsetX;
            p.worldY += instance.physics.points[k].offsetY;
        }
    }

    const float alpha = instance.alpha;
    for (PartPose& p : poses) {
        p.worldAlpha *= alpha;
    }
}

}  // namespace kivanime
