// The rasteriser against hand-computed pixels: where a record's anchor,
// scale, rotation and source rectangle put a sprite, how it samples and how it
// blends.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "raster.h"

namespace kivanime_player {
namespace {

constexpr float kHalfPi = 1.57079633f;

void SetTexel(Image& image, int x, int y, float r, float g, float b, float a = 1.0f) {
    float* p = image.at(x, y);
    p[0] = r * a;
    p[1] = g * a;
    p[2] = b * a;
    p[3] = a;
}

AnimeDrawParams Record() {
    AnimeDrawParams p{};
    p.scaleX = 1.0f;
    p.scaleY = 1.0f;
    p.alpha = 1.0f;
    p.reserved2 = 0xFFFFFFFFu;
    p.anchorX = 0.5f;
    p.anchorY = 0.5f;
    return p;
}

// 6 x 4 texture: yellow everywhere except a 4 x 2 block at (2, 0) whose left
// half is red and right half blue.
Image Atlas() {
    Image t(6, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            SetTexel(t, x, y, 1, 1, 0);
        }
    }
    for (int y = 0; y < 2; ++y) {
        for (int x = 2; x < 6; ++x) {
            SetTexel(t, x, y, x < 4 ? 1.0f : 0.0f, 0, x < 4 ? 0.0f : 1.0f);
        }
    }
    return t;
}

// 'r' red, 'b' blue, 'y' yellow, '.' empty.
char Kind(const float* p) {
    return p[3] == 0.0f                   ? '.'
           : p[3] < 0.99f                 ? '?'
           : p[0] > 0.99f && p[1] > 0.99f ? 'y'
           : p[0] > 0.99f && p[2] < 0.01f ? 'r'
           : p[2] > 0.99f && p[0] < 0.01f ? 'b'
                                          : '?';
}

TEST(PlayerRaster, AnchorScaleRotationAndSourceRectLandOnExpectedPixels) {
    Image canvas(100, 100);
    AnimeDrawParams p = Record();
    p.x = p.y = 50.0f;
    p.srcX = 2.0f;
    p.srcWidth = 4.0f;
    p.srcHeight = 2.0f;
    p.anchorX = 0.25f;  // pivot at (1, 1) of the 4 x 2 rectangle
    p.scaleX = 2.0f;
    p.scaleY = 3.0f;
    p.rotation = kHalfPi;  // +x turns to +y (down the screen)
    DrawSprite(canvas, Atlas(), p);
    // Image offset (ox, oy) from the pivot lands at (50 - 3 oy, 50 + 2 ox):
    // the red half (ox in [-1, 1)) covers y in [48, 52), the blue half (ox in
    // [1, 3)) y in [52, 56), and oy in [-1, 1) covers x in [47, 53).
    float area = 0.0f;
    for (int y = 40; y < 60; ++y) {
        for (int x = 40; x < 60; ++x) {
            const char kind = Kind(canvas.at(x, y));
            const bool insideX = x >= 47 && x < 53;
            const bool outside = x < 46 || x > 53 || y < 47 || y > 56;
            const char want = insideX && y >= 48 && y < 51   ? 'r'
                              : insideX && y >= 53 && y < 56 ? 'b'
                              : outside                      ? '.'
                                                             : kind;
            EXPECT_EQ(kind, want) << x << "," << y;
            EXPECT_LT(canvas.at(x, y)[1], 0.01f) << x << "," << y;  // only the rectangle is sampled
            area += canvas.at(x, y)[3];
        }
    }
    EXPECT_NEAR(area, 48.0f, 0.5f);  // soft edges keep the covered area: 6 x 8 pixels
}

TEST(PlayerRaster, EmptySourceRectMeansWholeTextureAndNegativeScaleMirrors) {
    AnimeDrawParams p = Record();
    p.x = p.y = 10.0f;
    p.anchorX = p.anchorY = 0.0f;
    p.srcX = p.srcHeight = 2.0f;  // ignored: the width is 0
    for (const float scaleX : {1.0f, -1.0f}) {
        // Texel column i lands at x = 10 + i, or mirrored about the pivot at 9 - i.
        Image canvas(20, 20);
        p.scaleX = scaleX;
        DrawSprite(canvas, Atlas(), p);
        const auto column = [&](int i) { return scaleX > 0 ? 10 + i : 9 - i; };
        EXPECT_EQ(Kind(canvas.at(column(0), 10)), 'y');
        EXPECT_EQ(Kind(canvas.at(column(2), 10)), 'r');
        EXPECT_EQ(Kind(canvas.at(column(5), 11)), 'b');
        EXPECT_EQ(Kind(canvas.at(column(5), 13)), 'y');
        EXPECT_EQ(Kind(canvas.at(column(6), 10)), '.');
        EXPECT_EQ(Kind(canvas.at(column(0), 14)), '.');
    }
}

TEST(PlayerRaster, SamplesBilinearlyAndBlendsOverWithRecordAlpha) {
    Image texture(2, 1);
    SetTexel(texture, 0, 0, 0, 0, 0, 0.5f);
    SetTexel(texture, 1, 0, 1, 1, 1, 0.5f);
    Image canvas(40, 10);
    for (int i = 0; i < 40 * 10; ++i) {
        SetTexel(canvas, i % 40, i / 40, 0, 0, 1);  // opaque blue
    }
    AnimeDrawParams p = Record();
    p.x = 20.0f;
    p.y = 5.0f;
    p.scaleX = 10.0f;
    p.scaleY = 4.0f;
    p.alpha = 0.5f;
    DrawSprite(canvas, texture, p);
    // Texel centres sit at x = 15 and 25; in between the value rises steadily.
    // Source opacity 0.5 x 0.5 = 0.25 of the texel over blue.
    EXPECT_NEAR(canvas.at(14, 5)[0], 0.0f, 1e-5f);
    EXPECT_NEAR(canvas.at(14, 5)[2], 0.75f, 1e-5f);
    EXPECT_NEAR(canvas.at(25, 5)[0], 0.25f, 0.02f);
    EXPECT_NEAR(canvas.at(25, 5)[3], 1.0f, 1e-5f);
    EXPECT_NEAR((canvas.at(19, 5)[0] + canvas.at(20, 5)[0]) * 0.5f, 0.125f, 1e-4f);
    for (int x = 15; x < 25; ++x) {
        EXPECT_LT(canvas.at(x, 5)[0], canvas.at(x + 1, 5)[0]) << x;
    }
    EXPECT_NEAR(canvas.at(0, 0)[0], 0.0f, 1e-6f);
    // Out-of-range alpha is clamped to 1.
    Image clear(40, 10);
    p.alpha = 7.0f;
    DrawSprite(clear, texture, p);
    EXPECT_NEAR(clear.at(20, 5)[3], 0.5f, 1e-5f);
}

TEST(PlayerRaster, DegenerateRecordsDrawNothing) {
    AnimeDrawParams base = Record();
    base.x = base.y = 5.0f;
    std::vector<AnimeDrawParams> records(6, base);
    records[0].scaleY = 0.0f;
    records[1].rotation = NAN;
    records[2].x = INFINITY;
    records[3].alpha = 0.0f;
    records[4].x = -1000.0f;
    for (size_t i = 0; i < records.size(); ++i) {
        Image canvas(10, 10);
        RasterStats stats;
        DrawSprite(canvas, i < 5 ? Atlas() : Image{}, records[i], &stats);
        EXPECT_EQ(stats.pixelsTouched, 0) << i;
    }
}

}  // namespace
}  // namespace kivanime_player
