// The timeline reader: its settings through the settings table, and its
// events, sorted by time.
#include "settings.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <limits>
#include <utility>

#include "json/json_file.h"
#include "json/json_parser.h"
#include "json/json_value.h"

namespace kivanime_player {

namespace {

using kivanime::JsonValue;

// Each command's key, in the order of EventKind, and its value: a name (-1),
// a name or "" (-2), true or false (0), or that many numbers.
constexpr std::pair<const char*, int> kCommands[] = {
    {"motion", -1},
    {"stopMotion", 0},
    {"overlay", -1},
    {"stopOverlay", -1},
    {"stopOverlays", 0},
    {"expression", -1},
    {"clearExpression", 0},
    {"angles", 3},
    {"wind", 2},
    {"globalWind", 2},
    {"position", 2},
    {"scale", 2},
    {"alpha", 1},
    {"visible", 0},
    {"resetPhysics", 0},
    {"crossFade", -1},
    {"queue", -1},
    {"fadeOverlay", -1},
    {"partOffset", 6},
    {"clearPartOffsets", 0},
    {"skin", -2},
    {"partTexture", -2},
    {"tint", 3},
    {"parameter", -1},
    {"resetParameters", 0},
    {"blink", -1},
    {"breath", -1},
    {"lipSync", -1},
    {"audio", -2},
};

// The numbers the parameter commands read besides the parameter's name, into
// the event's values in this order, with what applies when one is absent.
struct NumberKey {
    EventKind kind;
    const char* key;
    float otherwise;
    bool required = false;
};
constexpr NumberKey kNumberKeys[] = {
    {EventKind::Parameter, "value", 0.0f, true},
    {EventKind::Blink, "interval", 3000.0f},
    {EventKind::Blink, "close", 150.0f},
    {EventKind::Breath, "period", 3000.0f},
    {EventKind::Breath, "amplitude", std::numeric_limits<float>::quiet_NaN()},
    {EventKind::LipSync, "gain", 1.0f},
};

bool ReadNumberKeys(const JsonValue& v, TimelineEvent& e, std::string& error) {
    size_t slot = 0;
    for (const NumberKey& k : kNumberKeys) {
        if (k.kind != e.kind) {
            continue;
        }
        float& out = e.values[slot++];
        out = k.otherwise;
        if (k.required && !v.has(k.key)) {
            return Refuse(error, std::string("needs \"") + k.key + "\", a number");
        }
        if (v.has(k.key) && !ReadNumbers(v.get(k.key), k.key, 1, &out, error)) {
            return false;
        }
    }
    return true;
}

// The commands that change one part, named by "part".
bool NeedsPart(EventKind kind) {
    return kind == EventKind::PartOffset || kind == EventKind::PartTexture;
}

bool ReadEvent(const JsonValue& v, TimelineEvent& e, std::string& error) {
    if (!v.isObject()) {
        return Refuse(error, "must be an object");
    }
    if (!v.has("at") || !ReadNumbers(v.get("at"), "at", 1, &e.atMs, error) || e.atMs < 0.0f) {
        return Refuse(error, "needs \"at\", a time in milliseconds (0 or more)");
    }
    std::string key;
    int count = 0;
    for (size_t i = 0; i < std::size(kCommands); ++i) {
        const auto [command, n] = kCommands[i];
        if (v.has(command) && !key.empty()) {
            return Refuse(error, "has two commands, \"" + key + "\" and \"" + command + "\"");
        }
        if (v.has(command)) {
            key = command;
            e.kind = static_cast<EventKind>(i);
            count = n;
        }
    }
    if (key.empty()) {
        return Refuse(error, "has no command (" + TimelineCommandList() + ")");
    }
    for (const auto& [name, out] : {std::pair{"speed", &e.speed},
                                    {"weight", &e.weight},
                                    {"over", &e.overMs},
                                    {"fade", &e.fadeMs}}) {
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
    const bool partGiven = v.has("part");
    if ((partGiven || NeedsPart(e.kind)) && !ReadName(v.get("part"), "part", e.part, error)) {
        return NeedsPart(e.kind) ? Refuse(error, "needs \"part\", a part name") : false;
    }
    if (count == -2) {
        e.name = value.text;
        return value.isString() || MustBe(error, key, "a string");
    }
    if (count < 0) {
        return ReadName(value, key, e.name, error) && ReadNumberKeys(v, e, error);
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
        return Refuse(error, "the top level is not a JSON object");
    }
    if (!ReadTimelineSettings(root, settings, error)) {
        return false;
    }
    if (!settings.model.empty() && !std::filesystem::path(settings.model).is_absolute()) {
        settings.model = baseDir + settings.model;
    }
    const JsonValue& list = root.get("events");
    if (root.has("events") && !list.isArray()) {
        return Refuse(error, "\"events\" must be an array");
    }
    for (size_t i = 0; i < list.size(); ++i) {
        TimelineEvent& event = events.emplace_back();
        event.index = static_cast<int>(i);
        if (!ReadEvent(list.at(i), event, error)) {
            return Refuse(error, "event " + std::to_string(i) + " " + error);
        }
        settings.enable3D = settings.enable3D || event.kind == EventKind::Angles;
        // Sound files lie beside the timeline, as its model does.
        if (event.kind == EventKind::Audio && !event.name.empty() &&
            !std::filesystem::path(event.name).is_absolute()) {
            event.name = baseDir + event.name;
        }
    }
    std::stable_sort(
        events.begin(), events.end(),
        [](const TimelineEvent& a, const TimelineEvent& b) { return a.atMs < b.atMs; });
    return true;
}

std::string TimelineCommandList() {
    std::string list;
    for (const auto& [command, n] : kCommands) {
        list += (list.empty() ? "" : ", ") + std::string(command);
    }
    return list;
}

bool LoadTimeline(const std::string& path, Settings& settings, std::vector<TimelineEvent>& events,
                  std::string& error) {
    std::string text;
    if (!kivanime::ReadFileBytes(path, text)) {
        return Refuse(error, "cannot read the file");
    }
    const size_t slash = path.find_last_of("/\\");
    const std::string baseDir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return ParseTimeline(text, baseDir, settings, events, error);
}

bool NamesParameter(EventKind kind) {
    return kind == EventKind::Parameter || kind == EventKind::Blink || kind == EventKind::Breath ||
           kind == EventKind::LipSync;
}

bool NamesAnimation(EventKind kind) {
    switch (kind) {
        case EventKind::Motion:
        case EventKind::Overlay:
        case EventKind::StopOverlay:
        case EventKind::Expression:
        case EventKind::CrossFade:
        case EventKind::Queue:
        case EventKind::FadeOverlay:
            return true;
        default:
            return false;
    }
}

}  // namespace kivanime_player
