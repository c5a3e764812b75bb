// Models in the cache, instances in the registry: ids, host tables, texture
// loads and releases, and the paths the host is handed.
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

constexpr const char* kThreeTextures = R"({
  "textures": {"body": "tex/body.png", "head": "tex/head.png", "hat": "hat.png"},
  "parts": [{"name": "body", "texture": "body", "srcRect": [1, 0, 0, 0]},
            {"name": "head", "texture": "head", "srcRect": [2, 0, 0, 0]},
            {"name": "hat", "texture": "hat", "srcRect": [3, 0, 0, 0]}]})";

using Lifecycle = ApiTest;

TEST_F(Lifecycle, IdsCountUpAndRestartOnlyAtShutdown) {
    loadModel("m", R"({})");
    run("new m; new m; new m; count 3; id 2; destroy; count 2; new m; new! absent; count 3");
    EXPECT_EQ(id_, 4u);  // a failed creation does not move the counter
    Anime_DestroyAllInstances();
    EXPECT_EQ(Anime_CreateInstance("m"), 5u);  // the cache survives, the counter goes on
    Anime_Shutdown();
    EXPECT_EQ(Anime_CreateInstance("m"), 0u);  // the cache is empty now
    loadModel("m", R"({})");
    EXPECT_EQ(Anime_CreateInstance("m"), 1u);
}

TEST_F(Lifecycle, EachInstanceLoadsAndReleasesItsOwnTextures) {
    loadModel("m", kThreeTextures);
    loadModel("k", kThreeTextures);
    run("new m; new m; new k");  // 1, 2 and 3
    // In the model's texture order, under the model file's folder.
    const std::vector<std::string> paths = host().loadedPathsUtf8();
    ASSERT_EQ(paths.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(paths.begin(), paths.begin() + 4),
              (std::vector<std::string>{dir_ + "m/tex/body.png", dir_ + "m/tex/head.png",
                                        dir_ + "m/hat.png", dir_ + "m/tex/body.png"}));
    Anime_DestroyInstance(1);
    Anime_DestroyInstance(1);  // again: reaches no host function
    EXPECT_EQ(host().releases, (std::vector<int32_t>{100, 101, 102}));

    host().releases.clear();
    Anime_UnloadModel("m");
    EXPECT_EQ(host().releases, (std::vector<int32_t>{103, 104, 105}));
    // 2 is gone with its model (placing it reaches nothing); the other cache
    // entry (3), read from an identical file, is untouched.
    run("id 2; count 1; new! m; pos 5 5; u 16; draws 1,2,3; 1.x 0; 1.tex 106");

    // The name can be loaded again, as a new model.
    host().releases.clear();
    loadModel("m", R"({})");
    EXPECT_EQ(Anime_CreateInstance("m"), 4u);
    Anime_UnloadModel("never-loaded");
    EXPECT_TRUE(host().releases.empty());
    Anime_Shutdown();
    EXPECT_EQ(host().releases, (std::vector<int32_t>{106, 107, 108}));
}

// Instances created and destroyed in an order a hash table would scramble
// (ids 1 to 40 of two models, every third destroyed, then 41 to 50): the
// events of one update, the draws at equal draw orders and the textures each
// teardown releases all come in creation order. Each instance's one texture
// handle (100 up, in creation order) tells the instances apart.
TEST_F(Lifecycle, OneOrderForEventsDrawsAndTeardown) {
    const char* tick = R"({"name": "tick", "events": [{"name": "go"}]})";
    for (const char* name : {"m", "k"}) {
        loadModel(name,
                  R"({"textures": {"t": "t.png"}, "parts": [{"name": "p", "texture": "t"}]})");
        ASSERT_EQ(Anime_LoadMotionFromMemory(name, tick, static_cast<int32_t>(std::strlen(tick))),
                  1);
    }
    std::vector<uint32_t> live;
    std::map<uint32_t, int32_t> handleOf;
    for (uint32_t n = 1; n <= 50; ++n) {
        const uint32_t id = Anime_CreateInstance(n <= 40 && n % 2 == 0 ? "k" : "m");
        ASSERT_EQ(id, n);
        handleOf[id] = 99 + static_cast<int32_t>(n);
        if (n <= 40 && n % 3 == 0) {
            Anime_DestroyInstance(id);
        } else {
            live.push_back(id);
        }
    }
    // Every fourth at draw order -1, the rest at 0.
    std::vector<int32_t> drawn[2];
    for (uint32_t id : live) {
        ASSERT_EQ(Anime_PlayMotion(id, "tick", 1), 1);
        Anime_SetDrawOrder(id, id % 4 == 0 ? -1 : 0);
        drawn[id % 4 == 0 ? 0 : 1].push_back(handleOf[id]);
    }
    updateAndRender(16);
    std::vector<uint32_t> announced;
    for (int32_t i = 0; i < Anime_GetEventCount(); ++i) {
        AnimeEvent event{};
        ASSERT_EQ(Anime_GetEvent(i, &event), 1);
        if (event.kind == 0) {
            announced.push_back(event.instance);
        }
    }
    EXPECT_EQ(announced, live);
    std::vector<int32_t> draws;
    for (const AnimeDrawParams& draw : host().draws) {
        draws.push_back(draw.texture);
    }
    drawn[0].insert(drawn[0].end(), drawn[1].begin(), drawn[1].end());
    EXPECT_EQ(draws, drawn[0]);

    // Unloading "k", destroying all, a shutdown: each in creation order.
    const auto releasesOf = [&](auto keep) {
        std::vector<int32_t> handles;
        for (uint32_t id : live) {
            if (keep(id)) {
                handles.push_back(handleOf[id]);
            }
        }
        return handles;
    };
    host().releases.clear();
    Anime_UnloadModel("k");
    EXPECT_EQ(host().releases, releasesOf([](uint32_t id) { return id <= 40 && id % 2 == 0; }));
    host().releases.clear();
    Anime_DestroyAllInstances();
    EXPECT_EQ(host().releases, releasesOf([](uint32_t id) { return id > 40 || id % 2 == 1; }));
    run("new m; new m; new m");
    host().releases.clear();
    Anime_Shutdown();
    EXPECT_EQ(host().releases, (std::vector<int32_t>{150, 151, 152}));
}

TEST_F(Lifecycle, RefusedAndEqualHandles) {
    loadModel("m", kThreeTextures);
    // Equal handles are each released.
    host().onLoad = [](const std::u16string&) { return 7; };
    run("new m; destroy");
    EXPECT_EQ(host().releases, (std::vector<int32_t>{7, 7, 7}));

    // A refused texture leaves its parts undrawn and is not released.
    host().releases.clear();
    host().onLoad = [](const std::u16string& path) {
        return path.find(u"head") != std::u16string::npos ? -1 : 0;
    };
    run("new m; u 16; draws 1,3; 1.tex 0; 3.tex 0; destroy");
    EXPECT_EQ(host().releases, (std::vector<int32_t>{0, 0}));
    host().releases.clear();
    host().onLoad = [](const std::u16string&) { return -5; };
    run("new m; u 16; draws -; destroy");
    EXPECT_TRUE(host().releases.empty());
}

TEST_F(Lifecycle, InstancesKeepTheHostTableOfTheirCreation) {
    // Instance 1 is made without a table, 2 with the recording one, 3 with a
    // table without draw or release: only 2 draws and releases.
    loadModel("m", kThreeTextures);
    Anime_Init(nullptr);
    run("new m");
    EXPECT_TRUE(host().loads.empty());
    AnimeHostCallbacks table = host().callbacks();
    Anime_Init(&table);
    run("new m");
    AnimeHostCallbacks loadOnly{};
    loadOnly.loadTexture = table.loadTexture;
    Anime_Init(&loadOnly);
    run("new m; u 16; draws 1,2,3; id 1; destroy; id 3; destroy");
    EXPECT_EQ(host().loads.size(), 6u);
    EXPECT_TRUE(host().releases.empty());
    run("id 2; destroy");
    EXPECT_EQ(host().releases.size(), 3u);
}

TEST_F(Lifecycle, LoadModelKeepsTheFirstFileAndRejectsNonObjects) {
    const std::string first = writeFile("one.json", R"({"textures": {"t": "first.png"}})");
    const std::string second = writeFile("two.json", R"({"textures": {"t": "second.png"}})");
    EXPECT_EQ(Anime_LoadModel("m", first.c_str()), 1);
    EXPECT_EQ(Anime_LoadModel("m", second.c_str()), 1);
    EXPECT_EQ(Anime_LoadModel("m", (dir_ + "missing.json").c_str()), 1);
    Anime_CreateInstance("m");
    EXPECT_EQ(host().loadedPathsUtf8(), std::vector<std::string>{dir_ + "first.png"});

    // (Files that are not an object are refused with their reasons: see
    // last_error_test.cpp.) An empty file and a folder are refused too.
    const std::string empty = writeFile("empty.json", "");
    for (const std::string& path : {dir_ + "missing.json", empty, dir_}) {
        EXPECT_EQ(Anime_LoadModel("bad", path.c_str()), 0) << path;
        EXPECT_EQ(Anime_CreateInstance("bad"), 0u) << path;
    }
    // The empty name is a name like any other.
    EXPECT_EQ(Anime_LoadModel("", first.c_str()), 1);
    EXPECT_NE(Anime_CreateInstance(""), 0u);
}

TEST_F(Lifecycle, TexturePathsAreTheBaseFolderFollowedByThePath) {
    // The folder ends at the last '/' or '\', whichever comes later. (On
    // Windows the backslash makes a real folder and the path comes back with
    // '/'; either way the texture sits beside the model file.)
    const std::string back = writeFile("win\\m.json", R"({"textures": {"t": "t.png"}})");
    ASSERT_EQ(Anime_LoadModel("back", back.c_str()), 1);
    Anime_CreateInstance("back");
    // An absolute texture path is appended all the same.
    loadModel("abs", R"({"textures": {"t": "/abs/t.png", "u": ""}})");
    Anime_CreateInstance("abs");
    EXPECT_EQ(host().loadedPathsUtf8(),
              (std::vector<std::string>{back.substr(0, back.size() - 6) + "t.png",
                                        dir_ + "abs//abs/t.png", dir_ + "abs/"}));

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
    EXPECT_EQ(host().loads, (std::vector<std::u16string>{u"tex/t.png", u""}));
}

}  // namespace
}  // namespace kivanime::test
