// The clip of one textured triangle by one mask triangle, case by case: what
// is kept (its area and corner count), that new corners carry the texture
// coordinates of the part's triangle at their place, and the mask triangles
// that cover nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "render/triangle_clip.h"

namespace kivanime {
namespace {

// The parts, with texture coordinates u = x / 16, v = y / 16: a right
// triangle, an equilateral one, a square, and the square wound the other
// way round.
AnimeMeshVertex At(float x, float y) {
    return {x, y, x / 16.0f, y / 16.0f};
}
const AnimeMeshVertex kParts[4][4] = {{At(0, 0), At(10, 0), At(0, 10)},
                                      {At(0, 0), At(12, 0), At(6, 10.392305f)},
                                      {At(0, 0), At(10, 0), At(10, 10), At(0, 10)},
                                      {At(0, 0), At(0, 10), At(10, 10), At(10, 0)}};

TEST(TriangleClip, KeepsTheOverlapWithTheTextureCoordinatesOfThePart) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        int part;  // of kParts; 2 and 3 are cut whole, as rectangles are
        float mask[6];
        size_t capacity;
        size_t vertices;
        float area;  // negative: wound the other way
    };
    // clang-format off
    const Case cases[] = {
        {"the same triangle",            0, {0, 0, 10, 0, 0, 10},                 12, 3, 50},
        {"wound backwards",              0, {0, 0, 0, 10, 10, 0},                 12, 3, 50},
        {"inside a larger mask",         0, {-100, -100, 300, -100, -100, 300},   12, 3, 50},
        {"a mask inside",                0, {1, 1, 3, 1, 1, 3},                   12, 3, 2},
        {"cut by one edge",              0, {5, -100, 100, 0, 5, 100},            12, 3, 12.5f},
        {"a corner cut off",             0, {2, -100, 2, 100, -100, 0},           12, 6, 18},
        {"apart",                        0, {20, 20, 30, 20, 20, 30},             12, 0, 0},
        {"sharing an edge from outside", 0, {0, 0, 0, 10, -10, 5},                12, 0, 0},
        {"a mask of no area",            0, {0, 0, 5, 5, 10, 10},                 12, 0, 0},
        {"a mask that is not a number",  0, {0, 0, nan, 0, 0, 10},                12, 0, 0},
        // Two triangles of a six-pointed star: a hexagon, four triangles.
        {"a hexagon",                    1, {0, 6.928203f, 6, -3.464102f, 12, 6.928203f}, 12, 12, 41.569219f},
        {"a hexagon without the room",   1, {0, 6.928203f, 6, -3.464102f, 12, 6.928203f}, 11, 0, 0},
        {"a square in a triangle",       2, {0, 0, 10, 0, 0, 10},                 12, 3, 50},
        {"a square turned over, cut",    3, {5, -100, 100, 0, 5, 100},            12, 6, -50},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const AnimeMeshVertex maskVertices[3] = {{c.mask[0], c.mask[1], 0, 0},
                                                 {c.mask[2], c.mask[3], 0, 0},
                                                 {c.mask[4], c.mask[5], 0, 0}};
        const uint16_t indices[3] = {0, 1, 2};
        ClipTriangle mask[1];
        const size_t maskCount = PrepareClipTriangles(maskVertices, indices, 1, mask);
        std::vector<AnimeMeshVertex> out(12);
        size_t n = 0;
        if (c.part < 2) {
            n = ClipTriangles(kParts[c.part], indices, 1, mask, maskCount, out.data(), c.capacity);
        } else {
            EXPECT_TRUE(ClipConvex(kParts[c.part], 4, mask, maskCount, out.data(), c.capacity, n));
        }
        ASSERT_EQ(n, c.vertices);
        float area = 0.0f;
        for (size_t k = 0; k < n; k += 3) {
            const AnimeMeshVertex* t = &out[k];
            const float twice =
                (t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[1].y - t[0].y) * (t[2].x - t[0].x);
            // A fan keeps the part's winding.
            EXPECT_GT(c.area < 0.0f ? -twice : twice, 0.0f);
            area += 0.5f * twice;
        }
        EXPECT_NEAR(area, c.area, 1e-3f);
        for (size_t k = 0; k < n; ++k) {
            EXPECT_FLOAT_EQ(out[k].u, out[k].x / 16.0f);
            EXPECT_FLOAT_EQ(out[k].v, out[k].y / 16.0f);
        }
    }
}

}  // namespace
}  // namespace kivanime
