#include "runtime/instance_update.h"

#include "runtime/frame_scratch.h"

namespace kivanime {

namespace {

bool WindOn(float x, float y) {
    // NaN counts as a wind that is not zero.
    return x != 0.0f || y != 0.0f;
}

}  // namespace

void InitializeInstanceState(AnimeInstance& instance, FrameScratch& scratch) {
    const AnimeModel& model = *instance.model;
    const size_t count = model.parts.size();
    instance.poses.assign(count, PartPose{});
    ResetLocalPose(model, instance.poses);
    for (size_t i = 0; i < count; ++i) {
        instance.poses[i].textureHandle =
            TextureHandleOf(model.topology.textureIndex[i], instance.textureHandles);
    }
    instance.player = MotionPlayer{};
    instance.expression = ExpressionBlend{};
    instance.player.overlays.reserve(4);
    BuildPhysics(instance.physics, model);
    InitializeMeshDeform(instance.mesh, model.topology.meshes);
    // Room to freeze the meshes of an interrupted cross-fade (none without meshes).
    instance.player.fade.snapshotXY.assign(model.topology.meshes.restXY.size(), 0.0f);
    scratch.reserve(count, model.physics.size(), model.topology.meshes.vertexCount());
}

void UpdateInstance(AnimeInstance& instance, float dt, float globalWindX, float globalWindY,
                    FrameScratch& scratch, FrameEvents* events) {
    if (!instance.model || !instance.visible) {
        return;
    }
    const AnimeModel& model = *instance.model;
    std::vector<PartPose>& poses = instance.poses;

    scratch.reserve(poses.size(), instance.physics.points.size(), instance.mesh.xy.size() / 2);
    AdvancePlayer(instance.player, model, dt, scratch.overlaySums, scratch.fade, events);
    AdvanceExpressionWeight(instance.expression, dt);
    ApplyMotion(instance.player, model, instance.textureHandles, scratch.overlaySums, scratch.fade,
                poses);
    if (!instance.mesh.xy.empty()) {
        ApplyDeform(instance.player, model, scratch.overlaySums, instance.mesh, scratch.fade);
    }
    ApplyExpression(instance.expression, instance.textureHandles, poses);
    ResolveWorldPose(model, poses, scratch.parentCosSin, instance.offsets.applied());

    // Springs: anchored at the target's parent as resolved just now.
    const ModelTopology& topo = model.topology;
    const size_t springs = instance.physics.points.size();
    for (size_t k = 0; k < springs; ++k) {
        const int32_t anchor = topo.springAnchor[k];
        scratch.anchors[k] = anchor >= 0 ? PhysicsAnchor{poses[static_cast<size_t>(anchor)].world.x,
                                                         poses[static_cast<size_t>(anchor)].world.y}
                                         : PhysicsAnchor{};
    }
    // A global wind adds to the instance's own; without one the own wind is
    // used as it is (adding a zero could still turn -0 into +0).
    const PhysicsState& state = instance.physics;
    const bool gust = WindOn(globalWindX, globalWindY);
    const float windX = gust ? globalWindX + state.windX : state.windX;
    const float windY = gust ? globalWindY + state.windY : state.windY;
    StepPhysics(instance.physics, dt, scratch.anchors.data(), springs, windX, windY);
    // Only the target moves; its children were placed already and stay.
    for (size_t k = 0; k < springs; ++k) {
        const int32_t target = topo.springTarget[k];
        if (target >= 0) {
            PartPose& p = poses[static_cast<size_t>(target)];
            p.world.x += instance.physics.points[k].offsetX;
            p.world.y += instance.physics.points[k].offsetY;
        }
    }

    // Multiplying by 1 changes no value (arithmetic never yields the one
    // kind of NaN it would change), so the common opaque instance skips the
    // pass.
    const float alpha = instance.alpha;
    if (alpha != 1.0f) {
        for (PartPose& p : poses) {
            p.world.alpha *= alpha;
        }
    }
}

void UpdateInstances(InstanceTable& instances, float dt, float globalWindX, float globalWindY,
                     FrameScratch& scratch, FrameEvents* events) {
    for (InstanceTable::Slot& slot : instances) {
        if (events != nullptr) {
            events->setInstance(slot.id);
        }
        UpdateInstance(slot.instance, dt, globalWindX, globalWindY, scratch, events);
    }
}

}  // namespace kivanime
