#include "render/render_frame.h"

#include <algorithm>
#include <functional>

namespace kivanime {

namespace {

// A batch holds up to this many parts and mesh vertices (or one instance
// that has more), and this many instances: enough to keep the workers busy
// between two hand-overs, few enough that a batch's records stay in the
// cache until the host takes them.
constexpr size_t kBatchParts = 8192;
constexpr size_t kBatchVertices = 16384;
constexpr size_t kBatchInstances = 512;
// Instances per range handed to a worker.
constexpr int32_t kPrepareRange = 8;

void Sort(std::vector<RenderFrame::Entry>& list) {
    // The table holds its instances side by side in creation order, so their
    // addresses rank equal draw orders in creation order: a stable order
    // without a stable sort (which would allocate).
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
        return a.drawOrder != b.drawOrder ? a.drawOrder < b.drawOrder
                                          : std::less<>()(a.instance, b.instance);
    });
}

struct PrepareJob {
    const RenderFrame::Entry* entries;
    PreparedBatch* batch;
    DrawScratch* scratch;  // one per worker
    size_t workers;
    TaskFailure* failed;
};

// A task: prepares instances [start, end) of the batch. The room was made
// beforehand; should anything fail all the same (or a worker index be out of
// range), nothing may leave a task that runs on the host's thread: the
// instances left unprepared draw nothing and the calling thread reports it.
void PrepareRange(int32_t start, int32_t end, uint32_t worker, void* context) {
    const PrepareJob& job = *static_cast<const PrepareJob*>(context);
    PreparedBatch& batch = *job.batch;
    for (int32_t k = start; k < end; ++k) {
        batch.instances[static_cast<size_t>(k)].count = 0;
    }
    if (worker >= job.workers) {
        job.failed->badWorker();
        return;
    }
    DrawScratch& scratch = job.scratch[worker];
    try {
        for (int32_t k = start; k < end; ++k) {
            PreparedBatch::Instance& slot = batch.instances[static_cast<size_t>(k)];
            slot.count = PrepareInstance(*job.entries[k].instance, scratch,
                                         batch.parts.data() + slot.firstPart,
                                         batch.vertices.data() + slot.firstVertex, slot.route);
        }
    } catch (...) {
        job.failed->outOfMemory();
    }
}

// Lays out a batch of the first of `count` entries: each instance's stretch
// of parts and vertices. Returns how many entries it takes. Grows the batch
// only for an instance larger than any before.
size_t LayOut(PreparedBatch& batch, const RenderFrame::Entry* entries, size_t count) {
    batch.instances.clear();
    size_t parts = 0;
    size_t vertices = 0;
    for (size_t k = 0; k < count && k < kBatchInstances; ++k) {
        const AnimeInstance& instance = *entries[k].instance;
        const size_t ownParts = instance.model ? instance.model->parts.size() : 0;
        const size_t ownVertices = PreparedVertexRoom(instance);
        if (k > 0 && (parts + ownParts > kBatchParts || vertices + ownVertices > kBatchVertices)) {
            break;
        }
        batch.instances.push_back({parts, vertices, 0, DrawRoute::None});
        parts += ownParts;
        vertices += ownVertices;
    }
    if (batch.parts.size() < parts) {
        batch.parts.resize(parts);
    }
    if (batch.vertices.size() < vertices) {
        batch.vertices.resize(vertices);
    }
    return batch.instances.size();
}

void Emit(const PreparedBatch& batch, const RenderFrame::Entry* entries, ClipScratch& clip) {
    for (size_t k = 0; k < batch.instances.size(); ++k) {
        const PreparedBatch::Instance& slot = batch.instances[k];
        EmitPrepared(*entries[k].instance, slot.route, batch.parts.data() + slot.firstPart,
                     slot.count, batch.vertices.data() + slot.firstVertex, clip);
    }
}

// Batch after batch: the workers prepare the next batch while this thread
// hands the previous one to the host. The two batches in flight work in
// separate sets of worker scratch, so that a host whose workers take up the
// next task before the last is finished still gives each range its own.
void RenderPrepared(const std::vector<RenderFrame::Entry>& list, RenderFrame& frame,
                    const TaskSystem& tasks) {
    const size_t workers = tasks.workerCount;
    PrepareJob jobs[2];
    TaskFailure failed;
    void* pending = nullptr;
    const RenderFrame::Entry* pendingEntries = nullptr;
    size_t b = 0;
    auto drawPending = [&] {
        if (pending != nullptr) {
            tasks.finish(pending, tasks.userContext);
        }
        Emit(frame.batches[1 - b], pendingEntries, frame.scratch.clip);
    };
    for (size_t start = 0, count = 0; start < list.size(); start += count) {
        const RenderFrame::Entry* entries = list.data() + start;
        count = LayOut(frame.batches[b], entries, list.size() - start);
        jobs[b] = {entries, &frame.batches[b], frame.workerScratch.data() + b * workers, workers,
                   &failed};
        void* next = tasks.enqueue(PrepareRange, static_cast<int32_t>(count), kPrepareRange,
                                   &jobs[b], tasks.userContext);
        if (pendingEntries != nullptr) {
            drawPending();
        }
        pending = next;
        pendingEntries = entries;
        b = 1 - b;
    }
    if (pendingEntries != nullptr) {
        drawPending();
    }
    failed.rethrow();
}

}  // namespace

void RenderFrame::setWorkers(size_t workers) {
    workerScratch.resize(workers > 1 ? 2 * workers : 0);
    reserve(parts_, meshVertices_, ClipRoom{});
}

void RenderFrame::reserve(size_t parts, size_t meshVertices, const ClipRoom& clip) {
    parts_ = std::max(parts_, parts);
    meshVertices_ = std::max(meshVertices_, meshVertices);
    scratch.reserveMesh(meshVertices_);
    scratch.clip.reserve(clip);
    // Drawing one instance (Anime_RenderInstance) uses it even while whole
    // frames are prepared on the workers.
    scratch.list.reserve(parts_);
    if (workerScratch.empty()) {
        return;
    }
    for (DrawScratch& worker : workerScratch) {
        worker.list.reserve(parts_);
    }
    for (PreparedBatch& batch : batches) {
        batch.instances.reserve(kBatchInstances);
        batch.parts.resize(std::max({batch.parts.size(), kBatchParts, parts_}));
        batch.vertices.resize(std::max({batch.vertices.size(), kBatchVertices, meshVertices_}));
    }
}

void RenderInstances(const InstanceTable& instances, RenderFrame& frame, const TaskSystem& tasks) {
    auto& list = frame.order;
    list.clear();
    for (const InstanceTable::Slot& slot : instances) {
        if (slot.instance.visible && slot.instance.model) {
            list.push_back({slot.instance.drawOrder, &slot.instance});
        }
    }
    Sort(list);
    if (tasks.parallel() && frame.workerScratch.size() >= 2 * tasks.workerCount) {
        RenderPrepared(list, frame, tasks);
        return;
    }
    for (const RenderFrame::Entry& entry : list) {
        DrawInstance(*entry.instance, frame.scratch);
    }
}

}  // namespace kivanime
