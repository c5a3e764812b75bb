// The six animated channels of a part: where it is, how it is turned and
// scaled, and how opaque it is.
#pragma once

namespace kivanime {

struct PoseChannels {
    float x = 0.0f;
    float y = 0.0f;
    float rotation = 0.0f;  // radians
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    float alpha = 1.0f;
};

}  // namespace kivanime
