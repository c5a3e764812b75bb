#include "model/part_mesh.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <limits>

#include "model/anime_model.h"

namespace kivanime {

bool MeshDrawable(const AnimePart& part) {
    const size_t count = part.vertices.size();
    if (count < 3 || part.triangles.empty()) {
        return false;
    }
    for (const AnimeTriangle& triangle : part.triangles) {
        for (uint16_t index : triangle.index) {
            if (index >= count) {
                return false;
            }
        }
    }
    return true;
}

void BuildMeshTable(const std::vector<AnimePart>& parts, MeshTable& table) {
    static std::atomic<uint64_t> serials{0};
    table.serial = ++serials;
    table.parts.assign(parts.size(), PartMeshRef{});
    table.restXY.clear();
    table.uv.clear();
    table.indices.clear();
    constexpr size_t kLimit = static_cast<size_t>(std::numeric_limits<int32_t>::max());
    for (size_t i = 0; i < parts.size(); ++i) {
        const AnimePart& part = parts[i];
        // The tables are addressed with 32-bit offsets: a mesh that would not
        // fit is left out (it would need gigabytes of vertices).
        if (!MeshDrawable(part) || table.vertexCount() + part.vertices.size() > kLimit ||
            table.indices.size() + part.triangles.size() * 3 > kLimit) {
            continue;
        }
        PartMeshRef& ref = table.parts[i];
        ref.firstVertex = static_cast<int32_t>(table.vertexCount());
        ref.vertexCount = static_cast<int32_t>(part.vertices.size());
        ref.firstIndex = static_cast<int32_t>(table.indices.size());
        ref.indexCount = static_cast<int32_t>(part.triangles.size() * 3);
        for (const AnimeVertex& vertex : part.vertices) {
            table.restXY.insert(table.restXY.end(), {vertex.v[0], vertex.v[1]});
            table.uv.insert(table.uv.end(), {vertex.v[2], vertex.v[3]});
        }
        for (const AnimeTriangle& triangle : part.triangles) {
            table.indices.insert(table.indices.end(), std::begin(triangle.index),
                                 std::end(triangle.index));
        }
    }
}

}  // namespace kivanime
