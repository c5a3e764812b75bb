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

// Each command's key and its value: a name (-1), true or false (0), or that
// many numbers.
constexpr struct {
    const char* key;
    EventKind kind;
    int count;
} kCommands[] = {
    {"motion", EventKind::Motion, -1},
    {"stopMotion", EventKind::StopMotion, 0},
    {"overlay", EventKind::Overlay, -1},
    {"stopOverlay", EventKind::StopOverlay, -1},
    {"stopOverlays", EventKind::StopAllOverlays, 0},
    {"expression", EventKind::Expression, -1},
    {"clearExpression", EventKind::ClearExpression, 0},
    {"angles", EventKind::Angles, 3},
    {"wind", EventKind::Wind, 2},
    {"globalWind", EventKind::GlobalWind, 2},
    {"position", EventKind::Position, 2},
    {"scale", EventKind::Scale, 2},
    {"alpha", EventKind::Alpha, 1},
    {"visible", EventKind::Visible, 0},
    {"resetPhysics", EventKind::ResetPhysics, 0},
};

bool ReadEvent(const JsonValue& v, TimelineEvent& e, std::string& error) {
    if (!v.isObject()) {
        error = "must be an object";
        return false;
    }
    if (!v.has("at") || !ReadNumbers(v.get("at"), "at", 1, &e.atMs, error) || e.atMs < 0.0f) {
        error = "needs \"at\", a time in milliseconds (0 or more)";
        return false;
    }
    std::string key;
    std::string all;
    int count = 0;
    for (const auto& command : kCommands) {
        all += all.empty() ? command.key : std::string(", ") + command.key;
        if (v.has(command.key) && !key.empty()) {
            error = "has two commands, \"" + key + "\" and \"" + command.key + "\"";
            return false;
        }
        if (v.has(command.key)) {
            key = command.key;
            e.kind = command.kind;
            count = command.count;
        }
    }
    if (key.empty()) {
        error = "has no command (" + all + ")";
        return false;
    }
    for (const auto& [name, out] :
         {std::pair{"speed", &e.speed}, {"weight", &e.weight}, {"over", &e.overMs}}) {
        if (v.has(name) && !ReadNumbers(v.get(name), name, 1, out, error)) {
            return false;
        }
    }
    e.overMs = std::max(e.overMs, 0.0f);
    const JsonValue& value = v.get(key);
    if (e.kind == EventKind::Motion && v.has("then") &&
        !ReadName(v.get("then"), "then", e.then, error)) {
        return false;
    }
    if (count < 0) {
        return ReadName(value, key, e.name, error);
    }
    if (count == 0) {
        e.flag = value.boolValue;
        return value.isBool() || MustBe(error, key, "true or false");
    }
    if (e.kind == EventKind::Scale && value.isNumber()) {  // one number scales both axes
        return ReadNumbers(value, key, 1, e.values, error) && (e.values[1] = e.values[0], true);
    }
    return ReadNumbers(value, key, count, e.values, error);
}

}  // namespace

bool ParseTimeline(std::string_view text, const std::string& baseDir, Settings& settings,
                   std::vector<TimelineEvent>& events, std::string& error) {
    const JsonValue root = kivanime::ParseJson(text);
    if (!root.isObject()) {
        error = "the top level is not a JSON object";
        return false;
    }
    if (!ReadTimelineSettings(root, settings, error)) {
        return false;
    }
    if (!settings.model.empty() && !std::filesystem::path(settings.model).is_absolute()) {
        settings.model = baseDir + settings.model;
    }
    const JsonValue& list = root.get("events");
    if (root.has("events") && !list.isArray()) {
        error = "\"events\" must be an array";
        return false;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        TimelineEvent& event = events.emplace_back();
        event.index = static_cast<int>(i);
        if (!ReadEvent(list.at(i), event, error)) {
            error = "event " + std::to_string(i) + " " + error;
            return false;
        }
        settings.enable3D = settings.enable3D || event.kind == EventKind::Angles;
    }
    std::stable_sort(
        events.begin(), events.end(),
        [](const TimelineEvent& a, const TimelineEvent& b) { return a.atMs < b.atMs; });
    return true;
}

bool LoadTimeline(const std::string& path, Settings& settings, std::vector<TimelineEvent>& events,
                  std::string& error) {
    std::string text;
    if (!kivanime::ReadFileBytes(path, text)) {
        error = "cannot read the file";
        return false;
    }
    const size_t slash = path.find_last_of("/\\");
    const std::string baseDir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return ParseTimeline(text, baseDir, settings, events, error);
}

}  // namespace kivanime_player
