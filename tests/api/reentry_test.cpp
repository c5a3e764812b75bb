// A host function that calls back into the library while it runs under the
// library's lock: the nested call is refused with its failure value, changes
// nothing, and does not deadlock.
#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

using Reentry = ApiTest;

TEST_F(Reentry, NestedCallsFromEveryHostFunctionAreRefused) {
    loadModel("m", R"({"textures": {"t": "t.png", "u": "u.png"},
        "parts": [{"name": "p", "texture": "t", "srcRect": [1, 0, 0, 0]},
                  {"name": "q", "texture": "u", "position": [4, 0], "srcRect": [2, 0, 0, 0]}],
        "motions": {"walk": {"duration": 100, "events": [{"name": "go"}]}}})");
    const std::string modelPath = dir_ + "m/model.json";
    int nested = 0;
    // Every kind of export, from inside a host call; each must fail (what each
    // answers is in error_code_test.cpp) and change nothing.
    auto callBackIn = [&] {
        ++nested;
        id_ = 1;
        run("new! m; count 0; play! walk 1; pos 50 50; scale 2 2; vis 0; alpha 0; gwind 1 1;"
            "destroy");
        Anime_LoadModel("n", modelPath.c_str());
        float x = 5.0f;
        Anime_GetPosition(1, &x, nullptr);
        EXPECT_EQ(x, 0.0f);
        Anime_Init(nullptr);
        Anime_UnloadModel("m");
        Anime_DestroyAllInstances();
        Anime_Update(10.0f);
        Anime_Render();
        Anime_Shutdown();
    };
    host().onLoad = [&](const std::u16string&) {
        callBackIn();
        return 10;
    };
    host().onDraw = [&](const AnimeDrawParams&) { callBackIn(); };
    host().onRelease = [&](int32_t) { callBackIn(); };
    EXPECT_EQ(Anime_CreateInstance("m"), 1u);
    EXPECT_EQ(Anime_CreateInstance("m"), 2u);
    EXPECT_EQ(nested, 4);
    Anime_PlayMotion(1, "walk", 1.0f);
    Anime_PlayOverlay(1, "walk", 1.0f, 1.0f);
    updateAndRender(16.0f);
    EXPECT_EQ(nested, 8);
    EXPECT_EQ(Anime_GetEventCount(), 2);
    EXPECT_EQ(host().draws.size(), 4u);
    Anime_DestroyInstance(2);
    EXPECT_EQ(nested, 10);

    // Nothing the nested calls tried took effect: still visible, opaque, at
    // home; the host table survived the nested Init(NULL), the model and the
    // counter the nested Shutdown.
    host().onLoad = nullptr;
    host().onDraw = nullptr;
    host().onRelease = nullptr;
    run("id 1; count 1; u 0; draws 1,2; 1.a 1; 2.x 4; 2.sx 1; play walk 1; new m");
    EXPECT_EQ(id_, 3u);
    EXPECT_EQ(host().loads.size(), 6u);
    EXPECT_EQ(Anime_LoadModel("n", modelPath.c_str()), 1);
}

}  // namespace
}  // namespace kivanime::test
