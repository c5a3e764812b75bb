// A host function that calls back into the library while it runs under the
// library's lock: the nested call is refused with its failure value, changes
// nothing, and does not deadlock.
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

constexpr const char* kModel = R"({"textures": {"t": "t.png", "u": "u.png"},
  "parts": [{"name": "p", "texture": "t"}, {"name": "q", "texture": "u", "position": [4, 0]}],
  "motions": {"walk": {"duration": 100}}})";

// Every kind of export, from inside a host call; each must fail.
void CallBackIn(uint32_t id, const std::string& modelPath, std::vector<std::string>& failures) {
    auto expect = [&](bool ok, const char* what) {
        if (!ok) {
            failures.push_back(what);
        }
    };
    expect(Anime_CreateInstance("m") == 0, "CreateInstance");
    expect(Anime_LoadModel("n", modelPath.c_str()) == 0, "LoadModel");
    expect(Anime_LoadMotion("m", modelPath.c_str()) == 0, "LoadMotion");
    expect(Anime_GetInstanceCount() == 0, "GetInstanceCount");
    expect(Anime_HasInstances() == 0, "HasInstances");
    expect(Anime_PlayMotion(id, "walk", 1.0f) == 0, "PlayMotion");
    float x = 5.0f;
    Anime_GetPosition(id, &x, nullptr);
    expect(x == 0.0f, "GetPosition");
    Anime_SetPosition(id, 50.0f, 50.0f);
    Anime_SetScale(id, 2.0f, 2.0f);
    Anime_SetVisible(id, 0);
    Anime_SetAlpha(id, 0.0f);
    Anime_Init(nullptr);
    Anime_SetGlobalWind(1.0f, 1.0f);
    Anime_DestroyInstance(id);
    Anime_UnloadModel("m");
    Anime_DestroyAllInstances();
    Anime_Update(10.0f);
    Anime_Render();
    Anime_Shutdown();
}

using Reentry = ApiTest;

TEST_F(Reentry, NestedCallsFromEveryHostFunctionAreRefused) {
    loadModel("m", kModel);
    const std::string modelPath = dir_ + "m/model.json";
    std::vector<std::string> failures;
    uint32_t current = 0;
    int nested = 0;
    host().onLoad = [&](const std::u16string&) {
        ++nested;
        CallBackIn(current, modelPath, failures);
        return 10;
    };
    host().onDraw = [&](const AnimeDrawParams&) {
        ++nested;
        CallBackIn(current, modelPath, failures);
    };
    host().onRelease = [&](int32_t) {
        ++nested;
        CallBackIn(current, modelPath, failures);
    };

    const uint32_t first = Anime_CreateInstance("m");
    current = first;
    const uint32_t second = Anime_CreateInstance("m");
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);
    EXPECT_EQ(nested, 4);
    updateAndRender(16.0f);
    EXPECT_EQ(nested, 8);
    EXPECT_EQ(host().draws.size(), 4u);
    Anime_DestroyInstance(second);
    EXPECT_EQ(nested, 10);
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);

    // Nothing the nested calls tried took effect.
    host().onLoad = nullptr;
    host().onDraw = nullptr;
    host().onRelease = nullptr;
    EXPECT_EQ(Anime_GetInstanceCount(), 1);
    float x = 5.0f;
    Anime_GetPosition(first, &x, nullptr);
    EXPECT_EQ(x, 0.0f);
    updateAndRender(0.0f);
    ASSERT_EQ(host().draws.size(), 2u);  // still visible, opaque, at home
    EXPECT_EQ(host().draws[0].alpha, 1.0f);
    EXPECT_EQ(host().draws[1].x, 4.0f);
    EXPECT_EQ(host().draws[1].scaleX, 1.0f);
    EXPECT_EQ(Anime_PlayMotion(first, "walk", 1.0f), 1);
    // The host table survived the nested Init(NULL); the model and the
    // counter survived the nested Shutdown.
    EXPECT_EQ(Anime_CreateInstance("m"), 3u);
    EXPECT_EQ(Anime_LoadModel("n", modelPath.c_str()), 1);
}

}  // namespace
}  // namespace kivanime::test
