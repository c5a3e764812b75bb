// Models in the cache, instances in the registry: ids, host tables, texture
// loads and releases, and the paths the host is handed.
#include <algorithm>
#include <filesystem>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

constexpr const char* kThreeTextures = R"({
  "textures": {"body": "tex/body.png", "head": "tex/head.png", "hat": "hat.png"},
  "parts": [{"name": "body", "texture": "body"}, {"name": "head", "texture": "head"},
            {"name": "hat", "texture": "hat"}]
})";

std::vector<int32_t> Sorted(std::vector<int32_t> v) {
    std::sort(v.begin(), v.end());
    return v;
}

using Lifecycle = ApiTest;

TEST_F(Lifecycle, IdsCountUpAndRestartOnlyAtShutdown) {
    loadModel("m", R"({})");
    EXPECT_EQ(Anime_CreateInstance("m"), 1u);
    EXPECT_EQ(Anime_CreateInstance("m"), 2u);
    EXPECT_EQ(Anime_CreateInstance("m"), 3u);
    EXPECT_EQ(Anime_GetInstanceCount(), 3);
    Anime_DestroyInstance(2);
    EXPECT_EQ(Anime_GetInstanceCount(), 2);
    EXPECT_EQ(Anime_CreateInstance("m"), 4u);
    // A failed creation does not move the counter.
    EXPECT_EQ(Anime_CreateInstance("absent"), 0u);
    Anime_DestroyAllInstances();
    EXPECT_EQ(Anime_GetInstanceCount(), 0);
    EXPECT_EQ(Anime_HasInstances(), 0);
    // The cache survives DestroyAllInstances, and the counter goes on.
    EXPECT_EQ(Anime_CreateInstance("m"), 5u);
    Anime_Shutdown();
    EXPECT_EQ(Anime_CreateInstance("m"), 0u);  // the cache is empty now
    loadModel("m", R"({})");
    EXPECT_EQ(Anime_CreateInstance("m"), 1u);
}

TEST_F(Lifecycle, EachInstanceLoadsAndReleasesItsOwnTextures) {
    loadModel("m", kThreeTextures);
    loadModel("k", kThreeTextures);
    const uint32_t a = Anime_CreateInstance("m");
    const uint32_t b = Anime_CreateInstance("m");
    const uint32_t other = Anime_CreateInstance("k");
    ASSERT_EQ(host().loads.size(), 9u);
    // In the model's texture order, under the model file's folder.
    const std::vector<std::string> paths = host().loadedPathsUtf8();
    EXPECT_EQ(paths[0], dir_ + "m/tex/body.png");
    EXPECT_EQ(paths[1], dir_ + "m/tex/head.png");
    EXPECT_EQ(paths[2], dir_ + "m/hat.png");
    EXPECT_EQ(paths[3], paths[0]);

    Anime_DestroyInstance(a);
    EXPECT_EQ(Sorted(host().releases), (std::vector<int32_t>{100, 101, 102}));
    host().releases.clear();
    // Destroying it again reaches no host function.
    Anime_DestroyInstance(a);
    EXPECT_TRUE(host().releases.empty());

    Anime_UnloadModel("m");
    EXPECT_EQ(Sorted(host().releases), (std::vector<int32_t>{103, 104, 105}));
    EXPECT_EQ(Anime_GetInstanceCount(), 1);
    float x = 1.0f;
    Anime_SetPosition(b, 5.0f, 5.0f);
    Anime_GetPosition(b, &x, nullptr);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(Anime_CreateInstance("m"), 0u);

    // The other cache entry, read from an identical file, is untouched.
    Anime_SetPosition(other, 5.0f, 6.0f);
    Anime_GetPosition(other, &x, nullptr);
    EXPECT_EQ(x, 5.0f);
    updateAndRender(16.0f);
    EXPECT_EQ(host().draws.size(), 3u);

    // The name can be loaded again, as a new model.
    host().releases.clear();
    loadModel("m", R"({})");
    EXPECT_EQ(Anime_CreateInstance("m"), 4u);
    Anime_UnloadModel("never-loaded");
    EXPECT_TRUE(host().releases.empty());
    Anime_Shutdown();
    EXPECT_EQ(Sorted(host().releases), (std::vector<int32_t>{106, 107, 108}));
}

TEST_F(Lifecycle, EqualHandlesAreEachReleased) {
    loadModel("m", kThreeTextures);
    host().onLoad = [](const std::u16string&) { return 7; };
    const uint32_t id = Anime_CreateInstance("m");
    Anime_DestroyInstance(id);
    EXPECT_EQ(host().releases, (std::vector<int32_t>{7, 7, 7}));
}

TEST_F(Lifecycle, RefusedTexturesLeaveTheirPartsUndrawn) {
    loadModel("m", kThreeTextures);
    host().onLoad = [](const std::u16string& path) {
        return path.find(u"head") != std::u16string::npos ? -1 : 0;
    };
    const uint32_t id = Anime_CreateInstance("m");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(host().loads.size(), 3u);
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 2u);  // body and hat, both handle 0
    EXPECT_EQ(host().draws[0].texture, 0);
    EXPECT_EQ(host().draws[1].texture, 0);
    Anime_DestroyInstance(id);
    EXPECT_EQ(host().releases, (std::vector<int32_t>{0, 0}));

    host().releases.clear();
    host().onLoad = [](const std::u16string&) { return -5; };
    const uint32_t none = Anime_CreateInstance("m");
    EXPECT_NE(none, 0u);
    updateAndRender(16.0f);
    EXPECT_TRUE(host().draws.empty());
    Anime_DestroyInstance(none);
    EXPECT_TRUE(host().releases.empty());
}

TEST_F(Lifecycle, InstancesKeepTheHostTableOfTheirCreation) {
    loadModel("m", kThreeTextures);
    Anime_Init(nullptr);
    const uint32_t early = Anime_CreateInstance("m");
    EXPECT_NE(early, 0u);
    EXPECT_TRUE(host().loads.empty());

    AnimeHostCallbacks table = host().callbacks();
    Anime_Init(&table);
    const uint32_t late = Anime_CreateInstance("m");
    EXPECT_EQ(host().loads.size(), 3u);

    // A table without draw or release does not reach the instances made
    // before it.
    AnimeHostCallbacks loadOnly{};
    loadOnly.loadTexture = table.loadTexture;
    Anime_Init(&loadOnly);
    const uint32_t mute = Anime_CreateInstance("m");
    EXPECT_EQ(host().loads.size(), 6u);

    updateAndRender(16.0f);
    EXPECT_EQ(host().draws.size(), 3u);  // only `late` draws
    Anime_DestroyInstance(early);
    Anime_DestroyInstance(mute);
    EXPECT_TRUE(host().releases.empty());
    Anime_DestroyInstance(late);
    EXPECT_EQ(host().releases.size(), 3u);

    // Init(NULL): instances made afterwards neither load nor draw.
    Anime_Init(nullptr);
    host().loads.clear();
    Anime_CreateInstance("m");
    updateAndRender(16.0f);
    EXPECT_TRUE(host().loads.empty());
    EXPECT_TRUE(host().draws.empty());
}

TEST_F(Lifecycle, LoadModelKeepsTheFirstFileAndRejectsNonObjects) {
    const std::string first = writeFile("one.json", R"({"textures": {"t": "first.png"}})");
    const std::string second = writeFile("two.json", R"({"textures": {"t": "second.png"}})");
    EXPECT_EQ(Anime_LoadModel("m", first.c_str()), 1);
    EXPECT_EQ(Anime_LoadModel("m", second.c_str()), 1);
    EXPECT_EQ(Anime_LoadModel("m", (dir_ + "missing.json").c_str()), 1);
    Anime_CreateInstance("m");
    ASSERT_EQ(host().loads.size(), 1u);
    EXPECT_EQ(host().loadedPathsUtf8()[0], dir_ + "first.png");

    const std::string bom = writeFile("bom.json", "\xEF\xBB\xBF{}");
    const std::string array = writeFile("array.json", "[{}]");
    const std::string empty = writeFile("empty.json", "");
    for (const std::string& path : {dir_ + "missing.json", bom, array, empty, dir_}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Anime_LoadModel("bad", path.c_str()), 0);
        EXPECT_EQ(Anime_CreateInstance("bad"), 0u);
    }
    // Hostile nesting inside an object loads without exhausting the stack.
    const std::string deep = writeFile("deep.json", "{\"parts\": " + std::string(1000000, '['));
    EXPECT_EQ(Anime_LoadModel("deep", deep.c_str()), 1);
    EXPECT_NE(Anime_CreateInstance("deep"), 0u);

    // The empty name is a name like any other.
    EXPECT_EQ(Anime_LoadModel("", first.c_str()), 1);
    EXPECT_NE(Anime_CreateInstance(""), 0u);
}

TEST_F(Lifecycle, TexturePathsAreTheBaseFolderFollowedByThePath) {
    // The folder ends at the last '/' or '\', whichever comes later.
    const std::string back = writeFile("win\\m.json", R"({"textures": {"t": "t.png"}})");
    ASSERT_EQ(Anime_LoadModel("back", back.c_str()), 1);
    Anime_CreateInstance("back");
    // (On Windows the backslash makes a real folder and the path comes back
    // with '/'; either way the texture sits beside the model file.)
    EXPECT_EQ(host().loadedPathsUtf8().back(), back.substr(0, back.size() - 6) + "t.png");

    // An absolute texture path is appended all the same.
    loadModel("abs", R"({"textures": {"t": "/abs/t.png", "u": ""}})");
    Anime_CreateInstance("abs");
    const std::vector<std::string> paths = host().loadedPathsUtf8();
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[1], dir_ + "abs//abs/t.png");
    EXPECT_EQ(paths[2], dir_ + "abs/");

    // A bare file name has no folder: the host gets the texture path alone,
    // or the empty string.
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    writeFile("bare.json", R"({"textures": {"t": "tex/t.png", "e": ""}})");
    const int32_t loaded = Anime_LoadModel("bare", "bare.json");
    std::filesystem::current_path(saved);
    ASSERT_EQ(loaded, 1);
    host().loads.clear();
    Anime_CreateInstance("bare");
    ASSERT_EQ(host().loads.size(), 2u);
    EXPECT_EQ(host().loads[0], u"tex/t.png");
    EXPECT_EQ(host().loads[1], u"");
}

TEST_F(Lifecycle, MotionsLoadedLaterReachLiveInstances) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"name": "p", "texture": "t"}]})");
    const uint32_t id = Anime_CreateInstance("m");
    EXPECT_EQ(Anime_PlayMotion(id, "slide", 1.0f), 0);
    const std::string motion = writeFile("slide.json", R"({"name": "slide", "duration": 100,
        "tracks": [{"part": "p", "keyframes": [{"time": 0, "position": [0, 0]},
                                               {"time": 100, "position": [50, 0]}]}]})");
    ASSERT_EQ(Anime_LoadMotion("m", motion.c_str()), 1);
    EXPECT_EQ(Anime_PlayMotion(id, "slide", 1.0f), 1);
    updateAndRender(100.0f);
    ASSERT_EQ(host().draws.size(), 1u);
    EXPECT_EQ(host().draws[0].x, 50.0f);
}

TEST_F(Lifecycle, AnEmptyModelMakesAnInstanceThatDrawsNothing) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": []})");
    const uint32_t id = Anime_CreateInstance("m");
    ASSERT_NE(id, 0u);
    updateAndRender(16.0f);
    EXPECT_TRUE(host().draws.empty());
}

}  // namespace
}  // namespace kivanime::test
