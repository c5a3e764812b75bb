#include "model/motion_loader.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "model/json_read.h"

namespace kivanime {

namespace {

const std::string kEmpty;

// A strict weak order on every float time, NaN included: NaN sorts after
// everything, so a hostile file cannot break the sort; equal times keep
// their file order.
template <typename T>
void SortByTime(std::vector<T>& items) {
    std::stable_sort(items.begin(), items.end(), [](const T& a, const T& b) {
        if (std::isnan(a.time)) {
            return false;
        }
        return std::isnan(b.time) || a.time < b.time;
    });
}

}  // namespace

EasingType ParseEasing(std::string_view text) {
    for (const auto& [name, type] : kEasingNames) {
        if (text == name) {
            return type;
        }
    }
    return kEasingNames[0].second;
}

MotionKeyframe ReadKeyframeJson(const AnimeModel& model, const JsonValue& value) {
    MotionKeyframe key;
    if (!value.isObject()) {
        return key;
    }
    key.time = value.get("time").asFloat(key.time);
    ReadPair(value.get("position"), key.x, key.y, 0.0f);
    key.rotation = value.get("rotation").asFloat(key.rotation);
    ReadScale(value.get("scale"), key.scaleX, key.scaleY);
    key.alpha = value.get("alpha").asFloat(key.alpha);
    key.easing = ParseEasing(value.get("easing").asStringView(kEasingNames[0].first));
    key.textureSwapIndex = model.resolveTextureSwap(value.get("textureSwap").asStringView(""));
    key.visible = value.get("visible").asInt(key.visible);
    return key;
}

void SortKeyframes(std::vector<MotionKeyframe>& keyframes) {
    SortByTime(keyframes);
}

std::vector<MotionEvent> ReadMotionEvents(const JsonValue& value) {
    std::vector<MotionEvent> events;
    if (!value.isArray()) {
        return events;
    }
    events.reserve(value.size());
    for (const JsonValue& element : value.elements) {
        if (!element.isObject()) {
            continue;
        }
        MotionEvent& event = events.emplace_back();
        event.time = element.get("time").asFloat(event.time);
        event.name = element.get("name").asString(kEmpty);
        event.intValue = element.get("int").asInt(event.intValue);
        event.floatValue = element.get("float").asFloat(event.floatValue);
        event.stringValue = element.get("string").asString(kEmpty);
    }
    SortByTime(events);
    return events;
}

MotionTrack ReadTrackJson(const AnimeModel& model, const JsonValue& value) {
    MotionTrack track;
    if (!value.isObject()) {
        return track;
    }
    track.part = value.get("part").asString(kEmpty);
    track.partIndex = model.findPart(track.part);
    const JsonValue& keyframes = value.get("keyframes");
    if (keyframes.isArray()) {
        track.keyframes.reserve(keyframes.size());
        for (const JsonValue& element : keyframes.elements) {
            track.keyframes.push_back(ReadKeyframeJson(model, element));
        }
    }
    SortKeyframes(track.keyframes);
    return track;
}

bool ReadMotionJson(AnimeModel& model, const JsonValue& value, std::string_view name) {
    static const std::string kUnnamed(kDefaultName);
    if (!value.isObject()) {
        return false;
    }
    AnimeMotion motion;
    motion.name = name.empty() ? value.get("name").asString(kUnnamed) : std::string(name);
    motion.duration = value.get("duration").asFloat(motion.duration);
    motion.loop = value.get("loop").asBool(motion.loop);
    motion.fadeIn = value.get("fadeIn").asFloat(motion.fadeIn);
    motion.fadeOut = value.get("fadeOut").asFloat(motion.fadeOut);
    const JsonValue& tracks = value.get("tracks");
    if (tracks.isArray()) {
        motion.tracks.reserve(tracks.size());
        for (const JsonValue& element : tracks.elements) {
            motion.tracks.push_back(ReadTrackJson(model, element));
        }
    }
    motion.events = ReadMotionEvents(value.get("events"));
    std::vector<uint8_t> driven(model.parts.size(), 0);
    size_t drivenCount = 0;
    bool once = true;
    for (const MotionTrack& track : motion.tracks) {
        if (track.partIndex >= 0) {
            uint8_t& seen = driven[static_cast<size_t>(track.partIndex)];
            once = once && seen == 0;
            drivenCount += seen == 0 ? 1 : 0;
            seen = 1;
        }
    }
    motion.drivesEveryPartOnce = once && drivenCount == model.parts.size();
    // Players point at the stored record: overwrite it in place, never move it.
    auto it = model.motions.find(motion.name);
    if (it != model.motions.end()) {
        it->second = std::move(motion);
    } else {
        std::string key = motion.name;
        it = model.motions.emplace(std::move(key), std::move(motion)).first;
    }
    if (it->first.empty()) {
        model.emptyNameMotion = &it->second;
    }
    return true;
}

}  // namespace kivanime
