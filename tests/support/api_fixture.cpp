#include "support/api_fixture.h"

#include <filesystem>
#include <fstream>

namespace kivanime::test {

void ApiTest::SetUp() {
    Anime_Shutdown();
    Anime_SetGlobalWind(0.0f, 0.0f);
    host().reset();
    AnimeHostCallbacks table = host().callbacks();
    Anime_Init(&table);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path base = std::filesystem::temp_directory_path() / "kivanime-tests" /
                                 (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base);
    dir_ = base.generic_string() + "/";
}

void ApiTest::TearDown() {
    Anime_Shutdown();
    Anime_SetGlobalWind(0.0f, 0.0f);
    Anime_Init(nullptr);
    host().reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string ApiTest::writeFile(const std::string& relativePath, const std::string& content) {
    std::filesystem::path path = std::filesystem::path(dir_) / relativePath;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path.generic_string();
}

void ApiTest::loadModel(const std::string& modelName, const std::string& json) {
    std::string path = writeFile(modelName + "/model.json", json);
    ASSERT_EQ(Anime_LoadModel(modelName.c_str(), path.c_str()), 1) << json;
}

void ApiTest::updateAndRender(float dt) {
    Anime_Update(dt);
    host().draws.clear();
    Anime_Render();
}

}  // namespace kivanime::test
