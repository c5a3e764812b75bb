#include "runtime/instance_update.h"

#include "runtime/bindings_eval.h"
#include "runtime/frame_scratch.h"
#include "runtime/parameter_sources.h"

namespace kivanime {

namespace {

// Instances per range handed to a worker: an update of a forty-part puppet
// takes microseconds, far more than taking a range.
constexpr int32_t kUpdateRange = 16;

struct UpdateJob {
    InstanceTable* instances;
    float dt, windX, windY;
    UpdateWorkers* workers;
    TaskFailure failed;
};

// A task: instances [start, end) on `worker`'s scratch and list. Nothing may
// leave a task as an exception (it runs on the host's thread); a failure, or
// a worker index out of range, is reported to the calling thread.
void UpdateRange(int32_t start, int32_t end, uint32_t worker, void* context) {
    UpdateJob& job = *static_cast<UpdateJob*>(context);
    UpdateWorkers& workers = *job.workers;
    if (worker >= workers.events.size()) {  // a task system breaking its word
        for (int32_t k = start; k < end; ++k) {
            workers.spans[static_cast<size_t>(k)] = {0, 0, 0};
        }
        job.failed.badWorker();
        return;
    }
    FrameScratch& scratch = workers.scratch[worker];
    FrameEvents& events = workers.events[worker];
    try {
        for (int32_t k = start; k < end; ++k) {
            InstanceTable::Slot& slot = (*job.instances)[static_cast<size_t>(k)];
            UpdateWorkers::Span& span = workers.spans[static_cast<size_t>(k)];
            events.setInstance(slot.id);
            span = {worker, static_cast<uint32_t>(events.size()), 0};
            UpdateInstance(slot.instance, job.dt, job.windX, job.windY, scratch, &events);
            span.count = static_cast<uint32_t>(events.size() - span.first);
        }
    } catch (...) {
        job.failed.outOfMemory();
    }
}

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
    InitializeParameterValues(instance.parameters, model.parameters);
    InitializeBindingMemos(instance.bindingMemos, model);
    instance.player.fade.mainValues.assign(model.parameters.list.size(), 0.0f);
    instance.player.fade.snapshotValues.assign(model.parameters.list.size(), 0.0f);
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
    if (!model.parameters.list.empty()) {
        EvaluateParameters(instance.parameters, model, instance.player, instance.expression, dt);
        if (!model.bindings.empty()) {
            BindingMemo* const memos = instance.bindingMemos.size() == model.bindings.size()
                                           ? instance.bindingMemos.data()
                                           : nullptr;
            ApplyBindings(model, instance.parameters.used.data(), instance.textureHandles, poses,
                          instance.mesh, memos);
        }
    }
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

void UpdateInstances(InstanceTable& instances, float dt, float globalWindX, float globalWindY,
                     UpdateWorkers& workers, const TaskSystem& tasks, FrameEvents& events) {
    if (!tasks.parallel() || workers.events.size() < tasks.workerCount) {
        UpdateInstances(instances, dt, globalWindX, globalWindY, workers.scratch[0], &events);
        return;
    }
    for (FrameEvents& list : workers.events) {
        list.clear();
    }
    // Within the room made as instances were created: no entry is read
    // before its instance's task has written it.
    workers.spans.resize(instances.size());
    UpdateJob job{&instances, dt, globalWindX, globalWindY, &workers, {}};
    tasks.run(UpdateRange, static_cast<int32_t>(instances.size()), kUpdateRange, &job);
    size_t entries = 0;
    size_t textBytes = 0;
    for (const FrameEvents& list : workers.events) {
        entries += list.size();
        textBytes += list.textBytes();
    }
    if (entries > 0) {
        for (size_t k = 0; k < instances.size(); ++k) {
            const UpdateWorkers::Span& span = workers.spans[k];
            if (span.count > 0) {
                events.append(workers.events[span.worker], span.first, span.count);
            }
        }
        // Whichever worker takes which instances in later frames, none
        // collects more than all of them did in this one: each list gets that
        // room now, so that frames like this one allocate nothing.
        for (FrameEvents& list : workers.events) {
            list.reserveRoom(entries, textBytes);
        }
    }
    job.failed.rethrow();
}

}  // namespace kivanime
