// The working space of an update spread over the host's workers: a frame
// scratch and an event list per worker, and where each instance's events
// landed. Each worker writes only its own set and the spans of the instances
// it was given, so the workers share nothing they write; the calling thread
// merges the lists in creation order once they are done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/frame_scratch.h"
#include "runtime/motion_events.h"

namespace kivanime {

struct UpdateWorkers {
    // One per worker (at least one: the serial update and the motion calls
    // made between frames use the first).
    std::vector<FrameScratch> scratch = std::vector<FrameScratch>(1);
    // One per worker, filled only while a task system runs the update.
    std::vector<FrameEvents> events;
    // Per instance (in table order): the worker whose list holds its
    // entries, and where.
    struct Span {
        uint32_t worker;
        uint32_t first;
        uint32_t count;
    };
    std::vector<Span> spans;

    // One set per worker, each with room for the largest instance seen.
    void setWorkers(size_t workers, size_t instances);
    // Room in every set for an instance of `parts` parts, `springs` springs
    // and `meshVertices` mesh vertices, and for `instances` instances.
    void reserve(size_t parts, size_t springs, size_t meshVertices, size_t instances);

private:
    size_t parts_ = 0;
    size_t springs_ = 0;
    size_t meshVertices_ = 0;
};

}  // namespace kivanime
