#include "model/model_loader.h"

#include <string_view>
#include <utility>

#include "model/expression_loader.h"
#include "model/json_read.h"
#include "model/motion_loader.h"

namespace kivanime {

std::string BaseDirOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

enum class PartKey {
    Unknown,
    Name,
    Texture,
    Parent,
    DrawOrder,
    Visible,
    Position,
    Rotation,
    Scale,
    Alpha,
    Anchor,
    SrcRect,
    Depth,
    Ignore3D,
    Vertices,
    Triangles,
};

// Parts are the bulk of a model file: their members are read in one pass,
// each key recognised by its length and then its text, rather than looking
// every known key up in turn. Keys are unique within an object, so the
// result is the same.
PartKey ClassifyPartKey(std::string_view key) {
    auto is = [&](std::string_view name, PartKey k) { return key == name ? k : PartKey::Unknown; };
    switch (key.size()) {
        case 4:
            return is("name", PartKey::Name);
        case 5:
            return key[0] == 's'   ? is("scale", PartKey::Scale)
                   : key[0] == 'a' ? is("alpha", PartKey::Alpha)
                                   : is("depth", PartKey::Depth);
        case 6:
            return key[0] == 'p' ? is("parent", PartKey::Parent) : is("anchor", PartKey::Anchor);
        case 7:
            return key[0] == 't'   ? is("texture", PartKey::Texture)
                   : key[0] == 'v' ? is("visible", PartKey::Visible)
                                   : is("srcRect", PartKey::SrcRect);
        case 8:
            return key[0] == 'p'   ? is("position", PartKey::Position)
                   : key[0] == 'r' ? is("rotation", PartKey::Rotation)
                   : key[0] == 'i' ? is("ignore3D", PartKey::Ignore3D)
                                   : is("vertices", PartKey::Vertices);
        case 9:
            return key[0] == 'd' ? is("drawOrder", PartKey::DrawOrder)
                                 : is("triangles", PartKey::Triangles);
        default:
            return PartKey::Unknown;
    }
}

void ReadVertices(const JsonValue& vertices, AnimePart& part) {
    if (!vertices.isArray()) {
        return;
    }
    part.vertices.reserve(vertices.size());
    for (const JsonValue& element : vertices.elements) {
        AnimeVertex vertex;
        if (element.isArray() && element.size() >= 4) {
            for (int k = 0; k < 4; ++k) {
                vertex.v[k] = ElementFloat(element, static_cast<uint64_t>(k), 0.0f);
            }
        }
        part.vertices.push_back(vertex);
    }
}

void ReadTriangles(const JsonValue& triangles, AnimePart& part) {
    if (!triangles.isArray()) {
        return;
    }
    size_t n = triangles.size();
    part.triangles.reserve(n / 3);
    for (size_t i = 0; i + 2 < n; i += 3) {
        AnimeTriangle triangle;
        for (size_t k = 0; k < 3; ++k) {
            // Low 16 bits of the truncated number.
            triangle.index[k] = static_cast<uint16_t>(
                static_cast<uint32_t>(triangles.at(i + k).asInt(0)) & 0xFFFFu);
        }
        part.triangles.push_back(triangle);
    }
}

}  // namespace

AnimePart ReadPartJson(const JsonValue& value) {
    static const std::string kEmpty;
    static const AnimePart kDefault;
    AnimePart part;
    if (!value.isObject()) {
        return part;
    }
    const JsonObject& members = value.members;
    for (size_t m = 0; m < members.size(); ++m) {
        const JsonValue& v = members.valueAt(m);
        switch (ClassifyPartKey(members.keyAt(m))) {
            case PartKey::Name:
                part.name = v.asString(kEmpty);
                break;
            case PartKey::Texture:
                part.texture = v.asString(kEmpty);
                break;
            case PartKey::Parent:
                part.parent = v.asString(kEmpty);
                break;
            case PartKey::DrawOrder:
                part.drawOrder = v.asInt(kDefault.drawOrder);
                break;
            case PartKey::Visible:
                part.visible = v.asBool(kDefault.visible);
                break;
            case PartKey::Position:
                ReadPair(v, part.rest.x, part.rest.y, kDefault.rest.x);
                break;
            case PartKey::Rotation:
                part.rest.rotation = v.asFloat(kDefault.rest.rotation);
                break;
            case PartKey::Scale:
                ReadScale(v, part.rest.scaleX, part.rest.scaleY);
                break;
            case PartKey::Alpha:
                part.rest.alpha = v.asFloat(kDefault.rest.alpha);
                break;
            case PartKey::Anchor:
                ReadPair(v, part.anchorX, part.anchorY, kDefault.anchorX);
                break;
            case PartKey::SrcRect:
                if (v.isArray() && v.size() >= 4) {
                    part.srcX = ElementFloat(v, 0, 0.0f);
                    part.srcY = ElementFloat(v, 1, 0.0f);
                    part.srcWidth = ElementFloat(v, 2, 0.0f);
                    part.srcHeight = ElementFloat(v, 3, 0.0f);
                }
                break;
            case PartKey::Depth:
                part.depth = v.asFloat(kDefault.depth);
                break;
            case PartKey::Ignore3D:
                part.ignore3D = v.asBool(kDefault.ignore3D);
                break;
            case PartKey::Vertices:
                ReadVertices(v, part);
                break;
            case PartKey::Triangles:
                ReadTriangles(v, part);
                break;
            case PartKey::Unknown:
                break;
        }
    }
    return part;
}

PhysicsSpring ReadSpringJson(const JsonValue& value) {
    static const std::string kEmpty;
    PhysicsSpring spring;
    if (!value.isObject()) {
        return spring;
    }
    spring.target = value.get("target").asString(kEmpty);
    spring.stiffness = value.get("stiffness").asFloat(spring.stiffness);
    spring.damping = value.get("damping").asFloat(spring.damping);
    ReadPair(value.get("gravity"), spring.gravityX, spring.gravityY, 0.0f);
    spring.wind = value.get("wind").asFloat(spring.wind);
    return spring;
}

std::vector<AnimeSkin> ReadSkinsJson(const JsonValue& value) {
    std::vector<AnimeSkin> skins;
    if (!value.isObject()) {
        return skins;
    }
    for (size_t i = 0; i < value.members.size(); ++i) {
        const JsonValue& skin = value.members.valueAt(i);
        if (!skin.isObject()) {
            continue;
        }
        AnimeSkin& out = skins.emplace_back();
        out.name = value.members.keyAt(i);
        for (size_t k = 0; k < skin.members.size(); ++k) {
            const JsonValue& texture = skin.members.valueAt(k);
            if (texture.isString()) {
                out.assignments.push_back({skin.members.keyAt(k), texture.text});
            }
        }
    }
    return skins;
}

bool ReadModelJson(AnimeModel& model, const JsonValue& root, const std::string& baseDir) {
    static const std::string kUnnamed(kDefaultName);
    static const std::string kEmpty;
    if (!root.isObject()) {
        return false;
    }
    model.baseDir = baseDir;
    model.name = root.get("name").asString(kUnnamed);
    const AnimeModel defaults;
    model.version = root.get("version").asInt(defaults.version);
    const JsonValue& canvas = root.get("canvas");
    if (canvas.isObject()) {
        model.canvasWidth = canvas.get("width").asInt(defaults.canvasWidth);
        model.canvasHeight = canvas.get("height").asInt(defaults.canvasHeight);
    }

    const JsonValue& textures = root.get("textures");
    if (textures.isObject()) {
        model.textures.reserve(textures.members.size());
        for (size_t i = 0; i < textures.members.size(); ++i) {
            AnimeTexture texture;
            texture.name = textures.members.keyAt(i);
            texture.path = textures.members.valueAt(i).asString(kEmpty);
            model.textures.push_back(std::move(texture));
        }
    }
    const JsonValue& parts = root.get("parts");
    if (parts.isArray()) {
        model.parts.reserve(parts.size());
        for (const JsonValue& element : parts.elements) {
            model.parts.push_back(ReadPartJson(element));
        }
    }
    const JsonValue& physics = root.get("physics");
    if (physics.isArray()) {
        model.physics.reserve(physics.size());
        for (const JsonValue& element : physics.elements) {
            model.physics.push_back(ReadSpringJson(element));
        }
    }
    model.skins = ReadSkinsJson(root.get("skins"));
    // Parts and textures are final from here on: resolve names once, so that
    // the motions and expressions below can resolve theirs.
    RebuildModelIndex(model);

    const JsonValue& motions = root.get("motions");
    if (motions.isObject()) {
        for (size_t i = 0; i < motions.members.size(); ++i) {
            ReadMotionJson(model, motions.members.valueAt(i), motions.members.keyAt(i));
        }
    }
    const JsonValue& expressions = root.get("expressions");
    if (expressions.isObject()) {
        for (size_t i = 0; i < expressions.members.size(); ++i) {
            ReadExpressionJson(model, expressions.members.valueAt(i), expressions.members.keyAt(i));
        }
    }
    return true;
}

}  // namespace kivanime
