// Motion records: named, timed keyframe tracks, one per part. Positions and
// rotations are offsets added to the part's pose, scales and opacities are
// factors multiplied into it, so the neutral keyframe is position (0, 0),
// rotation 0, scale (1, 1), alpha 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/pose_channels.h"

namespace kivanime {

enum class EasingType : int32_t {
    Linear = 0,
    EaseIn = 1,
    EaseOut = 2,
    EaseInOut = 3,
    EaseInCubic = 4,
    EaseOutCubic = 5,
    EaseInOutCubic = 6,
    EaseInBack = 7,
    EaseOutBack = 8,
    EaseOutBounce = 9,
    Step = 10,
};

// A texture swap, resolved against the model's textures when read.
inline constexpr int32_t kNoTextureSwap = -1;         // the keyframe or parameter swaps nothing
inline constexpr int32_t kSwapToUnknownTexture = -2;  // names no texture of the model: no handle

// Numbers only, 40 bytes: a frame reads a track's keyframes, and the texture
// swap is needed as the index the name resolved to at load, not as the name.
struct MotionKeyframe {
    float time = 0.0f;
    PoseChannels channels;
    EasingType easing = EasingType::Linear;
    int32_t visible = -1;
    // Index of the "textureSwap" name in the model's texture list,
    // kNoTextureSwap when empty, kSwapToUnknownTexture when it names nothing.
    int32_t textureSwapIndex = kNoTextureSwap;
};
static_assert(sizeof(MotionKeyframe) == 40);

// The vertex offsets ("deform") one keyframe gives a part's mesh:
// values[first + 2k] and values[first + 2k + 1] move vertex `vertex + k` in x
// and y, for k below `count`. Vertices outside that range are not moved.
struct KeyframeDeform {
    uint32_t first = 0;
    uint32_t vertex = 0;
    uint32_t count = 0;
};

struct MotionTrack {
    std::string part;
    // A parameter track names a parameter instead (its "part" is then
    // ignored): each keyframe's value is kept in channels.x, so that it is
    // sorted and eased exactly as a part's channels are.
    std::string parameter;
    bool drivesParameter = false;
    int32_t parameterIndex = -1;            // -1: no parameter of that name, the track is inert
    std::vector<MotionKeyframe> keyframes;  // ascending by time
    // Index of the part in the model's part list (the last part of that
    // name), or -1 when no part has the name and the track is inert.
    int32_t partIndex = -1;
    // Vertex offsets, kept only when the part has a drawable mesh and some
    // keyframe moves one of its vertices: then one entry per keyframe, in
    // keyframe order (cut at the mesh's last vertex), and where the part's
    // mesh lies in the model's mesh table; otherwise empty, -1 and 0.
    std::vector<KeyframeDeform> deforms;
    std::vector<float> deformValues;
    int32_t meshFirstVertex = -1;
    int32_t meshVertexCount = 0;
    // Every keyframe moves every vertex of the mesh.
    bool deformsWholeMesh = false;
};

// A moment a motion announces to the host (a footstep, a hit frame), with
// values the host reads back as they are.
struct MotionEvent {
    float time = 0.0f;  // milliseconds from the start of the motion
    std::string name;
    int32_t intValue = 0;
    float floatValue = 0.0f;
    std::string stringValue;
};

struct AnimeMotion {
    std::string name;
    float duration = 1000.0f;
    bool loop = false;
    // The default fade times of a cross-fade into this motion and of an
    // overlay fade up to (fadeIn) or down to (fadeOut) a weight.
    float fadeIn = 0.0f;
    float fadeOut = 0.0f;
    std::vector<MotionTrack> tracks;
    // The tracks that name a parameter, in file order; `tracks` holds the others.
    std::vector<MotionTrack> parameterTracks;
    std::vector<MotionEvent> events;  // ascending by time, NaN times last
    // Every part of the model has exactly one track: a frame can then write
    // each part's rest pose and the motion's change in one go.
    bool drivesEveryPartOnce = false;
    // The tracks that move mesh vertices, in track order.
    std::vector<uint32_t> deformTracks;
    // Each drawable mesh of the model is moved whole by the first of these
    // tracks that names its part (listed in `deformSetters`): a frame can
    // write those meshes as rest plus offsets, without resetting them first.
    bool deformsEveryMeshWhole = false;
    std::vector<uint8_t> deformSetters;  // per entry of `deformTracks`
};

}  // namespace kivanime
