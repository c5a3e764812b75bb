#include "model/model_loader.h"

#include <utility>

#include "model/binding_loader.h"
#include "model/expression_loader.h"
#include "model/motion_loader.h"
#include "model/parameter_loader.h"

namespace kivanime {

std::string BaseDirOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

const std::string kEmpty;

// Parts and springs need no model to be read.
const AnimeModel& NoModel() {
    static const AnimeModel none;
    return none;
}

void ReadVertices(AnimePart& part, const JsonValue& vertices, const AnimeModel&) {
    ReadArray(part.vertices, vertices, [](const JsonValue& element) {
        AnimeVertex vertex;
        if (element.isArray() && element.size() >= 4) {
            for (uint64_t k = 0; k < 4; ++k) {
                vertex.v[k] = element.at(k).asFloat(0.0f);
            }
        }
        return vertex;
    });
}

void ReadTriangles(AnimePart& part, const JsonValue& triangles, const AnimeModel&) {
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

// A texture name maps to a path; a path that is not a string is empty.
void ReadTextures(AnimeModel& model, const JsonValue& textures, const AnimeModel&) {
    model.textures.reserve(textures.members.size());
    for (size_t i = 0; i < textures.members.size(); ++i) {
        model.textures.push_back(
            {textures.members.keyAt(i), textures.members.valueAt(i).asString(kEmpty)});
    }
}

// Motions and expressions written inline, each stored under its member key.
template <bool (*Read)(AnimeModel&, const JsonValue&, std::string_view)>
void ReadInline(AnimeModel& model, const JsonValue& records, const AnimeModel&) {
    for (size_t i = 0; i < records.members.size(); ++i) {
        Read(model, records.members.valueAt(i), records.members.keyAt(i));
    }
}

constexpr RecordKey<AnimePart> kPartKeyTable[] = {
    {"name", Want::String, [](AnimePart& p) { return FieldsOf(p.name); },
     "the part has no name, so nothing can refer to it"},
    {"texture", Want::String, [](AnimePart& p) { return FieldsOf(p.texture); },
     "the part shows no texture"},
    {"parent", Want::String, [](AnimePart& p) { return FieldsOf(p.parent); }, "the part is a root"},
    {"drawOrder", Want::Integer, [](AnimePart& p) { return FieldsOf(p.drawOrder); }},
    {"visible", Want::Bool, [](AnimePart& p) { return FieldsOf(p.visible); },
     "the part stays visible (only true and false count)"},
    {"position", Want::Pair, [](AnimePart& p) { return FieldsOf(p.rest.x, p.rest.y); }},
    {"rotation", Want::Number, [](AnimePart& p) { return FieldsOf(p.rest.rotation); }},
    {"scale", Want::Scale, [](AnimePart& p) { return FieldsOf(p.rest.scaleX, p.rest.scaleY); }},
    {"alpha", Want::Number, [](AnimePart& p) { return FieldsOf(p.rest.alpha); }},
    {"anchor", Want::Pair, [](AnimePart& p) { return FieldsOf(p.anchorX, p.anchorY); }},
    {"srcRect", Want::Quad,
     [](AnimePart& p) { return FieldsOf(p.srcX, p.srcY, p.srcWidth, p.srcHeight); }},
    {"depth", Want::Number, [](AnimePart& p) { return FieldsOf(p.depth); }},
    {"ignore3D", Want::Bool, [](AnimePart& p) { return FieldsOf(p.ignore3D); },
     "the part is not excluded from 3D (only true and false count)"},
    {"vertices", Want::Array, nullptr, "the part has no mesh vertices", ReadVertices},
    {"triangles", Want::Array, nullptr, "the part has no mesh triangles", ReadTriangles},
    {"blend", Want::String, [](AnimePart& p) { return FieldsOf(p.blend); },
     "the part blends normally"},
    {"clip", Want::String, [](AnimePart& p) { return FieldsOf(p.clip); }, "the part has no mask"},
};

constexpr RecordKey<PhysicsSpring> kSpringKeyTable[] = {
    {"target", Want::String, [](PhysicsSpring& s) { return FieldsOf(s.target); },
     "the spring moves nothing"},
    {"stiffness", Want::Number, [](PhysicsSpring& s) { return FieldsOf(s.stiffness); }},
    {"damping", Want::Number, [](PhysicsSpring& s) { return FieldsOf(s.damping); }},
    {"gravity", Want::Pair, [](PhysicsSpring& s) { return FieldsOf(s.gravityX, s.gravityY); }},
    {"wind", Want::Number, [](PhysicsSpring& s) { return FieldsOf(s.wind); }},
};

constexpr RecordKey<AnimeModel> kCanvasKeys[] = {
    {"width", Want::Integer, [](AnimeModel& m) { return FieldsOf(m.canvasWidth); }},
    {"height", Want::Integer, [](AnimeModel& m) { return FieldsOf(m.canvasHeight); }},
};

// The inline motions and expressions resolve part and texture names, so
// they are read once every other key is.
constexpr RecordKey<AnimeModel> kModelKeyTable[] = {
    {"name", Want::String, [](AnimeModel& m) { return FieldsOf(m.name); },
     "the model is named \"{}\"", nullptr, kDefaultName},
    {"version", Want::Integer, [](AnimeModel& m) { return FieldsOf(m.version); },
     "version {} applies"},
    {.name = "canvas",
     .want = Want::Object,
     .absent = "a {} canvas applies",
     .members = kCanvasKeys},
    {"textures", Want::Object, nullptr, "the model has no textures", ReadTextures},
    {"parts", Want::Array, nullptr, "the model has no parts",
     [](AnimeModel& m, const JsonValue& v, const AnimeModel&) {
         ReadArray(m.parts, v, ReadPartJson);
     }},
    {"physics", Want::Array, nullptr, "the model has no springs",
     [](AnimeModel& m, const JsonValue& v, const AnimeModel&) {
         ReadArray(m.physics, v, ReadSpringJson);
     }},
    {"skins", Want::Object, nullptr, "the model has no skins",
     [](AnimeModel& m, const JsonValue& v, const AnimeModel&) { m.skins = ReadSkinsJson(v); }},
    {"parameters", Want::Array, nullptr, "the model has no parameters",
     [](AnimeModel& m, const JsonValue& v, const AnimeModel&) {
         ReadParametersJson(m.parameters, v, m);
     }},
    {.name = "bindings",
     .want = Want::Array,
     .absent = "the model has no bindings",
     .read = [](AnimeModel& m, const JsonValue& v,
                const AnimeModel&) { m.bindings = ReadBindingsJson(m, v); },
     .late = true},
    {.name = "motions",
     .want = Want::Object,
     .absent = "no inline motion is read",
     .read = ReadInline<ReadMotionJson>,
     .late = true},
    {.name = "expressions",
     .want = Want::Object,
     .absent = "no inline expression is read",
     .read = ReadInline<ReadExpressionJson>,
     .late = true},
};

}  // namespace

constinit const std::span<const RecordKey<AnimeModel>> kModelKeys = kModelKeyTable;
constinit const std::span<const RecordKey<AnimePart>> kPartKeys = kPartKeyTable;
constinit const std::span<const RecordKey<PhysicsSpring>> kSpringKeys = kSpringKeyTable;

AnimePart ReadPartJson(const JsonValue& value) {
    AnimePart part;
    ReadKeys(kPartKeys, value, part, NoModel());
    return part;
}

PhysicsSpring ReadSpringJson(const JsonValue& value) {
    PhysicsSpring spring;
    ReadKeys(kSpringKeys, value, spring, NoModel());
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
    if (!root.isObject()) {
        return false;
    }
    model.baseDir = baseDir;
    ReadKeys(kModelKeys, root, model, model);
    // Parts and textures are final from here on: resolve names once, so that
    // the motions and expressions can resolve theirs.
    RebuildModelIndex(model);
    ReadKeys(kModelKeys, root, model, model, true);
    return true;
}

}  // namespace kivanime
