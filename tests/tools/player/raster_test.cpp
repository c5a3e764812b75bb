// The rasteriser against hand-computed pixels: where a record's anchor,
// scale, rotation and source rectangle put a sprite, how it samples and how it
// blends.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "raster.h"

namespace kivanime_player {
namespace {

AnimeDrawParams Record(float x, float y, float scaleX, float scaleY, float anchor = 0.5f) {
    AnimeDrawParams p{};
    p.x = x;
    p.y = y;
    p.scaleX = scaleX;
    p.scaleY = scaleY;
    p.alpha = 1.0f;
    p.anchorX = p.anchorY = anchor;
    return p;
}

// A texture from rows of 'y' yellow, 'r' red, 'b' blue, 'k' half black, 'w' half white.
Image Texture(std::vector<const char*> rows) {
    Image t(static_cast<int>(std::strlen(rows[0])), static_cast<int>(rows.size()));
    for (size_t i = 0; i < t.pixels.size() / 4; ++i) {
        const char c = rows[i / t.width][i % t.width];
        const float a = c == 'k' || c == 'w' ? 0.5f : 1.0f;
        const float rgb[3] = {c == 'y' || c == 'r' || c == 'w' ? a : 0,
                              c == 'y' || c == 'w' ? a : 0, c == 'b' || c == 'w' ? a : 0};
        std::copy(rgb, rgb + 3, &t.pixels[i * 4]);
        t.pixels[i * 4 + 3] = a;
    }
    return t;
}

const Image kAtlas = Texture({"yyrrbb", "yyrrbb", "yyyyyy", "yyyyyy"});

// The kind of an opaque pixel ('.' when empty, '?' when mixed).
char Kind(const float* p) {
    const bool r = p[0] > 0.99f, g = p[1] > 0.99f, b = p[2] > 0.99f;
    return p[3] == 0.0f ? '.' : p[3] < 0.99f ? '?' : r && g ? 'y' : r ? 'r' : b ? 'b' : '?';
}

TEST(PlayerRaster, AnchorScaleRotationAndSourceRectLandOnExpectedPixels) {
    Image canvas(100, 100);
    AnimeDrawParams p = Record(50, 50, 2, 3);
    p.srcX = 2.0f;
    p.srcWidth = 4.0f;
    p.srcHeight = 2.0f;
    p.anchorX = 0.25f;         // pivot at (1, 1) of the 4 x 2 rectangle
    p.rotation = 1.57079633f;  // +x turns to +y (down the screen)
    DrawSprite(canvas, kAtlas, p);
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

TEST(PlayerRaster, EmptySourceRectMeansWholeTextureAndNegativeScaleMirrors) {
    for (const float scaleX : {1.0f, -1.0f}) {
        // Texel column i lands at x = 10 + i, or mirrored about the pivot at 9 - i.
        Image canvas(20, 20);
        AnimeDrawParams p = Record(10, 10, scaleX, 1, 0);
        p.srcX = p.srcHeight = 2.0f;  // ignored: the width is 0
        DrawSprite(canvas, kAtlas, p);
        const auto at = [&](int i, int y) {
            return Kind(canvas.at(scaleX > 0 ? 10 + i : 9 - i, y));
        };
        EXPECT_EQ(std::string({at(0, 10), at(2, 10), at(5, 11), at(5, 13), at(6, 10), at(0, 14)}),
                  "yrby..");
    }
}

TEST(PlayerRaster, SamplesBilinearlyAndBlendsOverWithRecordAlpha) {
    Image canvas(40, 10);
    for (size_t i = 0; i < canvas.pixels.size(); i += 4) {
        canvas.pixels[i + 2] = canvas.pixels[i + 3] = 1.0f;  // opaque blue
    }
    AnimeDrawParams p = Record(20, 5, 10, 4);
    p.alpha = 0.5f;
    DrawSprite(canvas, Texture({"kw"}), p);
    // Texel centres sit at x = 15 and 25; in between the value rises steadily.
    // Source opacity 0.5 x 0.5 = 0.25 of the texel over blue.
    EXPECT_NEAR(canvas.at(14, 5)[0] + canvas.at(14, 5)[2], 0.75f, 1e-5f);
    EXPECT_NEAR(canvas.at(25, 5)[0] + canvas.at(25, 5)[3], 1.25f, 0.02f);
    EXPECT_NEAR((canvas.at(19, 5)[0] + canvas.at(20, 5)[0]) * 0.5f, 0.125f, 1e-4f);
    for (int x = 15; x < 25; ++x) {
        EXPECT_LT(canvas.at(x, 5)[0], canvas.at(x + 1, 5)[0]) << x;
    }
    Image clear(40, 10);
    p.alpha = 7.0f;  // clamped to 1
    DrawSprite(clear, Texture({"kw"}), p);
    EXPECT_NEAR(clear.at(20, 5)[3], 0.5f, 1e-5f);
}

TEST(PlayerRaster, DegenerateRecordsDrawNothing) {
    std::vector<AnimeDrawParams> records(6, Record(5, 5, 1, 1));
    records[0].scaleY = 0.0f;
    records[1].rotation = NAN;
    records[2].x = INFINITY;
    records[3].alpha = 0.0f;
    records[4].x = -1000.0f;
    for (size_t i = 0; i < records.size(); ++i) {
        Image canvas(10, 10);
        RasterStats stats;
        DrawSprite(canvas, i < 5 ? kAtlas : Image{}, records[i], &stats);
        EXPECT_EQ(stats.pixelsTouched, 0) << i;
    }
}

}  // namespace
}  // namespace kivanime_player
