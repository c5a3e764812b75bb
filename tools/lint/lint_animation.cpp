// Checks of motions and expressions, written inline in a model file or in
// files of their own: keys, names that must match the model, easing names
// and keyframe timing.
#include <algorithm>
#include <cmath>
#include <string>

#include "lint_checks.h"
#include "model/expression_loader.h"
#include "model/motion_loader.h"

namespace kivanime::lint {

namespace {

// The defaults of the loaded records, which the timing checks read as the
// loaders do.
const AnimeMotion kMotion;
const MotionKeyframe kKeyframe;

const std::vector<KeyRule> kMotionRules = RulesOf(kMotionKeys);
const std::vector<KeyRule> kTrackRules = RulesOf(kTrackKeys);
const std::vector<KeyRule> kKeyframeRules = RulesOf(kKeyframeKeys);
const std::vector<KeyRule> kExpressionRules = RulesOf(kExpressionKeys);
const std::vector<KeyRule> kParamRules = RulesOf(kParamKeys);
const std::vector<KeyRule> kEventRules = RulesOf(kEventKeys);
const MotionEvent kEvent;

// The easing names the loader knows, for suggestions.
const std::vector<std::string> kEasingNameList = [] {
    std::vector<std::string> names;
    for (const auto& entry : kEasingNames) {
        names.emplace_back(entry.first);
    }
    return names;
}();

// "easeInOut", "Ease-In-Out" and "ease in out" all become "ease_in_out".
std::string NormaliseEasing(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            if (i > 0 && out.back() != '_') {
                out.push_back('_');
            }
            out.push_back(static_cast<char>(c - 'A' + 'a'));
        } else if (c == '-' || c == ' ') {
            out.push_back('_');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string EasingSuggestion(std::string_view text) {
    std::string normal = NormaliseEasing(text);
    for (const std::string& name : kEasingNameList) {
        if (normal == name) {
            return " (did you mean " + Quoted(name) + "?)";
        }
    }
    return DidYouMean(normal, kEasingNameList);
}

// Records the stored name and reports a definition that replaces an earlier one.
void StoreName(Reporter& r, const JsonValue& at, std::vector<StoredName>& table,
               const std::string& name, std::string_view kind) {
    const JsonSourceNode* node = r.file().map.find(at);
    JsonTextPosition position = TextPositionOf(r.file().text, node ? node->offset : 0);
    for (const StoredName& earlier : table) {
        if (earlier.name == name) {
            r.at(at, Severity::Warning, "duplicate-name",
                 std::string(kind) + " " + Quoted(name) +
                     " is defined again: it replaces the one in " + earlier.file + " line " +
                     std::to_string(earlier.line));
            return;
        }
    }
    table.push_back(StoredName{name, r.file().path, position.line});
}

// The name a motion or expression is stored under, and the value to point at.
void ResolveName(Reporter& r, const JsonValue& object, std::string_view key,
                 std::vector<StoredName>& table, std::string_view kind) {
    const JsonValue& nameValue = object.get("name");
    if (!key.empty()) {
        if (nameValue.isString() && nameValue.text != key) {
            r.at(nameValue, Severity::Info, "ignored-name",
                 "inline " + std::string(kind) + " is stored under its key " + Quoted(key) +
                     ", not under its \"name\" " + Quoted(nameValue.text));
        }
        StoreName(r, object, table, std::string(key), kind);
        return;
    }
    if (!nameValue.isString()) {
        r.at(object, Severity::Warning, "missing-name",
             "the " + std::string(kind) +
                 " has no \"name\": it is stored as \"unnamed\" and replaces any other unnamed " +
                 std::string(kind));
        StoreName(r, object, table, "unnamed", kind);
        return;
    }
    StoreName(r, nameValue, table, nameValue.text, kind);
}

}  // namespace

void CheckTextureSwap(Reporter& r, const JsonValue& holder, const Puppet* puppet,
                      std::string_view where, std::string_view key) {
    const JsonValue& swap = holder.get(key);
    if (puppet == nullptr || !swap.isString() || swap.text.empty()) {
        return;
    }
    if (puppet->model.findTexture(swap.text) < 0) {
        r.at(swap, Severity::Error, "unknown-texture-swap",
             std::string(where) + " swaps to texture " + Quoted(swap.text) +
                 ", which the model does not have" + DidYouMean(swap.text, puppet->textureNames));
    }
}

void CheckDeform(Reporter& r, const JsonValue& key, const PartMeshRef* mesh,
                 const std::string& partName, const std::string& label) {
    const JsonValue& deform = key.get("deform");
    if (!deform.isArray()) {
        return;
    }
    for (const JsonValue& offset : deform.elements) {
        if (!offset.isNumber()) {
            r.at(offset, Severity::Error, "wrong-type",
                 "an offset in \"deform\" of " + label + " is " + DescribeKind(offset) +
                     ", not a number: 0 applies");
        }
    }
    const size_t n = deform.size();
    if (n % 2 != 0) {
        r.at(deform.elements[n - 1], Severity::Warning, "deform-odd-count",
             "\"deform\" of " + label + " has " + std::to_string(n) +
                 " numbers, not x, y pairs: the last is ignored");
    }
    if (mesh == nullptr || n < 2) {
        return;
    }
    if (!mesh->drawable()) {
        r.atKey(deform, Severity::Warning, "deform-without-mesh",
                "part " + Quoted(partName) + " has no drawable mesh: \"deform\" of " + label +
                    " moves nothing");
        return;
    }
    // Pair k moves vertex start + k; those outside the mesh are dropped.
    const int64_t start = key.get("deformStart").asInt(0);
    const int64_t pairs = static_cast<int64_t>(n / 2);
    const int64_t vertices = mesh->vertexCount;
    if (start < 0 || start + pairs > vertices) {
        const int64_t firstLost = start < 0 ? 0 : vertices - start;
        r.at(deform.elements[static_cast<size_t>(2 * std::max<int64_t>(firstLost, 0))],
             Severity::Warning, "deform-too-long",
             "\"deform\" of " + label + " moves vertices " + std::to_string(start) + " to " +
                 std::to_string(start + pairs - 1) + " of part " + Quoted(partName) +
                 ", whose mesh has vertices 0 to " + std::to_string(vertices - 1) +
                 ": the offsets of the others are ignored");
    }
}

namespace {

// `reachEnd` is the last time the clock reaches: the duration, or unbounded
// for a looping motion of duration 0, whose clock never wraps. A parameter
// track's keyframes have only a value.
void CheckKeyframes(Reporter& r, const JsonValue& keyframes, float reachEnd, const Puppet* puppet,
                    const std::string& trackLabel, const std::string& partName,
                    bool drivesParameter) {
    const int32_t part = puppet != nullptr ? puppet->model.findPart(partName) : -1;
    const PartMeshRef* mesh =
        part >= 0 ? &puppet->model.topology.meshes.parts[static_cast<size_t>(part)] : nullptr;
    float latest = -INFINITY;
    std::vector<float> seen;
    for (size_t i = 0; i < keyframes.elements.size(); ++i) {
        const JsonValue& key = keyframes.elements[i];
        std::string label = "keyframe #" + std::to_string(i + 1) + " of " + trackLabel;
        if (!key.isObject()) {
            r.at(key, Severity::Error, "wrong-type",
                 label + " is " + DescribeKind(key) +
                     ", not an object: a neutral keyframe at time 0 is added");
            continue;
        }
        CheckMembers(r, key, kKeyframeRules, label);
        CheckIgnoredKeys(r, key, kKeyframeRules, {"time", "easing", "value"}, drivesParameter,
                         label);
        const JsonValue& easing = key.get("easing");
        const std::string_view fallback = kEasingNames[0].first;
        if (easing.isString() && ParseEasing(easing.text) == kEasingNames[0].second &&
            easing.text != fallback) {
            r.at(easing, Severity::Error, "unknown-easing",
                 "easing " + Quoted(easing.text) + " is not an easing name: " +
                     std::string(fallback) + " applies" + EasingSuggestion(easing.text));
        }
        if (!drivesParameter) {
            CheckTextureSwap(r, key, puppet, label);
            CheckDeform(r, key, mesh, partName, label);
        }

        const JsonValue& timeValue = key.get("time");
        float time = timeValue.asFloat(kKeyframe.time);
        if (std::isnan(time)) {
            continue;  // already reported as not finite
        }
        const JsonValue& at = timeValue.isNumber() ? timeValue : key;
        // Keyframes at one time keep their file order: two make a jump (the
        // track heads for the first and holds the second), a third or more
        // puts keyframes between them that are never shown.
        int sameTime = 0;
        for (float earlier : seen) {
            sameTime += earlier == time ? 1 : 0;
        }
        if (sameTime >= 2) {
            r.at(at, Severity::Warning, "keyframe-same-time",
                 label + " is keyframe " + std::to_string(sameTime + 1) + " at " +
                     FormatNumber(time) +
                     " ms: of the keyframes at one time only the first and the last are ever "
                     "shown");
        } else if (sameTime == 0 && time < latest) {
            r.at(at, Severity::Warning, "keyframe-order",
                 label + " at " + FormatNumber(time) +
                     " ms comes after a later keyframe in the file: keyframes play in time order");
        }
        if (time > reachEnd) {
            r.at(at, Severity::Warning, "keyframe-after-duration",
                 label + " at " + FormatNumber(time) + " ms lies after the duration (" +
                     FormatNumber(reachEnd) + " ms): it is never reached");
        }
        seen.push_back(time);
        latest = std::max(latest, time);
    }
}

// A motion's "events": objects only, with times the clock reaches.
void CheckEvents(Reporter& r, const JsonValue& events, float reachEnd, const std::string& label) {
    for (size_t i = 0; i < events.elements.size(); ++i) {
        const JsonValue& event = events.elements[i];
        const std::string eventLabel = "event #" + std::to_string(i + 1) + " of " + label;
        if (!event.isObject()) {
            r.at(event, Severity::Error, "wrong-type",
                 eventLabel + " is " + DescribeKind(event) + ", not an object: it is skipped");
            continue;
        }
        CheckMembers(r, event, kEventRules, eventLabel);
        const JsonValue& timeValue = event.get("time");
        const float time = timeValue.asFloat(kEvent.time);
        // A time that is not finite is reported as such already.
        if (std::isfinite(time) && (time < 0.0f || time > reachEnd)) {
            r.at(timeValue, Severity::Warning, "event-time",
                 eventLabel + " at " + FormatNumber(time) + " ms lies outside the motion (0 to " +
                     FormatNumber(reachEnd) + " ms): it never fires");
        }
    }
}

}  // namespace

void CheckMotion(Reporter& r, const JsonValue& motion, std::string_view key, const Puppet* puppet,
                 AnimationNames& names) {
    std::string label = key.empty() ? std::string("the motion") : "motion " + Quoted(key);
    if (!motion.isObject()) {
        r.at(motion, Severity::Error, "wrong-type",
             label + " is " + DescribeKind(motion) + ", not an object: it is skipped");
        return;
    }
    ResolveName(r, motion, key, names.motions, "motion");
    CheckMembers(r, motion, kMotionRules, label);
    const JsonValue& durationValue = motion.get("duration");
    float duration = durationValue.asFloat(kMotion.duration);
    const bool loops = motion.get("loop").asBool(false);
    // A duration of 0 is a one-pose motion that finishes on its first update;
    // looping, it never wraps, so its clock runs on past every keyframe.
    if (durationValue.isNumber() && duration < 0.0f) {
        r.at(durationValue, Severity::Error, "bad-duration",
             "\"duration\" of " + label + " is " + FormatNumber(duration) +
                 " ms: a motion's length cannot be negative");
    } else if (durationValue.isNumber() && duration == 0.0f && loops) {
        r.at(durationValue, Severity::Warning, "bad-duration",
             "\"duration\" of the looping " + label +
                 " is 0 ms: it never wraps, and once past its last keyframe it holds it");
    }
    for (const std::string_view fadeKey : {"fadeIn", "fadeOut"}) {
        const JsonValue& fade = motion.get(fadeKey);
        if (fade.isNumber() && fade.number < 0.0) {
            r.at(fade, Severity::Warning, "negative-fade",
                 Quoted(fadeKey) + " of " + label + " is " + FormatNumber(fade.number) +
                     " ms: a fade that uses it happens at once, as with 0");
        }
    }
    // A negative duration is reported once above, not again on every keyframe.
    const float reachEnd = duration < 0.0f || (loops && duration == 0.0f) ? INFINITY : duration;
    CheckEvents(r, motion.get("events"), reachEnd, label);
    const JsonValue& tracks = motion.get("tracks");
    if (!tracks.isArray()) {
        return;
    }
    for (size_t i = 0; i < tracks.elements.size(); ++i) {
        const JsonValue& track = tracks.elements[i];
        std::string trackLabel = "track #" + std::to_string(i + 1) + " of " + label;
        if (!track.isObject()) {
            r.at(track, Severity::Error, "wrong-type",
                 trackLabel + " is " + DescribeKind(track) + ", not an object: it changes nothing");
            continue;
        }
        CheckMembers(r, track, kTrackRules, trackLabel);
        const bool drivesParameter = CheckParameterName(r, track, puppet, trackLabel, "drives");
        CheckIgnoredKeys(r, track, kTrackRules, {"parameter", "keyframes"}, drivesParameter,
                         trackLabel);
        const JsonValue& part = track.get("part");
        std::string partName = part.isString() && !drivesParameter ? part.text : std::string();
        if (puppet != nullptr && !drivesParameter && puppet->model.findPart(partName) < 0) {
            r.at(part.isString() ? part : track, Severity::Error, "unknown-track-part",
                 trackLabel +
                     (partName.empty() ? " names no part"
                                       : " drives part " + Quoted(partName) +
                                             ", which the model does not have") +
                     ": it changes nothing" + DidYouMean(partName, puppet->partNames));
        }
        const JsonValue& keyframes = track.get("keyframes");
        if (keyframes.size() == 0) {
            r.at(keyframes.isArray() ? keyframes : track, Severity::Warning, "empty-track",
                 trackLabel + " has no keyframes: it changes nothing");
            continue;
        }
        CheckKeyframes(r, keyframes, reachEnd, puppet, trackLabel, partName, drivesParameter);
    }
}

void CheckExpression(Reporter& r, const JsonValue& expression, std::string_view key,
                     const Puppet* puppet, AnimationNames& names) {
    std::string label = key.empty() ? std::string("the expression") : "expression " + Quoted(key);
    if (!expression.isObject()) {
        r.at(expression, Severity::Error, "wrong-type",
             label + " is " + DescribeKind(expression) + ", not an object: it is skipped");
        return;
    }
    ResolveName(r, expression, key, names.expressions, "expression");
    CheckMembers(r, expression, kExpressionRules, label);
    const JsonValue& params = expression.get("params");
    if (!params.isArray()) {
        return;
    }
    for (size_t i = 0; i < params.elements.size(); ++i) {
        const JsonValue& param = params.elements[i];
        std::string paramLabel = "parameter #" + std::to_string(i + 1) + " of " + label;
        if (!param.isObject()) {
            r.at(param, Severity::Error, "wrong-type",
                 paramLabel + " is " + DescribeKind(param) + ", not an object: it changes nothing");
            continue;
        }
        CheckMembers(r, param, kParamRules, paramLabel);
        const bool setsParameter = CheckParameterName(r, param, puppet, paramLabel, "sets");
        CheckIgnoredKeys(r, param, kParamRules, {"parameter", "value"}, setsParameter, paramLabel);
        if (setsParameter) {
            continue;
        }
        const JsonValue& part = param.get("part");
        std::string partName = part.isString() ? part.text : std::string();
        if (puppet != nullptr && puppet->model.findPart(partName) < 0) {
            r.at(part.isString() ? part : param, Severity::Error, "unknown-param-part",
                 paramLabel +
                     (partName.empty() ? " names no part"
                                       : " acts on part " + Quoted(partName) +
                                             ", which the model does not have") +
                     ": it changes nothing" + DidYouMean(partName, puppet->partNames));
        }
        CheckTextureSwap(r, param, puppet, paramLabel);
    }
}

}  // namespace kivanime::lint
