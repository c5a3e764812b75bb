// One live copy of a model: everything that changes per puppet. The model is
// shared and read-only here.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kivanime.h"
#include "model/anime_model.h"
#include "runtime/bindings_eval.h"
#include "runtime/expression_blend.h"
#include "runtime/mesh_deform.h"
#include "runtime/motion_player.h"
#include "runtime/parallax_settings.h"
#include "runtime/parameter_values.h"
#include "runtime/part_offsets.h"
#include "runtime/physics.h"
#include "runtime/pose.h"
#include "runtime/tint.h"

namespace kivanime {

struct AnimeInstance {
    std::shared_ptr<AnimeModel> model;   // null only after teardown
    AnimeHostCallbacks host{};           // the host table in force at creation
    AnimeDrawMeshFn drawMesh = nullptr;  // the mesh function in force at creation
    // The texture table: host handle per model texture (same index), -1 for
    // textures the host did not load. Names map to indices through the
    // model's texture index.
    std::vector<int32_t> textureHandles;
    MotionPlayer player;
    ExpressionBlend expression;
    PhysicsState physics;
    std::vector<PartPose> poses;
    MeshDeform mesh;  // the vertices of its meshes, as the last update left them
    ParameterValues parameters;
    std::vector<BindingMemo> bindingMemos;  // one per binding of the model
    Parallax3D parallax;
    float x = 0.0f;
    float y = 0.0f;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    float alpha = 1.0f;
    bool visible = true;
    int32_t drawOrder = 0;
    // What game code set on parts (parts driven from code, tints).
    PartOffsets offsets;
    std::unique_ptr<Tint> tint;  // absent until a tint is set
};

}  // namespace kivanime
