// The player as a user runs it: golden frames of the sample scene and of
// every blend mode and mask, the files it writes, where the draw records put the puppet, and a
// clear message with its own exit code for each kind of bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "image.h"
#include "sound_writer.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace kivanime_player {
namespace {

namespace fs = std::filesystem;
const std::string kHero = KIVANIME_SOURCE_DIR "/examples/hero/";

class PlayerTest : public ::testing::Test {
protected:
    // Runs the player with the built library; in `words`, "@/" stands for
    // the test's folder and "HERO/" for the sample puppet's.
    kivanime::test::ProgramRun Run(const std::string& words) const {
        std::vector<std::string> args = {"--library", KIVANIME_LIBRARY_FILE};
        std::istringstream in(words);
        for (std::string word; in >> word;) {
            word = word.starts_with("@/") ? (dir_ / word.substr(2)).string() : word;
            args.push_back(word.starts_with("HERO/") ? kHero + word.substr(5) : word);
        }
        return kivanime::test::RunProgram(KIVANIME_PLAYER_EXE, args, dir_ / "run");
    }

    // A one-part model, dot.json, with a 4 x 4 white texture and the
    // parameter "open" that moves it right by 100; motions "a" (moving it
    // right, with events at its start and end), "b" (down, looping, with an
    // event half way) and the overlay "o" (turning it).
    void WriteDot() const {
        std::string error;
        ASSERT_TRUE(
            WritePng((dir_ / "dot.png").string(), {4, 4, std::vector<uint8_t>(64, 255)}, error));
        dir_.Write("dot.json", R"({"textures": {"dot": "dot.png"},
            "parts": [{"name": "dot", "texture": "dot", "position": [10, -20]}],
            "parameters": [{"name": "open"}], "bindings": [{"part": "dot", "parameters": ["open"],
            "keys": [{"at": 0}, {"at": 1, "position": [100, 0]}]}]})");
        dir_.Write("motions/a.json", R"({"name": "a", "duration": 300, "events": [{"name": "go"},
            {"time": 300, "name": "done", "int": 3, "string": "x y"}],
            "tracks": [{"part": "dot", "keyframes": [{"time": 0, "position": [50, 0]}]}]})");
        dir_.Write("motions/b.json", R"({"name": "b", "duration": 400, "loop": true,
            "events": [{"time": 200, "name": "half"}],
            "tracks": [{"part": "dot", "keyframes": [{"time": 0, "position": [0, 70]}]}]})");
        dir_.Write("motions/o.json", R"({"name": "o", "duration": 1000, "loop": true,
            "tracks": [{"part": "dot", "keyframes": [{"time": 0, "rotation": 1}]}]})");
    }

    kivanime::test::ScratchDir dir_{"kivanime_player"};
};

// Whether the image at `path` shows what the golden image does. A few levels
// of difference are rounding; anything larger on more than a handful of
// pixels is a change in what is drawn.
void ExpectGolden(const fs::path& path, const std::string& golden) {
    Rgba8Image actual, expected;
    std::string error;
    ASSERT_TRUE(ReadPng(path.string(), actual, error)) << error;
    ASSERT_TRUE(ReadPng(golden, expected, error)) << error;
    ASSERT_EQ(actual.pixels.size(), expected.pixels.size());
    int differing = 0;
    for (size_t i = 0; i < actual.pixels.size(); ++i) {
        differing += std::abs(actual.pixels[i] - expected.pixels[i]) > 6 ? 1 : 0;
    }
    EXPECT_LE(differing, static_cast<int>(actual.pixels.size() / 2000))
        << golden << ": if the change is intended, regenerate with: cmake --build <build dir> "
        << "--target kivanime_player_golden";
}

TEST_F(PlayerTest, GoldenFramesOfTheSampleScenesAndTheOtherOutputs) {
    // Keep the arguments before --gif, and the second run's, in step with the
    // kivanime_player_golden target.
    const auto r =
        Run("--timeline HERO/scene.json --frames 86 --quiet --still @/frame.png "
            "--gif @/a.gif --contact-sheet @/sheet.png --sheet-frames 0,85,40 "
            "--sheet-columns 2 --thumb-scale 0.25");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.empty() && r.err.empty()) << r.out << r.err;  // no progress bar in a file
    ExpectGolden(dir_ / "frame.png", KIVANIME_PLAYER_GOLDEN);
    EXPECT_GT(fs::file_size(dir_ / "a.gif"), 1000u);
    // Tiles of 128 x 128 in two columns and two rows, 6 px apart.
    Rgba8Image sheet;
    std::string error;
    ASSERT_TRUE(ReadPng((dir_ / "sheet.png").string(), sheet, error)) << error;
    EXPECT_EQ(sheet.width * 1000 + sheet.height, (2 * 128 + 3 * 6) * 1000 + 2 * 128 + 3 * 6);
    // The sample puppet in its second outfit, with a texture swapped, its head
    // turned and its ribbon and the whole puppet tinted from the timeline.
    const std::string golden = KIVANIME_PLAYER_GOLDEN_DIR;
    const auto forest =
        Run("--timeline " + golden + "/forest.json --frames 1 --quiet --still @/f.png");
    ASSERT_EQ(forest.exitCode, 0) << forest.err;
    ExpectGolden(dir_ / "f.png", golden + "/hero-forest.png");
    // Every blend mode over a coloured ground, a part clipped by a quad and a
    // multiply part clipped by a hidden mesh; the records carry the modes.
    const auto blend =
        Run("--timeline " + golden + "/blend.json --frames 1 --quiet --still @/b.png --trace");
    ASSERT_EQ(blend.exitCode, 0) << blend.err;
    ExpectGolden(dir_ / "b.png", golden + "/blend.png");
    for (const char* record : {"glow.png 40.00 38.00 0.0000 1.6000 1.6000 1.000 0.500 0.500 "
                               "0,0,32,32 ffffffff flags 1\n",
                               "shade.png 116.00 76.00 0.4000 1.5000 1.5000 1.000 0.500 0.500 "
                               "0,0,32,24 ffffffff flags 2\n",
                               "light.png 126.00 28.00 0.0000 1.4000 1.4000 0.850 0.500 0.500 "
                               "0,0,32,24 ffffffff flags 3\n",
                               "iris.png 75.50 75.50 0.3000 1.5000 1.5000 1.000 0.500 0.500 "
                               "0,0,12,12 ffffffff\n"}) {
        EXPECT_NE(blend.out.find(record), std::string::npos) << record << blend.out;
    }
}

// The draw records --trace prints: texture x y rotation scaleX scaleY alpha.
TEST_F(PlayerTest, PlacesAndAnimatesInstancesAsAskedAndTimed) {
    WriteDot();
    // A sound whose loudness (its RMS) steps up each frame: 20 frames a
    // second, 50 samples each.
    std::vector<float> voice;
    for (const float loudness : {0.125f, 0.25f, 0.375f, 0.5f}) {
        for (int i = 0; i < 50; ++i) {
            voice.push_back(i % 2 == 0 ? loudness : -loudness);
        }
    }
    ASSERT_TRUE(test::WriteSound((dir_ / "voice.wav").string(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1,
                                 1000, voice));
    dir_.Write("talk.json", R"({"fps": 20, "events": [{"at": 0, "lipSync": "open", "gain": 2},
        {"at": 0, "audio": "voice.wav"}]})");
    dir_.Write("expressions/e.json",
               R"({"name": "e", "blendMs": 0, "params": [{"part": "dot", "alpha": 0.5}]})");
    dir_.Write("hide.json", R"({"events": [{"at": 0, "visible": false}]})");
    dir_.Write("move.json",
               R"({"fps": 10, "events": [{"at": 0, "position": [300, 100], "over": 1000}]})");
    dir_.Write("scene.json", R"({"fps": 10, "events": [
        {"at": 0, "motion": "a", "then": "b"}, {"at": 0, "overlay": "o"},
        {"at": 0, "expression": "e"},
        {"at": 500, "clearExpression": true}, {"at": 500, "stopOverlays": true}]})");
    dir_.Write("control.json", R"({"fps": 10, "events": [{"at": 0, "motion": "a"},
        {"at": 0, "queue": "b", "fade": 0}, {"at": 0, "overlay": "o"},
        {"at": 0, "fadeOverlay": "o", "weight": 0, "fade": 200},
        {"at": 600, "crossFade": "a", "fade": 200}]})");
    const struct {
        const char* args;
        std::vector<const char*> records;
        std::string events = "";  // what --events prints first
    } cases[] = {
        // A negative scale mirrors across the origin, horizontally only.
        {"--scale -2 --alpha 0.5", {"80.00 160.00 0.0000 -2.0000 2.0000 0.500"}},
        // Half way through a one-second move the eased position is half way.
        {"--timeline @/move.json --frames 6", {"210.00 130.00"}},
        {"--timeline @/hide.json", {}},
        // Four in a 2 x 2 grid of 100 x 100 cells at half size, each shifted by
        // half the origin's offset from its default (100, 170).
        {"--crowd 4 --size 200x200",
         {"55.00 90.00 0.0000 0.5000", "155.00 90.00", "55.00 190.00", "155.00 190.00"}},
        // The same crowd with its frames on three threads.
        {"--crowd 4 --size 200x200 --threads 3",
         {"55.00 90.00 0.0000 0.5000", "155.00 90.00", "55.00 190.00", "155.00 190.00"}},
        // Motion a, the overlay and the expression; then b after a, with the
        // expression and the overlays cleared.
        {"--timeline @/scene.json --frames 2", {"160.00 180.00 1.0000 1.0000 1.0000 0.500"}},
        {"--timeline @/scene.json --frames 8", {"110.00 250.00 0.0000 1.0000 1.0000 1.000"}},
        // The lip sync follows each frame's own samples (2 x RMS), then falls
        // by 1 every 100 ms once the sound has ended.
        {"--timeline @/talk.json --frames 1", {"135.00 180.00"}},
        {"--timeline @/talk.json --frames 3", {"185.00 180.00"}},
        {"--timeline @/talk.json --frames 5", {"160.00 180.00"}},
        {"--timeline @/talk.json --frames 6", {"110.00 180.00"}},
        // A queued motion takes over when the main motion ends, a cross-fade
        // blends (half way from b to a here), an overlay fades out; the
        // motions' events as they are announced, and b not yet wrapped.
        {"--timeline @/control.json --frames 7 --events",
         {"135.00 215.00 0.0000 1.0000 1.0000 1.000"},
         "frame 1 instance 2 main \"a\" event \"go\" at 0 late 100.00 int 0 float 0 string \"\"\n"
         "frame 3 instance 2 main \"a\" event \"done\" at 300 late 0.00 int 3 float 0 string \"x "
         "y\"\n"
         "frame 3 instance 2 main \"a\" end at 300 late 0.00\n"
         "frame 5 instance 2 main \"b\" event \"half\" at 200 late 0.00 int 0 float 0 string \"\"\n"
         "frame 6 instance 2 main \"a\" event \"go\" at 0 late 100.00 int 0 float 0 string \"\"\n"},
    };
    for (const auto& c : cases) {
        const auto r =
            Run(std::string("@/dot.json --origin 100,200 --frames 1 --still @/s.png --trace ") +
                c.args);
        ASSERT_EQ(r.exitCode, 0) << c.args << "\n" << r.err;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'),
                  std::ssize(c.records) + 2 + std::count(c.events.begin(), c.events.end(), '\n'))
            << r.out;
        EXPECT_TRUE(r.out.starts_with(c.events)) << r.out;
        for (const char* record : c.records) {
            EXPECT_NE(r.out.find(std::string("dot.png ") + record), std::string::npos) << r.out;
        }
    }
}

TEST_F(PlayerTest, BadInputsNameTheProblemAndExitWithItsCode) {
    dir_.Write("array.json", "[1, 2, 3]");
    dir_.Write("late.json", "\n\n  \"text\"");
    dir_.Write("missing.json", R"({"textures": {"s": "missing.png"}, "parts": [{"name": "a",
        "texture": "s"}]})");
    dir_.Write("unknown.json", R"({"model": "dot.json", "events": [{"at": 0, "stopMotion": true},
        {"at": 0, "motion": "a", "then": "dance"}]})");
    dir_.Write("skin.json", R"({"model": "dot.json", "events": [{"at": 0, "skin": ""},
        {"at": 0, "tint": [1, 0, 0], "part": "dot"}, {"at": 0, "skin": "gold"}]})");
    dir_.Write("part.json", R"({"model": "dot.json", "events": [
        {"at": 0, "partTexture": "dot", "part": "dot"}, {"at": 0, "partTexture": "x", "part": "dot"},
        {"at": 0, "partOffset": [1, 0, 0, 1, 1, 1], "part": "dto"}]})");
    dir_.Write("sound.json", R"({"model": "dot.json", "events": [{"at": 40, "audio": "no.wav"}]})");
    WriteDot();
    // Each case: the arguments | the exit code | what the message says.
    for (
        const std::string c : {
            "@/dot.json --size 0x5 --gif @/x.gif|2|bad value '0x5' for --size (expected WxH)",
            "@/dot.json|2|nothing to write",
            "--gif @/x.gif|2|no model file given",
            "@/dot.json @/dot.json --gif @/x.gif|2|more than one model file",
            "@/dot.json --frames 5 --sheet-frames 9 --still @/x.png|2|the last frame is 4",
            "--library @/nothing.so @/dot.json --gif @/x.gif|3|cannot load the kivanime library",
            // A refused load: the library's reason, with the file, line and column.
            "@/nothing.json --gif @/x.gif|4|cannot read file \"@/nothing.json\"",
            "@/array.json --gif @/x.gif|4|@/array.json:1:1: expected a JSON object, found an array",
            "@/late.json --gif @/x.gif|4|model \"puppet\": @/late.json:3:3: expected a JSON object",
            "@/dot.json --load-motion @/late.json --gif @/x.gif|4|"
            "cannot load a motion into model \"puppet\": @/late.json:3:3: expected a JSON object",
            "@/dot.json --load-expression @/late.json --gif @/x.gif|4|"
            "cannot load an expression into model \"puppet\": @/late.json:3:3: expected a JSON",
            "@/dot.json --timeline @/no.json --gif @/x.gif|4|cannot read the file",
            "--timeline @/sound.json --gif @/x.gif|4|cannot read the sound file '@/no.wav': ",
            "@/dot.json --expression angry --gif @/x.gif|5|no expression 'angry' (--expression)",
            "--timeline @/unknown.json --gif @/x.gif|5|no motion 'dance' (timeline event 1)",
            "--timeline @/skin.json --gif @/x.gif|5|no skin 'gold' (timeline event 2)",
            "--timeline @/part.json --gif @/x.gif|5|no texture 'x' (timeline event 1)",
            "@/missing.json --gif @/x.gif|6|missing.png': No such file",
            "@/dot.json --gif /dev/full --frames 2|1|cannot write '/dev/full'",
        }) {
        const size_t bar = c.find('|');
        const auto r = Run(c.substr(0, bar));
        EXPECT_EQ(r.exitCode, std::stoi(c.substr(bar + 1))) << c << "\n" << r.err;
        EXPECT_NE(r.err.find("kivanime-player: error: "), std::string::npos) << r.err;
        const std::string message = std::regex_replace(c.substr(c.find('|', bar + 1) + 1),
                                                       std::regex("@/"), (dir_ / "").string());
        EXPECT_NE(r.err.find(message), std::string::npos) << message << "\n" << r.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "x.gif"));
}

}  // namespace
}  // namespace kivanime_player
