#include "render/masking.h"

#include <algorithm>

#include "render/mesh_placement.h"

namespace kivanime {

void ClipScratch::reserve(const ClipRoom& room) {
    if (part.size() < room.partVertices) {
        part.resize(room.partVertices);
    }
    if (mask.size() < room.maskVertices) {
        mask.resize(room.maskVertices);
    }
    if (maskTriangles.size() < room.maskTriangles) {
        maskTriangles.resize(room.maskTriangles);
    }
    if (out.size() < room.outVertices) {
        out.resize(room.outVertices);
        const size_t from = indices.size();
        indices.resize(room.outVertices);
        for (size_t k = from; k < indices.size(); ++k) {
            indices[k] = static_cast<uint16_t>(k);
        }
    }
}

namespace {

// A rectangle's corners in the part's frame (pivot at 0, 0), clockwise on
// screen from the top-left, with u and v from 0 to 1 across the rectangle,
// and its two triangles.
constexpr uint16_t kRectangleTriangles[6] = {0, 1, 2, 0, 2, 3};

void RectangleCorners(const AnimePart& part, float xy[8], float uv[8]) {
    const float left = -part.anchorX * part.srcWidth;
    const float top = -part.anchorY * part.srcHeight;
    const float right = part.srcWidth + left;
    const float bottom = part.srcHeight + top;
    const float corners[8] = {left, top, right, top, right, bottom, left, bottom};
    const float unit[8] = {0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f};
    std::copy(corners, corners + 8, xy);
    std::copy(unit, unit + 8, uv);
}

// Places part `index`'s shape by `record` into `out`: its drawable mesh as
// the last update bent it, or its rectangle. Returns its triangles' indices
// into `out` and their count. A rectangle is one convex piece to a clip,
// which cuts it whole rather than as its two triangles: half the work.
struct Shape {
    const uint16_t* indices;
    size_t triangles;
    bool rectangle = false;
};

Shape PlaceShape(const AnimeInstance& instance, size_t index, const AnimeDrawParams& record,
                 AnimeMeshVertex* out) {
    const AnimeModel& model = *instance.model;
    const MeshTable& meshes = model.topology.meshes;
    const PartMeshRef& mesh = meshes.parts[index];
    if (mesh.drawable()) {
        if (instance.mesh.xy.size() != meshes.restXY.size()) {
            return {kRectangleTriangles, 0};
        }
        const size_t first = 2 * static_cast<size_t>(mesh.firstVertex);
        PlaceMeshVertices(record, instance.mesh.xy.data() + first, meshes.uv.data() + first,
                          static_cast<size_t>(mesh.vertexCount), out);
        return {meshes.indices.data() + mesh.firstIndex, static_cast<size_t>(mesh.indexCount / 3)};
    }
    if (ShapeTriangles(model, index) == 0) {
        return {kRectangleTriangles, 0};
    }
    float xy[8];
    float uv[8];
    RectangleCorners(model.parts[index], xy, uv);
    PlaceMeshVertices(record, xy, uv, 4, out);
    return {kRectangleTriangles, 2, true};
}

}  // namespace

size_t ClipPart(const AnimeInstance& instance, size_t index, const AnimeDrawParams& record,
                const AnimeDrawParams& maskRecord, ClipScratch& scratch) {
    const AnimeModel& model = *instance.model;
    const size_t maskIndex = static_cast<size_t>(model.topology.drawFlags.clipMask[index]);
    const Shape mask = PlaceShape(instance, maskIndex, maskRecord, scratch.mask.data());
    const size_t maskCount = PrepareClipTriangles(scratch.mask.data(), mask.indices, mask.triangles,
                                                  scratch.maskTriangles.data());
    if (maskCount == 0) {
        return 0;
    }
    const Shape own = PlaceShape(instance, index, record, scratch.part.data());
    const size_t capacity = std::min(scratch.out.size(), model.topology.drawFlags.room.outVertices);
    if (own.rectangle) {
        size_t written = 0;
        ClipConvex(scratch.part.data(), 4, scratch.maskTriangles.data(), maskCount,
                   scratch.out.data(), capacity, written);
        return written;
    }
    return ClipTriangles(scratch.part.data(), own.indices, own.triangles,
                         scratch.maskTriangles.data(), maskCount, scratch.out.data(), capacity);
}

}  // namespace kivanime
