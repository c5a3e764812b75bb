// The benchmark character on screen through the C interface, a host whose
// draw function only counts, and the generated large files for loading.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kivanime.h"

namespace kivanime::bench {

// The host's draw: counts the call and reads one field.
void CountingDraw(const AnimeDrawParams* params);
uint64_t DrawCount();

struct SceneOptions {
    int instances = 1;
    bool parallax = false;
    bool curvature = false;    // horizontal cylinder on top of the parallax
    bool sameAngles = false;   // every instance turned alike instead of spread
    bool motionOnly = false;   // the main motion and nothing else
    bool crossFade = false;    // every main motion in a cross-fade that does not end
    bool partOffsets = false;  // game code turns and moves every part (a small offset each)
    bool blendModes = false;   // the parts in the four blend modes, in turn
};

// Resets the library, loads the character and starts every instance with the
// full load: main motion, overlay at weight 0.6, expression, wind (or only
// the main motion); then runs enough frames for the expression to reach full
// weight.
std::vector<uint32_t> SetUpScene(const SceneOptions& options);

// Empties the library.
void TearDownScene();

// The benchmark character with a cape: a strip of kMeshVertices vertices
// under the chest, drawn as a mesh and bent all along by its main motion (the
// character's idle with a cape track that moves every vertex), on `bent`;
// and the same character whose cape track only turns it, drawn without a
// mesh function, on `flat`. Each list has `instances` instances, all shown.
inline constexpr int kMeshVertices = 64;
struct MeshScene {
    std::vector<uint32_t> bent;
    std::vector<uint32_t> flat;
};
MeshScene SetUpMeshScene(int instances);
uint64_t MeshDrawCount();

// The character with the cape and two parameters, each breathing, in two
// crowds that differ only by their bindings: `plain` has none, `bound` has
// one binding on every part (kind One: position and rotation keyed to one
// parameter at three keys; Two: the same over a 3 x 3 grid of both), or
// (Deform) one binding bending every vertex of the cape at three keys.
enum class BindingKind { One, Two, Deform };
struct BindingScene {
    std::vector<uint32_t> plain;
    std::vector<uint32_t> bound;
    int bindingsPerInstance = 0;
};
BindingScene SetUpBindingScene(int instances, BindingKind kind);

// A 10 x 10 iris sliding (by its motion) inside an eye whose shape is a fan
// of 16 triangles: clipped and handed to a mesh function, on `masked`; the
// same puppet with the iris unmasked, drawn as a sprite, on `plain`. Each
// list has `instances` instances, all shown, turned in 3D on `parallax`.
struct MaskScene {
    std::vector<uint32_t> masked;
    std::vector<uint32_t> plain;
};
MaskScene SetUpMaskScene(int instances, bool parallax);

// Path of the character's files.
std::string ScenePath(const std::string& relative);

// Files of about 2 MB each, written once per process under the temporary
// directory: a model, a motion and an expression for it; and the character's
// model with its parts repeated kCrowdCopies times (6,000 parts, 2.1 MB).
inline constexpr int kCrowdCopies = 150;
struct LargeFiles {
    std::string model;
    std::string motion;
    std::string expression;
    std::string crowdModel;
    uint64_t modelBytes = 0;
    uint64_t motionBytes = 0;
    uint64_t expressionBytes = 0;
    uint64_t crowdModelBytes = 0;
    int crowdParts = 0;
};
const LargeFiles& GetLargeFiles();
void RemoveLargeFiles();

}  // namespace kivanime::bench
