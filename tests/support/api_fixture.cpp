#include "support/api_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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
        host.loads.emplace_back(reinterpret_cast<const char16_t*>(path));
        return host.onLoad ? host.onLoad(host.loads.back()) : host.nextHandle++;
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
    std::vector<std::string> out(loads.size());
    std::transform(loads.begin(), loads.end(), out.begin(), Utf16ToUtf8);
    return out;
}

namespace {

// A clean library (nothing loaded, no wind, no mesh function) with `table`
// as its host, and a clean recording host.
void Restart(const AnimeHostCallbacks* table) {
    Anime_Shutdown();
    Anime_SetGlobalWind(0.0f, 0.0f);
    Anime_SetMeshCallback(nullptr);
    RecordingHost::Get().reset();
    Anime_Init(table);
}

// A record's field by its script name (x y r sx sy a tex); NaN for others.
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

}  // namespace

void ApiTest::SetUp() {
    const AnimeHostCallbacks table = host().callbacks();
    Restart(&table);
}

void ApiTest::TearDown() {
    Restart(nullptr);
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
    const std::vector<AnimeDrawParams>& draws = RecordingHost::Get().draws;
    const auto d =
        std::find_if(draws.begin(), draws.end(), [&](auto& p) { return p.srcX == label; });
    return d == draws.end() ? nullptr : &*d;
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

void ApiTest::run(const std::string& steps,
                  const std::function<bool(const std::string&, std::istringstream&)>& extra) {
    std::stringstream list(steps);
    std::string step;
    while (std::getline(list, step, ';')) {
        SCOPED_TRACE(step);
        std::istringstream in(step);
        std::string op;
        if (!(in >> op)) {
            continue;  // an empty step
        }
        // The words after the operation, as text (w) and as numbers (f); ""
        // and 0 past the last. `in` stays after the operation for `extra`.
        std::vector<std::string> w;
        std::istringstream words(step);
        for (std::string word; words >> word;) {
            w.push_back(word);
        }
        w.erase(w.begin());
        w.resize(std::max<size_t>(w.size(), 8));
        auto f = [&](size_t i) { return std::strtof(w[i].c_str(), nullptr); };
        const char* name = w[0].c_str();
        const bool refused = op.size() > 1 && op.back() == '!';
        if (refused) {
            op.pop_back();
        }
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
            const uint32_t id = Anime_CreateInstance(name);
            EXPECT_EQ(id == 0, refused);
            id_ = refused ? id_ : id;
        } else if (op == "id") {
            id_ = static_cast<uint32_t>(std::stoul(w[0]));
        } else if (op == "play") {
            result(Anime_PlayMotion(id_, w[0] == "-" ? "" : name, f(1)));
        } else if (op == "ov") {
            result(Anime_PlayOverlay(id_, name, f(1), f(2)));
        } else if (op == "xf" || op == "q" || op == "fo") {
            result(op == "xf"  ? Anime_CrossFadeMotion(id_, name, f(1), f(2))
                   : op == "q" ? Anime_QueueMotion(id_, name, f(1), f(2))
                               : Anime_FadeOverlay(id_, name, f(1), f(2)));
        } else if (op == "ev") {
            std::string rest;
            std::getline(in >> std::ws, rest);
            EXPECT_EQ(EventWords(), rest);
        } else if (op == "stopov") {
            Anime_StopOverlay(id_, name);
        } else if (op == "expr") {
            result(Anime_SetExpression(id_, name));
        } else if (op == "pos" || op == "scale" || op == "wind" || op == "gwind" ||
                   op == "strength") {
            op == "pos"        ? Anime_SetPosition(id_, f(0), f(1))
            : op == "scale"    ? Anime_SetScale(id_, f(0), f(1))
            : op == "wind"     ? Anime_SetWind(id_, f(0), f(1))
            : op == "strength" ? Anime_Set3DStrength(id_, f(0), f(1))
                               : Anime_SetGlobalWind(f(0), f(1));
        } else if (op == "alpha") {
            Anime_SetAlpha(id_, f(0));
        } else if (op == "vis" || op == "order") {
            const auto value = static_cast<int32_t>(std::strtol(name, nullptr, 10));
            op == "vis" ? Anime_SetVisible(id_, value) : Anime_SetDrawOrder(id_, value);
        } else if (op == "3d") {
            Anime_Set3DSetup(id_, static_cast<int32_t>(f(0)), f(1), f(2), f(3), f(4), f(5));
        } else if (op == "angles") {
            Anime_Set3DAngles(id_, f(0), f(1), f(2));
        } else if (op == "off") {
            result(Anime_SetPartOffset(id_, name, f(1), f(2), f(3), f(4), f(5), f(6)));
        } else if (op == "clearoff") {
            Anime_ClearPartOffsets(id_);
        } else if (op == "ptex" || op == "skin") {
            const std::string& texture = op == "ptex" ? w[1] : w[0];
            const char* given = texture == "-" ? nullptr : texture.c_str();
            result(op == "ptex" ? Anime_SetPartTexture(id_, name, given)
                                : Anime_SetSkin(id_, given));
        } else if (op == "tint") {
            Anime_SetTint(id_, f(0), f(1), f(2));
        } else if (op == "ptint") {
            result(Anime_SetPartTint(id_, name, f(1), f(2), f(3)));
        } else if (op == "u" || op == "up") {
            Anime_Update(f(0));
            if (op == "u") {
                render();
            }
        } else if (op == "draws") {
            std::string labels;
            for (const AnimeDrawParams& d : host().draws) {
                labels += (labels.empty() ? "" : ",") + std::to_string(static_cast<int>(d.srcX));
            }
            EXPECT_EQ(labels.empty() ? "-" : labels, w[0]);
        } else if (op == "playing" || op == "finished" || op == "count") {
            EXPECT_EQ(op == "count"     ? Anime_GetInstanceCount()
                      : op == "playing" ? Anime_IsMotionPlaying(id_)
                                        : Anime_IsMotionFinished(id_),
                      f(0));
        } else if (const size_t dot = op.find('.'); dot != std::string::npos) {
            // A part that is not drawn, or an unknown field, reads as NaN.
            const AnimeDrawParams* d = drawn(std::strtof(op.c_str(), nullptr));
            if (op.ends_with(".tint")) {  // the packed colour, in hexadecimal
                EXPECT_EQ(d ? d->reserved2 : 0u, std::stoul(w[0], nullptr, 16));
                continue;
            }
            const char how = op.back() == '~' || op.back() == '=' ? op.back() : ' ';
            const float actual =
                d ? Field(*d, op.substr(dot + 1, op.size() - dot - 1 - (how != ' '))) : NAN;
            if (w[0] == "in") {
                EXPECT_GE(actual, f(1));
                EXPECT_LT(actual, f(2));
            } else if (how == '~') {
                EXPECT_NEAR(actual, f(0), 1e-3f);
            } else if (how == '=') {
                EXPECT_FLOAT_EQ(actual, f(0));
            } else {
                EXPECT_EQ(actual, f(0));
            }
        } else if (!extra || !extra(op, in)) {
            ADD_FAILURE() << "unknown step";
        }
    }
}

}  // namespace kivanime::test
