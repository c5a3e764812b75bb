#include "model/binding_loader.h"

#include <algorithm>
#include <cmath>

#include "model/anime_model.h"
#include "model/motion_loader.h"

namespace kivanime {

namespace {

void ReadWithBinding(BindingKey&, const JsonValue&, const AnimeModel&) {}

constexpr RecordKey<BindingKey> kBindingKeyKeyTable[] = {
    // Read with the binding, which knows how many parameters it has.
    {"at", Want::Present, nullptr, "the key is left out", ReadWithBinding},
    {"position", Want::Pair, [](BindingKey& k) { return FieldsOf(k.channels.x, k.channels.y); }},
    {"rotation", Want::Number, [](BindingKey& k) { return FieldsOf(k.channels.rotation); }},
    {"scale", Want::Scale,
     [](BindingKey& k) { return FieldsOf(k.channels.scaleX, k.channels.scaleY); }},
    {"alpha", Want::Number, [](BindingKey& k) { return FieldsOf(k.channels.alpha); }},
    {"visible", Want::Integer, [](BindingKey& k) { return FieldsOf(k.visible); },
     "no visibility change (1 shows, 0 hides)"},
    {"texture", Want::String, nullptr, "no texture swap",
     [](BindingKey& k, const JsonValue& v, const AnimeModel& model) {
         k.textureSwap = model.resolveTextureSwap(v.asStringView({}));
     }},
    // Read with the binding, which knows its part's mesh.
    {kDeformKey, Want::Array, nullptr, "no vertex moves", ReadWithBinding},
    {kDeformStartKey, Want::Integer, nullptr, "vertex 0 applies", ReadWithBinding},
};

void ReadParameterNames(AnimeBinding& b, const JsonValue& names, const AnimeModel&) {
    if (!names.isArray()) {
        return;
    }
    for (const JsonValue& name : names.elements) {
        b.parameterNames.push_back(name.asString({}));
    }
}

constexpr RecordKey<AnimeBinding> kBindingKeyTable[] = {
    {"part", Want::String, [](AnimeBinding& b) { return FieldsOf(b.part); },
     "the binding moves no part"},
    {"parameters", Want::Array, nullptr, "the binding follows no parameter", ReadParameterNames},
    // Read with the binding's parameters known (ReadBindingJson).
    {"keys", Want::Array, nullptr, "the binding has no keys",
     [](AnimeBinding&, const JsonValue&, const AnimeModel&) {}},
};

// Where a key sits, for `dimensions` parameters; false when not a finite
// place.
bool ReadAt(const JsonValue& at, int32_t dimensions, BindingKey& key) {
    if (dimensions == 1) {
        key.at[0] = at.isNumber() ? at.asFloat(0.0f) : NAN;
    } else {
        const bool pair =
            at.isArray() && at.size() == 2 && at.at(0).isNumber() && at.at(1).isNumber();
        key.at[0] = pair ? at.at(0).asFloat(0.0f) : NAN;
        key.at[1] = pair ? at.at(1).asFloat(0.0f) : NAN;
    }
    return std::isfinite(key.at[0]) && std::isfinite(key.at[1]);
}

// The distinct values of one coordinate of the keys, ascending.
std::vector<float> DistinctValues(const std::vector<BindingKey>& keys, int axis) {
    std::vector<float> values;
    values.reserve(keys.size());
    for (const BindingKey& k : keys) {
        values.push_back(k.at[axis]);
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

size_t IndexOf(const std::vector<float>& values, float v) {
    return static_cast<size_t>(std::lower_bound(values.begin(), values.end(), v) - values.begin());
}

// The keys and their deforms in grid order; false when a corner is missing.
// A corner given twice keeps its first key.
bool ArrangeGrid(AnimeBinding& b, std::vector<KeyframeDeform>& deforms) {
    b.axis[0] = DistinctValues(b.keys, 0);
    b.axis[1] = DistinctValues(b.keys, 1);
    const size_t rows = b.axis[0].size();
    const size_t columns = b.axis[1].size();
    // Fewer keys than corners cannot fill the grid (and a hostile file's
    // grid is never laid out).
    if (rows * columns > b.keys.size()) {
        return false;
    }
    std::vector<int64_t> at(rows * columns, -1);
    for (size_t k = 0; k < b.keys.size(); ++k) {
        const size_t cell =
            IndexOf(b.axis[0], b.keys[k].at[0]) * columns + IndexOf(b.axis[1], b.keys[k].at[1]);
        if (at[cell] < 0) {
            at[cell] = static_cast<int64_t>(k);
        }
    }
    if (std::find(at.begin(), at.end(), -1) != at.end()) {
        return false;
    }
    std::vector<BindingKey> keys;
    std::vector<KeyframeDeform> grid;
    for (const int64_t k : at) {
        keys.push_back(b.keys[static_cast<size_t>(k)]);
        grid.push_back(deforms[static_cast<size_t>(k)]);
    }
    b.keys = std::move(keys);
    deforms = std::move(grid);
    return true;
}

// The keys ascending by their value, equal values in file order.
void ArrangeLine(AnimeBinding& b, std::vector<KeyframeDeform>& deforms) {
    std::vector<size_t> order(b.keys.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t x, size_t y) { return b.keys[x].at[0] < b.keys[y].at[0]; });
    std::vector<BindingKey> keys;
    std::vector<KeyframeDeform> line;
    for (const size_t k : order) {
        keys.push_back(b.keys[k]);
        line.push_back(deforms[k]);
        b.axis[0].push_back(b.keys[k].at[0]);
    }
    b.keys = std::move(keys);
    deforms = std::move(line);
}

}  // namespace

constinit const std::span<const RecordKey<AnimeBinding>> kBindingKeys = kBindingKeyTable;
constinit const std::span<const RecordKey<BindingKey>> kBindingKeyKeys = kBindingKeyKeyTable;

AnimeBinding ReadBindingJson(const AnimeModel& model, const JsonValue& value) {
    AnimeBinding b;
    if (!value.isObject()) {
        return b;
    }
    ReadKeys(kBindingKeys, value, b, model);
    b.partIndex = model.findPart(b.part);
    const size_t named = b.parameterNames.size();
    bool known = b.partIndex >= 0 && (named == 1 || named == 2);
    for (size_t i = 0; known && i < named; ++i) {
        b.parameter[i] = model.parameters.find(b.parameterNames[i]);
        known = b.parameter[i] >= 0;
    }
    const JsonValue& keys = value.get("keys");
    if (!known || !keys.isArray()) {
        return b;
    }
    const int32_t dimensions = static_cast<int32_t>(named);
    const PartMeshRef mesh = model.topology.meshes.parts[static_cast<size_t>(b.partIndex)];
    std::vector<KeyframeDeform> deforms;
    bool moves = false;
    for (const JsonValue& element : keys.elements) {
        BindingKey key;
        ReadKeys(kBindingKeyKeys, element, key, model);
        if (!ReadAt(element.get("at"), dimensions, key)) {
            continue;
        }
        b.keys.push_back(key);
        b.discrete = b.discrete || key.visible >= 0 || key.textureSwap != kNoTextureSwap;
        deforms.push_back(mesh.drawable()
                              ? ReadKeyframeDeform(element, mesh.vertexCount, b.deformValues)
                              : KeyframeDeform{});
        moves = moves || deforms.back().count > 0;
    }
    if (b.keys.empty()) {
        return b;
    }
    if (dimensions == 2) {
        if (!ArrangeGrid(b, deforms)) {
            b.axis[0].clear();
            b.axis[1].clear();
            return b;
        }
    } else {
        ArrangeLine(b, deforms);
    }
    if (moves) {
        b.meshFirstVertex = mesh.firstVertex;
        b.meshVertexCount = mesh.vertexCount;
        b.deforms = std::move(deforms);
    } else {
        b.deformValues.clear();
    }
    b.dimensions = dimensions;
    return b;
}

std::vector<AnimeBinding> ReadBindingsJson(const AnimeModel& model, const JsonValue& array) {
    std::vector<AnimeBinding> bindings;
    ReadArray(bindings, array, [&](const JsonValue& e) { return ReadBindingJson(model, e); });
    return bindings;
}

std::optional<std::pair<float, float>> MissingGridCorner(const std::vector<BindingKey>& keys) {
    const std::vector<float> first = DistinctValues(keys, 0);
    const std::vector<float> second = DistinctValues(keys, 1);
    for (const float a : first) {
        for (const float b : second) {
            const bool found = std::any_of(keys.begin(), keys.end(), [&](const BindingKey& k) {
                return k.at[0] == a && k.at[1] == b;
            });
            if (!found) {
                return std::make_pair(a, b);
            }
        }
    }
    return std::nullopt;
}

}  // namespace kivanime
