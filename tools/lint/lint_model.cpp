// Checks of a model file: its keys, its parts, springs and skins, the names
// that join them, the shape of the hierarchy and the texture files.
#include <cstdio>
#include <string>

#include "json/json_file.h"
#include "lint_checks.h"
#include "model/model_loader.h"

namespace kivanime::lint {

namespace {

const std::vector<KeyRule> kRootRules = RulesOf(kModelKeys);
const std::vector<KeyRule> kPartRules = RulesOf(kPartKeys);
const std::vector<KeyRule> kSpringRules = RulesOf(kSpringKeys);

std::string PartLabel(const AnimeModel& model, size_t index) {
    const std::string& name = model.parts[index].name;
    return name.empty() ? "part #" + std::to_string(index + 1) : "part " + Quoted(name);
}

void CheckTextures(Reporter& r, const JsonValue& textures, const std::string& baseDir,
                   const LintOptions& options) {
    if (!textures.isObject()) {
        return;
    }
    for (size_t i = 0; i < textures.members.size(); ++i) {
        const std::string& name = textures.members.keyAt(i);
        const JsonValue& value = textures.members.valueAt(i);
        if (!value.isString()) {
            r.at(value, Severity::Error, "wrong-type",
                 "texture " + Quoted(name) + " is " + DescribeKind(value) +
                     ", not a path string: its path is empty");
            continue;
        }
        if (!options.checkTextureFiles) {
            continue;
        }
        const std::string& path = value.text;
        if (path.empty()) {
            r.at(value, Severity::Warning, "texture-file-missing",
                 "texture " + Quoted(name) + " has an empty path");
            continue;
        }
        std::string full = baseDir + path;
        if (!CanOpenFile(full)) {
            bool absolute =
                path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':');
            r.at(value, Severity::Warning, "texture-file-missing",
                 "texture file " + Quoted(full) + " does not exist" +
                     (absolute ? " (texture paths are relative to the model's folder)" : ""));
        }
    }
}

// A mesh that is given but not drawable, or that only a part with a texture
// could show (or a mask use); indices the loader masks or that name no vertex; texture
// coordinates off the texture.
void CheckMeshUse(Reporter& r, const JsonValue& part, const AnimePart& record,
                  const std::string& label, bool mask) {
    const JsonValue& vertices = part.get("vertices");
    const JsonValue& triangles = part.get("triangles");
    const size_t count = record.vertices.size();
    if (triangles.isArray()) {
        for (const JsonValue& index : triangles.elements) {
            if (!index.isNumber()) {
                continue;
            }
            const int32_t truncated = index.asInt(0);
            const uint32_t masked = static_cast<uint32_t>(truncated) & 0xFFFFu;
            if (truncated < 0 || truncated > 0xFFFF) {
                r.at(index, Severity::Error, "mesh-index-masked",
                     "triangle index " + FormatNumber(index.number) + " of " + label +
                         " is outside 0 to 65535: the loader keeps its low 16 bits, " +
                         std::to_string(masked));
            }
            if (masked >= count && count >= 3) {
                r.at(index, Severity::Error, "mesh-index-out-of-range",
                     "triangle index " + std::to_string(masked) + " of " + label +
                         " names no vertex (the mesh has " + std::to_string(count) +
                         "): the mesh is not drawn, the part draws as a sprite");
            }
        }
    }
    const bool given = vertices.size() > 0 || triangles.size() > 0;
    if (given && (count < 3 || record.triangles.empty())) {
        const bool fewVertices = count < 3;
        r.at(fewVertices && vertices.isArray() ? vertices
             : triangles.isArray()             ? triangles
                                               : part,
             Severity::Error, "mesh-incomplete",
             "the mesh of " + label + " has " +
                 (fewVertices ? std::to_string(count) + " vertices (a mesh needs 3)"
                              : std::string("no whole triangle")) +
                 ": it is ignored and the part draws as a sprite");
    }
    // A mask needs no texture: its mesh is its shape.
    if (vertices.size() > 0 && record.texture.empty() && !mask) {
        r.atKey(vertices, Severity::Warning, "mesh-without-texture",
                label + " has mesh vertices but no texture: the part is never drawn, nor its mesh");
    }
    if (vertices.isArray()) {
        for (const JsonValue& vertex : vertices.elements) {
            for (size_t k = 2; k < 4 && vertex.size() >= 4; ++k) {
                const JsonValue& coordinate = vertex.elements[k];
                const float t = coordinate.asFloat(0.0f);
                if (coordinate.isNumber() && !(t >= 0.0f && t <= 1.0f)) {
                    r.at(coordinate, Severity::Info, "uv-out-of-range",
                         std::string("texture coordinate ") + (k == 2 ? "u" : "v") + " " +
                             FormatNumber(coordinate.number) + " of a vertex of " + label +
                             " lies off the texture (0 to 1): what shows there is up to the host");
                }
            }
        }
    }
}

// Vertices and triangles are read with defaults, and a slip there is still a slip.
void CheckMesh(Reporter& r, const JsonValue& part, const std::string& label) {
    const JsonValue& vertices = part.get("vertices");
    if (vertices.isArray()) {
        for (const JsonValue& vertex : vertices.elements) {
            if (!vertex.isArray()) {
                r.at(vertex, Severity::Error, "wrong-type",
                     "a vertex of " + label + " is " + DescribeKind(vertex) +
                         ", not an array of four numbers: (0, 0, 0, 0) applies");
            } else if (vertex.size() < 4) {
                r.at(vertex, Severity::Error, "short-array",
                     "a vertex of " + label + " has " + std::to_string(vertex.size()) +
                         " elements, needs 4: (0, 0, 0, 0) applies");
            } else {
                for (size_t k = 0; k < 4; ++k) {
                    if (!vertex.elements[k].isNumber()) {
                        r.at(vertex.elements[k], Severity::Error, "wrong-type",
                             "a vertex coordinate of " + label + " is " +
                                 DescribeKind(vertex.elements[k]) + ", not a number: 0 applies");
                    }
                }
            }
        }
    }
    const JsonValue& triangles = part.get("triangles");
    if (triangles.isArray()) {
        for (const JsonValue& index : triangles.elements) {
            if (!index.isNumber()) {
                r.at(index, Severity::Error, "wrong-type",
                     "a triangle index of " + label + " is " + DescribeKind(index) +
                         ", not a number: 0 applies");
            }
        }
        if (triangles.size() % 3 != 0) {
            r.at(triangles.elements[triangles.size() - triangles.size() % 3], Severity::Warning,
                 "extra-elements",
                 "\"triangles\" of " + label + " has " + std::to_string(triangles.size()) +
                     " indices, not a multiple of 3: the last " +
                     std::to_string(triangles.size() % 3) + " are ignored");
        }
    }
}

// Parts that the hierarchy never resolves keep their local pose as their
// world pose: tell why for each.
void CheckHierarchy(Reporter& r, const JsonValue& parts, const AnimeModel& model) {
    const ModelTopology& topo = model.topology;
    const size_t count = model.parts.size();
    std::vector<uint8_t> cycleReported(count, 0);
    for (size_t i = 0; i < count; ++i) {
        if (topo.resolvable[i]) {
            continue;
        }
        const JsonValue& parent = parts.elements[i].get("parent");
        int32_t p = topo.parentIndex[i];
        if (p == static_cast<int32_t>(i)) {
            r.at(parent, Severity::Error, "self-parent",
                 PartLabel(model, i) + " names itself as its parent: it keeps its local pose");
            continue;
        }
        // Walk up: back to i means i is on a cycle; a root means the chain
        // is just too long for the passes; anything else hangs below a cycle.
        bool onCycle = false;
        bool reachesRoot = false;
        int32_t at = p;
        for (size_t step = 0; step <= count; ++step) {
            if (at < 0) {
                reachesRoot = true;
                break;
            }
            if (at == static_cast<int32_t>(i)) {
                onCycle = true;
                break;
            }
            at = topo.parentIndex[static_cast<size_t>(at)];
        }
        if (onCycle) {
            if (cycleReported[i]) {
                continue;
            }
            std::string chain = Quoted(model.parts[i].name);
            for (int32_t k = p; k != static_cast<int32_t>(i);
                 k = topo.parentIndex[static_cast<size_t>(k)]) {
                cycleReported[static_cast<size_t>(k)] = 1;
                chain += " -> " + Quoted(model.parts[static_cast<size_t>(k)].name);
            }
            chain += " -> " + Quoted(model.parts[i].name);
            r.at(parent, Severity::Error, "parent-cycle",
                 "parent cycle " + chain + ": these parts keep their local pose");
        } else if (reachesRoot) {
            r.at(parent, Severity::Error, "hierarchy-too-deep",
                 PartLabel(model, i) + " is not reached within the hierarchy's " +
                     std::to_string(kMaxHierarchyPasses) +
                     " passes (children are listed "
                     "before their parents too often): it keeps its local pose; list parents "
                     "first");
        } else {
            r.at(parent, Severity::Error, "parent-cycle",
                 PartLabel(model, i) + " hangs below a parent cycle: it keeps its local pose");
        }
    }
}

void CheckParts(Reporter& r, const JsonValue& parts, const Puppet& puppet) {
    if (!parts.isArray()) {
        return;
    }
    const AnimeModel& model = puppet.model;
    for (size_t i = 0; i < parts.elements.size(); ++i) {
        const JsonValue& part = parts.elements[i];
        std::string label = PartLabel(model, i);
        if (!part.isObject()) {
            r.at(part, Severity::Error, "wrong-type",
                 "part #" + std::to_string(i + 1) + " is " + DescribeKind(part) +
                     ", not an object: an empty part is added");
            continue;
        }
        CheckMembers(r, part, kPartRules, label);
        CheckMesh(r, part, label);
        const AnimePart& record = model.parts[i];
        CheckMeshUse(r, part, record, label, IsMask(model, i));
        if (!record.texture.empty() && model.findTexture(record.texture) < 0) {
            r.at(part.get("texture"), Severity::Error, "unknown-texture",
                 label + " shows texture " + Quoted(record.texture) +
                     ", which the model does not have: the part is not drawn" +
                     DidYouMean(record.texture, puppet.textureNames));
        }
        if (!record.parent.empty() && model.findPart(record.parent) < 0) {
            r.at(part.get("parent"), Severity::Error, "unknown-parent",
                 label + " names parent " + Quoted(record.parent) +
                     ", which matches no part: the part is a root" +
                     DidYouMean(record.parent, puppet.partNames));
        }
        if (!record.name.empty() && model.findPart(record.name) != static_cast<int32_t>(i)) {
            // Not the last of its name: every name lookup reaches a later part.
            size_t later = static_cast<size_t>(model.findPart(record.name));
            JsonTextPosition where =
                TextPositionOf(r.file().text, r.file().map.find(parts.elements[later])->offset);
            r.at(part.get("name"), Severity::Warning, "duplicate-part-name",
                 "part name " + Quoted(record.name) + " is used again on line " +
                     std::to_string(where.line) +
                     ": parents, tracks, expressions and springs reach only the last part of that "
                     "name");
        }
        int32_t p = model.topology.parentIndex[i];
        if (record.visible && p >= 0 && model.topology.resolvable[i] &&
            !model.parts[static_cast<size_t>(p)].visible) {
            r.at(part.get("parent"), Severity::Info, "hidden-parent",
                 label + " is visible but its parent " + Quoted(record.parent) +
                     " is hidden, so it is hidden too");
        }
    }
    CheckHierarchy(r, parts, model);
}

void CheckSprings(Reporter& r, const JsonValue& physics, const Puppet& puppet) {
    if (!physics.isArray()) {
        return;
    }
    const AnimeModel& model = puppet.model;
    for (size_t k = 0; k < physics.elements.size(); ++k) {
        const JsonValue& spring = physics.elements[k];
        std::string label = "spring #" + std::to_string(k + 1);
        if (!spring.isObject()) {
            r.at(spring, Severity::Error, "wrong-type",
                 label + " is " + DescribeKind(spring) +
                     ", not an object: a spring that moves nothing is added");
            continue;
        }
        CheckMembers(r, spring, kSpringRules, label);
        const PhysicsSpring& record = model.physics[k];
        const JsonValue& target = spring.get("target");
        int32_t part = model.topology.springTarget[k];
        if (part < 0) {
            r.at(target.isNull() ? spring : target, Severity::Error, "unknown-spring-target",
                 label +
                     (record.target.empty()
                          ? " has no target"
                          : " targets " + Quoted(record.target) + ", which matches no part") +
                     ": it moves nothing" + DidYouMean(record.target, puppet.partNames));
            continue;
        }
        if (model.topology.springAnchor[k] < 0) {
            const std::string& parent = model.parts[static_cast<size_t>(part)].parent;
            r.at(target, Severity::Warning, "spring-anchor-origin",
                 label + " on " + Quoted(record.target) + " is anchored at the model origin (" +
                     (parent.empty() ? "the part has no parent"
                                     : "its parent " + Quoted(parent) + " matches no part") +
                     "): it does not follow the puppet's movement");
        }
    }
}

// Each skin maps part names to texture names; the library keeps names it
// cannot place and skips them when the skin is put on.
void CheckSkins(Reporter& r, const JsonValue& skins, const Puppet& puppet) {
    if (!skins.isObject()) {
        return;
    }
    const AnimeModel& model = puppet.model;
    for (size_t i = 0; i < skins.members.size(); ++i) {
        const std::string label = "skin " + Quoted(skins.members.keyAt(i));
        const JsonValue& skin = skins.members.valueAt(i);
        if (!skin.isObject()) {
            r.at(skin, Severity::Error, "wrong-type",
                 label + " is " + DescribeKind(skin) + ", not an object: it is skipped");
            continue;
        }
        for (size_t k = 0; k < skin.members.size(); ++k) {
            const std::string& part = skin.members.keyAt(k);
            const JsonValue& texture = skin.members.valueAt(k);
            if (model.findPart(part) < 0) {
                r.atKey(texture, Severity::Error, "unknown-skin-part",
                        label + " dresses part " + Quoted(part) +
                            ", which the model does not have: it changes nothing" +
                            DidYouMean(part, puppet.partNames));
            }
            if (!texture.isString()) {
                r.at(texture, Severity::Error, "wrong-type",
                     "the texture of " + Quoted(part) + " in " + label + " is " +
                         DescribeKind(texture) + ", not a texture name: it is skipped");
            } else if (!texture.text.empty() && model.findTexture(texture.text) < 0) {
                r.at(texture, Severity::Error, "unknown-skin-texture",
                     label + " shows texture " + Quoted(texture.text) + " on " + Quoted(part) +
                         ", which the model does not have: the part keeps what it shows" +
                         DidYouMean(texture.text, puppet.textureNames));
            }
        }
    }
}

}  // namespace

void CheckModel(Reporter& r, Puppet& puppet, AnimationNames& names, const LintOptions& options) {
    const JsonValue& root = r.file().root;
    CheckMembers(r, root, kRootRules, "the model");

    std::string baseDir = BaseDirOf(r.file().path);
    puppet.model = AnimeModel{};
    ReadModelJson(puppet.model, root, baseDir);
    puppet.loaded = true;
    puppet.partNames.clear();
    for (const AnimePart& part : puppet.model.parts) {
        puppet.partNames.push_back(part.name);
    }
    puppet.textureNames.clear();
    for (const AnimeTexture& texture : puppet.model.textures) {
        puppet.textureNames.push_back(texture.name);
    }

    CheckTextures(r, root.get("textures"), baseDir, options);
    CheckParameters(r, root.get("parameters"), puppet);
    CheckParts(r, root.get("parts"), puppet);
    CheckBlendAndClip(r, root.get("parts"), puppet);
    CheckSprings(r, root.get("physics"), puppet);
    CheckSkins(r, root.get("skins"), puppet);
    CheckBindings(r, root.get("bindings"), puppet);

    const JsonValue& motions = root.get("motions");
    if (motions.isObject()) {
        for (size_t i = 0; i < motions.members.size(); ++i) {
            CheckMotion(r, motions.members.valueAt(i), motions.members.keyAt(i), &puppet, names);
        }
    }
    const JsonValue& expressions = root.get("expressions");
    if (expressions.isObject()) {
        for (size_t i = 0; i < expressions.members.size(); ++i) {
            CheckExpression(r, expressions.members.valueAt(i), expressions.members.keyAt(i),
                            &puppet, names);
        }
    }
}

}  // namespace kivanime::lint
