#include "model/draw_flags.h"

#include <algorithm>

#include "kivanime.h"
#include "model/anime_model.h"

namespace kivanime {

uint32_t BlendModeOf(std::string_view name) {
    if (name == "additive") {
        return ANIME_BLEND_ADDITIVE;
    }
    if (name == "multiply") {
        return ANIME_BLEND_MULTIPLY;
    }
    if (name == "screen") {
        return ANIME_BLEND_SCREEN;
    }
    return ANIME_BLEND_NORMAL;
}

namespace {

// A rectangle of no size (the default) is a shape the library does not know:
// the host decides what it shows.
bool HasRectangle(const AnimePart& part) {
    return part.srcWidth != 0.0f && part.srcHeight != 0.0f;
}

size_t ShapeVertices(const AnimeModel& model, size_t index) {
    const PartMeshRef& mesh = model.topology.meshes.parts[index];
    if (mesh.drawable()) {
        return static_cast<size_t>(mesh.vertexCount);
    }
    return HasRectangle(model.parts[index]) ? 4 : 0;
}

}  // namespace

size_t ShapeTriangles(const AnimeModel& model, size_t index) {
    const PartMeshRef& mesh = model.topology.meshes.parts[index];
    if (mesh.drawable()) {
        return static_cast<size_t>(mesh.indexCount / 3);
    }
    return HasRectangle(model.parts[index]) ? 2 : 0;
}

void BuildDrawFlags(const AnimeModel& model, PartDrawFlags& flags) {
    const size_t n = model.parts.size();
    flags.meshRoute.assign(n, 0);
    flags.spriteRoute.assign(n, 0);
    flags.clipMask.assign(n, -1);
    flags.any = false;
    flags.anyClip = false;
    flags.room = ClipRoom{};
    for (size_t i = 0; i < n; ++i) {
        const AnimePart& part = model.parts[i];
        const uint32_t blend = BlendModeOf(part.blend);
        flags.meshRoute[i] = blend;
        flags.spriteRoute[i] = blend;
        flags.any = flags.any || blend != 0;
        // A clip naming the part itself, or no part, is ignored.
        const int32_t mask = part.clip.empty() ? -1 : model.findPart(part.clip);
        if (mask < 0 || static_cast<size_t>(mask) == i) {
            continue;
        }
        flags.spriteRoute[i] |= ANIME_DRAW_FLAG_UNCLIPPED;
        flags.any = true;
        const size_t own = ShapeTriangles(model, i);
        if (own == 0) {
            flags.meshRoute[i] |= ANIME_DRAW_FLAG_UNCLIPPED;
            continue;
        }
        flags.clipMask[i] = mask;
        flags.anyClip = true;
        const size_t maskIndex = static_cast<size_t>(mask);
        const size_t maskTriangles = ShapeTriangles(model, maskIndex);
        ClipRoom& room = flags.room;
        room.partVertices = std::max(room.partVertices, ShapeVertices(model, i));
        room.maskVertices = std::max(room.maskVertices, ShapeVertices(model, maskIndex));
        room.maskTriangles = std::max(room.maskTriangles, maskTriangles);
        // Each factor is below 2^31: the product fits in 64 bits.
        const uint64_t worst = static_cast<uint64_t>(own) * maskTriangles * 12u;
        room.outVertices =
            std::max(room.outVertices, static_cast<size_t>(std::min<uint64_t>(
                                           worst, static_cast<uint64_t>(kMaxClipVertices))));
    }
}

}  // namespace kivanime
