// A part's mesh (its "vertices" and "triangles"): when it is drawn, and where
// the vertices of every drawn mesh of a model sit in the flat tables that the
// model and its instances keep for all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivanime {

struct AnimePart;

// A mesh is drawn when it has at least 3 vertices, at least one triangle and
// no index at or past its vertex count. Any other mesh is ignored: its part
// draws as a sprite.
bool MeshDrawable(const AnimePart& part);

// Where one part's drawable mesh lies in the model's mesh table.
struct PartMeshRef {
    int32_t firstVertex = -1;  // -1: the part has no drawable mesh
    int32_t vertexCount = 0;
    int32_t firstIndex = 0;
    int32_t indexCount = 0;

    bool drawable() const { return firstVertex >= 0; }
};

// The drawable meshes of a model, side by side in part order.
struct MeshTable {
    std::vector<PartMeshRef> parts;  // one per part
    std::vector<float> restXY;       // x, y of every vertex, in the part's frame
    std::vector<float> uv;           // u, v of every vertex
    std::vector<uint16_t> indices;   // three per triangle
    // Tells tables apart for as long as the process runs (copies of `uv`
    // kept elsewhere know whose they are): a new number per build.
    uint64_t serial = 0;

    size_t vertexCount() const { return restXY.size() / 2; }
};

void BuildMeshTable(const std::vector<AnimePart>& parts, MeshTable& table);

}  // namespace kivanime
