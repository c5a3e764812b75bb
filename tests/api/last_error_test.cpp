// Anime_GetLastError: every failure says why, with file, line and column
// where there is one; success clears it; each thread has its own; what the
// lenient reader repairs is not an error.
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

using LastError = ApiTest;

TEST_F(LastError, EveryFailureSaysWhyAndSuccessClearsIt) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"name": "p", "texture": "t"}]})");
    const uint32_t id = Anime_CreateInstance("m");
    float out[6];
    // Each call fails with its reason, which the next successful call clears.
    const auto fails = [](int64_t result, const std::string& reason) {
        EXPECT_EQ(result, 0) << reason;
        EXPECT_EQ(Anime_GetLastError(), reason);
        Anime_Update(0.0f);
        EXPECT_STREQ(Anime_GetLastError(), "");
    };
    const std::string gone = dir_ + "gone.json";
    const std::string model = "cannot load model \"x\": ";
    const std::string expected = ": expected a JSON object, found ";
    fails(Anime_LoadModel("x", gone.c_str()), model + "cannot read file \"" + gone + "\"");
    // A file that is not an object: its text, where, and what was found
    // instead.
    const std::tuple<const char*, const char*, std::string> files[] = {
        {"[1, 2]", ":1:1", "an array \"[1, 2]\""},
        {"\n  nul,", ":2:3", "\"nul,\""},
        {"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[", ":1:1", "an array \"" + std::string(20, '[') + "...\""},
        {" \n", ":2:1", "no value at all"},
        {"\xEF\xBB\xBF{}", ":1:1", "a UTF-8 byte-order mark (save the text without it)"},
    };
    for (const auto& [text, at, found] : files) {
        const std::string path = writeFile("bad.json", text);
        fails(Anime_LoadModel("x", path.c_str()), model + path + at + expected + found);
    }
    const std::string cafe = writeFile("cafe.json", "\"caf\xC3\xA9\" {}");
    fails(Anime_LoadMotion("m", cafe.c_str()), "cannot load a motion into model \"m\": " + cafe +
                                                   ":1:1" + expected +
                                                   "a string \"\"caf\xC3\xA9\" {}\"");
    fails(Anime_LoadModelFromMemory("x", "  42", 4, nullptr),
          model + "memory:1:3" + expected + "a number \"42\"");
    fails(Anime_LoadExpressionFromMemory("m", "{}", 0),
          "cannot load an expression into model \"m\": memory:1:1" + expected + "no value at all");
    fails(Anime_LoadMotion("x", gone.c_str()), "no model named \"x\" is loaded");
    // (CreateInstance's "no model" reason is pinned by the thread check below.)
    fails(Anime_PlayMotion(99, "idle", 1.0f), "no instance with id 99");
    const std::string of = "model \"m\" (instance 1) has no ";
    fails(Anime_PlayOverlay(id, "run", 1.0f, 1.0f), of + "motion named \"run\"");
    fails(Anime_QueueMotion(id, "run", 1.0f, 0.0f), of + "motion named \"run\"");
    fails(Anime_SetExpression(id, "grin"), of + "expression named \"grin\"");
    fails(Anime_GetPartTransform(id, "arm", out), of + "part named \"arm\"");
    fails(Anime_SetPartTexture(id, "p", "u"), of + "texture named \"u\"");
    fails(Anime_SetSkin(id, "red"), of + "skin named \"red\"");
    fails(Anime_LoadModel(nullptr, "a.json"), "modelName is NULL");
    fails(Anime_LoadModelFromMemory("x", nullptr, 0, nullptr), "json is NULL");
    fails(Anime_LoadMotionFromMemory("m", "{}", -1), "length is negative");
    fails(Anime_FadeOverlay(id, "run", 0.0f, 0.0f), "instance 1 plays no overlay named \"run\"");
    fails(Anime_FadeOverlay(id, "run", NAN, 0.0f), "targetWeight is NaN");
    fails(Anime_GetEvent(0, nullptr), "out is NULL");
    fails(Anime_GetEventText(0, 0) != nullptr, "no event at index 0 (the last update has 0)");
    // A long reason is cut to 1,023 bytes, never inside a character.
    for (const auto& [name, kept] : {std::pair<std::string, size_t>{std::string(996, 'x'), 1023},
                                     {std::string(997, 'x'), 1023},
                                     {std::string(1006, 'x') + "\xC3\xA9", 1022}}) {
        EXPECT_EQ(Anime_CreateInstance(name.c_str()), 0u);
        EXPECT_EQ(std::strlen(Anime_GetLastError()), kept) << name.size();
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
    int32_t seenCode = -1;
    std::thread other([&] {
        seen = Anime_GetLastError();
        seenCode = Anime_GetLastErrorCode();
        Anime_CreateInstance("other");
        own = Anime_GetLastError();
    });
    other.join();
    EXPECT_EQ(seen, "");
    EXPECT_EQ(seenCode, ANIME_ERROR_NONE);
    EXPECT_EQ(own, "no model named \"other\" is loaded");
    EXPECT_STREQ(Anime_GetLastError(), "no model named \"main\" is loaded");
    EXPECT_EQ(Anime_GetLastErrorCode(), ANIME_ERROR_UNKNOWN_MODEL);
}

}  // namespace
}  // namespace kivanime::test
