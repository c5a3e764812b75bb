// What the binding reader makes of a binding: which are inert, how keys are
// ordered, and (through EvaluateBinding) what the ordered keys give between
// and beyond them, channels interpolated and visibility from the nearest key.
#include "model/binding_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json_parser.h"
#include "model/model_loader.h"
#include "runtime/bindings_eval.h"

namespace kivanime {
namespace {

class BindingLoader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ReadModelJson(model_, ParseJson(R"({"textures": {"t": "t.png"},
            "parameters": [{"name": "a", "min": -10, "max": 10}, {"name": "b", "max": 10}],
            "parts": [{"name": "p", "texture": "t", "vertices": [[0, 0, 0, 0], [10, 0, 1, 0],
              [0, 10, 0, 1]], "triangles": [0, 1, 2]}]})"),
                                  ""));
    }
    AnimeBinding read(const std::string& json) { return ReadBindingJson(model_, ParseJson(json)); }
    AnimeModel model_;
};

TEST_F(BindingLoader, InertBindings) {
    const char* inert[] = {
        R"({"part": "q", "parameters": ["a"], "keys": [{"at": 0}]})",
        R"({"part": "p", "parameters": ["c"], "keys": [{"at": 0}]})",
        R"({"part": "p", "parameters": ["a", "c"], "keys": [{"at": [0, 0]}]})",
        R"({"part": "p", "parameters": [], "keys": [{"at": 0}]})",
        R"({"part": "p", "parameters": ["a", "b", "a"], "keys": [{"at": [0, 0, 0]}]})",
        R"({"part": "p", "parameters": "a", "keys": [{"at": 0}]})",
        R"({"part": "p", "parameters": ["a"]})",
        R"({"part": "p", "parameters": ["a"], "keys": [{"at": "1"}, {"at": [1]}, {}]})",
        // Grids missing a corner, or with a key that is not at two numbers.
        R"({"part": "p", "parameters": ["a", "b"], "keys": [{"at": [0, 0]}, {"at": [1, 0]},
            {"at": [0, 1]}]})",
        R"({"part": "p", "parameters": ["a", "b"], "keys": [{"at": [0, 0]}, {"at": [1, 0]},
            {"at": [0, 1]}, {"at": [1, 1, 1]}]})",
        R"({"part": "p", "parameters": ["a", "b"], "keys": [{"at": [0, 0]}, {"at": [1, 0]},
            {"at": [0, 2]}, {"at": [1, 1]}]})",
        "[]",
    };
    for (const char* json : inert) {
        SCOPED_TRACE(json);
        EXPECT_TRUE(read(json).inert());
    }
    // The lint names the first missing corner.
    const AnimeBinding b = read(inert[10]);
    ASSERT_TRUE(MissingGridCorner(b.keys).has_value());
    EXPECT_EQ(*MissingGridCorner(b.keys), std::make_pair(0.0f, 1.0f));
    EXPECT_FALSE(MissingGridCorner({}).has_value());
}

TEST_F(BindingLoader, KeysInterpolateAndTheNearestShows) {
    struct Point {
        float a, b;       // the parameters' values
        float x, y, sx;   // the change asked of the part
        int32_t visible;  // from the nearest key
    };
    const struct {
        const char* json;
        std::vector<Point> points;
    } cases[] = {
        // One parameter: sorted, clamped to the end keys; missing channels
        // are neutral.
        {R"({"part": "p", "parameters": ["a"], "keys": [{"at": 2, "position": [20, 2],
            "visible": 1}, {"at": 0, "scale": 3, "visible": 0}]})",
         {{0.5f, 0, 5, 0.5f, 2.5f, 0},
          {1, 0, 10, 1, 2, 0},
          {1.5f, 0, 15, 1.5f, 1.5f, 1},
          {-5, 0, 0, 0, 3, 0},
          {9, 0, 20, 2, 1, 1}}},
        // Equal keys keep their order: the first ends the segment before
        // them, the last starts the one after.
        {R"({"part": "p", "parameters": ["a"], "keys": [{"at": 0}, {"at": 1, "position": [10, 0]},
            {"at": 1, "position": [20, 0]}, {"at": 2, "position": [40, 0]}]})",
         {{0.5f, 0, 5, 0, 1, -1}, {1, 0, 20, 0, 1, -1}, {1.5f, 0, 30, 0, 1, -1}}},
        {R"({"part": "p", "parameters": ["a"], "keys": [{"at": 3, "position": [7, 0]}]})",
         {{-9, 0, 7, 0, 1, -1}}},
        // Two parameters, a 3 x 2 grid in any order: first along a, then b;
        // a repeated corner keeps its first key.
        {R"({"part": "p", "parameters": ["a", "b"], "keys": [{"at": [2, 10], "position": [2, 10]},
            {"at": [0, 0], "visible": 0}, {"at": [1, 0], "position": [1, 0]},
            {"at": [2, 0], "position": [2, 0]}, {"at": [0, 10], "position": [0, 10]},
            {"at": [1, 10], "position": [1, 10], "scale": 5}, {"at": [1, 10]}]})",
         {{0.5f, 5, 0.5f, 5, 2, 0}, {1.5f, 2.5f, 1.5f, 2.5f, 1.5f, -1}, {-3, 99, 0, 10, 1, -1}}},
        // The lower key on a tie along each parameter.
        {R"({"part": "p", "parameters": ["b", "a"], "keys": [{"at": [0, 0], "visible": 0},
            {"at": [0, 1], "visible": 1}, {"at": [1, 0], "visible": 1}, {"at": [1, 1]}]})",
         {{0.5f, 0.5f, 0, 0, 1, 0}, {0.51f, 0.5f, 0, 0, 1, 1}}},
    };
    for (const auto& c : cases) {
        const AnimeBinding b = read(c.json);
        ASSERT_FALSE(b.inert()) << c.json;
        for (const Point& p : c.points) {
            SCOPED_TRACE(testing::Message() << c.json << " at " << p.a << ", " << p.b);
            const float values[2] = {p.a, p.b};
            const PartDelta d = EvaluateBinding(b, values);
            EXPECT_EQ(d.channels.x, p.x);
            EXPECT_EQ(d.channels.y, p.y);
            EXPECT_EQ(d.channels.scaleX, p.sx);
            EXPECT_EQ(d.channels.rotation, 0.0f);
            EXPECT_EQ(d.channels.alpha, 1.0f);
            EXPECT_EQ(d.visible, p.visible);
        }
    }
}

// Mesh offsets blend as the channels do; a key that leaves a vertex alone
// offsets it by 0, and vertices no key around the values moves stay put.
TEST_F(BindingLoader, MeshOffsetsBlendBetweenTheKeysAround) {
    const struct {
        const char* keys;
        float a, b;
        std::vector<float> xy;  // the mesh after the binding: rest (0 0, 10 0, 0 10) plus offsets
    } cases[] = {
        // clang-format off
        {R"("parameters": ["a"], "keys": [{"at": 0}, {"at": 1, "deform": [1, 2, 3, 4, 5, 6]}])",
         0.5f, 0, {0.5f, 1, 11.5f, 2, 2.5f, 13}},
        {R"("parameters": ["a"], "keys": [{"at": 0, "deform": [10, 10], "deformStart": 2},
            {"at": 1, "deform": [2, 2]}])", 0.5f, 0, {1, 1, 10, 0, 5, 15}},
        {R"("parameters": ["a"], "keys": [{"at": 0, "deform": [4, 4], "deformStart": 1},
            {"at": 1, "deform": [2, 2], "deformStart": 1}])", 7, 0, {0, 0, 12, 2, 0, 10}},
        {R"("parameters": ["a", "b"], "keys": [{"at": [0, 0], "deform": [0, 0, 0, 0, 0, 0]},
            {"at": [1, 0], "deform": [4, 4, 4, 4, 4, 4]}, {"at": [0, 1], "deform": [8, 8, 8, 8, 8, 8]},
            {"at": [1, 1], "deform": [0, 0, 0, 0, 0, 0]}])", 0.5f, 0.25f, {2.5f, 2.5f, 12.5f, 2.5f, 2.5f, 12.5f}},
        {R"("parameters": ["a", "b"], "keys": [{"at": [0, 0]}, {"at": [1, 0], "deform": [4, 4],
            "deformStart": 1}, {"at": [0, 1]}, {"at": [1, 1]}])", 0.5f, 0.5f, {0, 0, 11, 1, 0, 10}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        model_.bindings = {read(std::string(R"({"part": "p", )") + c.keys + "}")};
        ASSERT_FALSE(model_.bindings[0].inert());
        MeshDeform mesh;
        InitializeMeshDeform(mesh, model_.topology.meshes);
        std::vector<PartPose> poses(1);
        const float values[2] = {c.a, c.b};
        ApplyBindings(model_, values, {}, poses, mesh);
        EXPECT_EQ(mesh.xy, c.xy);
        EXPECT_TRUE(mesh.moved);
    }
}

}  // namespace
}  // namespace kivanime
