// The 3D turn through the C interface: depth orders parts of equal draw order
// only while it is on, setters show at the next render and clamp their
// values, and ignore3D parts stay where the hierarchy put them. (The
// projection itself is checked case by case on the parallax step.)
#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// Labels: 1 right, 2 left, 3 flat (ignore3D), 4 back (drawOrder -1).
constexpr const char* kModel = R"({"textures": {"t": "t.png"}, "parts": [
    {"texture": "t", "position": [100, 0], "depth": 10, "srcRect": [1, 0, 0, 0]},
    {"texture": "t", "position": [-100, 0], "depth": -10, "srcRect": [2, 0, 0, 0]},
    {"texture": "t", "position": [100, 0], "depth": 5, "ignore3D": true, "srcRect": [3, 0, 0, 0]},
    {"texture": "t", "position": [0, 0], "depth": 100, "drawOrder": -1, "srcRect": [4, 0, 0, 0]}]})";

using Parallax = ApiTest;

TEST_F(Parallax, Script) {
    loadModel("m", kModel);
    // Off: list order within a draw order, whatever the depth. On at rest:
    // the raw depths decide (-10, 5, 10). Yaw 30 turns the right part away
    // (depth about -50 + 10 cos 30) and the left one forward; the ignore3D
    // part keeps 5. Switched off, the angles are kept for later.
    run("new m; up 16; r; draws 4,1,2,3; 3d 1 0 0 1500 0 0; r; draws 4,2,3,1; angles 30 0 0; r;"
        "draws 4,1,3,2; angles -30 0 0; r; draws 4,2,3,1; 3d 0 0 0 1500 0 0; r; draws 4,1,2,3;"
        "3d 1 0 0 1500 0 0; r; draws 4,2,3,1");
    // Shown at once; the ignore3D part is drawn at its resolved pose.
    run("angles 0 0 90; pos 1000 0; r; 1.x~ 1000; 1.y~ 100; 1.r~ 1.5707963; 3.x 1100; 3.y 0;"
        "3.r 0; 3.sx 1");
    // A focal distance of 10 is taken as 50: yaw 30 moves the right part
    // (its depth turned off by strength 0) to depth -50, so k = 50 / 100.
    run("3d 1 0 0 10 -5 -5; strength -3 1; angles 30 0 0; pos 0 0; r; 1.x~ 43.30127;"
        "1.sx~ 0.4330127; 1.sy~ 0.5");
    // A negative perspective strength switches the perspective off, and the
    // negative radii bent nothing; depth strength 1 counts the depth again.
    run("strength -3 -3; r; 1.x~ 86.60254; 1.sx~ 0.8660254; 1.sy 1; strength 1 -3; r;"
        "1.x~ 91.60254; id 2; 3d 0 0 0 0 0 0; angles 0 0 0; strength 0 0; r; 1.x~ 91.60254");
    // Each setting reaches the projection: the pivot (the right part sits on
    // it), the horizontal curve (x 100 on a radius of 200 turns by 30
    // degrees) and the pitch (depth 100 tilted by 30 degrees rises by 50).
    // Turned edge-on, the width keeps the 0.05 floor of its cosine, times the
    // perspective (1400 / 1500 for depth 100 swung to 0).
    run("id 1; 3d 1 100 0 1500 0 0; strength 0 1; angles 30 0 0; r; 1.x~ 100;"
        "3d 1 0 0 1500 200 0; angles 0 0 0; r; 1.sx~ 0.8660254; 3d 1 0 0 1500 0 0; strength 1 0;"
        "angles 0 30 0; r; 4.y~ -50; strength 1 1; angles 90 0 0; r; 4.x~ 93.33333;"
        "4.sx~ 0.0466667");
}

}  // namespace
}  // namespace kivanime::test
