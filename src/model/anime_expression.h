// Expression records: per-part absolute targets that an instance blends its
// pose toward. A float target that is NaN is not set and leaves that aspect
// of the pose to the motions.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model/anime_motion.h"

namespace kivanime {

inline constexpr float kUnset = std::numeric_limits<float>::quiet_NaN();

struct ExpressionParam {
    std::string part;
    float x = kUnset;
    float y = kUnset;
    float rotation = kUnset;
    float scaleX = kUnset;
    float scaleY = kUnset;
    float alpha = kUnset;
    int32_t visible = -1;
    std::string textureSwap;
    int32_t partIndex = -1;                     // resolved when read; -1: inert
    int32_t textureSwapIndex = kNoTextureSwap;  // as for keyframes
    // An element naming a parameter sets that instead of a part ("part" and
    // the part's targets are then ignored).
    std::string parameter;
    float value = 0.0f;
    bool setsParameter = false;
    int32_t parameterIndex = -1;  // resolved when read; -1: inert
};

struct AnimeExpression {
    std::string name;
    float blendMs = 200.0f;
    std::vector<ExpressionParam> params;           // the elements acting on parts
    std::vector<ExpressionParam> parameterValues;  // the elements setting parameters
};

}  // namespace kivanime
