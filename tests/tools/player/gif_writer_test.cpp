// The GIF writer stores only what changed between frames; reading the file
// back and replaying it must give every frame again.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gif_writer.h"

namespace kivanime_player {
namespace {

Rgba8Image Frame(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    Rgba8Image image;
    image.width = w;
    image.height = h;
    image.pixels.resize(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        image.pixels[i] = r;
        image.pixels[i + 1] = g;
        image.pixels[i + 2] = b;
        image.pixels[i + 3] = 255;
    }
    return image;
}

void Paint(Rgba8Image& image, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    }
}

TEST(PlayerGif, ReplayingTheFileGivesEveryFrameBack) {
    const int w = 40, h = 30;
    std::vector<Rgba8Image> frames;
    frames.push_back(Frame(w, h, 240, 236, 226));
    frames.push_back(frames.back());
    Paint(frames.back(), 5, 5, 15, 12, 200, 40, 40);
    frames.push_back(frames.back());  // unchanged frame
    frames.push_back(frames.back());
    Paint(frames.back(), 5, 5, 15, 12, 240, 236, 226);
    Paint(frames.back(), 30, 20, 38, 29, 40, 60, 200);

    std::vector<uint8_t> samples;
    for (const uint8_t c : {240, 236, 226, 200, 40, 40, 40, 60, 200}) {
        samples.push_back(c);
    }
    const std::string path =
        (std::filesystem::temp_directory_path() / "kivanime_player_gif_test.gif").string();
    std::string error;
    GifWriter writer;
    ASSERT_TRUE(writer.Open(path, w, h, samples, error)) << error;
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(writer.AddFrame(frames[i], 4, error)) << error;
    }
    ASSERT_TRUE(writer.Close(error)) << error;

    int code = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &code);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_EQ(gif->ImageCount, static_cast<int>(frames.size()));
    EXPECT_EQ(gif->SWidth, w);
    EXPECT_EQ(gif->SHeight, h);

    std::vector<int> screen(static_cast<size_t>(w) * h, -1);
    for (int f = 0; f < gif->ImageCount; ++f) {
        const SavedImage& image = gif->SavedImages[f];
        GraphicsControlBlock gcb;
        ASSERT_EQ(DGifSavedExtensionToGCB(gif, f, &gcb), GIF_OK);
        EXPECT_EQ(gcb.DelayTime, 4);
        const GifImageDesc& d = image.ImageDesc;
        if (f > 0) {
            EXPECT_LT(d.Width * d.Height, w * h) << "frame " << f << " stored whole";
        }
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index != gcb.TransparentColor) {
                    screen[static_cast<size_t>(d.Top + y) * w + d.Left + x] = index;
                }
            }
        }
        for (int i = 0; i < w * h; ++i) {
            ASSERT_GE(screen[static_cast<size_t>(i)], 0);
            const GifColorType& c = gif->SColorMap->Colors[screen[static_cast<size_t>(i)]];
            const uint8_t* expected = &frames[static_cast<size_t>(f)].pixels[i * 4];
            EXPECT_NEAR(c.Red, expected[0], 8) << "frame " << f << " pixel " << i;
            EXPECT_NEAR(c.Green, expected[1], 8) << "frame " << f << " pixel " << i;
            EXPECT_NEAR(c.Blue, expected[2], 8) << "frame " << f << " pixel " << i;
        }
    }
    DGifCloseFile(gif, &code);
    std::remove(path.c_str());
}

TEST(PlayerGif, RejectsFramesOfAnotherSizeAndUnwritablePaths) {
    std::string error;
    GifWriter writer;
    EXPECT_FALSE(writer.Open("/nonexistent-folder/x.gif", 8, 8, {0, 0, 0}, error));
    EXPECT_FALSE(error.empty());

    const std::string path =
        (std::filesystem::temp_directory_path() / "kivanime_player_gif_size.gif").string();
    GifWriter sized;
    ASSERT_TRUE(sized.Open(path, 8, 8, {0, 0, 0}, error)) << error;
    EXPECT_FALSE(sized.AddFrame(Frame(9, 8, 0, 0, 0), 4, error));
    EXPECT_TRUE(sized.Close(error));
    std::remove(path.c_str());
}

}  // namespace
}  // namespace kivanime_player
