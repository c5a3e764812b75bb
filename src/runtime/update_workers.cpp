#include "runtime/update_workers.h"

#include <algorithm>

namespace kivanime {

void UpdateWorkers::setWorkers(size_t workers, size_t instances) {
    workers = std::max<size_t>(workers, 1);
    scratch.resize(workers);
    // Lists of a task system only: a serial update fills the manager's list.
    events.resize(workers > 1 ? workers : 0);
    for (FrameEvents& list : events) {
        list.capEachInstance();
    }
    reserve(parts_, springs_, meshVertices_, instances);
}

void UpdateWorkers::reserve(size_t parts, size_t springs, size_t meshVertices, size_t instances) {
    parts_ = std::max(parts_, parts);
    springs_ = std::max(springs_, springs);
    meshVertices_ = std::max(meshVertices_, meshVertices);
    for (FrameScratch& set : scratch) {
        set.reserve(parts_, springs_, meshVertices_);
    }
    if (!events.empty()) {
        spans.reserve(instances);
        for (FrameEvents& list : events) {
            list.reserve(instances);
        }
    }
}

}  // namespace kivanime
