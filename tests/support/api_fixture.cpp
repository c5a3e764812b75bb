#include "support/api_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "text/utf.h"

namespace kivanime::test {

RecordingHost& RecordingHost::Get() {
    static RecordingHost host;
    return host;
}

AnimeHostCallbacks RecordingHost::callbacks() const {
    AnimeHostCallbacks table{};
    table.loadTexture = [](const uint16_t* path) {
        RecordingHost& host = Get();
        std::u16string text;
        for (; *path != 0; ++path) {
            text.push_back(static_cast<char16_t>(*path));
        }
        host.loads.push_back(text);
        return host.onLoad ? host.onLoad(text) : host.nextHandle++;
    };
    table.releaseTexture = [](int32_t texture) {
        Get().releases.push_back(texture);
        if (Get().onRelease) {
            Get().onRelease(texture);
        }
    };
    table.draw = [](const AnimeDrawParams* params) {
        Get().draws.push_back(*params);
        if (Get().onDraw) {
            Get().onDraw(*params);
        }
    };
    return table;
}

AnimeDrawMeshFn RecordingHost::meshCallback() {
    return [](const AnimeDrawParams* params, const AnimeMeshVertex* vertices, int32_t count,
              const uint16_t* indices, int32_t indexCount) {
        RecordingHost& host = Get();
        host.meshes.push_back(
            {host.draws.size(), {vertices, vertices + count}, {indices, indices + indexCount}});
        host.draws.push_back(*params);
    };
}

std::vector<std::string> RecordingHost::loadedPathsUtf8() const {
    std::vector<std::string> out;
    for (const std::u16string& path : loads) {
        out.push_back(Utf16ToUtf8(path));
    }
    return out;
}

void ApiTest::SetUp() {
    Anime_Shutdown();
    Anime_SetGlobalWind(0.0f, 0.0f);
    Anime_SetMeshCallback(nullptr);
    host().reset();
    AnimeHostCallbacks table = host().callbacks();
    Anime_Init(&table);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // A folder of its own per run: suites of two checkouts may run at once.
    std::string name = std::string("kivanime-tests-") + info->test_suite_name() + "." +
                       info->name() + "-" + std::to_string(std::random_device{}());
    std::replace(name.begin(), name.end(), '/', '.');  // parameterised suites
    const std::filesystem::path base = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(base);
    dir_ = base.generic_string() + "/";
}

void ApiTest::TearDown() {
    Anime_Shutdown();
    Anime_SetGlobalWind(0.0f, 0.0f);
    Anime_Init(nullptr);
    Anime_SetMeshCallback(nullptr);
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
    host().meshes.clear();
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

std::string EventWords() {
    std::string words;
    for (int32_t i = 0; i < Anime_GetEventCount(); ++i) {
        AnimeEvent e{};
        EXPECT_EQ(Anime_GetEvent(i, &e), 1);
        const std::string what = e.kind == 0   ? Anime_GetEventText(i, 0)
                                 : e.kind == 1 ? "lap" + std::to_string(e.intValue)
                                               : "end";
        char word[256];
        std::snprintf(word, sizeof word, " %s:%s/%s@%g~%g", e.source != 0 ? "o" : "m",
                      Anime_GetEventText(i, 1), what.c_str(), static_cast<double>(e.time),
                      static_cast<double>(e.lateMs));
        words += word;
    }
    return words.empty() ? "-" : words.substr(1);
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
        if (!(in >> op)) {
            continue;  // an empty step
        }
        const bool refused = op.size() > 1 && op.back() == '!';
        if (refused) {
            op.pop_back();
        }
        auto word = [&]() {
            std::string text;
            in >> text;
            return text;
        };
        auto f = [&]() { return std::strtof(word().c_str(), nullptr); };
        auto result = [&](int32_t ok) { EXPECT_EQ(ok, refused ? 0 : 1); };
        if (op == "stop" || op == "stopall" || op == "clear" || op == "reset" || op == "destroy") {
            op == "stop"      ? Anime_StopMotion(id_)
            : op == "stopall" ? Anime_StopAllOverlays(id_)
            : op == "clear"   ? Anime_ClearExpression(id_)
            : op == "reset"   ? Anime_ResetPhysics(id_)
                              : Anime_DestroyInstance(id_);
        } else if (op == "r") {
            render();
        } else if (op == "new") {
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
        } else if (op == "xf" || op == "q" || op == "fo") {
            in >> name;
            const float a = f();
            const float b = f();
            result(op == "xf"  ? Anime_CrossFadeMotion(id_, name.c_str(), a, b)
                   : op == "q" ? Anime_QueueMotion(id_, name.c_str(), a, b)
                               : Anime_FadeOverlay(id_, name.c_str(), a, b));
        } else if (op == "ev") {
            std::string words;
            std::getline(in >> std::ws, words);
            EXPECT_EQ(EventWords(), words);
        } else if (op == "stopov") {
            in >> name;
            Anime_StopOverlay(id_, name.c_str());
        } else if (op == "expr") {
            in >> name;
            result(Anime_SetExpression(id_, name.c_str()));
        } else if (op == "pos" || op == "scale" || op == "wind" || op == "gwind" ||
                   op == "strength") {
            const float x = f();
            const float y = f();
            op == "pos"        ? Anime_SetPosition(id_, x, y)
            : op == "scale"    ? Anime_SetScale(id_, x, y)
            : op == "wind"     ? Anime_SetWind(id_, x, y)
            : op == "strength" ? Anime_Set3DStrength(id_, x, y)
                               : Anime_SetGlobalWind(x, y);
        } else if (op == "alpha") {
            Anime_SetAlpha(id_, f());
        } else if (op == "vis" || op == "order") {
            const int32_t value = static_cast<int32_t>(std::strtol(word().c_str(), nullptr, 10));
            op == "vis" ? Anime_SetVisible(id_, value) : Anime_SetDrawOrder(id_, value);
        } else if (op == "3d") {
            const int32_t on = static_cast<int32_t>(f());
            const float px = f(), py = f(), focal = f(), cx = f();
            Anime_Set3DSetup(id_, on, px, py, focal, cx, f());
        } else if (op == "angles") {
            const float yaw = f(), pitch = f();
            Anime_Set3DAngles(id_, yaw, pitch, f());
        } else if (op == "off") {
            in >> name;
            const float x = f(), y = f(), r = f(), sx = f(), sy = f();
            result(Anime_SetPartOffset(id_, name.c_str(), x, y, r, sx, sy, f()));
        } else if (op == "clearoff") {
            Anime_ClearPartOffsets(id_);
        } else if (op == "ptex" || op == "skin") {
            in >> name;
            const std::string texture = op == "ptex" ? word() : name;
            const char* given = texture == "-" ? nullptr : texture.c_str();
            result(op == "ptex" ? Anime_SetPartTexture(id_, name.c_str(), given)
                                : Anime_SetSkin(id_, given));
        } else if (op == "tint") {
            const float r = f(), g = f();
            Anime_SetTint(id_, r, g, f());
        } else if (op == "ptint") {
            in >> name;
            const float r = f(), g = f();
            result(Anime_SetPartTint(id_, name.c_str(), r, g, f()));
        } else if (op == "u" || op == "up") {
            Anime_Update(f());
            if (op == "u") {
                render();
            }
        } else if (op == "draws") {
            std::string labels;
            for (const AnimeDrawParams& d : host().draws) {
                labels += (labels.empty() ? "" : ",") + std::to_string(static_cast<int>(d.srcX));
            }
            in >> name;
            EXPECT_EQ(labels.empty() ? "-" : labels, name);
        } else if (op == "playing" || op == "finished" || op == "count") {
            EXPECT_EQ(op == "count"     ? Anime_GetInstanceCount()
                      : op == "playing" ? Anime_IsMotionPlaying(id_)
                                        : Anime_IsMotionFinished(id_),
                      f());
        } else if (const size_t dot = op.find('.'); dot != std::string::npos) {
            // A part that is not drawn, or an unknown field, reads as NaN.
            const AnimeDrawParams* d = drawn(std::strtof(op.c_str(), nullptr));
            if (op.ends_with(".tint")) {  // the packed colour, in hexadecimal
                EXPECT_EQ(d ? d->reserved2 : 0u, std::stoul(word(), nullptr, 16));
                continue;
            }
            const char how = op.back() == '~' || op.back() == '=' ? op.back() : ' ';
            const float actual =
                d ? Field(*d, op.substr(dot + 1, op.size() - dot - 1 - (how != ' '))) : NAN;
            const std::string value = word();
            if (value == "in") {
                EXPECT_GE(actual, f());
                EXPECT_LT(actual, f());
            } else if (how == '~') {
                EXPECT_NEAR(actual, std::strtof(value.c_str(), nullptr), 1e-3f);
            } else if (how == '=') {
                EXPECT_FLOAT_EQ(actual, std::strtof(value.c_str(), nullptr));
            } else {
                EXPECT_EQ(actual, std::strtof(value.c_str(), nullptr));
            }
        } else if (!extra || !extra(op, in)) {
            ADD_FAILURE() << "unknown step";
        }
    }
}

}  // namespace kivanime::test
