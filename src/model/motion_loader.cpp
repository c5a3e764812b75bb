#include "model/motion_loader.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "model/json_read.h"

namespace kivanime {

namespace {

const std::string kEmpty;

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

KeyframeDeform ReadKeyframeDeform(const JsonValue& keyframe, int32_t vertexCount,
                                  std::vector<float>& values) {
    KeyframeDeform deform;
    deform.first = static_cast<uint32_t>(values.size());
    const JsonValue& offsets = keyframe.get("deform");
    if (!offsets.isArray()) {
        return deform;
    }
    // Pair k moves vertex start + k; pairs before the first vertex or after
    // the last have no vertex to move, and an odd last number no partner.
    const int64_t start = keyframe.get("deformStart").asInt(0);
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
        values.push_back(ElementFloat(offsets, 2 * k, 0.0f));
        values.push_back(ElementFloat(offsets, 2 * k + 1, 0.0f));
    }
    return deform;
}

namespace {

// A strict weak order on every float, NaN included: NaN sorts after
// everything, so a hostile file cannot break the sort.
bool EarlierKeyframe(const MotionKeyframe& a, const MotionKeyframe& b) {
    if (std::isnan(a.time)) {
        return false;
    }
    return std::isnan(b.time) || a.time < b.time;
}

}  // namespace

void SortKeyframes(std::vector<MotionKeyframe>& keyframes) {
    std::stable_sort(keyframes.begin(), keyframes.end(), EarlierKeyframe);
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
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return EarlierKeyframe(keyframes[a], keyframes[b]);
    });
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
    track.part = value.get("part").asString(kEmpty);
    track.partIndex = model.findPart(track.part);
    // Vertex offsets are kept only for a part with a drawable mesh.
    const std::vector<PartMeshRef>& meshes = model.topology.meshes.parts;
    const PartMeshRef mesh =
        track.partIndex >= 0 && static_cast<size_t>(track.partIndex) < meshes.size()
            ? meshes[static_cast<size_t>(track.partIndex)]
            : PartMeshRef{};
    const JsonValue& keyframes = value.get("keyframes");
    if (keyframes.isArray()) {
        track.keyframes.reserve(keyframes.size());
        bool moves = false;
        for (const JsonValue& element : keyframes.elements) {
            track.keyframes.push_back(ReadKeyframeJson(model, element));
            if (mesh.drawable()) {
                track.deforms.push_back(
                    ReadKeyframeDeform(element, mesh.vertexCount, track.deformValues));
                moves = moves || track.deforms.back().count > 0;
            }
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
