// Blend modes and masks through the C interface: the record's flags, and a
// masked part cut to its mask's shape and handed to the mesh function as a
// triangle list whose area and texture coordinates are checked against the
// two records, whatever mirrors, scales or turns the puppet.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

using Masks = ApiTest;

// One record's rectangle (anchor 0.5, 0.5) of w x h: drawing space to the
// rectangle's own frame, and back.
struct Placed {
    float x, y, rotation, scaleX, scaleY, w, h;

    void toLocal(float px, float py, float& lx, float& ly) const {
        const float c = std::cos(rotation), s = std::sin(rotation);
        const float dx = px - x, dy = py - y;
        lx = (c * dx + s * dy) / scaleX + 0.5f * w;
        ly = (-s * dx + c * dy) / scaleY + 0.5f * h;
    }
    // The box the rectangle covers (rotation 0 or a multiple of pi).
    void box(float& left, float& top, float& right, float& bottom) const {
        const float xs[2] = {x - 0.5f * w * scaleX, x + 0.5f * w * scaleX};
        const float ys[2] = {y - 0.5f * h * scaleY, y + 0.5f * h * scaleY};
        left = std::min(xs[0], xs[1]);
        right = std::max(xs[0], xs[1]);
        top = std::min(ys[0], ys[1]);
        bottom = std::max(ys[0], ys[1]);
    }
};

Placed PlacedPart(uint32_t id, const char* part, float w, float h) {
    float t[6];
    EXPECT_EQ(Anime_GetPartTransform(id, part, t), 1) << part;
    return {t[0], t[1], t[2], t[3], t[4], w, h};
}

float ListArea(const std::vector<AnimeMeshVertex>& v) {
    float area = 0.0f;
    for (size_t k = 0; k + 2 < v.size(); k += 3) {
        area += std::fabs((v[k + 1].x - v[k].x) * (v[k + 2].y - v[k].y) -
                          (v[k + 1].y - v[k].y) * (v[k + 2].x - v[k].x)) *
                0.5f;
    }
    return area;
}

// "eye" (label 1) is a 20 x 10 mask at the origin; "iris" (label 2, 10 x
// 10, depth 10, multiply) is drawn inside it and slides with an offset.
std::string EyeModel(bool eyeHidden) {
    return std::string(R"({"textures": {"t0": "t0.png", "t1": "t1.png"}, "parts": [
        {"name": "eye", "texture": "t0", "srcRect": [1, 0, 20, 10], "visible": )") +
           (eyeHidden ? "false" : "true") + R"(},
        {"name": "iris", "texture": "t1", "srcRect": [2, 0, 10, 10], "depth": 10,
         "clip": "eye", "blend": "multiply", "drawOrder": 1}]})";
}

TEST_F(Masks, AQuadInAQuadMaskKeepsTheOverlapWithItsOwnTextureCoordinates) {
    struct Case {
        const char* setup;
        bool eyeHidden;
        size_t eyeDrawn;
        float area;  // in drawing space; negative: the records' overlap
    };
    const Case cases[] = {
        {"off iris 0 0 0 1 1 1", false, 1, 100.0f},  // wholly inside
        {"off iris 10 0 0 1 1 1", false, 1, 50.0f},
        {"off iris 3 4 0 1 1 1", false, 1, 60.0f},
        {"off iris 10 0 0 1 1 1; scale -1 1", false, 1, 50.0f},  // mirrored: wound backwards
        {"off iris 10 0 0 1 1 1; scale 2 -3", false, 1, 300.0f},
        {"off iris 5 0 0 1 1 1; off eye 0 0 0 0.5 1 1", false, 1, 50.0f},
        {"off iris 4 0 0 1 1 1; 3d 1 0 0 800 0 0; angles 30 0 0", false, 1, -1.0f},
        {"off iris 6 -2 0 1 1 1; scale -1.5 1; 3d 1 0 0 600 0 0; angles -25 20 0", false, 1, -1.0f},
        {"off iris 10 0 0 1 1 1", true, 0, 50.0f},                        // a pure mask
        {"off iris 10 0 0 1 1 1; off eye 0 0 0 1 1 0", false, 0, 50.0f},  // transparent
        {"off iris 30 0 0 1 1 1", false, 1, 0.0f},                        // clipped away
        {"off iris 15 0 0 1 1 1", false, 1, 0.0f},                        // touching only
    };
    loadModel("shown", EyeModel(false));
    loadModel("hidden", EyeModel(true));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setup);
        Anime_DestroyAllInstances();
        uint32_t ids[2];  // drawn without a mesh function, and with one
        for (int k = 0; k < 2; ++k) {
            Anime_SetMeshCallback(k == 0 ? nullptr : RecordingHost::meshCallback());
            run(std::string("new ") + (c.eyeHidden ? "hidden" : "shown") + "; pos 100 50; " +
                c.setup);
            ids[k] = id_;
        }
        const uint32_t sprites = ids[0], meshes = ids[1];
        Anime_Update(16.0f);

        host().draws.clear();
        host().meshes.clear();
        Anime_RenderInstance(meshes);
        const Placed eye = PlacedPart(meshes, "eye", 20.0f, 10.0f);
        const Placed iris = PlacedPart(meshes, "iris", 10.0f, 10.0f);
        float expected = c.area;
        if (expected < 0.0f) {
            float l0, t0, r0, b0, l1, t1, r1, b1;
            eye.box(l0, t0, r0, b0);
            iris.box(l1, t1, r1, b1);
            expected = std::max(0.0f, std::min(r0, r1) - std::max(l0, l1)) *
                       std::max(0.0f, std::min(b0, b1) - std::max(t0, t1));
            EXPECT_GT(expected, 1.0f);
        }
        if (expected == 0.0f) {
            // No call at all; the query answers an empty list, as a success.
            EXPECT_TRUE(host().meshes.empty());
            EXPECT_EQ(host().draws.size(), c.eyeDrawn);
            EXPECT_EQ(Anime_GetPartMesh(meshes, "iris", nullptr, 0), 0);
            EXPECT_EQ(Anime_GetLastErrorCode(), ANIME_ERROR_NONE);
            continue;
        }
        ASSERT_EQ(host().meshes.size(), 1u);
        ASSERT_EQ(host().draws.size(), c.eyeDrawn + 1);
        const RecordingHost::MeshCall& call = host().meshes[0];
        EXPECT_EQ(call.draw, c.eyeDrawn);  // the part's own place in the order
        const AnimeDrawParams& record = host().draws[call.draw];
        EXPECT_EQ(record.srcX, 2.0f);
        EXPECT_EQ(record.flags, static_cast<uint32_t>(ANIME_BLEND_MULTIPLY));
        // A plain list: three vertices of its own per triangle.
        ASSERT_EQ(call.vertices.size() % 3, 0u);
        ASSERT_EQ(call.indices.size(), call.vertices.size());
        for (size_t k = 0; k < call.indices.size(); ++k) {
            EXPECT_EQ(call.indices[k], k);
        }
        EXPECT_NEAR(ListArea(call.vertices), expected, expected * 1e-4f);
        for (const AnimeMeshVertex& v : call.vertices) {
            // Inside the mask, and u, v where the iris's own image has them.
            float ex, ey, ix, iy;
            eye.toLocal(v.x, v.y, ex, ey);
            EXPECT_TRUE(ex > -1e-3f && ex < 20.001f && ey > -1e-3f && ey < 10.001f)
                << ex << " " << ey;
            iris.toLocal(v.x, v.y, ix, iy);
            EXPECT_NEAR(v.u, ix / 10.0f, 1e-5f);
            EXPECT_NEAR(v.v, iy / 10.0f, 1e-5f);
        }
        // The query gives the same list, also for the instance without a
        // mesh function, which draws the part whole and says so.
        for (uint32_t id : {meshes, sprites}) {
            std::vector<AnimeMeshVertex> out(2 * 2 * 12);
            ASSERT_EQ(Anime_GetPartMesh(id, "iris", out.data(), static_cast<int32_t>(out.size())),
                      static_cast<int32_t>(call.vertices.size()));
            EXPECT_EQ(std::memcmp(out.data(), call.vertices.data(),
                                  call.vertices.size() * sizeof(AnimeMeshVertex)),
                      0);
        }
        host().draws.clear();
        host().meshes.clear();
        Anime_RenderInstance(sprites);
        ASSERT_EQ(host().draws.size(), c.eyeDrawn + 1);
        EXPECT_EQ(host().draws.back().flags, static_cast<uint32_t>(ANIME_BLEND_MULTIPLY) |
                                                 static_cast<uint32_t>(ANIME_DRAW_FLAG_UNCLIPPED));
        EXPECT_TRUE(host().meshes.empty());
    }
}

TEST_F(Masks, RecordFlagsCarryTheBlendModeAndTheUnclippedBit) {
    struct Row {
        float label;
        const char* keys;
        int width;
        uint32_t sprite;  // the flags without a mesh function
        uint32_t mesh;    // with one; ~0u: clipped, through the mesh function
    };
    const Row rows[] = {
        {1, R"("name": "p1")", 4, 0, 0},
        {2, R"("blend": "additive")", 4, 1, 1},
        {3, R"("blend": "multiply")", 4, 2, 2},
        {4, R"("blend": "screen")", 4, 3, 3},
        {5, R"("blend": "normal")", 4, 0, 0},
        {6, R"("blend": "Screen")", 4, 0, 0},
        {7, R"("blend": 3)", 4, 0, 0},
        {8, R"("name": "p8", "clip": "p8")", 4, 0, 0},  // itself: ignored
        {9, R"("clip": "nobody")", 4, 0, 0},
        {10, R"("clip": 1)", 4, 0, 0},
        {11, R"("clip": "p1", "blend": "screen")", 4, 7, ~0u},
        {12, R"("clip": "p1", "blend": "additive")", 0, 5, 5},  // no shape
    };
    std::string parts;
    for (const Row& row : rows) {
        parts += std::string(parts.empty() ? "" : ",") + R"({"texture": "t", "srcRect": [)" +
                 std::to_string(static_cast<int>(row.label)) + ", 0, " + std::to_string(row.width) +
                 ", 4], " + row.keys + "}";
    }
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [)" + parts + "]}");
    run("new m; up 16");
    const uint32_t sprites = id_;
    Anime_SetMeshCallback(RecordingHost::meshCallback());
    run("new m; up 16");
    for (uint32_t id : {sprites, id_}) {
        host().draws.clear();
        host().meshes.clear();
        Anime_RenderInstance(id);
        for (const Row& row : rows) {
            SCOPED_TRACE(row.keys);
            const AnimeDrawParams* record = drawn(row.label);
            ASSERT_NE(record, nullptr);
            const uint32_t want = id == sprites ? row.sprite : row.mesh;
            EXPECT_EQ(record->flags, want == ~0u ? row.sprite & 3u : want);
        }
        // Only the part clipped by p1 went to the mesh function; p1 covers it.
        ASSERT_EQ(host().meshes.size(), id == sprites ? 0u : 1u);
    }
    // A part without the keys keeps the bits of the 0.0f the field used to be.
    EXPECT_EQ(drawn(1)->flags, Bits(0.0f));
}

TEST_F(Masks, MeshMasksAndMeshPartsClipByTheirTriangles) {
    // "eye": a triangle below the line from (10, -5) to (-10, 5), half of its
    // 20 x 10 rectangle. "lid": a mesh whose u runs 0.5 to 1 over its 20 x
    // 10 image, clipped by "box", the rectangle [-5, 5] x [-5, 5].
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "eye", "texture": "t", "srcRect": [1, 0, 20, 10], "visible": false,
         "vertices": [[-10, -5, 0, 0], [10, -5, 1, 0], [-10, 5, 0, 1]], "triangles": [0, 1, 2]},
        {"name": "white", "texture": "t", "srcRect": [2, 0, 20, 10], "clip": "eye"},
        {"name": "box", "texture": "t", "srcRect": [3, 0, 10, 10], "visible": false},
        {"name": "lid", "texture": "t", "srcRect": [4, 0, 20, 10], "clip": "box",
         "vertices": [[-10, -5, 0.5, 0], [10, -5, 1, 0], [10, 5, 1, 1], [-10, 5, 0.5, 1]],
         "triangles": [0, 1, 2, 0, 2, 3]}]})");
    Anime_SetMeshCallback(RecordingHost::meshCallback());
    run("new m; scale -1 2; up 16; r");
    ASSERT_EQ(host().meshes.size(), 2u);
    // Back in the model's frame (mirrored, doubled in y): inside the mask,
    // u and v where each part's own image has them.
    const struct {
        float u0;  // u at the left edge, running to 1 at the right
        bool (*inside)(float x, float y);
    } want[2] = {{0.0f, [](float x, float y) { return x / 10.0f + y / 5.0f <= 1e-5f; }},
                 {0.5f, [](float x, float) { return std::fabs(x) <= 5.0f + 1e-4f; }}};
    for (size_t m = 0; m < 2; ++m) {
        EXPECT_NEAR(ListArea(host().meshes[m].vertices), 200.0f, 1e-2f);
        for (const AnimeMeshVertex& v : host().meshes[m].vertices) {
            const float x = -v.x, y = v.y / 2.0f;
            EXPECT_TRUE(want[m].inside(x, y)) << m << ": " << x << " " << y;
            EXPECT_NEAR(v.u, want[m].u0 + (1.0f - want[m].u0) * (x + 10.0f) / 20.0f, 1e-5f);
            EXPECT_NEAR(v.v, (y + 5.0f) / 10.0f, 1e-5f);
        }
    }
    // Room the header promises: part triangles x mask triangles x 12.
    EXPECT_LE(Anime_GetPartMesh(id_, "white", nullptr, 0), 2 * 1 * 12);
    EXPECT_LE(Anime_GetPartMesh(id_, "lid", nullptr, 0), 2 * 2 * 12);
    // An unmasked part without a mesh still has none to give.
    EXPECT_EQ(Anime_GetPartMesh(id_, "box", nullptr, 0), 0);
    EXPECT_EQ(Anime_GetLastErrorCode(), ANIME_ERROR_NO_MESH);
}

}  // namespace
}  // namespace kivanime::test
