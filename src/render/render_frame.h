// Drawing every visible instance of a frame, back to front.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/draw_pass.h"
#include "runtime/anime_instance.h"
#include "runtime/instance_table.h"
#include "runtime/task_system.h"

namespace kivanime {

// The records of a run of instances in drawing order, prepared on the task
// system's workers and handed to the host by the calling thread. Each
// instance owns a stretch of `parts` and of `vertices` worked out before the
// tasks start, so the workers write nothing they share.
struct PreparedBatch {
    struct Instance {
        size_t firstPart;
        size_t firstVertex;
        size_t count;
        DrawRoute route;
    };
    std::vector<Instance> instances;
    std::vector<PreparedPart> parts;
    std::vector<AnimeMeshVertex> vertices;
};

// Reused from frame to frame so that drawing allocates nothing after
// warm-up.
struct RenderFrame {
    struct Entry {
        int32_t drawOrder;
        const AnimeInstance* instance;  // in the table, whose order is creation order
    };
    std::vector<Entry> order;
    DrawScratch scratch;
    // With a task system: two batches, so that the host draws one while the
    // workers prepare the next, and a draw scratch per worker for each.
    std::vector<DrawScratch> workerScratch;
    PreparedBatch batches[2];

    // One draw scratch per worker.
    void setWorkers(size_t workers);
    // Room for an instance of `parts` parts and `meshVertices` mesh vertices
    // in every worker's scratch and every batch, and for clipping its masked
    // parts on this thread.
    void reserve(size_t parts, size_t meshVertices, const ClipRoom& clip);

private:
    size_t parts_ = 0;
    size_t meshVertices_ = 0;
};

// Draws the visible instances by draw order; equal draw orders go in
// creation order. With a task system the instances are prepared on its
// workers; the host's functions are called on this thread alone, in the
// same order and with the same records.
void RenderInstances(const InstanceTable& instances, RenderFrame& frame,
                     const TaskSystem& tasks = TaskSystem{});

}  // namespace kivanime
