// The parts of one instance on their way to the host while the 3D turn is on,
// one array per field: the parallax transforms four parts per instruction
// from these arrays, and the depth sort moves slot numbers instead of whole
// parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "render/draw_item.h"

namespace kivanime {

struct DrawList {
    size_t count = 0;
    // Per slot, in the order the parts were gathered (by draw order).
    std::vector<int32_t> index;  // the part
    std::vector<int32_t> drawOrder;
    std::vector<float> depth;  // the sort key: the part's depth, then the turned one
    std::vector<float> x, y, rotation, scaleX, scaleY, alpha;  // the pose
    std::vector<float> narrowX;  // the parallax's width factor, when the plane is bent
    // Slots of ignore3D parts, which keep their pose.
    std::vector<uint32_t> flat;
    size_t flatCount = 0;
    // Slot numbers in drawing order, and the merge sort's buffer.
    std::vector<uint32_t> sorted, sortBuffer;

    // Room for `parts` slots; allocates only when a larger model comes.
    void reserve(size_t parts) {
        if (index.size() >= parts) {
            return;
        }
        for (std::vector<int32_t>* v : {&index, &drawOrder}) {
            v->resize(parts);
        }
        for (std::vector<float>* v :
             {&depth, &x, &y, &rotation, &scaleX, &scaleY, &alpha, &narrowX}) {
            v->resize(parts);
        }
        for (std::vector<uint32_t>* v : {&flat, &sorted, &sortBuffer}) {
            v->resize(parts);
        }
    }

    DrawItem get(size_t j) const {
        return {index[j],
                drawOrder[j],
                depth[j],
                {x[j], y[j], rotation[j], scaleX[j], scaleY[j], alpha[j]}};
    }
    void set(size_t j, const DrawItem& item) {
        index[j] = item.index;
        drawOrder[j] = item.drawOrder;
        depth[j] = item.depth;
        x[j] = item.pose.x;
        y[j] = item.pose.y;
        rotation[j] = item.pose.rotation;
        scaleX[j] = item.pose.scaleX;
        scaleY[j] = item.pose.scaleY;
        alpha[j] = item.pose.alpha;
    }
};

}  // namespace kivanime
