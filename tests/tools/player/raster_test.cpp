// The rasteriser against hand-computed pixels: where a record's anchor,
// scale, rotation and source rectangle put a sprite, how it samples and how it
// blends.
#include <gtest/gtest.h>

#include <cmath>

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

bool IsRed(const float* p) {
    return p[0] > 0.99f && p[2] < 0.01f && p[3] > 0.99f;
}
bool IsBlue(const float* p) {
    return p[2] > 0.99f && p[0] < 0.01f && p[3] > 0.99f;
}
bool IsEmpty(const float* p) {
    return p[3] == 0.0f;
}

TEST(PlayerRaster, AnchorScaleRotationAndSourceRectLandOnExpectedPixels) {
    Image canvas(100, 100);
    AnimeDrawParams p = Record();
    p.x = 50.0f;
    p.y = 50.0f;
    p.srcX = 2.0f;
    p.srcWidth = 4.0f;
    p.srcHeight = 2.0f;
    p.anchorX = 0.25f;  // pivot at (1, 1) of the 4 x 2 rectangle
    p.anchorY = 0.5f;
    p.scaleX = 2.0f;
    p.scaleY = 3.0f;
    p.rotation = kHalfPi;  // +x turns to +y (down the screen)
    DrawSprite(canvas, Atlas(), p);

    // Image offset (ox, oy) from the pivot lands at (50 - 3 oy, 50 + 2 ox):
    // the red half (ox in [-1, 1)) covers y in [48, 52), the blue half (ox in
    // [1, 3)) y in [52, 56), and oy in [-1, 1) covers x in [47, 53).
    for (int y = 40; y < 60; ++y) {
        for (int x = 40; x < 60; ++x) {
            const float* px = canvas.at(x, y);
            const bool insideX = x >= 47 && x < 53;
            if (insideX && y >= 48 && y < 51) {
                EXPECT_TRUE(IsRed(px)) << x << "," << y;
            } else if (insideX && y >= 53 && y < 56) {
                EXPECT_TRUE(IsBlue(px)) << x << "," << y;
            } else if (x < 46 || x > 53 || y < 47 || y > 56) {
                EXPECT_TRUE(IsEmpty(px)) << x << "," << y;
            }
            // Nothing outside the source rectangle is ever sampled.
            EXPECT_LT(px[1], 0.01f) << x << "," << y;
        }
    }
    // Soft edges keep the covered area: 6 x 8 pixels.
    float area = 0.0f;
    for (size_t i = 3; i < canvas.pixels.size(); i += 4) {
        area += canvas.pixels[i];
    }
    EXPECT_NEAR(area, 48.0f, 0.5f);
}

TEST(PlayerRaster, EmptySourceRectMeansWholeTextureAndNegativeScaleMirrors) {
    Image canvas(20, 20);
    AnimeDrawParams p = Record();
    p.x = 10.0f;
    p.y = 10.0f;
    p.anchorX = 0.0f;
    p.anchorY = 0.0f;
    p.srcX = 2.0f;  // ignored: the width is 0
    p.srcHeight = 2.0f;
    DrawSprite(canvas, Atlas(), p);
    EXPECT_TRUE(IsRed(canvas.at(12, 10)));
    EXPECT_TRUE(IsBlue(canvas.at(15, 11)));
    EXPECT_GT(canvas.at(10, 10)[1], 0.99f);  // yellow texel (0, 0) at the pivot
    EXPECT_GT(canvas.at(15, 13)[1], 0.99f);
    EXPECT_TRUE(IsEmpty(canvas.at(16, 10)));
    EXPECT_TRUE(IsEmpty(canvas.at(10, 14)));

    // Mirrored about the pivot: texel column i lands at x = 9 - i.
    Image mirrored(20, 20);
    p.scaleX = -1.0f;
    DrawSprite(mirrored, Atlas(), p);
    EXPECT_TRUE(IsRed(mirrored.at(7, 10)));
    EXPECT_TRUE(IsBlue(mirrored.at(4, 11)));
    EXPECT_TRUE(IsEmpty(mirrored.at(10, 10)));
    EXPECT_TRUE(IsEmpty(mirrored.at(3, 10)));
}

TEST(PlayerRaster, BilinearSamplingBetweenTexelCentres) {
    Image texture(2, 1);
    SetTexel(texture, 0, 0, 0, 0, 0);
    SetTexel(texture, 1, 0, 1, 1, 1);
    Image canvas(40, 10);
    AnimeDrawParams p = Record();
    p.x = 20.0f;
    p.y = 5.0f;
    p.scaleX = 10.0f;
    p.scaleY = 4.0f;
    DrawSprite(canvas, texture, p);
    // Texel centres sit at x = 15 and 25; halfway between them the value is
    // the average, and it rises steadily from one to the other.
    EXPECT_NEAR(canvas.at(14, 5)[0], 0.0f, 1e-5f);
    EXPECT_NEAR(canvas.at(25, 5)[0], 1.0f, 0.06f);
    EXPECT_NEAR((canvas.at(19, 5)[0] + canvas.at(20, 5)[0]) * 0.5f, 0.5f, 1e-4f);
    for (int x = 15; x < 25; ++x) {
        EXPECT_LT(canvas.at(x, 5)[0], canvas.at(x + 1, 5)[0]) << x;
    }
}

TEST(PlayerRaster, BlendsOverWithRecordAndTexelAlpha) {
    Image texture(1, 1);
    SetTexel(texture, 0, 0, 1, 1, 1, 0.5f);
    Image canvas(10, 10);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            SetTexel(canvas, x, y, 0, 0, 1);  // opaque blue
        }
    }
    AnimeDrawParams p = Record();
    p.x = 5.0f;
    p.y = 5.0f;
    p.scaleX = 6.0f;
    p.scaleY = 6.0f;
    p.alpha = 0.5f;
    DrawSprite(canvas, texture, p);
    // Source opacity 0.5 x 0.5 = 0.25 of white over blue.
    const float* px = canvas.at(5, 5);
    EXPECT_NEAR(px[0], 0.25f, 1e-5f);
    EXPECT_NEAR(px[2], 1.0f, 1e-5f);
    EXPECT_NEAR(px[3], 1.0f, 1e-5f);
    EXPECT_NEAR(canvas.at(0, 0)[0], 0.0f, 1e-6f);

    // Out-of-range alpha is clamped to 1.
    Image clear(10, 10);
    p.alpha = 7.0f;
    DrawSprite(clear, texture, p);
    EXPECT_NEAR(clear.at(5, 5)[3], 0.5f, 1e-5f);
}

TEST(PlayerRaster, DegenerateRecordsDrawNothing) {
    const Image texture = Atlas();
    AnimeDrawParams base = Record();
    base.x = 5.0f;
    base.y = 5.0f;
    AnimeDrawParams zeroScale = base;
    zeroScale.scaleY = 0.0f;
    AnimeDrawParams nanRotation = base;
    nanRotation.rotation = NAN;
    AnimeDrawParams infinitePosition = base;
    infinitePosition.x = INFINITY;
    AnimeDrawParams transparent = base;
    transparent.alpha = 0.0f;
    AnimeDrawParams offscreen = base;
    offscreen.x = -1000.0f;
    for (const AnimeDrawParams& p :
         {zeroScale, nanRotation, infinitePosition, transparent, offscreen}) {
        Image canvas(10, 10);
        RasterStats stats;
        DrawSprite(canvas, texture, p, &stats);
        EXPECT_EQ(stats.pixelsTouched, 0);
    }
    Image canvas(10, 10);
    RasterStats stats;
    DrawSprite(canvas, Image{}, base, &stats);
    EXPECT_EQ(stats.pixelsTouched, 0);
}

}  // namespace
}  // namespace kivanime_player
