#include "model/motion_loader.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kivanime {

namespace {

void ReadWithTrack(MotionKeyframe&, const JsonValue&, const AnimeModel&) {}

constexpr RecordKey<MotionKeyframe> kKeyframeKeyTable[] = {
    {"time", Want::Number, [](MotionKeyframe& k) { return FieldsOf(k.time); }, "time {} applies"},
    {"position", Want::Pair,
     [](MotionKeyframe& k) { return FieldsOf(k.channels.x, k.channels.y); }},
    {"rotation", Want::Number, [](MotionKeyframe& k) { return FieldsOf(k.channels.rotation); }},
    {"scale", Want::Scale,
     [](MotionKeyframe& k) { return FieldsOf(k.channels.scaleX, k.channels.scaleY); }},
    {"alpha", Want::Number, [](MotionKeyframe& k) { return FieldsOf(k.channels.alpha); }},
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
    // Read with the track, which knows its part's mesh (ReadKeyframeDeform).
    {kDeformKey, Want::Array, nullptr, "no vertex moves", ReadWithTrack},
    {kDeformStartKey, Want::Integer, nullptr, "vertex 0 applies", ReadWithTrack},
    {kValueKey, Want::Number, nullptr, "value 0 applies", ReadWithTrack},
};

constexpr RecordKey<MotionTrack> kTrackKeyTable[] = {
    {"part", Want::String, [](MotionTrack& t) { return FieldsOf(t.part); },
     "the track drives no part"},
    {"parameter", Want::String, [](MotionTrack& t) { return FieldsOf(t.parameter); },
     "the track drives a part, not a parameter"},
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
// everything, so a hostile file cannot break the sort.
template <typename T>
bool Earlier(const T& a, const T& b) {
    if (std::isnan(a.time)) {
        return false;
    }
    return std::isnan(b.time) || a.time < b.time;
}

// Equal times keep their file order.
template <typename T>
void SortByTime(std::vector<T>& items) {
    std::stable_sort(items.begin(), items.end(), Earlier<T>);
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

KeyframeDeform ReadKeyframeDeform(const JsonValue& keyframe, int32_t vertexCount,
                                  std::vector<float>& values) {
    KeyframeDeform deform;
    deform.first = static_cast<uint32_t>(values.size());
    const JsonValue& offsets = keyframe.get(kDeformKey);
    if (!offsets.isArray()) {
        return deform;
    }
    // Pair k moves vertex start + k; pairs before the first vertex or after
    // the last have no vertex to move, and an odd last number no partner.
    const int64_t start = keyframe.get(kDeformStartKey).asInt(0);
    const int64_t pairs = static_cast<int64_t>(offsets.size() / 2);
    const int64_t from = std::max<int64_t>(start, 0);
    const int64_t to = std::min<int64_t>(start + pairs, vertexCount);
    if (from >= to) {
        return deform;
    }
    deform.vertex = static_cast<uint32_t>(from);
    deform.count = static_cast<uint32_t>(to - from);
    values.reserve(values.size() + 2 * deform.count);
    for (int64_t v = from; v < to; ++v) {
        const uint64_t k = static_cast<uint64_t>(v - start);
        values.push_back(offsets.at(2 * k).asFloat(0.0f));
        values.push_back(offsets.at(2 * k + 1).asFloat(0.0f));
    }
    return deform;
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

void SortKeyframes(std::vector<MotionKeyframe>& keyframes, std::vector<KeyframeDeform>& deforms) {
    if (deforms.size() != keyframes.size()) {
        SortKeyframes(keyframes);
        return;
    }
    // The order the plain sort gives, applied to both lists.
    std::vector<size_t> order(keyframes.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return Earlier(keyframes[a], keyframes[b]); });
    std::vector<MotionKeyframe> sortedKeys;
    std::vector<KeyframeDeform> sortedDeforms;
    sortedKeys.reserve(order.size());
    sortedDeforms.reserve(order.size());
    for (size_t i : order) {
        sortedKeys.push_back(keyframes[i]);
        sortedDeforms.push_back(deforms[i]);
    }
    keyframes = std::move(sortedKeys);
    deforms = std::move(sortedDeforms);
}

MotionTrack ReadTrackJson(const AnimeModel& model, const JsonValue& value) {
    MotionTrack track;
    if (!value.isObject()) {
        return track;
    }
    ReadKeys(kTrackKeys, value, track, model);
    if (value.get("parameter").isString()) {
        // Only the value matters: every other channel stays neutral.
        const JsonValue& keyframes = value.get("keyframes");
        for (size_t k = 0; k < track.keyframes.size(); ++k) {
            PoseChannels& channels = track.keyframes[k].channels;
            channels = PoseChannels{};
            channels.x = keyframes.at(k).get(kValueKey).asFloat(0.0f);
        }
        track.drivesParameter = true;
        track.parameterIndex = model.parameters.find(track.parameter);
        SortKeyframes(track.keyframes);
        return track;
    }
    track.partIndex = model.findPart(track.part);
    // Vertex offsets are kept only for a part with a drawable mesh: read
    // here, beside the keyframes the table read, since a keyframe alone does
    // not know its part's mesh.
    const std::vector<PartMeshRef>& meshes = model.topology.meshes.parts;
    const PartMeshRef mesh =
        track.partIndex >= 0 && static_cast<size_t>(track.partIndex) < meshes.size()
            ? meshes[static_cast<size_t>(track.partIndex)]
            : PartMeshRef{};
    const JsonValue& keyframes = value.get("keyframes");
    if (mesh.drawable() && keyframes.isArray()) {
        bool moves = false;
        for (const JsonValue& element : keyframes.elements) {
            track.deforms.push_back(
                ReadKeyframeDeform(element, mesh.vertexCount, track.deformValues));
            moves = moves || track.deforms.back().count > 0;
        }
        if (!moves) {
            track.deforms.clear();
            track.deformValues.clear();
        }
    }
    SortKeyframes(track.keyframes, track.deforms);
    if (!track.deforms.empty()) {
        track.meshFirstVertex = mesh.firstVertex;
        track.meshVertexCount = mesh.vertexCount;
        track.deformsWholeMesh =
            std::all_of(track.deforms.begin(), track.deforms.end(), [&](const KeyframeDeform& k) {
                return k.vertex == 0 && k.count == static_cast<uint32_t>(mesh.vertexCount);
            });
    }
    return track;
}

bool ReadMotionJson(AnimeModel& model, const JsonValue& value, std::string_view name) {
    AnimeMotion motion;
    if (!ReadMotionRecord(model, value, name, motion)) {
        return false;
    }
    StoreMotion(model, std::move(motion));
    return true;
}

bool ReadMotionRecord(const AnimeModel& model, const JsonValue& value, std::string_view name,
                      AnimeMotion& motion) {
    if (!value.isObject()) {
        return false;
    }
    ReadKeys(kMotionKeys, value, motion, model);
    if (!name.empty()) {
        motion.name = name;
    }
    // Parameter tracks apart, so that the part tracks alone decide how a
    // frame writes the poses.
    for (MotionTrack& track : motion.tracks) {
        if (track.drivesParameter) {
            motion.parameterTracks.push_back(std::move(track));
        }
    }
    std::erase_if(motion.tracks, [](const MotionTrack& t) { return t.drivesParameter; });
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
    // Which meshes the motion moves whole, by the first track naming them.
    std::vector<uint8_t> meshSeen(model.parts.size(), 0);
    size_t wholeMeshes = 0;
    for (size_t k = 0; k < motion.tracks.size(); ++k) {
        const MotionTrack& track = motion.tracks[k];
        if (track.deforms.empty()) {
            continue;
        }
        uint8_t& seen = meshSeen[static_cast<size_t>(track.partIndex)];
        const bool setter = seen == 0 && track.deformsWholeMesh;
        wholeMeshes += setter ? 1 : 0;
        seen = 1;
        motion.deformTracks.push_back(static_cast<uint32_t>(k));
        motion.deformSetters.push_back(setter ? 1 : 0);
    }
    size_t meshes = 0;
    for (const PartMeshRef& mesh : model.topology.meshes.parts) {
        meshes += mesh.drawable() ? 1 : 0;
    }
    motion.deformsEveryMeshWhole = meshes > 0 && wholeMeshes == meshes;
    return true;
}

void StoreMotion(AnimeModel& model, AnimeMotion&& motion) {
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
}

}  // namespace kivanime
