// The player as a user runs it: a golden frame of the sample scene, and a
// clear message with its own exit code for each kind of bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "image.h"
#include "image_io.h"
#include "support/run_program.h"

namespace kivanime_player {
namespace {

namespace fs = std::filesystem;

using RunResult = kivanime::test::ProgramRun;

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               (std::string("kivanime_player_") + info->test_suite_name() + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Path(const std::string& name) const { return dir_ / name; }

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }

    // Runs the player with the built library and the given arguments.
    RunResult Run(std::vector<std::string> args, bool withLibrary = true) const {
        if (withLibrary) {
            args.insert(args.begin(), {"--library", KIVANIME_LIBRARY_FILE});
        }
        return kivanime::test::RunProgram(KIVANIME_PLAYER_EXE, args, dir_ / "run");
    }

    // A 4 x 4 white texture, dot.png.
    void WriteDot() const {
        Rgba8Image dot;
        dot.width = dot.height = 4;
        dot.pixels.assign(64, 255);
        std::string error;
        ASSERT_TRUE(WritePng(Path("dot.png").string(), dot, error)) << error;
    }

    static std::string Hero(const std::string& file) {
        return std::string(KIVANIME_SOURCE_DIR) + "/examples/hero/" + file;
    }

    fs::path dir_;
};

TEST_F(PlayerTest, GoldenFrameOfTheSampleScene) {
    // Keep these arguments in step with the kivanime_player_golden target.
    const std::string still = Path("frame.png").string();
    const RunResult r =
        Run({"--timeline", Hero("scene.json"), "--frames", "86", "--quiet", "--still", still});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    Rgba8Image actual, golden;
    std::string error;
    ASSERT_TRUE(ReadPng(still, actual, error)) << error;
    ASSERT_TRUE(ReadPng(KIVANIME_PLAYER_GOLDEN, golden, error))
        << error << " (regenerate with: cmake --build <build> --target kivanime_player_golden)";
    ASSERT_EQ(actual.width, golden.width);
    ASSERT_EQ(actual.height, golden.height);
    // A few levels of difference are rounding; anything larger on more than a
    // handful of pixels is a change in what is drawn.
    int differing = 0;
    int worst = 0;
    for (size_t i = 0; i < actual.pixels.size(); ++i) {
        const int d = std::abs(actual.pixels[i] - golden.pixels[i]);
        worst = std::max(worst, d);
        differing += d > 6 ? 1 : 0;
    }
    EXPECT_LE(differing, static_cast<int>(actual.pixels.size() / 2000))
        << "worst channel difference " << worst
        << "; if the change is intended, regenerate with: cmake --build <build> --target "
           "kivanime_player_golden";
}

TEST_F(PlayerTest, WritesFramesGifAndContactSheet) {
    std::vector<std::string> args = Words(
        "--motion walk --overlay wave:0.8:1.5 --expression smile --frames 6 --size 128x128 "
        "--scale 0.25 --turn 20 --wind 20,0 --crowd 4 --sheet-frames 0,5 --sheet-columns 2");
    args.insert(args.end(),
                {Hero("model.json"), "--output", Path("frames").string(), "--gif",
                 Path("a.gif").string(), "--contact-sheet", Path("sheet.png").string()});
    const RunResult r = Run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("6 frames of 128x128, 4 instances"), std::string::npos) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;  // no progress bar when stderr is a file
    for (int i = 0; i < 6; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", i);
        EXPECT_TRUE(fs::exists(Path("frames") / name)) << name;
    }
    EXPECT_GT(fs::file_size(Path("a.gif")), 100u);
    Rgba8Image sheet;
    std::string error;
    ASSERT_TRUE(ReadPng(Path("sheet.png").string(), sheet, error)) << error;
    EXPECT_EQ(sheet.width, 2 * 64 + 3 * 6);
    EXPECT_EQ(sheet.height, 64 + 2 * 6);
}

struct Traced {
    float x, y, rotation, scaleX, scaleY, alpha;
};

// The draw records that --trace printed for the one-part "dot" model.
std::vector<Traced> DotRecords(const std::string& out) {
    std::vector<Traced> records;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find("dot.png ");
        if (at == std::string::npos) {
            continue;
        }
        Traced t{};
        std::istringstream fields(line.substr(at + 8));
        fields >> t.x >> t.y >> t.rotation >> t.scaleX >> t.scaleY >> t.alpha;
        records.push_back(t);
    }
    return records;
}

TEST_F(PlayerTest, PlacesInstancesByOriginScaleCrowdAndTimeline) {
    WriteDot();
    Write(
        "dot.json",
        R"({"textures": {"dot": "dot.png"}, "parts": [{"name": "dot", "texture": "dot", "position": [10, -20]}]})");
    const std::string model = Path("dot.json").string();
    const std::string still = Path("still.png").string();

    RunResult r = Run({model, "--origin", "100,200", "--scale", "2", "--alpha", "0.5", "--frames",
                       "2", "--still", still, "--trace"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<Traced> records = DotRecords(r.out);
    ASSERT_EQ(records.size(), 1u) << r.out;
    EXPECT_FLOAT_EQ(records[0].x, 120.0f);
    EXPECT_FLOAT_EQ(records[0].y, 160.0f);
    EXPECT_FLOAT_EQ(records[0].scaleX, 2.0f);
    EXPECT_FLOAT_EQ(records[0].alpha, 0.5f);

    // A negative scale mirrors across the origin, horizontally only.
    r = Run({model, "--origin", "100,200", "--scale", "-1", "--frames", "1", "--still", still,
             "--trace"});
    records = DotRecords(r.out);
    ASSERT_EQ(records.size(), 1u) << r.err;
    EXPECT_FLOAT_EQ(records[0].x, 90.0f);
    EXPECT_FLOAT_EQ(records[0].y, 180.0f);
    EXPECT_FLOAT_EQ(records[0].scaleX, -1.0f);
    EXPECT_FLOAT_EQ(records[0].scaleY, 1.0f);

    // Half way through a one-second move the eased position is half way.
    Write("move.json",
          R"({"fps": 10, "events": [{"at": 0, "position": [300, 100], "over": 1000}]})");
    r = Run({model, "--timeline", Path("move.json").string(), "--origin", "100,200", "--frames",
             "6", "--still", still, "--trace"});
    records = DotRecords(r.out);
    ASSERT_EQ(records.size(), 1u) << r.err;
    EXPECT_NEAR(records[0].x, 210.0f, 1e-3f);
    EXPECT_NEAR(records[0].y, 130.0f, 1e-3f);

    // Four in a 2 x 2 grid of 100 x 100 cells, each at half size, standing 15
    // px above the bottom of its cell.
    r = Run(
        {model, "--crowd", "4", "--size", "200x200", "--frames", "1", "--still", still, "--trace"});
    records = DotRecords(r.out);
    ASSERT_EQ(records.size(), 4u) << r.err;
    std::vector<std::pair<float, float>> places;
    for (const Traced& t : records) {
        EXPECT_FLOAT_EQ(t.scaleX, 0.5f);
        places.emplace_back(t.x, t.y);
    }
    std::sort(places.begin(), places.end());
    const std::vector<std::pair<float, float>> expected = {
        {55.0f, 75.0f}, {55.0f, 175.0f}, {155.0f, 75.0f}, {155.0f, 175.0f}};
    EXPECT_EQ(places, expected);
}

TEST_F(PlayerTest, TimelineChainsMotionsAndClearsExpressionsAndOverlays) {
    WriteDot();
    fs::create_directories(Path("motions"));
    fs::create_directories(Path("expressions"));
    Write("dot.json", R"({"textures": {"dot": "dot.png"},
        "parts": [{"name": "dot", "texture": "dot", "position": [10, -20]}]})");
    Write("motions/a.json", R"({"name": "a", "duration": 300, "tracks": [
        {"part": "dot", "keyframes": [{"time": 0, "position": [50, 0]}]}]})");
    Write("motions/b.json", R"({"name": "b", "duration": 400, "loop": true, "tracks": [
        {"part": "dot", "keyframes": [{"time": 0, "position": [0, 70]}]}]})");
    Write("motions/o.json", R"({"name": "o", "duration": 1000, "loop": true, "tracks": [
        {"part": "dot", "keyframes": [{"time": 0, "rotation": 1}]}]})");
    Write("expressions/e.json",
          R"({"name": "e", "blendMs": 0, "params": [{"part": "dot", "alpha": 0.5}]})");
    Write("scene.json", R"({"fps": 10, "events": [
        {"at": 0, "motion": "a", "then": "b"}, {"at": 0, "overlay": "o"},
        {"at": 0, "expression": "e"},
        {"at": 500, "clearExpression": true}, {"at": 500, "stopOverlays": true}]})");
    const struct {
        const char* frames;
        Traced expected;
    } cases[] = {
        {"2", {160.0f, 180.0f, 1.0f, 1.0f, 1.0f, 0.5f}},  // a, the overlay and the expression
        {"8", {110.0f, 250.0f, 0.0f, 1.0f, 1.0f, 1.0f}},  // b after a; the rest cleared
    };
    for (const auto& c : cases) {
        const RunResult r = Run({Path("dot.json").string(), "--timeline",
                                 Path("scene.json").string(), "--origin", "100,200", "--frames",
                                 c.frames, "--still", Path("still.png").string(), "--trace"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::vector<Traced> records = DotRecords(r.out);
        ASSERT_EQ(records.size(), 1u) << r.out;
        EXPECT_NEAR(records[0].x, c.expected.x, 1e-3f) << c.frames;
        EXPECT_NEAR(records[0].y, c.expected.y, 1e-3f) << c.frames;
        EXPECT_NEAR(records[0].rotation, c.expected.rotation, 1e-3f) << c.frames;
        EXPECT_NEAR(records[0].alpha, c.expected.alpha, 1e-3f) << c.frames;
    }
}

TEST_F(PlayerTest, BadCommandLinesExitWithUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const std::string model = Hero("model.json");
    const std::string gif = Path("x.gif").string();
    const Case cases[] = {
        {{model, "--frobnicate", "--gif", gif}, "unknown option '--frobnicate'"},
        {{model, "--size", "0x5", "--gif", gif}, "bad value '0x5' for --size"},
        {{model, "--fps", "fast", "--gif", gif}, "bad value 'fast' for --fps"},
        {{model, "--overlay", "wave:heavy", "--gif", gif}, "bad value 'wave:heavy' for --overlay"},
        {{model, "--gif"}, "option --gif needs a value"},
        {{model}, "nothing to write"},
        {{"--gif", gif}, "no model file given"},
        {{model, model, "--gif", gif}, "more than one model file"},
        {{model, "--frames", "5", "--sheet-frames", "9", "--contact-sheet", gif},
         "--sheet-frames names frame 9"},
    };
    for (const Case& c : cases) {
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(gif));

    const RunResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--motion", "--overlay", "--timeline", "--crowd", "--turn",
                               "--contact-sheet", "--library", "Exit codes"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
}

TEST_F(PlayerTest, BadInputsNameTheProblemAndExitWithItsCode) {
    Write("array.json", "[1, 2, 3]");
    Write("broken.png", "this is not a PNG");
    Write("no_texture.json",
          R"({"textures": {"skin": "missing.png"}, "parts": [{"name": "a", "texture": "skin"}]})");
    Write("bad_texture.json",
          R"({"textures": {"skin": "broken.png"}, "parts": [{"name": "a", "texture": "skin"}]})");
    Write("bad_motion.json", "[]");
    Write("unknown_motion.json", R"({"model": ")" + Hero("model.json") +
                                     R"(", "events": [{"at": 0, "motion": "dance"}]})");
    Write("two_commands.json", R"({"events": [{"at": 0, "motion": "idle", "wind": [1, 0]}]})");
    Write("no_time.json", R"({"events": [{"motion": "idle"}]})");

    struct Case {
        std::vector<std::string> args;
        int code;
        std::string message;
    };
    const std::string model = Hero("model.json");
    const std::string gif = Path("x.gif").string();
    const std::vector<Case> cases = {
        {{Path("nothing.json").string(), "--gif", gif}, 4, "no such file"},
        {{Path("array.json").string(), "--gif", gif}, 4, "it is not a JSON object"},
        {{model, "--load-motion", Path("bad_motion.json").string(), "--gif", gif},
         4,
         "cannot load the motion file"},
        {{model, "--load-expression", Path("nothing.json").string(), "--gif", gif},
         4,
         "cannot load the expression file"},
        {{model, "--motion", "dance", "--gif", gif},
         5,
         "the model has no motion 'dance' (--motion)"},
        {{model, "--overlay", "shrug", "--gif", gif}, 5, "no motion 'shrug' (--overlay)"},
        {{model, "--expression", "angry", "--gif", gif},
         5,
         "the model has no expression 'angry' (--expression)"},
        {{"--timeline", Path("unknown_motion.json").string(), "--gif", gif},
         5,
         "no motion 'dance' (timeline event 0)"},
        {{model, "--timeline", Path("two_commands.json").string(), "--gif", gif},
         4,
         "event 0 has two commands"},
        {{model, "--timeline", Path("no_time.json").string(), "--gif", gif}, 4, "needs \"at\""},
        {{model, "--timeline", Path("nothing.json").string(), "--gif", gif},
         4,
         "cannot read the file"},
        {{Path("no_texture.json").string(), "--gif", gif}, 6, "missing.png"},
        {{Path("bad_texture.json").string(), "--gif", gif}, 6, "cannot load the texture"},
    };
    for (const Case& c : cases) {
        const RunResult r = Run(c.args);
        EXPECT_FALSE(r.crashed) << c.message;
        EXPECT_EQ(r.exitCode, c.code) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("kivanime-player: error: "), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(gif));

    const RunResult noLibrary =
        Run({"--library", Path("nothing.so").string(), model, "--gif", gif}, false);
    EXPECT_EQ(noLibrary.exitCode, 3) << noLibrary.err;
    EXPECT_NE(noLibrary.err.find("cannot load the kivanime library"), std::string::npos);
}

}  // namespace
}  // namespace kivanime_player
