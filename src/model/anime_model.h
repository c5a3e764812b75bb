// The loaded model: the immutable description of one puppet, shared by every
// instance made from it. Only its motion and expression tables change after
// the load, and their records keep their addresses for the model's life
// (players point into them).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/anime_expression.h"
#include "model/anime_motion.h"
#include "model/anime_skin.h"
#include "model/binding.h"
#include "model/draw_flags.h"
#include "model/name_map.h"
#include "model/parameter_set.h"
#include "model/part_mesh.h"
#include "model/pose_channels.h"

namespace kivanime {

// What a model, motion or expression is called when its file gives no name.
inline constexpr std::string_view kDefaultName = "unnamed";

// The hierarchy resolves in at most this many passes over the part list; a
// part not reached by then (a cycle, or a chain whose links point backwards
// too often) keeps its local pose as its world pose.
inline constexpr int kMaxHierarchyPasses = 32;

// The defaults of a file's keys are the initial values of the records below:
// the loaders start from a default record and keep its value for a key that
// is absent or of the wrong kind, and the lint quotes the same records.
struct AnimeTexture {
    std::string name;
    std::string path;  // relative to the model's baseDir, UTF-8
};

struct AnimeVertex {
    float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

struct AnimeTriangle {
    uint16_t index[3] = {0, 0, 0};
};

struct AnimePart {
    std::string name;
    std::string texture;
    std::string parent;
    int32_t drawOrder = 0;
    float depth = 0.0f;
    bool ignore3D = false;
    PoseChannels rest;  // the pose each frame starts from
    float anchorX = 0.5f;
    float anchorY = 0.5f;
    float srcX = 0.0f;
    float srcY = 0.0f;
    float srcWidth = 0.0f;
    float srcHeight = 0.0f;
    // The part's mesh: each vertex x, y in the part's frame (where the
    // sprite's corners are) and u, v over the whole texture; drawn only for
    // a host that asks for meshes, and only when drawable (part_mesh.h).
    std::vector<AnimeVertex> vertices;
    std::vector<AnimeTriangle> triangles;
    bool visible = true;
    std::string blend;  // the blend mode's name; anything but the three others is normal
    std::string clip;   // the name of the part whose shape this one is drawn inside
};

struct PhysicsSpring {
    std::string target;
    float stiffness = 0.3f;
    float damping = 0.7f;
    float gravityX = 0.0f;
    float gravityY = 0.5f;
    float wind = 0.0f;
};

// Name lookups resolved once, after the parts are known. The part list never
// changes after the load, so frames work on indices only.
struct ModelTopology {
    std::vector<int32_t> parentIndex;      // per part: parent part, or -1 for a root
    std::vector<int32_t> textureIndex;     // per part: index of its texture, or -1
    std::vector<uint8_t> resolvable;       // per part: 1 when the hierarchy resolves it
    std::vector<uint8_t> hasChildren;      // per part: 1 when a resolvable part names it as parent
    std::vector<int32_t> resolveOrder;     // resolvable non-root parts, parents first
    std::vector<int32_t> drawOrderSorted;  // all parts, stable-sorted by drawOrder
    std::vector<int32_t> springTarget;     // per spring: target part, or -1
    std::vector<int32_t> springAnchor;     // per spring: anchor part, or -1 (origin)
    MeshTable meshes;                      // the drawable meshes
    PartDrawFlags drawFlags;               // blend modes and masks
};

struct AnimeModel {
    AnimeModel() = default;
    // `emptyNameMotion` points into this model's own table: a copy would
    // point into the original. Moving keeps the table's nodes, so it is safe.
    AnimeModel(const AnimeModel&) = delete;
    AnimeModel& operator=(const AnimeModel&) = delete;
    AnimeModel(AnimeModel&&) = default;
    AnimeModel& operator=(AnimeModel&&) = default;

    std::string name;
    int32_t version = 1;
    int32_t canvasWidth = 1024;
    int32_t canvasHeight = 1024;
    std::vector<AnimeTexture> textures;
    std::vector<AnimePart> parts;
    std::vector<PhysicsSpring> physics;
    std::string baseDir;
    // Node-based maps: records never move while the model lives.
    std::unordered_map<std::string, AnimeMotion, StringHash, std::equal_to<>> motions;
    std::unordered_map<std::string, AnimeExpression, StringHash, std::equal_to<>> expressions;
    std::vector<AnimeSkin> skins;  // in file order, names unique
    ParameterSet parameters;
    std::vector<AnimeBinding> bindings;  // in file order, inert ones included
    NameIndex partIndex;                 // part name -> index of the last part with that name
    NameIndex textureIndex;              // texture name -> index in `textures`
    ModelTopology topology;
    // The motion stored under the empty name, if any: it is what a player
    // with no main motion applies.
    const AnimeMotion* emptyNameMotion = nullptr;

    int32_t findPart(std::string_view partName) const;
    int32_t findTexture(std::string_view textureName) const;
    // Texture swap index for a name: kNoTextureSwap for the empty name.
    int32_t resolveTextureSwap(std::string_view textureName) const;
    const AnimeMotion* findMotion(std::string_view motionName) const;
    const AnimeExpression* findExpression(std::string_view expressionName) const;
    const AnimeSkin* findSkin(std::string_view skinName) const;
};

// Rebuilds `partIndex`, `textureIndex` and `topology` from the parts,
// textures, springs and meshes.
void RebuildModelIndex(AnimeModel& model);

}  // namespace kivanime
