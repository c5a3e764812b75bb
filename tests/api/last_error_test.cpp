// Anime_GetLastError: every failure says why, with file, line and column
// where there is one; success clears it; each thread has its own; what the
// lenient reader repairs is not an error.
#include <cmath>
#include <functional>
#include <string>
#include <thread>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

using LastError = ApiTest;

TEST_F(LastError, EveryFailureSaysWhyAndSuccessClearsIt) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"name": "p", "texture": "t"}]})");
    const uint32_t id = Anime_CreateInstance("m");
    float out[6];
    const std::string gone = dir_ + "gone.json";
    std::string files[6];
    const char* texts[6] = {
        "[1, 2]",         "\n  nul,",           " \n",
        "\xEF\xBB\xBF{}", "\"caf\xC3\xA9\" {}", "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["};
    for (int i = 0; i < 6; ++i) {
        files[i] = writeFile(std::to_string(i) + ".json", texts[i]);
    }
    const std::string model = "cannot load model \"x\": ";
    const std::string expected = ": expected a JSON object, found ";
    const struct {
        std::function<int64_t()> call;
        std::string reason;
    } cases[] = {
        {[&] { return Anime_LoadModel("x", gone.c_str()); },
         model + "cannot read file \"" + gone + "\""},
        {[&] { return Anime_LoadModel("x", files[0].c_str()); },
         model + files[0] + ":1:1" + expected + "an array \"[1, 2]\""},
        {[&] { return Anime_LoadModel("x", files[1].c_str()); },
         model + files[1] + ":2:3" + expected + "\"nul,\""},
        {[&] { return Anime_LoadModel("x", files[5].c_str()); },
         model + files[5] + ":1:1" + expected + "an array \"" + std::string(20, '[') + "...\""},
        {[&] { return Anime_LoadModel("x", files[2].c_str()); },
         model + files[2] + ":2:1" + expected + "no value at all"},
        {[&] { return Anime_LoadModel("x", files[3].c_str()); },
         model + files[3] + ":1:1" + expected +
             "a UTF-8 byte-order mark (save the text without it)"},
        {[&] { return Anime_LoadMotion("m", files[4].c_str()); },
         "cannot load a motion into model \"m\": " + files[4] + ":1:1" + expected +
             "a string \"\"caf\xC3\xA9\" {}\""},
        {[&] { return Anime_LoadModelFromMemory("x", "  42", 4, nullptr); },
         model + "memory:1:3" + expected + "a number \"42\""},
        {[&] { return Anime_LoadExpressionFromMemory("m", "{}", 0); },
         "cannot load an expression into model \"m\": memory:1:1" + expected + "no value at all"},
        {[&] { return Anime_LoadMotion("x", gone.c_str()); }, "no model named \"x\" is loaded"},
        {[&] { return Anime_CreateInstance("x"); }, "no model named \"x\" is loaded"},
        {[&] { return Anime_PlayMotion(99, "idle", 1.0f); }, "no instance with id 99"},
        {[&] { return Anime_PlayOverlay(id, "run", 1.0f, 1.0f); },
         "model \"m\" (instance 1) has no motion named \"run\""},
        {[&] { return Anime_SetExpression(id, "grin"); },
         "model \"m\" (instance 1) has no expression named \"grin\""},
        {[&] { return Anime_GetPartTransform(id, "arm", out); },
         "model \"m\" (instance 1) has no part named \"arm\""},
        {[&] { return Anime_SetPartTexture(id, "p", "u"); },
         "model \"m\" (instance 1) has no texture named \"u\""},
        {[&] { return Anime_SetSkin(id, "red"); },
         "model \"m\" (instance 1) has no skin named \"red\""},
        {[&] { return Anime_LoadModel(nullptr, "a.json"); }, "modelName is NULL"},
        {[&] { return Anime_LoadModelFromMemory("x", nullptr, 0, nullptr); }, "json is NULL"},
        {[&] { return Anime_LoadMotionFromMemory("m", "{}", -1); }, "length is negative"},
        {[&] { return Anime_QueueMotion(id, "run", 1.0f, 0.0f); },
         "model \"m\" (instance 1) has no motion named \"run\""},
        {[&] { return Anime_FadeOverlay(id, "run", 0.0f, 0.0f); },
         "instance 1 plays no overlay named \"run\""},
        {[&] { return Anime_FadeOverlay(id, "run", NAN, 0.0f); }, "targetWeight is NaN"},
        {[&] { return Anime_GetEvent(0, nullptr); }, "out is NULL"},
        {[&] { return Anime_GetEventText(0, 0) != nullptr; },
         "no event at index 0 (the last update has 0)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), 0) << c.reason;
        EXPECT_EQ(Anime_GetLastError(), c.reason);
        Anime_Update(0.0f);
        EXPECT_STREQ(Anime_GetLastError(), "");
    }
    // What the lenient reader repairs silently is not an error.
    Anime_CreateInstance("x");
    const std::string lenient = writeFile("lenient.json", R"({"parts": [1, 2,], "bogus": tru)");
    EXPECT_EQ(Anime_LoadModel("lenient", lenient.c_str()), 1);
    EXPECT_STREQ(Anime_GetLastError(), "");
    EXPECT_EQ(Anime_GetVersion(), KIVANIME_VERSION);
}

TEST_F(LastError, RefusedTexturesNestedCallsAndThreads) {
    loadModel("m", R"({"textures": {"a": "a.png", "b": "b.png", "c": "c.png"},
        "parts": [{"name": "p", "texture": "a"}]})");
    host().onLoad = [](const std::u16string& path) { return path.ends_with(u"a.png") ? 7 : -1; };
    EXPECT_EQ(Anime_CreateInstance("m"), 1u);
    EXPECT_EQ(std::string(Anime_GetLastError()),
              "instance 1 was created, but the host refused texture \"b\" (\"" + dir_ +
                  "m/b.png\"): parts showing it are not drawn (and 1 more texture)");
    host().onLoad = [](const std::u16string& path) { return path.ends_with(u"c.png") ? -1 : 7; };
    EXPECT_EQ(Anime_CreateInstance("m"), 2u);
    EXPECT_EQ(std::string(Anime_GetLastError()),
              "instance 2 was created, but the host refused texture \"c\" (\"" + dir_ +
                  "m/c.png\"): parts showing it are not drawn");

    std::string inside;
    host().onDraw = [&](const AnimeDrawParams&) {
        Anime_CreateInstance("m");
        inside = Anime_GetLastError();
    };
    updateAndRender(16.0f);
    EXPECT_EQ(inside.rfind("refused: a host function", 0), 0u) << inside;
    EXPECT_STREQ(Anime_GetLastError(), "");

    Anime_CreateInstance("main");
    std::string seen;
    std::string own;
    std::thread other([&] {
        seen = Anime_GetLastError();
        Anime_CreateInstance("other");
        own = Anime_GetLastError();
    });
    other.join();
    EXPECT_EQ(seen, "");
    EXPECT_EQ(own, "no model named \"other\" is loaded");
    EXPECT_STREQ(Anime_GetLastError(), "no model named \"main\" is loaded");
}

}  // namespace
}  // namespace kivanime::test
