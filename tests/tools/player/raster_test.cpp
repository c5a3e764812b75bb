// The rasteriser against hand-computed pixels: where a record's anchor,
// scale, rotation and source rectangle put a sprite, and which records draw
// nothing; a quad mesh, tinted or not, draws its sprite's pixels, also when
// it comes cut into a list of separate triangles as a clipped part does; each
// blend mode follows its equation. Sampling and tints show in the player's
// golden frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "image.h"

namespace kivanime_player {
namespace {

// A texture from rows of 'y' yellow, 'r' red and 'b' blue.
Image Texture(std::vector<std::string> rows) {
    Image t(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (size_t i = 0; i < t.pixels.size() / 4; ++i) {
        const char c = rows[i / t.width][i % t.width];
        const float rgba[4] = {c != 'b' ? 1.0f : 0, c == 'y' ? 1.0f : 0, c == 'b' ? 1.0f : 0, 1};
        std::copy(rgba, rgba + 4, &t.pixels[i * 4]);
    }
    return t;
}

const Image kAtlas = Texture({"yyrrbb", "yyrrbb", "yyyyyy", "yyyyyy"});

// A record of x, y, rotation, scaleX, scaleY, alpha, anchorX, anchorY, srcX,
// srcY, srcWidth and srcHeight; those not given are 0. Untinted.
AnimeDrawParams Record(std::vector<float> v) {
    v.resize(12);
    return {0, v[0], v[1], 0, 0, v[2], v[3], v[4], v[5], ~0u, v[6], v[7], v[8], v[9], v[10], v[11]};
}

// The kind of an opaque pixel ('.' when empty, '?' when mixed).
char Kind(const float* p) {
    const bool r = p[0] > 0.99f, g = p[1] > 0.99f, b = p[2] > 0.99f;
    return p[3] == 0.0f ? '.' : p[3] < 0.99f ? '?' : r && g ? 'y' : r ? 'r' : b ? 'b' : '?';
}

TEST(PlayerRaster, AnchorScaleRotationAndSourceRectLandOnExpectedPixels) {
    Image canvas(100, 100);
    // The 4 x 2 rectangle at (2, 0), pivot at its (1, 1); +x turns to +y (down the screen).
    DrawSprite(canvas, kAtlas, Record({50, 50, 1.57079633f, 2, 3, 1, 0.25f, 0.5f, 2, 0, 4, 2}));
    // Image offset (ox, oy) from the pivot lands at (50 - 3 oy, 50 + 2 ox):
    // the red half (ox in [-1, 1)) covers y in [48, 52), the blue half y in
    // [52, 56), and oy in [-1, 1) covers x in [47, 53).
    float area = 0.0f;
    for (int i = 0; i < 100 * 100; ++i) {
        const int x = i % 100, y = i / 100;
        const char kind = Kind(canvas.at(x, y));
        const bool insideX = x >= 47 && x < 53, outside = x < 46 || x > 53 || y < 47 || y > 56;
        const char want = insideX && y >= 48 && y < 51   ? 'r'
                          : insideX && y >= 53 && y < 56 ? 'b'
                          : outside                      ? '.'
                                                         : kind;
        EXPECT_EQ(kind, want) << x << "," << y;
        EXPECT_LT(canvas.at(x, y)[1], 0.01f) << x << "," << y;  // only the rectangle is sampled
        area += canvas.at(x, y)[3];
    }
    EXPECT_NEAR(area, 48.0f, 0.5f);  // soft edges keep the covered area: 6 x 8 pixels
}

TEST(PlayerRaster, DegenerateRecordsDrawNothing) {
    // Zero scale, a NaN rotation, an infinite position, zero alpha, off the
    // canvas, and (the last) an empty texture.
    const std::vector<std::vector<float>> records = {
        {5, 5, 0, 1, 0, 1}, {5, 5, NAN, 1, 1, 1},   {INFINITY, 5, 0, 1, 1, 1},
        {5, 5, 0, 1, 1, 0}, {-1000, 5, 0, 1, 1, 1}, {5, 5, 0, 1, 1, 1}};
    for (size_t i = 0; i < records.size(); ++i) {
        Image canvas(10, 10);
        DrawSprite(canvas, i + 1 < records.size() ? kAtlas : Image{}, Record(records[i]));
        EXPECT_EQ(canvas.pixels, Image(10, 10).pixels) << i;
    }
}

// A sprite's quad as the library hands it over: its corners placed by the
// record (x + c sx vx - s sy vy, y + s sx vx + c sy vy) and, split along
// either diagonal, the source rectangle's texture coordinates.
std::vector<AnimeMeshVertex> Quad(const AnimeDrawParams& p, const Image& texture) {
    const float w = p.srcWidth, h = p.srcHeight;
    const float c = std::cos(p.rotation), s = std::sin(p.rotation);
    std::vector<AnimeMeshVertex> quad;
    for (int k = 0; k < 4; ++k) {
        const float cx = k == 1 || k == 2 ? w : 0.0f, cy = k >= 2 ? h : 0.0f;
        const float vx = cx - p.anchorX * w, vy = cy - p.anchorY * h;
        quad.push_back({p.x + c * p.scaleX * vx - s * p.scaleY * vy,
                        p.y + s * p.scaleX * vx + c * p.scaleY * vy, (p.srcX + cx) / texture.width,
                        (p.srcY + cy) / texture.height});
    }
    return quad;
}

// The largest difference of one channel between two pictures, in 8-bit levels.
int WorstDifference(const Image& x, const Image& y) {
    const Rgba8Image a = ToRgba8(x), b = ToRgba8(y);
    int worst = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        worst = std::max(worst, std::abs(a.pixels[i] - b.pixels[i]));
    }
    return worst;
}

// The blend equations on one pixel inside a sprite, and on the same pixel
// drawn by a mesh: straight colours src (texture x tint) and dst, opacity a
// (texture x record alpha).
TEST(PlayerRaster, EachBlendModeFollowsItsEquationOnSpritesAndMeshes) {
    const struct {
        uint32_t mode;
        float dst[3], src[4], tint, alpha;
    } cases[] = {
        {ANIME_BLEND_NORMAL, {0.2f, 0.5f, 0.9f}, {1.0f, 0.4f, 0.0f, 1.0f}, 1.0f, 0.5f},
        {ANIME_BLEND_ADDITIVE, {0.2f, 0.5f, 0.9f}, {1.0f, 0.4f, 0.2f, 0.8f}, 1.0f, 0.75f},
        // Clamped.
        {ANIME_BLEND_ADDITIVE, {0.9f, 0.9f, 0.9f}, {1.0f, 1.0f, 1.0f, 1.0f}, 1.0f, 1.0f},
        {ANIME_BLEND_MULTIPLY, {0.2f, 0.5f, 0.9f}, {1.0f, 0.4f, 0.0f, 1.0f}, 1.0f, 0.6f},
        {ANIME_BLEND_MULTIPLY, {0.8f, 0.8f, 0.8f}, {0.5f, 0.25f, 1.0f, 0.5f}, 0.6f, 1.0f},
        {ANIME_BLEND_SCREEN, {0.2f, 0.5f, 0.9f}, {1.0f, 0.4f, 0.0f, 1.0f}, 1.0f, 0.7f},
        {ANIME_BLEND_SCREEN, {0.6f, 0.1f, 0.3f}, {0.3f, 0.9f, 0.5f, 0.4f}, 0.8f, 1.0f},
        // Screen drawn unclipped (bit 2): the bit changes nothing in how it blends.
        {ANIME_DRAW_FLAG_UNCLIPPED | 3u, {.2f, .5f, .9f}, {1, .4f, 0, 1}, 1, .7f},
    };
    for (const auto& c : cases) {
        Image texture(2, 2);
        Clear(texture, {c.src[0], c.src[1], c.src[2], c.src[3]});
        AnimeDrawParams p = Record({8, 8, 0, 4, 4, c.alpha, 0.5f, 0.5f, 0, 0, 2, 2});
        p.flags = c.mode;
        const uint8_t tint = static_cast<uint8_t>(c.tint * 255.0f + 0.5f);
        const uint8_t bytes[4] = {tint, tint, tint, 255};
        std::memcpy(&p.reserved2, bytes, sizeof bytes);
        const float a = c.src[3] * c.alpha;
        for (int mesh = 0; mesh < 2; ++mesh) {
            Image canvas(16, 16);
            Clear(canvas, {c.dst[0], c.dst[1], c.dst[2], 1.0f});
            if (mesh) {
                const std::vector<AnimeMeshVertex> quad = Quad(p, texture);
                const uint16_t triangles[6] = {0, 1, 2, 0, 2, 3};
                DrawMesh(canvas, texture, p, quad.data(), 4, triangles, 6);
            } else {
                DrawSprite(canvas, texture, p);
            }
            for (int i = 0; i < 3; ++i) {
                const float src = c.src[i] * tint / 255.0f, dst = c.dst[i];
                const uint32_t mode = c.mode & ANIME_DRAW_FLAG_BLEND_MASK;
                const float want = mode == ANIME_BLEND_NORMAL     ? dst * (1 - a) + src * a
                                   : mode == ANIME_BLEND_ADDITIVE ? std::min(dst + src * a, 1.0f)
                                   : mode == ANIME_BLEND_MULTIPLY ? dst * (1 - a) + dst * src * a
                                                                  : dst + src * a * (1 - dst);
                EXPECT_NEAR(canvas.at(8, 8)[i], want, 1e-5f) << c.mode << " " << mesh << " " << i;
            }
            EXPECT_NEAR(canvas.at(8, 8)[3], 1.0f, 1e-6f);
            EXPECT_EQ(canvas.at(0, 0)[0], c.dst[0]);  // outside the sprite
        }
    }
    // Over a transparent pixel: additive and screen show the texel as
    // normal does; multiply shows nothing, having nothing to darken.
    for (const uint32_t mode : {0u, 1u, 2u, 3u}) {
        Image texture(2, 2), canvas(16, 16);
        Clear(texture, {1.0f, 0.5f, 0.25f, 0.5f});
        AnimeDrawParams p = Record({8, 8, 0, 4, 4, 1, 0.5f, 0.5f});
        p.flags = mode;
        DrawSprite(canvas, texture, p);
        const float* out = canvas.at(8, 8);
        const float shows = mode == ANIME_BLEND_MULTIPLY ? 0.0f : 1.0f;
        EXPECT_EQ(std::vector<float>(out, out + 4),
                  (std::vector<float>{0.5f * shows, 0.25f * shows, 0.125f * shows, 0.5f * shows}))
            << mode;
    }
}

// The quad split along either diagonal, and cut into the list of separate
// triangles a clipped part arrives as: fans of convex pieces whose shared
// corners the clip works out once per piece, so off by a few bits. Each draws
// the sprite's pixels, with no seam along the cuts and its outline smoothed.
TEST(PlayerRaster, AQuadMeshWholeOrCutIntoATriangleListDrawsItsSpritesPixels) {
    // A soft texture (every texel its own colour and opacity) on a coloured
    // ground, so that filtering, coverage and blending all show.
    Image texture(7, 5);
    for (size_t i = 0; i < texture.pixels.size(); ++i) {
        texture.pixels[i] = static_cast<float>((i * 37) % 11) / 10.0f * (i % 4 == 3 ? 1.0f : 0.9f);
    }
    const std::vector<std::vector<float>> records = {
        {20.3f, 18.6f, 0, 3, 2, 1, 0.5f, 0.5f, 0, 0, 7, 5},
        {20, 20, 0.7f, -2.5f, 3, 0.6f, 0.2f, 0.9f, 1, 1, 5, 3},
        {24.2f, 15.1f, -2.2f, 1.7f, -4.1f, 1, 0.7f, 0.1f, 2, 0, 4, 5},
        {20, 20, 0, 2, 2, 1, 0, 0, 0, 0, 5, 5},  // both diagonals through pixel centres
    };
    // Bytes R, G, B, A in memory order; white leaves the colour as it is.
    const uint8_t tints[][4] = {
        {255, 255, 255, 255}, {51, 153, 204, 255}, {255, 128, 0, 255}, {9, 255, 99, 255}};
    // The cut: points as (s, t) fractions of the quad's sides, and the fans
    // of the pieces either side of a vertical line at s = 0.4 and a diagonal.
    const float points[][2] = {{0, 0}, {0.4f, 0}, {1, 0}, {1, 1}, {0.4f, 1}, {0, 1}, {0.4f, 0.5f}};
    const int corners[] = {0, 1, 6, 0, 6, 4, 0, 4, 5, 1, 2, 3, 1, 3, 4, 1, 4, 6};
    for (size_t r = 0; r < records.size(); ++r) {
        AnimeDrawParams p = Record(records[r]);
        std::memcpy(&p.reserved2, tints[r], sizeof p.reserved2);
        Image ground(44, 40);
        Clear(ground, {0.2f, 0.4f, 0.1f, 1.0f});
        Image sprite = ground;
        DrawSprite(sprite, texture, p);
        const std::vector<AnimeMeshVertex> quad = Quad(p, texture);
        std::vector<AnimeMeshVertex> list;
        int nudge = 0;
        for (const int at : corners) {
            const float u = points[at][0], t = points[at][1];
            // Bilinear over the corners 0, 1, 2, 3 of the quad.
            const float w[4] = {(1 - u) * (1 - t), u * (1 - t), u * t, (1 - u) * t};
            AnimeMeshVertex v{};
            for (int c = 0; c < 4; ++c) {
                v.x += quad[c].x * w[c], v.y += quad[c].y * w[c];
                v.u += quad[c].u * w[c], v.v += quad[c].v * w[c];
            }
            v.x = std::nextafter(v.x, (++nudge % 3) ? 1e9f : -1e9f);
            list.push_back(v);
        }
        std::vector<uint16_t> listIndices(list.size());
        std::iota(listIndices.begin(), listIndices.end(), uint16_t{0});
        const struct {
            const std::vector<AnimeMeshVertex>& vertices;
            std::vector<uint16_t> indices;
            int tolerance;
        } meshes[] = {
            {quad, {0, 1, 2, 0, 2, 3}, 1}, {quad, {1, 3, 0, 3, 1, 2}, 1}, {list, listIndices, 2}};
        for (const auto& m : meshes) {
            Image canvas = ground;
            DrawMesh(canvas, texture, p, m.vertices.data(), static_cast<int32_t>(m.vertices.size()),
                     m.indices.data(), static_cast<int32_t>(m.indices.size()));
            EXPECT_LE(WorstDifference(sprite, canvas), m.tolerance)
                << "record " << r << ", " << m.indices.size() << " indices from " << m.indices[0];
            EXPECT_NE(ToRgba8(canvas).pixels, ToRgba8(ground).pixels);  // it drew
        }
    }
}

}  // namespace
}  // namespace kivanime_player
