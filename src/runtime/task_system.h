// The game's own task system, through which a frame spreads its instances
// over the host's workers. Without one (or with one worker) every range runs
// on the calling thread, as one call.
#pragma once

#include <cstdint>

#include "kivanime.h"

namespace kivanime {

using TaskFn = void (*)(int32_t start, int32_t end, uint32_t worker, void* context);

struct TaskSystem {
    static constexpr int32_t kMaxWorkers = 64;

    AnimeEnqueueTaskFn enqueue = nullptr;
    AnimeFinishTaskFn finish = nullptr;
    uint32_t workerCount = 1;
    void* userContext = nullptr;

    bool parallel() const { return enqueue != nullptr && workerCount > 1; }

    // Runs `task` over [0, count) and returns when every range has run. The
    // serial case is one call over everything, under worker 0.
    void run(TaskFn task, int32_t count, int32_t minRange, void* context) const {
        if (count <= 0) {
            return;
        }
        if (!parallel()) {
            task(0, count, 0, context);
            return;
        }
        if (void* handle = enqueue(task, count, minRange, context, userContext)) {
            finish(handle, userContext);
        }
    }
};

}  // namespace kivanime
