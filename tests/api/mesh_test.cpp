// Meshes through the C interface: a mesh function takes the parts with a
// drawable mesh, with the record draw would have had and the vertices placed
// by it; instances without one, and malformed meshes, draw as before;
// Anime_GetPartMesh answers what the next render passes; motions move the
// vertices by the keyframe rules.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

using Meshes = ApiTest;

bool SameRecord(const AnimeDrawParams& a, const AnimeDrawParams& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The records of one instance, with the host's records cleared first.
std::vector<AnimeDrawParams> DrawOne(uint32_t id) {
    RecordingHost& host = RecordingHost::Get();
    host.draws.clear();
    host.meshes.clear();
    Anime_RenderInstance(id);
    return host.draws;
}

// The body, then a child whose mesh is exactly its sprite: a 40 x 20 image
// with its pivot at (0.25, 0.6), so the corners lie at x -10 and 30, y -12
// and 8.
const char* const kQuadModel = R"({"textures": {"t": "t.png"}, "parts": [
    {"name": "body", "texture": "t", "position": [10, -20], "rotation": 0.4,
     "scale": [1.5, 0.75], "depth": 30, "srcRect": [1, 0, 40, 20]},
    {"name": "quad", "texture": "t", "parent": "body", "position": [12, 5], "rotation": -0.3,
     "depth": 50, "anchor": [0.25, 0.6], "srcRect": [2, 0, 40, 20],
     "vertices": [[-10, -12, 0, 0], [30, -12, 1, 0], [30, 8, 1, 1], [-10, 8, 0, 1]],
     "triangles": [0, 1, 2, 0, 2, 3]}]})";

TEST_F(Meshes, AQuadMeshIsItsSpritePlainMirroredScaledAndTurned) {
    host().onLoad = [](const std::u16string&) { return 7; };  // records of two instances alike
    loadModel("q", kQuadModel);
    const uint32_t sprite = Anime_CreateInstance("q");  // before the mesh function
    Anime_SetMeshCallback(RecordingHost::meshCallback());
    AnimeHostCallbacks table = host().callbacks();
    Anime_Init(&table);  // leaves the mesh function
    const uint32_t mesh = Anime_CreateInstance("q");
    const char* const cases[] = {
        "",
        "scale -1 1; pos 40 10",
        "scale 2 0.5",
        "3d 1 0 0 800 0 0; angles 35 -20 10",
        "scale -0.5 1.5; 3d 1 5 5 300 40 0; angles -25 15 5",
    };
    for (const char* setup : cases) {
        SCOPED_TRACE(setup);
        for (uint32_t id : {sprite, mesh}) {
            run("id " + std::to_string(id) + "; " + setup);
        }
        Anime_Update(16.0f);
        const std::vector<AnimeDrawParams> sprites = DrawOne(sprite);
        ASSERT_TRUE(host().meshes.empty());
        DrawOne(mesh);
        // The same records in the same order; the quad's went to the mesh function.
        ASSERT_EQ(host().draws.size(), 2u);
        ASSERT_EQ(host().meshes.size(), 1u);
        for (size_t k = 0; k < 2; ++k) {
            EXPECT_TRUE(SameRecord(sprites[k], host().draws[k])) << k;
        }
        const RecordingHost::MeshCall& call = host().meshes[0];
        const AnimeDrawParams& r = host().draws[call.draw];
        ASSERT_EQ(r.srcX, 2.0f);
        EXPECT_EQ(call.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
        ASSERT_EQ(call.vertices.size(), 4u);
        const float c = std::cos(r.rotation);
        const float s = std::sin(r.rotation);
        for (size_t k = 0; k < 4; ++k) {
            const float vx = k == 1 || k == 2 ? 30.0f : -10.0f;
            const float vy = k >= 2 ? 8.0f : -12.0f;
            const AnimeMeshVertex& v = call.vertices[k];
            // The placement formula, left to right...
            EXPECT_EQ(v.x, r.x + c * r.scaleX * vx - s * r.scaleY * vy) << k;
            EXPECT_EQ(v.y, r.y + s * r.scaleX * vx + c * r.scaleY * vy) << k;
            EXPECT_EQ(v.u, k == 1 || k == 2 ? 1.0f : 0.0f);
            EXPECT_EQ(v.v, k >= 2 ? 1.0f : 0.0f);
            // ...which is where a host puts the sprite's corner.
            const float ox = ((k == 1 || k == 2 ? 40.0f : 0.0f) - r.anchorX * 40.0f) * r.scaleX;
            const float oy = ((k >= 2 ? 20.0f : 0.0f) - r.anchorY * 20.0f) * r.scaleY;
            EXPECT_NEAR(v.x, r.x + c * ox - s * oy, 1e-3f) << k;
            EXPECT_NEAR(v.y, r.y + s * ox + c * oy, 1e-3f) << k;
        }
        // The query gives the same vertices, for either instance.
        for (uint32_t id : {sprite, mesh}) {
            AnimeMeshVertex out[4];
            ASSERT_EQ(Anime_GetPartMesh(id, "quad", out, 4), 4);
            EXPECT_EQ(std::memcmp(out, call.vertices.data(), sizeof out), 0);
        }
    }
    // A mesh function set to NULL is taken like any other.
    Anime_SetMeshCallback(nullptr);
    run("new q; up 0");
    EXPECT_EQ(DrawOne(id_).size(), 2u);
    EXPECT_TRUE(host().meshes.empty());
}

// Parts labelled by srcX. Only 1, 5 and 6 have drawable meshes; 7 has one
// but no texture, 8 one but is hidden.
const char* const kMalformed = R"({"textures": {"t": "t.png"}, "parts": [
    {"name": "p1", "texture": "t", "srcRect": [1, 0, 4, 4],
     "vertices": [[0, 0, 0, 0], [4, 0, 1, 0], [0, 4, 0, 1]], "triangles": [0, 1, 2]},
    {"name": "p2", "texture": "t", "srcRect": [2, 0, 4, 4],
     "vertices": [[0, 0, 0, 0], [4, 0, 1, 0]], "triangles": [0, 1, 1]},
    {"name": "p3", "texture": "t", "srcRect": [3, 0, 4, 4],
     "vertices": [[0, 0, 0, 0], [4, 0, 1, 0], [0, 4, 0, 1], [4, 4, 1, 1]]},
    {"name": "p4", "texture": "t", "srcRect": [4, 0, 4, 4],
     "vertices": [[0, 0, 0, 0], [4, 0, 1, 0], [0, 4, 0, 1]], "triangles": [0, 1, 3]},
    {"name": "p5", "texture": "t", "srcRect": [5, 0, 4, 4], "drawOrder": -1,
     "vertices": [[0, 0, 0, 0], [4, 0, 1, 0], [0, 4, 0, 1]], "triangles": [0, 1, 65538]},
    {"name": "p6", "texture": "t", "srcRect": [6, 0, 4, 4],
     "vertices": [[0, 0, 0, 0], [4, 0], 7, [0, 4, 0, 1]], "triangles": [0, 1, 2, 3, 3]},
    {"name": "p7", "srcRect": [7, 0, 4, 4],
     "vertices": [[0, 0, 0, 0], [4, 0, 1, 0], [0, 4, 0, 1]], "triangles": [0, 1, 2]},
    {"name": "p8", "texture": "t", "visible": false, "srcRect": [8, 0, 4, 4],
     "vertices": [[0, 0, 0, 0], [4, 0, 1, 0], [0, 4, 0, 1]], "triangles": [0, 1, 2]},
    {"name": "p9", "texture": "t", "srcRect": [9, 0, 4, 4], "vertices": [], "triangles": []}]})";

TEST_F(Meshes, OnlyDrawableMeshesGoToTheMeshFunctionInTheirPlace) {
    host().onLoad = [](const std::u16string&) { return 7; };
    loadModel("m", kMalformed);
    run("new m; scale -1 2; pos 3 4");
    const uint32_t plain = id_;
    Anime_SetMeshCallback(RecordingHost::meshCallback());
    run("new m; scale -1 2; pos 3 4; up 16");
    const std::vector<AnimeDrawParams> sprites = DrawOne(plain);
    DrawOne(id_);
    run("draws 5,1,2,3,4,6,9");
    ASSERT_EQ(sprites.size(), host().draws.size());
    for (size_t k = 0; k < sprites.size(); ++k) {
        EXPECT_TRUE(SameRecord(sprites[k], host().draws[k])) << k;
    }
    std::string viaMesh;
    for (const RecordingHost::MeshCall& call : host().meshes) {
        viaMesh += std::to_string(static_cast<int>(host().draws[call.draw].srcX));
        for (uint16_t index : call.indices) {
            EXPECT_LT(index, call.vertices.size());
        }
    }
    EXPECT_EQ(viaMesh, "516");
    EXPECT_EQ(host().meshes[0].indices, (std::vector<uint16_t>{0, 1, 2}));  // 65538 & 0xFFFF
    // A short entry is a vertex at (0, 0) all the same; the spare indices are dropped.
    EXPECT_EQ(host().meshes[2].vertices.size(), 4u);
    EXPECT_EQ(host().meshes[2].indices.size(), 3u);
    const int32_t counts[] = {3, 0, 0, 0, 3, 4, 3, 3, 0};
    for (int i = 0; i < 9; ++i) {
        const std::string part = "p" + std::to_string(i + 1);
        EXPECT_EQ(Anime_GetPartMesh(id_, part.c_str(), nullptr, 0), counts[i]) << part;
    }
    EXPECT_STREQ(Anime_GetLastError(),
                 "part \"p9\" of model \"m\" (instance 2) has no drawable mesh");
}

TEST_F(Meshes, GetPartMeshFailsLikeTheOtherQueriesAndWritesNoMoreThanAsked) {
    loadModel("m", kMalformed);
    run("new m; pos 100 50; up 16");
    AnimeMeshVertex out[3];
    const AnimeMeshVertex sentinel{-7.0f, -7.0f, -7.0f, -7.0f};
    const struct {
        uint32_t id;
        const char* part;
        bool out;
        int32_t capacity;
        int32_t result;
        const char* error;
    } cases[] = {
        {1, nullptr, true, 3, 0, "partName is NULL"},
        {1, "p1", true, -1, 0, "capacity is negative"},
        {1, "p1", false, 1, 0, "out is NULL"},
        {9, "p1", true, 3, 0, "no instance with id 9"},
        {1, "nope", true, 3, 0, "model \"m\" (instance 1) has no part named \"nope\""},
        {1, "p1", false, 0, 3, ""},
        {1, "p1", true, 2, 3, ""},
        {1, "p1", true, 3, 3, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.part ? c.part : "NULL") << " " << c.capacity);
        std::fill(std::begin(out), std::end(out), sentinel);
        EXPECT_EQ(Anime_GetPartMesh(c.id, c.part, c.out ? out : nullptr, c.capacity), c.result);
        EXPECT_STREQ(Anime_GetLastError(), c.error);
        const int32_t written = c.out ? std::max(0, std::min(c.capacity, c.result)) : 0;
        for (int32_t k = 0; k < 3; ++k) {
            EXPECT_EQ(out[k].x == -7.0f, k >= written) << k;
        }
    }
    EXPECT_EQ(out[1].x, 104.0f);  // at the instance's place
    EXPECT_EQ(out[2].y, 54.0f);
}

// A 4-vertex strip at the origin: its vertices as drawn are its deformed
// vertices themselves.
const char* const kStrip = R"({"textures": {"t": "t.png"}, "parts": [
    {"name": "strip", "texture": "t", "srcRect": [1, 0, 4, 4],
     "vertices": [[0, 0, 0, 0], [10, 0, 1, 0], [10, 10, 1, 1], [0, 10, 0, 1]],
     "triangles": [0, 1, 2, 0, 2, 3]},
    {"name": "sprite", "texture": "t", "srcRect": [2, 0, 4, 4]}]})";

TEST_F(Meshes, MotionsMoveVerticesByTheKeyframeRules) {
    loadModel("m", kStrip);
    const std::string ramp = R"({"time": 0, "deform": [0, 0, 0, 0, 0, 0, 0, 0]},
        {"time": 1000, "deform": [2, 4, 6, 8, 10, 12, 14, 16])";
    const struct {
        const char* what;
        std::string main;     // the keyframes of the main motion's track(s)
        std::string overlay;  // an overlay's keyframes, played at weight 0.5
        float time;
        std::vector<float> offsets;  // x, y of vertices 0 to 3
    } cases[] = {
        {"linear", ramp + "}", "", 500, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"the later keyframe's easing",
         ramp + R"(, "easing": "ease_in"})",
         "",
         500,
         {0.5, 1, 1.5, 2, 2.5, 3, 3.5, 4}},
        {"step holds until the keyframe's time",
         ramp + R"(, "easing": "step"})",
         "",
         999,
         {0, 0, 0, 0, 0, 0, 0, 0}},
        {"and after its time", ramp + "}", "", 1000, {2, 4, 6, 8, 10, 12, 14, 16}},
        {"a keyframe without deform is at rest",
         R"({"time": 0}, {"time": 1000, "deform": [4, 8]})",
         "",
         250,
         {1, 2, 0, 0, 0, 0, 0, 0}},
        {"a start vertex, one keyframe",
         R"({"time": 0, "deform": [8, -8], "deformStart": 2})",
         "",
         300,
         {0, 0, 0, 0, 8, -8, 0, 0}},
        {"cut at the last vertex",
         R"({"time": 0, "deform": [1, 1, 2, 2, 3, 3], "deformStart": 2})",
         "",
         0,
         {0, 0, 0, 0, 1, 1, 2, 2}},
        {"an odd last number",
         R"({"time": 0, "deform": [1, 2, 3]})",
         "",
         0,
         {1, 2, 0, 0, 0, 0, 0, 0}},
        {"before the first vertex, truncated start",
         R"({"time": 0, "deform": [5, 5, 6, 6, 7, "x"], "deformStart": -1.7})",
         "",
         0,
         {6, 6, 7, 0, 0, 0, 0, 0}},
        {"keyframes moving different vertices",
         R"({"time": 0, "deform": [2, 2]}, {"time": 1000, "deform": [4, 4], "deformStart": 1})",
         "",
         500,
         {1, 1, 2, 2, 0, 0, 0, 0}},
        {"two tracks add",
         R"({"time": 0, "deform": [1, 1]}]}, {"part": "strip", "keyframes": [
             {"time": 0, "deform": [2, 3, 4, 5]})",
         "",
         0,
         {3, 4, 4, 5, 0, 0, 0, 0}},
        {"an overlay adds by its weight",
         ramp + "}",
         R"({"time": 0, "deform": [0, 0, 0, 0, 0, 0, 4, 6]})",
         500,
         {1, 2, 3, 4, 5, 6, 9, 11}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "c" + std::to_string(n++);
        const std::string track = R"({"part": "strip", "keyframes": [)" + c.main + "]}";
        const std::string motion =
            R"({"name": ")" + name + R"(", "duration": 1000, "tracks": [)" + track + "]}";
        ASSERT_EQ(Anime_LoadMotionFromMemory("m", motion.data(), int32_t(motion.size())), 1);
        run("new m; play " + name + " 1");
        if (!c.overlay.empty()) {
            const std::string ov = R"({"name": "o", "duration": 2000, "tracks": [{"part": "strip",
                "keyframes": [)" + c.overlay +
                                   "]}]}";
            ASSERT_EQ(Anime_LoadMotionFromMemory("m", ov.data(), int32_t(ov.size())), 1);
            run("ov o 1 0.5");
        }
        Anime_Update(c.time);
        AnimeMeshVertex v[4];
        ASSERT_EQ(Anime_GetPartMesh(id_, "strip", v, 4), 4);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(v[k].x, (k == 1 || k == 2 ? 10.0f : 0.0f) + c.offsets[2 * k]) << k;
            EXPECT_EQ(v[k].y, (k >= 2 ? 10.0f : 0.0f) + c.offsets[2 * k + 1]) << k;
        }
    }
    // Overlays move vertices only while a main motion plays, as they move
    // parts; a new main motion without deforms puts the mesh back at rest.
    AnimeMeshVertex v[4];
    const std::string none = R"({"name": "none", "tracks": [{"part": "sprite",
        "keyframes": [{"time": 0, "rotation": 1}]}]})";
    ASSERT_EQ(Anime_LoadMotionFromMemory("m", none.data(), int32_t(none.size())), 1);
    for (const char* steps :
         {"new m; ov o 1 1; up 16", "new m; play c0 1; up 500; play none 1; up 16",
          "new m; play none 1; ov o 1 0; up 16"}) {
        SCOPED_TRACE(steps);
        run(steps);
        ASSERT_EQ(Anime_GetPartMesh(id_, "strip", v, 4), 4);
        EXPECT_EQ(v[3].x, 0.0f);
        EXPECT_EQ(v[3].y, 10.0f);
    }
}

}  // namespace
}  // namespace kivanime::test
