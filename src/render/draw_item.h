// One part on its way to the host.
#pragma once

#include <cstdint>

namespace kivanime {

// Model-space placement plus the sort keys.
struct DrawItem {
    int32_t index = 0;
    int32_t drawOrder = 0;
    float depth = 0.0f;
    float x = 0.0f;
    float y = 0.0f;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    float rotation = 0.0f;
};

}  // namespace kivanime
