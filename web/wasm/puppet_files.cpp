// What the page knows about puppet files, it learns from the library's own
// readers: what a file is read as, and what a model holds (its texture files,
// parts, motions and expressions). The page parses none of these files, so
// whatever the lenient reader repairs, the page sees repaired.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "api/manager.h"
#include "json/json_parser.h"
#include "json_text.h"
#include "model/draw_flags.h"
#include "model/expression_loader.h"
#include "model/model_loader.h"
#include "model/motion_loader.h"
#include "settings.h"

namespace {

using namespace kivanime;
using namespace kivanime_web;

std::string answer;

// The names of a motion or expression table, sorted.
template <typename Table>
std::vector<std::string_view> Names(const Table& table) {
    std::vector<std::string_view> names;
    for (const auto& entry : table) {
        names.push_back(entry.first);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// "name", "canvas" [width, height], "textures" (the file of each, as the
// model gives it), "parts" (name, parent, texture, the index of the part
// the parent name resolves to, -1 for none, the blend mode's number and the
// index of the mask, -1 for none), "motions", "expressions" and "skins" (in
// file order).
void AppendModel(std::string& out, const AnimeModel& model) {
    AppendKey(out, "name");
    AppendString(out, model.name);
    AppendKey(out, "canvas");
    out += "[" + std::to_string(model.canvasWidth) + "," + std::to_string(model.canvasHeight) + "]";
    AppendKey(out, "textures");
    AppendList(out, model.textures,
               [](std::string& o, const AnimeTexture& t) { AppendString(o, t.path); });
    AppendKey(out, "parts");
    out += '[';
    for (size_t i = 0; i < model.parts.size(); ++i) {
        const AnimePart& part = model.parts[i];
        out += i == 0 ? "{" : ",{";
        AppendKey(out, "name");
        AppendString(out, part.name);
        AppendKey(out, "parent");
        AppendString(out, part.parent);
        AppendKey(out, "texture");
        AppendString(out, part.texture);
        AppendKey(out, "parentIndex");
        out += std::to_string(model.topology.parentIndex[i]);
        // The blend mode as records carry it, and the part the clip resolves
        // to (a clip naming the part itself or no part is none).
        AppendKey(out, "blend");
        out += std::to_string(BlendModeOf(part.blend));
        const int32_t mask = part.clip.empty() ? -1 : model.findPart(part.clip);
        AppendKey(out, "maskIndex");
        out += std::to_string(mask == static_cast<int32_t>(i) ? -1 : mask) + "}";
    }
    out += ']';
    for (const auto& [key, names] : {std::pair{"motions", Names(model.motions)},
                                     std::pair{"expressions", Names(model.expressions)}}) {
        AppendKey(out, key);
        AppendList(out, names, AppendString);
    }
    AppendKey(out, "skins");
    AppendList(out, model.skins,
               [](std::string& o, const AnimeSkin& s) { AppendString(o, s.name); });
}

// What the readers make of the file: a model with parts, textures, springs,
// a canvas or animations of its own; a motion with tracks; an expression with
// parameters; a scene the player's timeline reader takes, naming a model or
// holding events. Any other object loads as a motion (or as an expression
// when it sets a blend time), as the library would load it.
void AppendKind(std::string& out, std::string_view text) {
    const JsonValue root = ParseJson(text);
    AnimeModel model;
    if (!ReadModelJson(model, root, "")) {
        AppendKey(out, "kind");
        AppendString(out, "none");
        return;
    }
    const AnimeModel defaults;
    if (!model.parts.empty() || !model.textures.empty() || !model.physics.empty() ||
        !model.motions.empty() || !model.expressions.empty() ||
        model.canvasWidth != defaults.canvasWidth || model.canvasHeight != defaults.canvasHeight) {
        AppendKey(out, "kind");
        AppendString(out, "model");
        return AppendModel(out, model);
    }
    ReadMotionJson(model, root, "");
    ReadExpressionJson(model, root, "");
    const AnimeMotion& motion = model.motions.begin()->second;
    const AnimeExpression& expression = model.expressions.begin()->second;
    kivanime_player::Settings scene;
    std::vector<kivanime_player::TimelineEvent> events;
    std::string error;
    const bool isScene = motion.tracks.empty() && expression.params.empty() &&
                         kivanime_player::ParseTimeline(text, "", scene, events, error) &&
                         (!scene.model.empty() || !events.empty());
    const bool isExpression =
        !expression.params.empty() ||
        (motion.tracks.empty() && expression.blendMs != AnimeExpression{}.blendMs);
    AppendKey(out, "kind");
    AppendString(out, isScene ? "scene" : isExpression ? "expression" : "motion");
    AppendKey(out, isScene ? "model" : "name");
    AppendString(out, isScene ? scene.model : isExpression ? expression.name : motion.name);
}

// Runs `write` into a fresh answer; null when it failed (out of memory).
template <typename Write>
const char* Answer(Write write) {
    try {
        answer = "{";
        write(answer);
        answer += "}";
        return answer.c_str();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

extern "C" {

// What the library reads the `length` bytes at `text` as: {"kind": "model",
// ...its contents as for KivanimeWeb_DescribeModel}, {"kind": "motion" or
// "expression", "name": the name it is stored under}, {"kind": "scene",
// "model": the model it names}, or {"kind": "none"} for text that is not a
// JSON object.
EMSCRIPTEN_KEEPALIVE const char* KivanimeWeb_ReadFile(const char* text, int32_t length) {
    return Answer([&](std::string& out) {
        AppendKind(out, std::string_view(text, static_cast<size_t>(std::max(length, 0))));
    });
}

// A loaded model as the library holds it, with every motion and expression
// loaded into it ({"kind": "model", ...}); null when no model has that name.
EMSCRIPTEN_KEEPALIVE const char* KivanimeWeb_DescribeModel(const char* modelName) {
    ApiScope scope;
    const auto& cache = scope.manager().modelCache;
    const auto found = modelName != nullptr ? cache.find(std::string_view(modelName)) : cache.end();
    if (!scope.entered() || found == cache.end()) {
        return nullptr;
    }
    return Answer([&](std::string& out) {
        AppendKey(out, "kind");
        AppendString(out, "model");
        AppendModel(out, *found->second);
    });
}
}
