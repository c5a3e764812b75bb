// Bindings applied with an instance's memos give, call after call, exactly
// what evaluating every binding afresh gives: a memo is reused only while
// every value its binding reads is the same to the bit.
#include "runtime/bindings_eval.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "json/json_parser.h"
#include "model/model_loader.h"
#include "support/api_fixture.h"

namespace kivanime {
namespace {

std::vector<uint32_t> PoseBits(const std::vector<PartPose>& poses, const MeshDeform& mesh) {
    std::vector<uint32_t> bits;
    for (const PartPose& p : poses) {
        for (float f : {p.local.x, p.local.y, p.local.rotation, p.local.scaleX, p.local.scaleY,
                        p.local.alpha}) {
            bits.push_back(test::Bits(f));
        }
        bits.push_back(p.visible ? 1u : 0u);
        bits.push_back(static_cast<uint32_t>(p.textureHandle));
    }
    for (float f : mesh.xy) {
        bits.push_back(test::Bits(f));
    }
    return bits;
}

TEST(BindingMemos, ReusedOnlyWhileEveryValueReadIsUnchanged) {
    // A grid with vertex offsets, a one-parameter binding with visibility and
    // a texture from the nearest key, a second binding on the same part and
    // an inert one: each reads a different set of the three parameters.
    AnimeModel model;
    ASSERT_TRUE(ReadModelJson(model, ParseJson(R"({"textures": {"t": "t.png", "u": "u.png"},
        "parameters": [{"name": "a", "min": -10, "max": 10}, {"name": "b", "max": 10},
          {"name": "c", "max": 1}],
        "parts": [{"name": "m", "texture": "t", "vertices": [[0, 0, 0, 0], [10, 0, 1, 0],
          [0, 10, 0, 1]], "triangles": [0, 1, 2]}, {"name": "q"}],
        "bindings": [
          {"part": "m", "parameters": ["a", "b"], "keys": [
            {"at": [-10, 0], "position": [-5, 0], "deform": [1, 1, 1, 1, 1, 1]},
            {"at": [10, 0], "position": [5, 0], "deform": [0, 0, 2, 2], "deformStart": 1},
            {"at": [-10, 10], "rotation": 1, "scale": 2},
            {"at": [10, 10], "position": [0, 9], "deform": [3, 3]}]},
          {"part": "q", "parameters": ["c"], "keys": [{"at": 0, "visible": 0},
            {"at": 1, "scale": [2, 3], "visible": 1, "texture": "u"}]},
          {"part": "q", "parameters": ["b"], "keys": [{"at": 0}, {"at": 10, "alpha": 0}]},
          {"part": "q", "parameters": ["nothing"], "keys": [{"at": 0, "position": [9, 9]}]}]})"),
                              ""));
    ASSERT_EQ(model.bindings.size(), 4u);
    std::vector<BindingMemo> memos;
    InitializeBindingMemos(memos, model);
    ASSERT_EQ(memos.size(), 4u);
    MeshDeform rest;
    InitializeMeshDeform(rest, model.topology.meshes);
    const std::vector<int32_t> handles = {7, 8};
    // Each row the values of one update, in turn: repeats, one value of
    // three changing (the grid's second alone too), a change back, the two
    // zeros, NaN and the ends.
    const float nan = std::nanf("");
    const float rows[][3] = {
        {0, 0, 0},    {0, 0, 0},     {3, 0, 0},    {3, 4, 0},     {3, 4, 0},     {3, 4, 0.6f},
        {3, 4, 0.4f}, {3, 4, 0.4f},  {0, 0, 0},    {-0.0f, 0, 0}, {0, -0.0f, 0}, {nan, 4, 1},
        {nan, 4, 1},  {9, nan, nan}, {-10, 10, 1}, {10, 10, 1},   {10, 10, 1},   {3, 4, 0.6f},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row[0] << ", " << row[1] << ", " << row[2]);
        std::vector<PartPose> fresh(2);
        std::vector<PartPose> kept(2);
        MeshDeform freshMesh = rest;
        MeshDeform keptMesh = rest;
        ApplyBindings(model, row, handles, fresh, freshMesh);
        ApplyBindings(model, row, handles, kept, keptMesh, memos.data());
        EXPECT_EQ(PoseBits(kept, keptMesh), PoseBits(fresh, freshMesh));
        EXPECT_EQ(keptMesh.moved, freshMesh.moved);
    }
}

}  // namespace
}  // namespace kivanime
