// The game's own task system, through which a frame spreads its instances
// over the host's workers. Without one (or with one worker) every range runs
// on the calling thread, as one call.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <stdexcept>

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

// What went wrong in a task, reported to the calling thread once every task
// has finished: nothing may leave a task as an exception (it runs on the
// host's thread). The first failure counts.
class TaskFailure {
public:
    void outOfMemory() { note(kMemory); }
    void badWorker() { note(kWorker); }
    // Throws what the serial path would have: std::bad_alloc, or
    // std::out_of_range for a worker index the task system should not give.
    void rethrow() const {
        switch (kind_.load(std::memory_order_relaxed)) {
            case kMemory:
                throw std::bad_alloc();
            case kWorker:
                throw std::out_of_range("worker index");
            default:
                return;
        }
    }

private:
    enum : int { kNone, kMemory, kWorker };
    void note(int kind) {
        int none = kNone;
        kind_.compare_exchange_strong(none, kind, std::memory_order_relaxed);
    }
    std::atomic<int> kind_{kNone};
};

}  // namespace kivanime
