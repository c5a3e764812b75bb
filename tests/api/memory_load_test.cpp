// Loading from memory gives exactly what loading a file holding the same
// bytes gives: result, texture paths, draw records byte for byte, reason.
#include <cstring>
#include <string>
#include <vector>

#include "support/api_fixture.h"
#include "support/run_program.h"

namespace kivanime::test {
namespace {

const std::string kHero = std::string(KIVANIME_SOURCE_DIR) + "/examples/hero";

using MemoryLoad = ApiTest;

TEST_F(MemoryLoad, HeroPlaysTheSameFromMemoryAsFromFiles) {
    std::vector<AnimeDrawParams> draws[2];
    std::vector<std::u16string> loads[2];
    for (int memory = 0; memory < 2; ++memory) {
        Anime_Shutdown();
        host().reset();
        // The folder without its final '/': the library adds it.
        const std::string model = ReadWholeFile(kHero + "/model.json");
        ASSERT_EQ(memory
                      ? Anime_LoadModelFromMemory("hero", model.data(),
                                                  static_cast<int32_t>(model.size()), kHero.c_str())
                      : Anime_LoadModel("hero", (kHero + "/model.json").c_str()),
                  1);
        for (const char* file : {"motions/idle", "motions/walk", "motions/wave",
                                 "expressions/smile", "expressions/sleepy"}) {
            const std::string path = kHero + "/" + file + ".json";
            const std::string bytes = ReadWholeFile(path);
            const bool motion = file[0] == 'm';
            ASSERT_EQ(
                memory ? (motion ? Anime_LoadMotionFromMemory : Anime_LoadExpressionFromMemory)(
                             "hero", bytes.data(), static_cast<int32_t>(bytes.size()))
                       : (motion ? Anime_LoadMotion : Anime_LoadExpression)("hero", path.c_str()),
                1);
        }
        run("new hero; play idle 1; ov wave 1 0.8; expr smile; new hero; play walk 1.3;"
            "expr sleepy; 3d 1 0 -360 1500 200 0; angles 25 -6 3");
        for (int frame = 0; frame < 90; ++frame) {
            Anime_Update(16.6667f);
            Anime_Render();
        }
        draws[memory] = host().draws;
        loads[memory] = host().loads;
    }
    EXPECT_EQ(loads[0].size(), 74u);  // 37 textures, the second outfit's included, twice
    EXPECT_EQ(loads[0], loads[1]);
    ASSERT_GT(draws[0].size(), 90u * 50u);
    EXPECT_TRUE(draws[0].size() == draws[1].size() &&
                std::memcmp(draws[0].data(), draws[1].data(),
                            draws[0].size() * sizeof(AnimeDrawParams)) == 0);
}

}  // namespace
}  // namespace kivanime::test
