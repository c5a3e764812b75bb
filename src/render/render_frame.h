// Drawing every visible instance of a frame, back to front.
#pragma once

#include <cstdint>
#include <vector>

#include "render/draw_pass.h"
#include "runtime/anime_instance.h"
#include "runtime/instance_table.h"

namespace kivanime {

// Reused from frame to frame so that drawing allocates nothing after
// warm-up.
struct RenderFrame {
    struct Entry {
        int32_t drawOrder;
        const AnimeInstance* instance;  // in the table, whose order is creation order
    };
    std::vector<Entry> order;
    DrawScratch scratch;
};

// Draws the visible instances by draw order; equal draw orders go in
// creation order.
void RenderInstances(const InstanceTable& instances, RenderFrame& frame);

}  // namespace kivanime
