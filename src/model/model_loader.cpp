#include "model/model_loader.h"

#include <utility>

#include "json/json_file.h"
#include "model/expression_loader.h"
#include "model/json_read.h"
#include "model/motion_loader.h"

namespace kivanime {

std::string BaseDirOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool LoadModelFile(AnimeModel& model, const std::string& path) {
    JsonValue root = ReadJsonFile(path);
    if (!root.isObject()) {
        return false;
    }
    std::string baseDir = BaseDirOf(path);
    return ReadModelJson(model, root, baseDir);
}

AnimePart ReadPartJson(const JsonValue& value) {
    static const std::string kEmpty;
    AnimePart part;
    if (!value.isObject()) {
        return part;
    }
    part.name = value.get("name").asString(kEmpty);
    part.texture = value.get("texture").asString(kEmpty);
    part.parent = value.get("parent").asString(kEmpty);
    part.drawOrder = value.get("drawOrder").asInt(0);
    part.visible = value.get("visible").asBool(true);
    ReadPair(value.get("position"), part.x, part.y, 0.0f);
    part.rotation = value.get("rotation").asFloat(0.0f);
    ReadScale(value.get("scale"), part.scaleX, part.scaleY);
    part.alpha = value.get("alpha").asFloat(1.0f);
    ReadPair(value.get("anchor"), part.anchorX, part.anchorY, 0.5f);
    const JsonValue& src = value.get("srcRect");
    if (src.isArray() && src.size() >= 4) {
        part.srcX = ElementFloat(src, 0, 0.0f);
        part.srcY = ElementFloat(src, 1, 0.0f);
        part.srcWidth = ElementFloat(src, 2, 0.0f);
        part.srcHeight = ElementFloat(src, 3, 0.0f);
    }
    part.depth = value.get("depth").asFloat(0.0f);
    part.ignore3D = value.get("ignore3D").asBool(false);

    const JsonValue& vertices = value.get("vertices");
    if (vertices.isArray()) {
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
    const JsonValue& triangles = value.get("triangles");
    if (triangles.isArray()) {
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
    return part;
}

PhysicsSpring ReadSpringJson(const JsonValue& value) {
    static const std::string kEmpty;
    PhysicsSpring spring;
    if (!value.isObject()) {
        return spring;
    }
    spring.target = value.get("target").asString(kEmpty);
    spring.stiffness = value.get("stiffness").asFloat(0.3f);
    spring.damping = value.get("damping").asFloat(0.7f);
    ReadPair(value.get("gravity"), spring.gravityX, spring.gravityY, 0.0f);
    spring.wind = value.get("wind").asFloat(0.0f);
    return spring;
}

bool ReadModelJson(AnimeModel& model, const JsonValue& root, const std::string& baseDir) {
    static const std::string kUnnamed = "unnamed";
    static const std::string kEmpty;
    if (!root.isObject()) {
        return false;
    }
    model.baseDir = baseDir;
    model.name = root.get("name").asString(kUnnamed);
    model.version = root.get("version").asInt(1);
    const JsonValue& canvas = root.get("canvas");
    if (canvas.isObject()) {
        model.canvasWidth = canvas.get("width").asInt(1024);
        model.canvasHeight = canvas.get("height").asInt(1024);
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
