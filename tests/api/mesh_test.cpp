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
#include <utility>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

using Meshes = ApiTest;

// The test puppet: "quad" is a mirrored part whose mesh is its 40 x 20 image
// exactly (pivot at (0.25, 0.6), so corners at x -10 and 30, y -12 and 8);
// "cape" and "masked_index" have drawable meshes too; the other meshes are
// malformed, untextured or hidden.
const std::string kPuppet = std::string(KIVANIME_SOURCE_DIR) + "/tests/fixtures/mesh-puppet/";

// The records of one instance, with the host's records cleared first.
std::vector<AnimeDrawParams> DrawOne(uint32_t id) {
    RecordingHost& host = RecordingHost::Get();
    host.draws.clear();
    host.meshes.clear();
    Anime_RenderInstance(id);
    return host.draws;
}

// An instance without a mesh function and one with, placed alike; each
// texture gets a handle of its file (7 or 8), the same for both, so that
// their records can be compared whole.
std::pair<uint32_t, uint32_t> TwoInstances(RecordingHost& host) {
    host.onLoad = [](const std::u16string& path) { return path.ends_with(u"cloth.png") ? 8 : 7; };
    EXPECT_EQ(Anime_LoadModel("p", (kPuppet + "model.json").c_str()), 1);
    const uint32_t sprites = Anime_CreateInstance("p");
    Anime_SetMeshCallback(RecordingHost::meshCallback());
    AnimeHostCallbacks table = host.callbacks();
    Anime_Init(&table);  // leaves the mesh function
    return {sprites, Anime_CreateInstance("p")};
}

TEST_F(Meshes, AQuadMeshIsItsSpritePlainMirroredScaledAndTurned) {
    const auto [sprite, mesh] = TwoInstances(host());
    for (const char* setup :
         {"", "scale -1 1; pos 40 10", "scale 2 0.5", "3d 1 0 0 800 0 0; angles 35 -20 10",
          "scale -0.5 1.5; 3d 1 5 5 300 40 0; angles -25 15 5",
          // Game code moves, tints and reskins the part.
          "off quad 4 -3 0.3 1.5 0.5 0.7; ptint quad 1 0.5 0.25; ptex quad cloth"}) {
        SCOPED_TRACE(setup);
        run("id " + std::to_string(sprite) + "; " + setup + "; id " + std::to_string(mesh) + "; " +
            setup);
        Anime_Update(16.0f);
        const std::vector<AnimeDrawParams> sprites = DrawOne(sprite);
        ASSERT_TRUE(host().meshes.empty());
        DrawOne(mesh);
        // The same records in the same order, the drawable meshes' through the mesh function.
        ASSERT_EQ(host().draws.size(), sprites.size());
        EXPECT_EQ(std::memcmp(sprites.data(), host().draws.data(),
                              sprites.size() * sizeof(AnimeDrawParams)),
                  0);
        ASSERT_EQ(host().meshes.size(), 3u);
        const RecordingHost::MeshCall& call = host().meshes[1];
        const AnimeDrawParams& r = host().draws[call.draw];
        EXPECT_EQ(call.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
        ASSERT_EQ(call.vertices.size(), 4u);
        const float c = std::cos(r.rotation), s = std::sin(r.rotation);
        // Corners clockwise from the top left, in the image and in the model.
        const float us[] = {0, 1, 1, 0}, vs[] = {0, 0, 1, 1};
        for (size_t k = 0; k < 4; ++k) {
            const float vx = us[k] * 40.0f - 10.0f;
            const float vy = vs[k] * 20.0f - 12.0f;
            const AnimeMeshVertex& v = call.vertices[k];
            // The placement formula, left to right: where a host puts the
            // sprite's corner.
            EXPECT_EQ(v.x, r.x + c * r.scaleX * vx - s * r.scaleY * vy) << k;
            EXPECT_EQ(v.y, r.y + s * r.scaleX * vx + c * r.scaleY * vy) << k;
            EXPECT_EQ(v.u, us[k]);
            EXPECT_EQ(v.v, vs[k]);
        }
        // The query gives the same vertices, for either instance.
        for (uint32_t id : {sprite, mesh}) {
            AnimeMeshVertex out[4];
            ASSERT_EQ(Anime_GetPartMesh(id, "quad", out, 4), 4);
            EXPECT_EQ(std::memcmp(out, call.vertices.data(), sizeof out), 0);
        }
    }
    Anime_SetMeshCallback(nullptr);  // taken like any other
    run("new p; up 0");
    DrawOne(id_);
    EXPECT_TRUE(host().meshes.empty());
}

TEST_F(Meshes, OnlyDrawableMeshesGoToTheMeshFunctionAndQueriesFailAsTheOthers) {
    const auto [sprite, mesh] = TwoInstances(host());
    Anime_Update(16.0f);
    DrawOne(mesh);
    // Drawn: cape (order -1), body, quad, two_vertices, no_triangles,
    // index_past_end, masked_index (order 2); the untextured and the hidden
    // part not at all.
    ASSERT_EQ(host().draws.size(), 7u);
    const std::vector<RecordingHost::MeshCall>& viaMesh = host().meshes;
    ASSERT_EQ(viaMesh.size(), 3u);
    EXPECT_EQ((std::vector<size_t>{viaMesh[0].draw, viaMesh[1].draw, viaMesh[2].draw}),
              (std::vector<size_t>{0, 2, 6}));
    EXPECT_EQ(viaMesh[2].indices, (std::vector<uint16_t>{0, 1, 2}));  // 65538 & 0xFFFF
    const std::pair<const char*, int32_t> counts[] = {
        {"body", 0},         {"cape", 8},         {"quad", 4},
        {"two_vertices", 0}, {"no_triangles", 0}, {"index_past_end", 0},
        {"masked_index", 3}, {"untextured", 3},   {"hidden", 3}};
    for (const auto& [part, count] : counts) {
        EXPECT_EQ(Anime_GetPartMesh(sprite, part, nullptr, 0), count) << part;
    }
    EXPECT_STREQ(Anime_GetLastError(), "");
    // Failures name their reason; a capacity writes no more than it says.
    AnimeMeshVertex out[3];
    const struct {
        uint32_t id;
        const char* part;
        bool out;
        int32_t capacity, result;
        const char* error;
    } cases[] = {
        {1, nullptr, true, 3, 0, "partName is NULL"},
        {1, "cape", true, -1, 0, "capacity is negative"},
        {1, "cape", false, 1, 0, "out is NULL"},
        {9, "cape", true, 3, 0, "no instance with id 9"},
        {1, "nope", true, 3, 0, "model \"p\" (instance 1) has no part named \"nope\""},
        {1, "body", true, 3, 0, "part \"body\" of model \"p\" (instance 1) has no drawable mesh"},
        {1, "cape", true, 2, 8, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part ? c.part : "NULL");
        std::fill(std::begin(out), std::end(out), AnimeMeshVertex{-7.0f, -7.0f, -7.0f, -7.0f});
        EXPECT_EQ(Anime_GetPartMesh(c.id, c.part, c.out ? out : nullptr, c.capacity), c.result);
        EXPECT_STREQ(Anime_GetLastError(), c.error);
        for (int32_t k = 0; k < 3; ++k) {
            EXPECT_EQ(out[k].x == -7.0f, k >= (c.result > 0 ? c.capacity : 0)) << k;
        }
    }
}

// A 4-vertex strip at the origin: its vertices as drawn are its deformed
// vertices themselves.
const char* const kStrip = R"({"textures": {"t": "t.png"}, "parts": [
    {"name": "strip", "texture": "t", "vertices": [[0, 0, 0, 0], [10, 0, 1, 0], [10, 10, 1, 1],
     [0, 10, 0, 1]], "triangles": [0, 1, 2, 0, 2, 3]}, {"name": "sprite", "texture": "t"}]})";

// Expects the strip's vertices at rest plus `offsets` (x, y of vertices 0 to
// 3; one number moves every coordinate alike).
void ExpectStrip(uint32_t id, std::vector<float> offsets) {
    const float rest[8] = {0, 0, 10, 0, 10, 10, 0, 10};
    offsets.resize(8, offsets[0]);
    AnimeMeshVertex v[4];
    ASSERT_EQ(Anime_GetPartMesh(id, "strip", v, 4), 4);
    for (size_t j = 0; j < 8; ++j) {
        EXPECT_EQ(j % 2 == 0 ? v[j / 2].x : v[j / 2].y, rest[j] + offsets[j]) << j;
    }
}

// Loads motion `name` into model "m" with one track on the strip, of
// `keyframes`; `extra` goes before the tracks (a duration, a loop).
void LoadStripMotion(const std::string& name, const std::string& keyframes,
                     const std::string& extra = "") {
    const std::string json = R"({"name": ")" + name + "\", " + extra +
                             R"("tracks": [{"part": "strip", "keyframes": [)" + keyframes + "]}]}";
    ASSERT_EQ(Anime_LoadMotionFromMemory("m", json.data(), int32_t(json.size())), 1) << json;
}

TEST_F(Meshes, MotionsMoveVerticesByTheKeyframeRules) {
    loadModel("m", kStrip);
    const std::string ramp = R"({"time": 0, "deform": [0, 0, 0, 0, 0, 0, 0, 0]},
        {"time": 1000, "deform": [2, 4, 6, 8, 10, 12, 14, 16])";
    const struct {
        const char* what;
        float time;
        std::vector<float> offsets;  // x, y of vertices 0 to 3
        std::string main;            // the keyframes of the main motion's track(s)
        std::string overlay = {};    // an overlay's keyframes, played at weight 0.5
    } cases[] = {
        // clang-format off
        {"linear", 500, {1, 2, 3, 4, 5, 6, 7, 8}, ramp + "}"},
        {"the later keyframe's easing", 500, {.5, 1, 1.5, 2, 2.5, 3, 3.5, 4},
         ramp + R"(, "easing": "ease_in"})"},
        {"a keyframe without deform is at rest", 250, {1, 2, 0, 0, 0, 0, 0, 0},
         R"({"time": 0}, {"time": 1000, "deform": [4, 8]})"},
        {"cut at the last vertex", 0, {0, 0, 0, 0, 1, 1, 2, 2},
         R"({"time": 0, "deform": [1, 1, 2, 2, 3, 3], "deformStart": 2})"},
        {"an odd last number", 0, {1, 2, 0, 0, 0, 0, 0, 0}, R"({"time": 0, "deform": [1, 2, 3]})"},
        {"before the first vertex, truncated start", 0, {6, 6, 7, 0, 0, 0, 0, 0},
         R"({"time": 0, "deform": [5, 5, 6, 6, 7, "x"], "deformStart": -1.7})"},
        {"keyframes moving different vertices", 500, {1, 1.5, 5, 5.5, 2, 2, 0, 0},
         R"({"time": 0, "deform": [2, 3, 6, 7]}, {"time": 1000, "deform": [4, 4, 4, 4], "deformStart": 1})"},
        {"two tracks add", 0, {3, 4, 4, 5, 0, 0, 0, 0},
         R"({"time": 0, "deform": [1, 1]}]}, {"part": "strip", "keyframes": [{"time": 0, "deform": [2, 3, 4, 5]})"},
        {"an overlay adds by its weight", 500, {1, 2, 3, 4, 5, 6, 9, 11}, ramp + "}",
         R"({"time": 0, "deform": [0, 0, 0, 0, 0, 0, 4, 6]})"},
        // clang-format on
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "c" + std::to_string(n++);
        LoadStripMotion(name, c.main);
        run("new m; play " + name + " 1");
        if (!c.overlay.empty()) {
            LoadStripMotion("o", c.overlay, R"("duration": 2000, )");
            run("ov o 1 0.5");
        }
        Anime_Update(c.time);
        ExpectStrip(id_, c.offsets);
    }
    // Overlays move vertices only while a main motion plays, as they move
    // parts; a new main motion without deforms puts the mesh back at rest.
    LoadStripMotion("none", R"({"time": 0, "alpha": 0.5})");
    for (const char* steps :
         {"new m; ov o 1 1; up 16", "new m; play c0 1; up 500; play none 1; up 16",
          "new m; play none 1; ov o 1 0; up 16"}) {
        SCOPED_TRACE(steps);
        run(steps);
        ExpectStrip(id_, {0});
    }
}

TEST_F(Meshes, CrossFadesBlendVerticesAsTheyBlendChannels) {
    loadModel("m", kStrip);
    // Offsets held all along: 2 (lo and short, which lasts 100 ms), 6 (hi),
    // 4 on vertex 1 only (one), 4 as an overlay (ov), none at all (none);
    // odd and odd2 are the same uneven offsets; ramp goes from 0 to 8 over
    // 1024 ms, and loops.
    const std::string odd = "[0.1, 0.7, 1.3, 2.9, -0.3, 5.1, 0.01, 3.3]";
    // clang-format off
    const std::pair<const char*, std::string> holds[] = {
        {"lo", "[2, 2, 2, 2, 2, 2, 2, 2]"}, {"hi", "[6, 6, 6, 6, 6, 6, 6, 6]"},
        {"one", R"([4, 4], "deformStart": 1)"}, {"ov", "[4, 4, 4, 4, 4, 4, 4, 4]"},
        {"none", "[]"}, {"odd", odd}, {"odd2", odd}};
    // clang-format on
    for (const auto& [name, deform] : holds) {
        LoadStripMotion(name, R"({"time": 0, "deform": )" + deform + "}");
    }
    LoadStripMotion("short", R"({"time": 0, "deform": [2, 2, 2, 2, 2, 2, 2, 2]})",
                    R"("duration": 100, )");
    LoadStripMotion("ramp", R"({"time": 0}, {"time": 1024, "deform": [8, 8, 8, 8, 8, 8, 8, 8]})",
                    R"("duration": 1024, "loop": true, )");
    ASSERT_EQ(Anime_LoadMotionFromMemory("m", R"({"name": "still"})", 17), 1);  // no tracks
    const float u[] = {0.1f, 0.7f, 1.3f, 2.9f, -0.3f, 5.1f, 0.01f, 3.3f};
    // Steps | x, y of vertices 0 to 3 (one number for all).
    const std::pair<const char*, std::vector<float>> cases[] = {
        {"play lo 1; up 16; xf hi 1 200; up 100", {4}},
        {"play lo 1; up 16; xf hi 1 200; ov ov 1 0.5; up 100", {6}},
        {"play lo 1; xf none 1 200; up 150", {0.5f}},
        {"play none 1; ov ov 1 0.5; up 16; up 16", {2}},
        {"play lo 1; xf one 1 200; up 100", {1, 1, 3, 3, 1, 1, 1, 1}},
        {"play odd 1; up 16; xf odd2 1 1000; up 123", {u, u + 8}},
        {"xf hi 1 200; up 50", {1.5f}},
        // Near its end (31/32) and once over, also toward a motion that
        // moves no vertex.
        {"play lo 1; up 16; xf hi 1 256; up 248", {5.875f}},
        {"play lo 1; up 16; xf hi 1 256; up 248; up 16", {6}},
        {"play lo 1; xf still 1 256; up 248; up 16", {0}},
        // The outgoing motion runs on at its own speed (here into its next
        // lap), or holds once stopped.
        {"play ramp 2; up 448; xf hi 1 200; up 100", {3.28125f}},
        {"play ramp 1; up 512; stop; xf hi 1 200; up 100", {5}},
        // Interrupted, a fade goes on from what it showed.
        {"play lo 1; up 16; xf hi 1 200; up 100; xf lo 1 100; up 0", {4}},
        {"play lo 1; up 16; xf hi 1 200; up 100; xf lo 1 100; up 50", {3}},
        {"play lo 1; xf one 1 200; up 100; xf lo 1 100; up 50",
         {1.5, 1.5, 2.5, 2.5, 1.5, 1.5, 1.5, 1.5}},
        // A queued motion fades in over the carried time (50 of 200 ms),
        // from the ending motion or from the fade it interrupts (at 3/4).
        {"play short 1; q hi 1 200; up 150", {3}},
        {"play hi 1; xf short 1 200; q hi 1 400; up 150", {3.375f}},
    };
    for (const auto& [steps, offsets] : cases) {
        SCOPED_TRACE(steps);
        run(std::string("new m; ") + steps);
        ExpectStrip(id_, offsets);
    }
}

}  // namespace
}  // namespace kivanime::test
