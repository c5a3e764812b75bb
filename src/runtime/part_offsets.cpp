#include "runtime/part_offsets.h"

#include <algorithm>

namespace kivanime {

bool IsNeutralOffset(const PoseChannels& o) {
    return o.x == 0.0f && o.y == 0.0f && o.rotation == 0.0f && o.scaleX == 1.0f &&
           o.scaleY == 1.0f && o.alpha == 1.0f;
}

void SetPartOffset(PartOffsets& offsets, size_t partCount, int32_t part,
                   const PoseChannels& offset) {
    std::vector<PoseChannels>& values = offsets.values;
    if (values.empty()) {
        if (IsNeutralOffset(offset)) {
            return;
        }
        values.assign(partCount, PoseChannels{-0.0f, -0.0f, -0.0f, 1.0f, 1.0f, 1.0f});
    }
    PoseChannels& stored = values[static_cast<size_t>(part)];
    stored = offset;
    for (float* added : {&stored.x, &stored.y, &stored.rotation}) {
        if (*added == 0.0f) {
            *added = -0.0f;
        }
    }
    // Only a neutral offset can make them all neutral.
    if (IsNeutralOffset(offset) && std::all_of(values.begin(), values.end(), IsNeutralOffset)) {
        values.clear();
    }
}

void ClearPartOffsets(PartOffsets& offsets) {
    offsets.values.clear();
}

}  // namespace kivanime
