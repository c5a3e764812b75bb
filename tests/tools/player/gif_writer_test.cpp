// The GIF writer stores only what changed between frames and lays partial
// transparency over white; reading the file back and replaying it must give
// every frame again, with delays that add up to the frame rate.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gif_writer.h"
#include "support/scratch_dir.h"

namespace kivanime_player {
namespace {

// A 40 x 30 frame of one colour with an optional rectangle of another.
Rgba8Image Frame(std::vector<uint8_t> rgba, std::vector<uint8_t> patch = {}, int x0 = 0, int y0 = 0,
                 int x1 = 0, int y1 = 0) {
    Rgba8Image image{40, 30, {}};
    for (int i = 0; i < 40 * 30; ++i) {
        const bool in = i % 40 >= x0 && i % 40 < x1 && i / 40 >= y0 && i / 40 < y1;
        image.pixels.insert(image.pixels.end(), in ? patch.begin() : rgba.begin(),
                            in ? patch.end() : rgba.end());
    }
    return image;
}

TEST(PlayerGif, ReplayingTheFileGivesEveryFrameBack) {
    const std::vector<uint8_t> paper = {240, 236, 226, 255}, red = {200, 40, 40, 255};
    const std::vector<Rgba8Image> frames = {
        Frame(paper), Frame(paper, red, 5, 5, 15, 12), Frame(paper, red, 5, 5, 15, 12),
        Frame(paper, {40, 60, 200, 255}, 30, 20, 38, 29),
        Frame({0, 0, 0, 0}, {0, 0, 0, 128}, 0, 0, 20, 30)};  // clear and half black over white
    // What each frame shows in its patch; outside it, paper (white in the last).
    const int shown[][3] = {{240, 236, 226}, {200, 40, 40},   {200, 40, 40},
                            {40, 60, 200},   {127, 127, 127}, {255, 255, 255}};
    const kivanime::test::ScratchDir scratch("kivanime_player_gif_test");
    const std::string path = (scratch / "frames.gif").string();
    std::string error;
    GifWriter writer(path, 30.0f);
    // The palette comes from the first frame and these: red, blue, half
    // black (grey over white) and white, premultiplied.
    Image samples(4, 1);
    samples.pixels = {0.8f, 0.15f, 0.15f, 1, 0.15f, 0.25f, 0.8f, 1, 0, 0, 0, 0.5f, 1, 1, 1, 1};
    writer.AddSamples(samples, Color{});
    for (const Rgba8Image& frame : frames) {
        ASSERT_TRUE(writer.AddFrame(frame, error)) << error;
    }
    ASSERT_TRUE(writer.Close(error)) << error;

    int code = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &code);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_EQ(gif->ImageCount, 5);
    std::vector<int> screen(40 * 30, -1);
    int totalDelay = 0;
    for (int f = 0; f < gif->ImageCount; ++f) {
        const SavedImage& image = gif->SavedImages[f];
        GraphicsControlBlock gcb;
        ASSERT_EQ(DGifSavedExtensionToGCB(gif, f, &gcb), GIF_OK);
        totalDelay += gcb.DelayTime;
        const GifImageDesc& d = image.ImageDesc;
        EXPECT_TRUE(f % 4 == 0 || d.Width * d.Height < 40 * 30)
            << "frame " << f << " stored whole";  // 0 and 4 change every pixel
        for (int i = 0; i < d.Width * d.Height; ++i) {
            if (image.RasterBits[i] != gcb.TransparentColor) {
                screen[static_cast<size_t>((d.Top + i / d.Width) * 40 + d.Left + i % d.Width)] =
                    image.RasterBits[i];
            }
        }
        for (int i = 0; i < 40 * 30; i += 7) {
            const GifColorType& c = gif->SColorMap->Colors[screen[static_cast<size_t>(i)]];
            const bool patch = f == 4 ? i % 40 < 20 : frames[f].pixels[i * 4] != 240;
            const int* want = patch ? shown[f] : f == 4 ? shown[5] : shown[0];
            EXPECT_NEAR(c.Red, want[0], 8) << "frame " << f << " pixel " << i;
            EXPECT_NEAR(c.Blue, want[2], 8) << "frame " << f << " pixel " << i;
        }
    }
    EXPECT_EQ(totalDelay, 17);  // 5 frames at 30 per second: 3+4+3+3+4 hundredths
    DGifCloseFile(gif, &code);
}

}  // namespace
}  // namespace kivanime_player
