// A keyed binding: poses of one part (and offsets of its mesh) keyed to the
// values of one parameter, or of two over a full grid. A frame finds where
// the parameters stand among the keys and applies the interpolated pose as
// a motion track's change is applied.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/anime_motion.h"
#include "model/pose_channels.h"

namespace kivanime {

struct BindingKey {
    float at[2] = {0.0f, 0.0f};  // where the key sits: one value, or two
    PoseChannels channels;       // a missing channel is neutral
    int32_t visible = -1;        // negative: no override
    int32_t textureSwap = kNoTextureSwap;
};

struct AnimeBinding {
    std::string part;
    std::vector<std::string> parameterNames;  // as written: one or two are used
    int32_t partIndex = -1;
    int32_t parameter[2] = {-1, -1};
    int32_t dimensions = 0;  // 1 or 2; 0: the binding is inert
    // One parameter: the keys ascending by `at` (equal values in file
    // order), `axis[0]` their values. Two: `axis[0]` and `axis[1]` the
    // distinct first and second values ascending, and key a * axis[1].size()
    // + b the one at (axis[0][a], axis[1][b]).
    std::vector<BindingKey> keys;
    std::vector<float> axis[2];
    // Vertex offsets, when a key moves a vertex of the part's drawable mesh:
    // one entry per key in key order, the offsets it gives kept as a motion
    // keyframe's (a vertex a key leaves alone has offset 0), and where the
    // mesh lies in the model's table.
    std::vector<KeyframeDeform> deforms;
    std::vector<float> deformValues;
    int32_t meshFirstVertex = -1;
    int32_t meshVertexCount = 0;
    // Whether some key shows, hides or swaps the texture.
    bool discrete = false;

    bool inert() const { return dimensions == 0; }
};

}  // namespace kivanime
