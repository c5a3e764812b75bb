// How each part meets what is drawn below it: its blend mode ("blend") and
// its mask ("clip"), resolved from names once per load so that frames only
// read indices and ready-made record flags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kivanime {

struct AnimeModel;

// The AnimeBlendMode a "blend" value names; anything else is normal.
uint32_t BlendModeOf(std::string_view name);

// A part cut to its mask never hands over more vertices than 16-bit indices
// can number (a multiple of 3).
inline constexpr size_t kMaxClipVertices = 65535;

// What clipping an instance's parts needs at most, over its masked parts:
// the part's own vertices and triangles (its mesh, or 4 and 2 for its
// rectangle), the mask's, and the vertices of the result (each pair of a
// part triangle and a mask triangle gives at most a hexagon: 4 triangles).
struct ClipRoom {
    size_t partVertices = 0;
    size_t maskVertices = 0;
    size_t maskTriangles = 0;
    size_t outVertices = 0;
};

struct PartDrawFlags {
    // Per part: the record's flags when the part goes to the mesh function
    // (its blend mode; plus ANIME_DRAW_FLAG_UNCLIPPED for a masked part that
    // has no shape of its own to clip) and when it goes to draw (the blend
    // mode; plus the unclipped bit for every masked part).
    std::vector<uint32_t> meshRoute;
    std::vector<uint32_t> spriteRoute;
    // Per part: the part whose shape clips it, or -1 (no mask, or nothing
    // of its own to clip).
    std::vector<int32_t> clipMask;
    bool any = false;  // a flag is not 0 somewhere
    bool anyClip = false;
    ClipRoom room;
};

// Part `index`'s own triangles when it is clipped: its drawable mesh's, or
// else its source rectangle's two (0 when that has no size).
size_t ShapeTriangles(const AnimeModel& model, size_t index);

// Fills `flags` from the parts' keys; the mesh table must be built.
void BuildDrawFlags(const AnimeModel& model, PartDrawFlags& flags);

}  // namespace kivanime
