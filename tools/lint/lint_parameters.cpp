// Checks of a model's parameters and keyed bindings, and of the parameter
// names that motions and expressions use: the repairs the loader makes
// without a word (bounds swapped, a default clamped, a name replaced or
// skipped) and the bindings it leaves inert (an unknown name, a grid with a
// corner missing).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "lint_checks.h"
#include "model/binding_loader.h"
#include "model/parameter_loader.h"

namespace kivanime::lint {

namespace {

const std::vector<KeyRule> kParameterRules = RulesOf(kParameterKeys);
const std::vector<KeyRule> kBindingRules = RulesOf(kBindingKeys);
// "at" is a number or a pair depending on the binding: ReadKeyAt checks it.
const std::vector<KeyRule> kBindingKeyRules = [] {
    std::vector<KeyRule> rules = RulesOf(kBindingKeyKeys);
    for (KeyRule& rule : rules) {
        rule.ownCheck = rule.key == "at";
    }
    return rules;
}();

// The line a value of this file starts on.
size_t LineOf(const Reporter& r, const JsonValue& value) {
    const JsonSourceNode* node = r.file().map.find(value);
    return TextPositionOf(r.file().text, node != nullptr ? node->offset : 0).line;
}

std::string Place(const float* at, int dimensions) {
    return dimensions == 1 ? FormatFloat(at[0])
                           : "[" + FormatFloat(at[0]) + ", " + FormatFloat(at[1]) + "]";
}

// Where a binding key sits, as the loader reads it; false (reported) when
// the key is left out.
bool ReadKeyAt(Reporter& r, const JsonValue& key, int dimensions, const std::string& label,
               float* at) {
    const JsonValue& value = key.get("at");
    const bool pair =
        value.isArray() && value.size() == 2 && value.at(0).isNumber() && value.at(1).isNumber();
    if (dimensions == 1 ? value.isNumber() : pair) {
        at[0] = dimensions == 1 ? value.asFloat(0.0f) : value.at(0).asFloat(0.0f);
        at[1] = dimensions == 1 ? 0.0f : value.at(1).asFloat(0.0f);
        if (std::isfinite(at[0]) && std::isfinite(at[1])) {
            return true;
        }
    }
    const bool shaped = dimensions == 1 ? value.isNumber() : pair;
    r.at(key.has("at") ? value : key, Severity::Error, "binding-key-at",
         (!key.has("at") ? label + " has no \"at\""
          : shaped       ? "\"at\" of " + label + " is not finite"
                         : "\"at\" of " + label + " is " + DescribeKind(value) + ", not " +
                         (dimensions == 1 ? "a number" : "an array of two numbers, [a, b]")) +
             ": the key is left out");
    return false;
}

// A key's visibility and texture, and its vertex offsets against the part's
// mesh: as a motion's keyframe's, and also when they leave vertices out.
void CheckKeyChannels(Reporter& r, const JsonValue& key, const Puppet& puppet, int32_t part,
                      const std::string& label) {
    const std::string& partName = puppet.model.parts[static_cast<size_t>(part)].name;
    const PartMeshRef& mesh = puppet.model.topology.meshes.parts[static_cast<size_t>(part)];
    CheckTextureSwap(r, key, &puppet, label, "texture");
    CheckDeform(r, key, &mesh, partName, label);
    const JsonValue& deform = key.get("deform");
    const size_t pairs = deform.size() / 2;
    if (deform.isArray() && mesh.drawable() && !key.has("deformStart") && pairs > 0 &&
        pairs < static_cast<size_t>(mesh.vertexCount)) {
        r.atKey(deform, Severity::Info, "deform-short",
                "\"deform\" of " + label + " moves " + std::to_string(pairs) + " of the " +
                    std::to_string(mesh.vertexCount) + " vertices of part " + Quoted(partName) +
                    ": the others stay where the mesh has them");
    }
}

// Keys at a place an earlier key holds: with one parameter the pose jumps
// there, with two the later key is never used.
void CheckSamePlaces(Reporter& r, const std::vector<const JsonValue*>& keys,
                     const std::vector<std::array<float, 2>>& at, const std::vector<size_t>& number,
                     int dimensions, const std::string& label) {
    for (size_t k = 0; k < at.size(); ++k) {
        const auto first = std::find(at.begin(), at.begin() + static_cast<ptrdiff_t>(k), at[k]);
        if (first == at.begin() + static_cast<ptrdiff_t>(k)) {
            continue;
        }
        const size_t earlier = number[static_cast<size_t>(first - at.begin())];
        r.at(keys[k]->get("at"), Severity::Warning, "binding-same-at",
             "key " + std::to_string(number[k]) + " of " + label + " is at " +
                 Place(at[k].data(), dimensions) + ", as key " + std::to_string(earlier) + " is: " +
                 (dimensions == 1 ? "the pose jumps there, from the first of the keys at one "
                                    "value to the last, and any between are never shown"
                                  : "only the first key at a corner is used"));
    }
}

void CheckBinding(Reporter& r, const JsonValue& binding, size_t index, const Puppet& puppet) {
    const std::string number = std::to_string(index + 1);
    if (!binding.isObject()) {
        r.at(binding, Severity::Error, "wrong-type",
             "binding " + number + " is " + DescribeKind(binding) +
                 ", not an object: it is skipped");
        return;
    }
    const AnimeModel& model = puppet.model;
    const JsonValue& partValue = binding.get("part");
    const std::string partName = partValue.isString() ? partValue.text : std::string();
    const int32_t part = model.findPart(partName);
    const std::string label =
        "binding " + number + (partName.empty() ? std::string() : " of part " + Quoted(partName));
    CheckMembers(r, binding, kBindingRules, label);
    bool inert = false;
    if (part < 0) {
        r.at(partValue.isString() ? partValue : binding, Severity::Error, "unknown-binding-part",
             label +
                 (partName.empty() ? " names no part" : " names a part the model does not have") +
                 ": the binding is inert" + DidYouMean(partName, puppet.partNames));
        inert = true;
    }
    const JsonValue& names = binding.get("parameters");
    if (names.size() == 0 || names.size() > 2) {
        r.at(names.isArray() ? names : binding, Severity::Error, "binding-parameter-count",
             label + " follows " +
                 (names.size() == 0 ? std::string("no parameter")
                                    : std::to_string(names.size()) + " parameters") +
                 ": a binding follows one or two; it is inert");
        inert = true;
    }
    for (const JsonValue& name : names.elements) {
        if (!name.isString()) {
            r.at(name, Severity::Error, "wrong-type",
                 "a parameter of " + label + " is " + DescribeKind(name) +
                     ", not a parameter name: the binding is inert");
            inert = true;
        } else if (model.parameters.find(name.text) < 0) {
            r.at(name, Severity::Error, "unknown-parameter",
                 label + " follows parameter " + Quoted(name.text) +
                     ", which the model does not have: the binding is inert" +
                     DidYouMean(name.text, puppet.parameterNames));
            inert = true;
        }
    }
    const JsonValue& keys = binding.get("keys");
    const int dimensions = static_cast<int>(names.size());
    std::vector<const JsonValue*> placed;
    std::vector<std::array<float, 2>> at;
    std::vector<size_t> keyNumbers;
    for (size_t k = 0; k < keys.elements.size(); ++k) {
        const JsonValue& key = keys.elements[k];
        const std::string keyLabel = "key " + std::to_string(k + 1) + " of " + label;
        if (!key.isObject()) {
            r.at(key, Severity::Error, "wrong-type",
                 keyLabel + " is " + DescribeKind(key) + ", not an object: it is left out");
            continue;
        }
        CheckMembers(r, key, kBindingKeyRules, keyLabel);
        if (part >= 0) {
            CheckKeyChannels(r, key, puppet, part, keyLabel);
        }
        std::array<float, 2> place{};
        if ((dimensions == 1 || dimensions == 2) &&
            ReadKeyAt(r, key, dimensions, keyLabel, place.data())) {
            placed.push_back(&key);
            at.push_back(place);
            keyNumbers.push_back(k + 1);
        }
    }
    if (inert || (dimensions != 1 && dimensions != 2)) {
        return;
    }
    if (placed.empty()) {
        r.at(keys.isArray() ? keys : binding, Severity::Error, "binding-without-keys",
             label + " has no key with a place: it is inert");
        return;
    }
    CheckSamePlaces(r, placed, at, keyNumbers, dimensions, label);
    if (dimensions == 2) {
        std::vector<BindingKey> corners(at.size());
        for (size_t k = 0; k < at.size(); ++k) {
            corners[k].at[0] = at[k][0];
            corners[k].at[1] = at[k][1];
        }
        if (const auto missing = MissingGridCorner(corners)) {
            const float corner[2] = {missing->first, missing->second};
            r.at(keys, Severity::Error, "binding-grid-incomplete",
                 label + ": no key at " + Place(corner, 2) +
                     ": the keys of two parameters must hold every pair of their values, so "
                     "the binding is inert");
        }
    }
}

}  // namespace

void CheckParameters(Reporter& r, const JsonValue& parameters, Puppet& puppet) {
    puppet.parameterNames.clear();
    for (const AnimeParameter& p : puppet.model.parameters.list) {
        puppet.parameterNames.push_back(p.name);
    }
    std::vector<std::pair<std::string, size_t>> seen;  // name, line
    for (size_t i = 0; i < parameters.elements.size(); ++i) {
        const JsonValue& entry = parameters.elements[i];
        const std::string number = "parameter #" + std::to_string(i + 1);
        if (!entry.isObject()) {
            r.at(entry, Severity::Error, "wrong-type",
                 number + " is " + DescribeKind(entry) + ", not an object: it is skipped");
            continue;
        }
        const JsonValue& name = entry.get("name");
        const std::string label =
            name.isString() && !name.text.empty() ? "parameter " + Quoted(name.text) : number;
        CheckMembers(r, entry, kParameterRules, label);
        if (!name.isString() || name.text.empty()) {
            r.at(name.isString() ? name : entry, Severity::Error, "parameter-without-name",
                 number + " has " + (name.isString() ? "an empty name" : "no name") +
                     ": it is skipped");
            continue;
        }
        const auto earlier = std::find_if(seen.begin(), seen.end(),
                                          [&](const auto& s) { return s.first == name.text; });
        if (earlier != seen.end()) {
            r.at(name, Severity::Warning, "duplicate-parameter",
                 label + " is defined again: it replaces the one on line " +
                     std::to_string(earlier->second) + ", in that one's place in the list");
        } else {
            seen.emplace_back(name.text, LineOf(r, name));
        }
        // The bounds and default as read, before the loader's repairs.
        ParameterEntry read;
        ReadKeys(kParameterKeys, entry, read, puppet.model);
        const AnimeParameter repaired = RepairParameter(read);
        if (read.min > read.max) {
            r.at(entry.get("min").isNumber() ? entry.get("min") : entry.get("max"),
                 Severity::Warning, "parameter-min-above-max",
                 label + " has \"min\" " + FormatFloat(read.min) + " above \"max\" " +
                     FormatFloat(read.max) + ": they are swapped");
        }
        if (!std::isnan(read.def) && read.def != repaired.def) {
            r.at(entry.get("default"), Severity::Warning, "parameter-default-out-of-range",
                 "\"default\" " + FormatFloat(read.def) + " of " + label +
                     " lies outside its range, " + FormatFloat(repaired.min) + " to " +
                     FormatFloat(repaired.max) + ": " + Applies(repaired.def));
        }
    }
}

void CheckBindings(Reporter& r, const JsonValue& bindings, const Puppet& puppet) {
    for (size_t i = 0; i < bindings.elements.size(); ++i) {
        CheckBinding(r, bindings.elements[i], i, puppet);
    }
}

bool CheckParameterName(Reporter& r, const JsonValue& holder, const Puppet* puppet,
                        const std::string& label, std::string_view verb) {
    const JsonValue& name = holder.get("parameter");
    if (!name.isString()) {
        return false;
    }
    if (puppet != nullptr && puppet->model.parameters.find(name.text) < 0) {
        r.at(name, Severity::Error, "unknown-parameter",
             label + " " + std::string(verb) + " parameter " + Quoted(name.text) +
                 ", which the model does not have: it changes nothing" +
                 DidYouMean(name.text, puppet->parameterNames));
    }
    return true;
}

void CheckIgnoredKeys(Reporter& r, const JsonValue& object, std::span<const KeyRule> rules,
                      std::initializer_list<std::string_view> kept, bool forParameter,
                      const std::string& label) {
    for (size_t i = 0; i < object.members.size(); ++i) {
        const std::string& key = object.members.keyAt(i);
        const bool known = std::any_of(rules.begin(), rules.end(),
                                       [&](const KeyRule& rule) { return rule.key == key; });
        const bool read = std::find(kept.begin(), kept.end(), key) != kept.end();
        if (forParameter ? known && !read : key == "value") {
            r.atKey(object.members.valueAt(i), Severity::Warning, "ignored-key",
                    Quoted(key) + " of " + label + " is ignored: " +
                        (forParameter ? "where a parameter is named, only the value is read"
                                      : "only where a parameter is named is a value read"));
        }
    }
}

}  // namespace kivanime::lint
