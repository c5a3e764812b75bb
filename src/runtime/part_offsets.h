// Changes that game code makes to parts on top of the animation (a head
// turned toward the cursor, an arm aimed at a target): per part, offsets
// added to the local position and rotation and factors multiplied into the
// local scale and opacity. A frame applies them after the expression, as it
// resolves the hierarchy (ResolveWorldPose), so children follow and springs
// see the result; they stay until set again or cleared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/pose_channels.h"

namespace kivanime {

struct PartOffsets {
    // One per part while any offset is not neutral, else none (the room
    // stays, so setting offsets again allocates nothing). A neutral offset
    // is kept as (-0, -0, -0, 1, 1, 1): adding -0 and multiplying by 1
    // change no value at all (adding +0 would turn a -0 of the pose into
    // +0), so applying it leaves the pose bit for bit.
    std::vector<PoseChannels> values;

    // The offsets a frame applies, or null when none changes anything.
    const PoseChannels* applied() const { return values.empty() ? nullptr : values.data(); }
};

// Whether an offset changes nothing: (0, 0, 0, 1, 1, 1).
bool IsNeutralOffset(const PoseChannels& offset);

// Stores the offset of part `part` of a model of `partCount` parts.
void SetPartOffset(PartOffsets& offsets, size_t partCount, int32_t part,
                   const PoseChannels& offset);

// Every part back to neutral.
void ClearPartOffsets(PartOffsets& offsets);

}  // namespace kivanime
