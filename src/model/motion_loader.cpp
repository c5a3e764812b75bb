#include "model/motion_loader.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kivanime {

namespace {

constexpr RecordKey<MotionKeyframe> kKeyframeKeyTable[] = {
    {"time", Want::Number, [](MotionKeyframe& k) { return FieldsOf(k.time); }, "time {} applies"},
    {"position", Want::Pair, [](MotionKeyframe& k) { return FieldsOf(k.x, k.y); }},
    {"rotation", Want::Number, [](MotionKeyframe& k) { return FieldsOf(k.rotation); }},
    {"scale", Want::Scale, [](MotionKeyframe& k) { return FieldsOf(k.scaleX, k.scaleY); }},
    {"alpha", Want::Number, [](MotionKeyframe& k) { return FieldsOf(k.alpha); }},
    // Any text but an easing name (and any other kind) gives the first easing.
    {.name = "easing",
     .want = Want::String,
     .read = [](MotionKeyframe& k, const JsonValue& v,
                const AnimeModel&) { k.easing = ParseEasing(v.asStringView({})); },
     .fallback = kEasingNames[0].first},
    {"textureSwap", Want::String, nullptr, "no texture swap",
     [](MotionKeyframe& k, const JsonValue& v, const AnimeModel& model) {
         k.textureSwapIndex = model.resolveTextureSwap(v.asStringView({}));
     }},
    {"visible", Want::Integer, [](MotionKeyframe& k) { return FieldsOf(k.visible); },
     "no visibility change (1 shows, 0 hides)"},
};

constexpr RecordKey<MotionTrack> kTrackKeyTable[] = {
    {"part", Want::String, [](MotionTrack& t) { return FieldsOf(t.part); },
     "the track drives no part"},
    {"keyframes", Want::Array, nullptr, "the track has no keyframes",
     [](MotionTrack& t, const JsonValue& v, const AnimeModel& model) {
         ReadArray(t.keyframes, v, [&](const JsonValue& e) { return ReadKeyframeJson(model, e); });
     }},
};

constexpr RecordKey<MotionEvent> kEventKeyTable[] = {
    {"time", Want::Number, [](MotionEvent& e) { return FieldsOf(e.time); }, "time {} applies"},
    {"name", Want::String, [](MotionEvent& e) { return FieldsOf(e.name); },
     "the event has an empty name"},
    {"int", Want::Integer, [](MotionEvent& e) { return FieldsOf(e.intValue); }},
    {"float", Want::Number, [](MotionEvent& e) { return FieldsOf(e.floatValue); }},
    {"string", Want::String, [](MotionEvent& e) { return FieldsOf(e.stringValue); },
     "the event's string is empty"},
};

constexpr RecordKey<AnimeMotion> kMotionKeyTable[] = {
    {"name", Want::String, [](AnimeMotion& m) { return FieldsOf(m.name); },
     "the name \"{}\" applies", nullptr, kDefaultName},
    {"duration", Want::Number, [](AnimeMotion& m) { return FieldsOf(m.duration); },
     "{} ms applies"},
    {"loop", Want::Bool, [](AnimeMotion& m) { return FieldsOf(m.loop); },
     "the motion does not loop (only true and false count)"},
    {"fadeIn", Want::Number, [](AnimeMotion& m) { return FieldsOf(m.fadeIn); }},
    {"fadeOut", Want::Number, [](AnimeMotion& m) { return FieldsOf(m.fadeOut); }},
    {"tracks", Want::Array, nullptr, "the motion has no tracks",
     [](AnimeMotion& m, const JsonValue& v, const AnimeModel& model) {
         ReadArray(m.tracks, v, [&](const JsonValue& e) { return ReadTrackJson(model, e); });
     }},
    {"events", Want::Array, nullptr, "the motion announces no events",
     [](AnimeMotion& m, const JsonValue& v, const AnimeModel& model) {
         m.events = ReadMotionEvents(model, v);
     }},
};

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

constinit const std::span<const RecordKey<AnimeMotion>> kMotionKeys = kMotionKeyTable;
constinit const std::span<const RecordKey<MotionTrack>> kTrackKeys = kTrackKeyTable;
constinit const std::span<const RecordKey<MotionKeyframe>> kKeyframeKeys = kKeyframeKeyTable;
constinit const std::span<const RecordKey<MotionEvent>> kEventKeys = kEventKeyTable;

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
    ReadKeys(kKeyframeKeys, value, key, model);
    return key;
}

void SortKeyframes(std::vector<MotionKeyframe>& keyframes) {
    SortByTime(keyframes);
}

std::vector<MotionEvent> ReadMotionEvents(const AnimeModel& model, const JsonValue& value) {
    std::vector<MotionEvent> events;
    if (!value.isArray()) {
        return events;
    }
    events.reserve(value.size());
    for (const JsonValue& element : value.elements) {
        // Unlike a track, an element that is not an object is no event.
        if (element.isObject()) {
            ReadKeys(kEventKeys, element, events.emplace_back(), model);
        }
    }
    SortByTime(events);
    return events;
}

MotionTrack ReadTrackJson(const AnimeModel& model, const JsonValue& value) {
    MotionTrack track;
    if (!value.isObject()) {
        return track;
    }
    ReadKeys(kTrackKeys, value, track, model);
    track.partIndex = model.findPart(track.part);
    SortKeyframes(track.keyframes);
    return track;
}

bool ReadMotionJson(AnimeModel& model, const JsonValue& value, std::string_view name) {
    if (!value.isObject()) {
        return false;
    }
    AnimeMotion motion;
    ReadKeys(kMotionKeys, value, motion, model);
    if (!name.empty()) {
        motion.name = name;
    }
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
