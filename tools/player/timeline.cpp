#include "timeline.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "json/json_file.h"
#include "json/json_parser.h"
#include "json/json_value.h"

namespace kivanime_player {

namespace {

using kivanime::JsonValue;

// Each reader sets `error` (without the event prefix) and returns false when
// the value has the wrong kind.
bool ReadNumber(const JsonValue& v, const char* key, float& out, std::string& error) {
    if (!v.isNumber() || !std::isfinite(v.number)) {
        error = std::string("\"") + key + "\" must be a number";
        return false;
    }
    out = static_cast<float>(v.number);
    return true;
}

bool ReadNumbers(const JsonValue& v, const char* key, size_t count, float* out,
                 std::string& error) {
    if (!v.isArray() || v.size() != count) {
        error = std::string("\"") + key + "\" must be an array of " + std::to_string(count) +
                " numbers";
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!ReadNumber(v.at(i), key, out[i], error)) {
            error = std::string("\"") + key + "\" must be an array of " + std::to_string(count) +
                    " numbers";
            return false;
        }
    }
    return true;
}

bool ReadName(const JsonValue& v, const char* key, std::string& out, std::string& error) {
    if (!v.isString() || v.text.empty()) {
        error = std::string("\"") + key + "\" must be a non-empty string";
        return false;
    }
    out = v.text;
    return true;
}

bool ReadOptionalNumber(const JsonValue& event, const char* key, float& out, std::string& error) {
    return !event.has(key) || ReadNumber(event.get(key), key, out, error);
}

struct CommandKey {
    const char* key;
    EventKind kind;
};

constexpr CommandKey kCommands[] = {
    {"motion", EventKind::Motion},
    {"stopMotion", EventKind::StopMotion},
    {"overlay", EventKind::Overlay},
    {"stopOverlay", EventKind::StopOverlay},
    {"stopOverlays", EventKind::StopAllOverlays},
    {"expression", EventKind::Expression},
    {"clearExpression", EventKind::ClearExpression},
    {"angles", EventKind::Angles},
    {"wind", EventKind::Wind},
    {"globalWind", EventKind::GlobalWind},
    {"position", EventKind::Position},
    {"scale", EventKind::Scale},
    {"alpha", EventKind::Alpha},
    {"visible", EventKind::Visible},
    {"resetPhysics", EventKind::ResetPhysics},
};

bool ReadEvent(const JsonValue& v, TimelineEvent& e, std::string& error) {
    if (!v.isObject()) {
        error = "must be an object";
        return false;
    }
    if (!v.has("at") || !ReadNumber(v.get("at"), "at", e.atMs, error) || e.atMs < 0.0f) {
        error = "needs \"at\", a time in milliseconds (0 or more)";
        return false;
    }
    const CommandKey* command = nullptr;
    for (const CommandKey& candidate : kCommands) {
        if (v.has(candidate.key)) {
            if (command != nullptr) {
                error = std::string("has two commands, \"") + command->key + "\" and \"" +
                        candidate.key + "\"";
                return false;
            }
            command = &candidate;
        }
    }
    if (command == nullptr) {
        error =
            "has no command (motion, stopMotion, overlay, stopOverlay, stopOverlays, "
            "expression, clearExpression, angles, wind, globalWind, position, scale, "
            "alpha, visible, resetPhysics)";
        return false;
    }
    e.kind = command->kind;
    const JsonValue& value = v.get(command->key);
    if (!ReadOptionalNumber(v, "speed", e.speed, error) ||
        !ReadOptionalNumber(v, "weight", e.weight, error) ||
        !ReadOptionalNumber(v, "over", e.overMs, error)) {
        return false;
    }
    e.overMs = std::max(e.overMs, 0.0f);
    switch (e.kind) {
        case EventKind::Motion:
            if (v.has("then") && !ReadName(v.get("then"), "then", e.then, error)) {
                return false;
            }
            [[fallthrough]];
        case EventKind::Overlay:
        case EventKind::StopOverlay:
        case EventKind::Expression:
            return ReadName(value, command->key, e.name, error);
        case EventKind::StopMotion:
        case EventKind::StopAllOverlays:
        case EventKind::ClearExpression:
        case EventKind::ResetPhysics:
        case EventKind::Visible:
            if (!value.isBool()) {
                error = std::string("\"") + command->key + "\" must be true or false";
                return false;
            }
            e.flag = value.boolValue;
            return true;
        case EventKind::Angles:
            return ReadNumbers(value, "angles", 3, e.values, error);
        case EventKind::Wind:
        case EventKind::GlobalWind:
        case EventKind::Position:
            return ReadNumbers(value, command->key, 2, e.values, error);
        case EventKind::Scale:
            if (value.isNumber()) {
                if (!ReadNumber(value, "scale", e.values[0], error)) {
                    return false;
                }
                e.values[1] = e.values[0];
                return true;
            }
            return ReadNumbers(value, "scale", 2, e.values, error);
        case EventKind::Alpha:
            return ReadNumber(value, "alpha", e.values[0], error);
    }
    return false;
}

bool ReadPairKey(const JsonValue& object, const char* key, std::optional<Vec2>& out,
                 std::string& error) {
    if (!object.has(key)) {
        return true;
    }
    float values[2];
    if (!ReadNumbers(object.get(key), key, 2, values, error)) {
        return false;
    }
    out = Vec2{values[0], values[1]};
    return true;
}

bool ReadNumberKey(const JsonValue& object, const char* key, std::optional<float>& out,
                   std::string& error) {
    if (!object.has(key)) {
        return true;
    }
    float value = 0.0f;
    if (!ReadNumber(object.get(key), key, value, error)) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

bool ParseTimeline(std::string_view text, const std::string& baseDir, Timeline& t,
                   std::string& error) {
    const JsonValue root = kivanime::ParseJson(text);
    if (!root.isObject()) {
        error = "the top level is not a JSON object";
        return false;
    }
    t = Timeline{};
    if (root.has("model")) {
        std::string model;
        if (!ReadName(root.get("model"), "model", model, error)) {
            return false;
        }
        t.model = std::filesystem::path(model).is_absolute() ? model : baseDir + model;
    }
    if (root.has("size")) {
        float size[2];
        if (!ReadNumbers(root.get("size"), "size", 2, size, error) || size[0] < 1 || size[1] < 1 ||
            size[0] > 8192 || size[1] > 8192) {
            error = "\"size\" must be [width, height] in pixels";
            return false;
        }
        t.width = static_cast<int>(size[0]);
        t.height = static_cast<int>(size[1]);
    }
    if (!ReadNumberKey(root, "fps", t.fps, error) ||
        !ReadNumberKey(root, "duration", t.durationMs, error) ||
        !ReadPairKey(root, "origin", t.origin, error) ||
        !ReadNumberKey(root, "scale", t.scale, error)) {
        return false;
    }
    if (t.fps && (*t.fps < 1.0f || *t.fps > 1000.0f)) {
        error = "\"fps\" must be between 1 and 1000";
        return false;
    }
    if (t.durationMs && *t.durationMs <= 0.0f) {
        error = "\"duration\" must be more than 0 milliseconds";
        return false;
    }
    if (root.has("background")) {
        Color color;
        if (!root.get("background").isString() || !ParseColor(root.get("background").text, color)) {
            error = "\"background\" must be a colour such as \"#f3efe6\"";
            return false;
        }
        t.background = color;
    }
    if (root.has("crowd")) {
        float crowd = 0.0f;
        if (!ReadNumber(root.get("crowd"), "crowd", crowd, error) || crowd < 1 || crowd > 400) {
            error = "\"crowd\" must be a number from 1 to 400";
            return false;
        }
        t.crowd = static_cast<int>(crowd);
    }
    if (root.has("setup3d")) {
        const JsonValue& setup = root.get("setup3d");
        if (!setup.isObject()) {
            error = "\"setup3d\" must be an object";
            return false;
        }
        if (!ReadPairKey(setup, "pivot", t.pivot, error) ||
            !ReadNumberKey(setup, "focal", t.focal, error) ||
            !ReadPairKey(setup, "curve", t.curve, error) ||
            !ReadPairKey(setup, "strength", t.strength3D, error)) {
            error = "in \"setup3d\": " + error;
            return false;
        }
        t.enable3D = true;
    }
    const JsonValue& events = root.get("events");
    if (root.has("events") && !events.isArray()) {
        error = "\"events\" must be an array";
        return false;
    }
    for (size_t i = 0; i < events.size(); ++i) {
        TimelineEvent event;
        event.index = static_cast<int>(i);
        if (!ReadEvent(events.at(i), event, error)) {
            error = "event " + std::to_string(i) + " " + error;
            return false;
        }
        if (event.kind == EventKind::Angles) {
            t.enable3D = true;
        }
        t.events.push_back(std::move(event));
    }
    std::stable_sort(
        t.events.begin(), t.events.end(),
        [](const TimelineEvent& a, const TimelineEvent& b) { return a.atMs < b.atMs; });
    return true;
}

bool LoadTimeline(const std::string& path, Timeline& timeline, std::string& error) {
    std::string text;
    if (!kivanime::ReadFileBytes(path, text)) {
        error = "cannot read the file";
        return false;
    }
    const size_t slash = path.find_last_of("/\\");
    const std::string baseDir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return ParseTimeline(text, baseDir, timeline, error);
}

}  // namespace kivanime_player
