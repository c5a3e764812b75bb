#include "support/api_fixture.h"

#include <cmath>
#include <cstdlib>
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
    render();
}

void ApiTest::render() {
    host().draws.clear();
    Anime_Render();
}

const AnimeDrawParams* ApiTest::drawn(float label) const {
    for (const AnimeDrawParams& d : RecordingHost::Get().draws) {
        if (d.srcX == label) {
            return &d;
        }
    }
    return nullptr;
}

float Field(const AnimeDrawParams& d, const std::string& key) {
    return key == "x"     ? d.x
           : key == "y"   ? d.y
           : key == "r"   ? d.rotation
           : key == "sx"  ? d.scaleX
           : key == "sy"  ? d.scaleY
           : key == "a"   ? d.alpha
           : key == "tex" ? static_cast<float>(d.texture)
                          : NAN;
}

void ApiTest::run(const std::string& steps,
                  const std::function<bool(const std::string&, std::istringstream&)>& extra) {
    std::stringstream list(steps);
    std::string step;
    while (std::getline(list, step, ';')) {
        SCOPED_TRACE(step);
        std::istringstream in(step);
        std::string op;
        std::string name;
        in >> op;
        const bool refused = op.size() > 1 && op.back() == '!';
        if (refused) {
            op.pop_back();
        }
        auto f = [&]() {
            std::string word;
            in >> word;
            return std::strtof(word.c_str(), nullptr);
        };
        auto result = [&](int32_t ok) { EXPECT_EQ(ok, refused ? 0 : 1); };
        if (op == "new") {
            in >> name;
            const uint32_t id = Anime_CreateInstance(name.c_str());
            EXPECT_EQ(id == 0, refused);
            id_ = refused ? id_ : id;
        } else if (op == "id") {
            in >> id_;
        } else if (op == "play") {
            in >> name;
            result(Anime_PlayMotion(id_, name == "-" ? "" : name.c_str(), f()));
        } else if (op == "ov") {
            in >> name;
            const float speed = f();
            result(Anime_PlayOverlay(id_, name.c_str(), speed, f()));
        } else if (op == "stop") {
            Anime_StopMotion(id_);
        } else if (op == "stopov") {
            in >> name;
            Anime_StopOverlay(id_, name.c_str());
        } else if (op == "stopall") {
            Anime_StopAllOverlays(id_);
        } else if (op == "expr") {
            in >> name;
            result(Anime_SetExpression(id_, name.c_str()));
        } else if (op == "clear") {
            Anime_ClearExpression(id_);
        } else if (op == "pos" || op == "scale" || op == "wind" || op == "gwind") {
            const float x = f();
            const float y = f();
            op == "pos"     ? Anime_SetPosition(id_, x, y)
            : op == "scale" ? Anime_SetScale(id_, x, y)
            : op == "wind"  ? Anime_SetWind(id_, x, y)
                            : Anime_SetGlobalWind(x, y);
        } else if (op == "alpha") {
            Anime_SetAlpha(id_, f());
        } else if (op == "vis") {
            Anime_SetVisible(id_, static_cast<int32_t>(f()));
        } else if (op == "order") {
            int32_t order = 0;
            in >> order;
            Anime_SetDrawOrder(id_, order);
        } else if (op == "reset") {
            Anime_ResetPhysics(id_);
        } else if (op == "destroy") {
            Anime_DestroyInstance(id_);
        } else if (op == "3d") {
            const int32_t on = static_cast<int32_t>(f());
            const float px = f(), py = f(), focal = f(), cx = f();
            Anime_Set3DSetup(id_, on, px, py, focal, cx, f());
        } else if (op == "angles") {
            const float yaw = f(), pitch = f();
            Anime_Set3DAngles(id_, yaw, pitch, f());
        } else if (op == "strength") {
            const float depth = f();
            Anime_Set3DStrength(id_, depth, f());
        } else if (op == "u") {
            updateAndRender(f());
        } else if (op == "up") {
            Anime_Update(f());
        } else if (op == "r") {
            render();
        } else if (op == "draws") {
            std::string labels;
            for (const AnimeDrawParams& d : host().draws) {
                labels += (labels.empty() ? "" : ",") + std::to_string(static_cast<int>(d.srcX));
            }
            in >> name;
            EXPECT_EQ(labels.empty() ? "-" : labels, name);
        } else if (op == "playing") {
            EXPECT_EQ(Anime_IsMotionPlaying(id_), f());
        } else if (op == "finished") {
            EXPECT_EQ(Anime_IsMotionFinished(id_), f());
        } else if (op == "count") {
            EXPECT_EQ(Anime_GetInstanceCount(), f());
        } else if (const size_t dot = op.find('.'); dot != std::string::npos) {
            const AnimeDrawParams* d = drawn(std::strtof(op.c_str(), nullptr));
            const std::string field = op.substr(dot + 1);
            const float expected = f();
            if (d == nullptr) {
                ADD_FAILURE() << "not drawn";
                continue;
            }
            const std::string key = field.back() == '~' ? field.substr(0, field.size() - 1) : field;
            const float actual = Field(*d, key);
            if (std::isnan(actual)) {
                ADD_FAILURE() << "unknown field";
            }
            if (key != field) {
                EXPECT_NEAR(actual, expected, 1e-3f);
            } else {
                EXPECT_EQ(actual, expected);
            }
        } else if (!extra || !extra(op, in)) {
            ADD_FAILURE() << "unknown step";
        }
    }
}

}  // namespace kivanime::test
