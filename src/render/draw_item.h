// One part on its way to the host.
#pragma once

#include <cstdint>

#include "model/pose_channels.h"

namespace kivanime {

// The sort keys and the part's pose in model space (its world pose, turned
// by the parallax when that is on).
struct DrawItem {
    int32_t index = 0;
    int32_t drawOrder = 0;
    float depth = 0.0f;
    PoseChannels pose;
};

}  // namespace kivanime
