// What game code changes on top of the animation: part offsets, texture swaps
// and skins, tints. Each acts only when used: an instance that never used
// them, or set them back to neutral and white, draws exactly as before.
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

using PartsFromCode = ApiTest;

// body (label 1) at (100, 50) with arm (2) and its hand (3), and hair (4)
// on a spring without gravity; flat (5) at rest x -0 and rotation -0.
constexpr const char* kBody = R"({"textures": {"t": "t.png"}, "parts": [
    {"name": "body", "texture": "t", "position": [100, 50], "srcRect": [1, 0, 0, 0]},
    {"name": "arm", "parent": "body", "texture": "t", "position": [10, 0], "srcRect": [2, 0, 0, 0]},
    {"name": "hand", "parent": "arm", "texture": "t", "position": [0, 5], "srcRect": [3, 0, 0, 0]},
    {"name": "hair", "parent": "body", "texture": "t", "position": [0, 10],
     "srcRect": [4, 0, 0, 0]},
    {"name": "flat", "texture": "t", "position": [-0.0, 7], "rotation": -0.0,
     "srcRect": [5, 0, 0, 0]}],
  "physics": [{"target": "hair", "gravity": [0, 0]}],
  "motions": {"lift": {"duration": 1000, "loop": true, "tracks": [{"part": "arm",
    "keyframes": [{"time": 0, "position": [0, -4], "scale": [2, 2]}]}]}},
  "expressions": {"reach": {"blendMs": 0, "params": [{"part": "arm", "position": [30, 0], "alpha": 0.5}]}}})";

TEST_F(PartsFromCode, OffsetsComposeWithMotionsExpressionsSpringsAndTheHierarchy) {
    loadModel("o", kBody);
    const char* rows[] = {
        // Shown from the next update on; children follow; the spring's anchor
        // moved with the body: pushed back by 8 x (120, 50), not (100, 50).
        "u 0; off body 20 0 0 1 1 1; r; 1.x 100; u 16; 1.x 120; 2.x 130; 3.x 130; 3.y 55;"
        "4.x~ 119.754",
        // The hand turns with its arm, scales and fades with it.
        "off arm 0 0 1.5707964 1 1 1; u 16; 2.r= 1.5707964; 3.x~ 105; 3.y~ 50",
        "off arm 0 0 0 2 3 0.5; u 16; 2.sx 2; 2.sy 3; 2.a 0.5; 3.y 65; 3.sx 2; 3.a 0.5",
        // On top of the motion (offsets add, factors multiply) and after the
        // expression, which would otherwise pull x to 30 and alpha to 0.5.
        "play lift 1; off arm 1 0 0 2 1 1; u 16; 2.x 111; 2.y 46; 2.sx 4; 2.sy 2",
        "expr reach; off arm 7 0 0 1 1 0.5; u 16; 2.x 137; 2.a 0.25",
        // Set again replaces; nothing adds up over frames; neutral, clearing
        // and refused calls leave the rest pose.
        "off body 20 0 0 1 1 1; off body 5 0 0 1 1 1; u 16; u 16; 1.x 105",
        "off body 20 0 0 1 1 1; u 16; clearoff; r; 1.x 120; u 16; 1.x 100",
        "off body 20 0 0 1 1 1; off arm 3 0 0 1 1 1; off body 0 0 0 1 1 1; u 16; 1.x 100;"
        "2.x 113",
        "off! nope 1 0 0 1 1 1; off! Body 1 0 0 1 1 1; u 16; 1.x 100",
        // Any one channel away from neutral is an offset.
        "off hand 1 0 0 1 1 1; u 16; 3.x 111; off hand 0 1 0 1 1 1; u 16; 3.y 56; 3.x 110;"
        "off hand 0 0 0 2 1 1; u 16; 3.sx 2; 3.y 55; off hand 0 0 0 1 2 1; u 16; 3.sy 2; 3.sx 1;"
        "off hand 0 0 0 1 1 2; u 16; 3.a 2; 3.sy 1",
    };
    for (const char* row : rows) {
        SCOPED_TRACE(row);
        run(std::string("new o;") + row + "; destroy");
    }
    // A zero offset leaves a -0 of the pose as it is.
    run("new o; off flat 3 0 0 1 1 1; u 16; 5.x 3; 5.y 7");
    EXPECT_EQ(Bits(drawn(5)->rotation), Bits(-0.0f));
}

TEST_F(PartsFromCode, NeutralOffsetsAndWhiteTintsDrawExactlyAsNeverSet) {
    const std::string hero = std::string(KIVANIME_SOURCE_DIR) + "/examples/hero/";
    // Each texture gets a handle of its path, the same for every instance.
    host().onLoad = [](const std::u16string& path) {
        return static_cast<int32_t>(std::hash<std::u16string>{}(path) % 1000000);
    };
    ASSERT_EQ(Anime_LoadModel("hero", (hero + "model.json").c_str()), 1);
    ASSERT_EQ(Anime_LoadMotion("hero", (hero + "motions/walk.json").c_str()), 1);
    ASSERT_EQ(Anime_LoadExpression("hero", (hero + "expressions/smile.json").c_str()), 1);
    // The sample puppet walking, smiling, in wind and turned: 1 never uses
    // the calls; 2 sets its offsets neutral again and its tints white; 3
    // clears its offsets and is clamped back to white. The springs remember
    // the frame with offsets: they start again alike.
    const std::string puppet =
        "new hero; play walk 1; expr smile; wind 30 0; 3d 1 0 -360 1500 120 0; angles 25 -5 2;";
    const std::string steered =
        "tint 0.5 0.2 0.9; off head 3 -2 0.1 1.2 0.8 0.5; off hip 0 5 0 1 1 1; ptint head 0 1 0;";
    run(puppet + puppet + steered + puppet + steered +
        "up 40; id 2; off head 0 -0 0 1 1 1; off hip 0 0 0 1 1 1; tint 1 1 1; ptint head 1 1 1;"
        "reset; id 3; clearoff; tint 1.5 nan 1; ptint head 7 nan inf; reset; id 1; reset");
    for (float dt : {0.0f, 16.0f, 250.0f, 7.0f}) {
        Anime_Update(dt);
        host().draws.clear();
        for (uint32_t id : {1u, 2u, 3u}) {
            Anime_RenderInstance(id);
        }
        // Each instance draws the same n records, bit for bit.
        const std::vector<AnimeDrawParams>& d = host().draws;
        const size_t n = d.size() / 3;
        EXPECT_GT(n, 30u);
        EXPECT_EQ(std::memcmp(d.data(), d.data() + n, n * sizeof d[0]), 0) << dt;
        EXPECT_EQ(std::memcmp(d.data(), d.data() + 2 * n, n * sizeof d[0]), 0) << dt;
    }
}

TEST_F(PartsFromCode, TextureSwapsAndSkinsActAsKeyframeSwapsDo) {
    // Handles 100 to 103 for a to d. Part r has no texture of its own.
    loadModel("s", R"({"textures": {"a": "a.png", "b": "b.png", "c": "c.png", "d": "d.png"},
      "parts": [{"name": "p", "texture": "a", "srcRect": [1, 0, 0, 0]},
                {"name": "q", "texture": "b", "srcRect": [2, 0, 0, 0]},
                {"name": "r", "srcRect": [3, 0, 0, 0]}],
      "skins": {"red": {"p": "b", "q": "c", "ghost": "a"}, "broken": {"q": "zzz", "p": 5},
                "back": {"p": "", "q": "a"}, "bad": 7, "r": {"r": "d"}},
      "motions": {"swap": {"duration": 1000, "loop": true, "tracks": [{"part": "p",
                    "keyframes": [{"time": 0, "textureSwap": "c"}]}]},
                  "still": {"duration": 1000, "loop": true}},
      "expressions": {"ex": {"blendMs": 0, "params": [{"part": "q", "textureSwap": "d"}]}}})");
    // At once, without an update; NULL or "" is the part's own texture; a
    // part without a texture gets one; names the model lacks change nothing.
    run("new s; u 0; draws 1,2; ptex p b; r; 1.tex 101; ptex p -; r; 1.tex 100; ptex p c; r;"
        "1.tex 102; ptex p; ptex q a; r; 1.tex 100; 2.tex 100; ptex q -; ptex! p zzz; ptex! ghost "
        "a; ptex! P a; ptex! p A; r;"
        "1.tex 100; ptex r d; r; draws 1,2,3; 3.tex 103; ptex r -; r; draws 1,2");
    // Skins in file order; assignments to missing parts, to missing textures
    // and of other kinds are skipped, "" is the own texture; parts a skin
    // leaves out keep what they show; NULL or "" puts every part back.
    run("skin red; r; 1.tex 101; 2.tex 102; skin r; skin broken; r; 1.tex 101; 2.tex 102;"
        "3.tex 103; skin back; r; 1.tex 100; 2.tex 100; skin! bad; skin! nope; skin! Red; r;"
        "1.tex 100; 2.tex 100; skin -; r; draws 1,2; 1.tex 100; 2.tex 101; skin red; skin; r;"
        "1.tex 100; 2.tex 101");
    // A keyframe swap replaces a swap from code at the next update, and a
    // swap from code replaces the last keyframe swap until the next one.
    run("play swap 1; u 16; 1.tex 102; ptex p b; r; 1.tex 101; u 16; 1.tex 102; play still 1;"
        "u 16; 1.tex 102; skin red; u 16; 1.tex 101; skin -; u 16; 1.tex 100");
    // So does an expression's swap, at weight 0.5 and more.
    run("expr ex; u 16; 2.tex 103; skin red; r; 2.tex 102; u 16; 2.tex 103; clear; u 16;"
        "2.tex 103; skin red; u 16; 2.tex 102");
    // The instance's texture table holds every texture already.
    EXPECT_EQ(host().loads.size(), 4u);
    EXPECT_TRUE(host().releases.empty());
}

TEST_F(PartsFromCode, TintsArePackedRoundedAndClamped) {
    // p (label 1, alpha 0.5) and its child q (2).
    loadModel("c", R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "p", "texture": "t", "alpha": 0.5, "depth": 5, "srcRect": [1, 0, 0, 0]},
        {"name": "q", "parent": "p", "texture": "t", "srcRect": [2, 0, 0, 0]}]})");
    // Calls | p's record | q's record, as the little-endian word of the
    // bytes R, G, B, 255.
    const char* const rows[][3] = {
        {"u 0", "ffffffff", "ffffffff"},
        {"tint 0.3 0.7 0.00980392192", "ff03b34d", "ff03b34d"},  // 76.5, 178.5, 2.5 round up
        {"tint 0.998 0.9985 0", "ff00fffe", "ff00fffe"},
        {"tint 2 -1 inf", "ffff00ff", "ffff00ff"},
        {"tint nan -inf 1e-9", "ff0000ff", "ff0000ff"},
        // The part's own tint times the instance's; a child does not inherit it.
        {"tint 0.5 1 1; ptint p 0.5 0.5 2", "ffff8040", "ffffff80"},
        {"ptint p 0 0.5 1", "ffff8000", "ffffffff"},
        {"ptint p 0.5 0.5 0.5; tint 1 1 0.5", "ff408080", "ff80ffff"},
        {"ptint p 0 0 0; ptint p 1 nan 1; tint 1 1 1", "ffffffff", "ffffffff"},
        {"tint 0 0 0; tint 1 1 1", "ffffffff", "ffffffff"},
        {"ptint! nope 0 0 0; ptint! P 0 0 0", "ffffffff", "ffffffff"},
        // Through the 3D draw too.
        {"3d 1 0 0 1000 0 0; angles 20 0 0; tint 0 1 0", "ff00ff00", "ff00ff00"},
    };
    for (const auto& [calls, p, q] : rows) {
        SCOPED_TRACE(calls);
        run(std::string("new c; u 16; ") + calls + "; r; 1.tint " + p + "; 2.tint " + q +
            "; 1.a 0.5; destroy");
    }
}

}  // namespace
}  // namespace kivanime::test
