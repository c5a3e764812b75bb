// Part data the runtime keeps but never draws from (mesh vertices and
// triangles): read all the same, so that a host or tool can rely on it.
#include "model/model_loader.h"

#include <gtest/gtest.h>

#include "json/json_parser.h"

namespace kivanime {
namespace {

TEST(ModelLoader, MeshVerticesAndTrianglesAreKept) {
    const AnimePart part = ReadPartJson(ParseJson(R"({"name": "p",
        "vertices": [[1, 2, 0.5, 0.25], [3, 4, 5], [6, 7, 8, 9, 10], 7],
        "triangles": [0, 1, 2, 65538, -1, 3.9, 4, 5]})"));
    ASSERT_EQ(part.vertices.size(), 4u);
    const float expected[4][4] = {{1, 2, 0.5f, 0.25f}, {0, 0, 0, 0}, {6, 7, 8, 9}, {0, 0, 0, 0}};
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(part.vertices[i / 4].v[i % 4], expected[i / 4][i % 4]) << i;
    }
    // Whole triples only, each index the low 16 bits of the truncated number.
    ASSERT_EQ(part.triangles.size(), 2u);
    const uint16_t indices[6] = {0, 1, 2, 2, 65535, 3};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(part.triangles[i / 3].index[i % 3], indices[i]) << i;
    }
}

}  // namespace
}  // namespace kivanime
