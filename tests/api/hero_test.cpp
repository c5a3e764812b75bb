// The sample puppet's face as a game drives it: its parameters move the parts
// bound to them, its expressions and motions show and hide what they should
// (with the blend modes the artist chose), its irises stay inside the eye
// whites, it blinks by itself and its voice line opens its mouth. Also: the
// committed textures and voice line are what their scripts make.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/api_fixture.h"
#include "support/cannot_run.h"
#include "support/run_program.h"

namespace kivanime::test {
namespace {

namespace fs = std::filesystem;

const fs::path kHero = fs::path(KIVANIME_SOURCE_DIR) / "examples/hero";

using Transform = std::array<float, 6>;  // x, y, rotation, scaleX, scaleY, alpha

class HeroTest : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        Anime_SetMeshCallback(RecordingHost::meshCallback());
        ASSERT_EQ(Anime_LoadModel("hero", (kHero / "model.json").string().c_str()), 1)
            << Anime_GetLastError();
        for (const std::string file : {"motions/idle", "motions/wave", "motions/look",
                                       "expressions/smile", "expressions/sleepy"}) {
            const auto load = file.starts_with("motions") ? Anime_LoadMotion : Anime_LoadExpression;
            ASSERT_EQ(load("hero", (kHero / (file + ".json")).string().c_str()), 1)
                << Anime_GetLastError();
        }
    }

    static Transform PartTransform(uint32_t id, const char* part) {
        Transform out{};
        EXPECT_EQ(Anime_GetPartTransform(id, part, out.data()), 1) << part;
        return out;
    }

    // The handle the host gave the texture of that name for the newest
    // instance (each instance loads its own).
    int32_t Handle(const std::string& texture) {
        const std::vector<std::string> paths = host().loadedPathsUtf8();
        for (size_t i = paths.size(); i-- > 0;) {
            if (paths[i].ends_with("textures/" + texture + ".png")) {
                return static_cast<int32_t>(100 + i);
            }
        }
        ADD_FAILURE() << "no texture " << texture;
        return -1;
    }

    // The last render's records showing that texture, and its mesh calls.
    std::vector<AnimeDrawParams> Drawn(const std::string& texture) {
        std::vector<AnimeDrawParams> found = host().draws;
        std::erase_if(found,
                      [h = Handle(texture)](const AnimeDrawParams& d) { return d.texture != h; });
        return found;
    }
    std::vector<RecordingHost::MeshCall> Meshes(const std::string& texture) {
        std::vector<RecordingHost::MeshCall> found = host().meshes;
        std::erase_if(found, [this, h = Handle(texture)](const RecordingHost::MeshCall& call) {
            return host().draws[call.draw].texture != h;
        });
        return found;
    }
};

// Each row: the host's parameter values; a part; a field of its transform;
// what it is against the same part of a puppet at rest (a difference for
// x and y, a ratio for the scales).
struct BoundPart {
    const char* settings;
    const char* part;
    int field;
    float expected;
};

TEST_F(HeroTest, ParametersMoveTheBoundParts) {
    const BoundPart rows[] = {
        // The face turns right, and all on it: the nose furthest, the far
        // eye narrower, the iris looks further than its eye; the back of
        // the head the other way.
        {"AngleX 30", "nose", 0, 13.0f},
        {"AngleX 30", "eye_l", 0, 9.0f},
        {"AngleX 30", "eye_l", 3, 1.06f},
        {"AngleX 30", "eye_r", 3, 0.8f},
        {"AngleX 30", "iris_l", 0, 9.0f + 5.0f * 1.06f},
        {"AngleX 30", "hair_back", 0, -8.0f},
        {"AngleX 30", "blush_r", 0, 9.0f},
        {"AngleX -30", "eye_l", 3, 0.8f},
        // Between the keys, in proportion on both axes.
        {"AngleX 15 AngleY 6", "nose", 0, 6.5f},
        {"AngleX 15 AngleY 6", "nose", 1, -1.6f},
        {"AngleX 15 AngleY 15", "eye_r", 3, 0.9f},
        {"AngleY -30", "brow_l", 1, 6.0f},
        {"AngleY -30", "hair_back", 1, -5.0f},
        {"AngleY 30", "eye_l", 4, 0.92f},
        // Out of range: clamped to the last key.
        {"AngleX 90", "nose", 0, 13.0f},
        // The eye shuts, and what is inside it with it.
        {"EyeOpen 0", "eye_l", 4, 0.1f},
        {"EyeOpen 0", "eye_r", 1, 2.0f},
        {"EyeOpen 0", "pupil_r", 4, 0.1f},
        {"EyeOpen 0.5", "eye_l", 4, 0.55f},
        {"MouthOpen 1", "mouth_wide", 4, 1.2f},
        {"MouthOpen 0.6", "mouth_wide", 3, 0.9f},
        {"Breath 1", "torso", 4, 1.03f},
    };
    for (const BoundPart& row : rows) {
        SCOPED_TRACE(std::string(row.settings) + ": " + row.part + " " + std::to_string(row.field));
        Anime_DestroyAllInstances();
        const uint32_t rest = Anime_CreateInstance("hero");
        const uint32_t moved = Anime_CreateInstance("hero");
        std::istringstream settings(row.settings);
        std::string name;
        for (float value = 0; settings >> name >> value;) {
            ASSERT_EQ(Anime_SetParameter(moved, name.c_str(), value), 1);
        }
        Anime_Update(16.0f);
        const Transform a = PartTransform(rest, row.part);
        const Transform b = PartTransform(moved, row.part);
        const bool ratio = row.field == 3 || row.field == 4;
        const float got = ratio ? b[row.field] / a[row.field] : b[row.field] - a[row.field];
        EXPECT_NEAR(got, row.expected, 1e-4f);
    }
}

// Each row: what the game does ("expression NAME", "wave" over idle, or
// "PARAMETER VALUE"), for how long, how many records show each texture
// (meshes included), and the blend mode of the first of those textures.
struct Shown {
    const char* start;
    float ms;
    const char* counts;
    uint32_t flags;
};

TEST_F(HeroTest, ExpressionsMotionsAndParametersShowTheRightParts) {
    const Shown rows[] = {
        {"", 16, "iris 2 eye_white 2 pupil 2 eye_open 2 mouth_neutral 1 mouth_open 0 blush 0", 0},
        {"", 16, "sparkle 0", 0},
        // Smiling: happy eyes, no whites, a multiplied blush.
        {"expression smile", 400, "blush 2 eye_happy 2 eye_white 0 iris 0 pupil 0",
         ANIME_BLEND_MULTIPLY},
        {"expression sleepy", 900, "eye_half 2 eye_white 0 mouth_sleepy 1", 0},
        // An additive sparkle while waving, gone when the wave is over.
        {"wave", 1000, "sparkle 1", ANIME_BLEND_ADDITIVE},
        {"wave", 2200, "hand 2 sparkle 0", 0},
        // The wide mouth once it is open enough.
        {"MouthOpen 0.5", 16, "mouth_open 1 mouth_neutral 0", 0},
        {"MouthOpen 0.05", 16, "mouth_neutral 1 mouth_open 0", 0},
    };
    for (const Shown& row : rows) {
        SCOPED_TRACE(std::string(row.start) + " for " + std::to_string(row.ms));
        Anime_DestroyAllInstances();
        const uint32_t id = Anime_CreateInstance("hero");
        std::istringstream start(row.start);
        std::string verb;
        float value = 0.0f;
        start >> verb >> value;
        if (verb == "expression") {
            Anime_SetExpression(id, row.start + verb.size() + 1);
        } else if (verb == "wave") {
            Anime_PlayMotion(id, "idle", 1);
            Anime_PlayOverlay(id, "wave", 1, 1);
        } else if (!verb.empty()) {
            Anime_SetParameter(id, verb.c_str(), value);
        }
        for (float t = 0; t < row.ms; t += 16.0f) {
            Anime_Update(16.0f);
        }
        render();
        std::istringstream counts(row.counts);
        std::string texture;
        for (size_t count = 0, k = 0; counts >> texture >> count; ++k) {
            const std::vector<AnimeDrawParams> drawn = Drawn(texture);
            EXPECT_EQ(drawn.size(), count) << texture;
            if (k == 0 && !drawn.empty()) {
                EXPECT_EQ(drawn[0].flags, row.flags) << texture;
            }
        }
    }
}

float TriangleListArea(const std::vector<AnimeMeshVertex>& v) {
    float area = 0.0f;
    for (size_t k = 0; k + 2 < v.size(); k += 3) {
        area += std::fabs((v[k + 1].x - v[k].x) * (v[k + 2].y - v[k].y) -
                          (v[k + 2].x - v[k].x) * (v[k + 1].y - v[k].y)) /
                2.0f;
    }
    return area;
}

TEST_F(HeroTest, IrisesStayInsideTheEyeWhites) {
    // Each row: where the face turns, and whether the iris is cut more than
    // when looking straight ahead.
    const struct {
        float angleX, angleY;
    } rows[] = {{0, 0}, {30, 0}, {-30, 0}, {0, 30}, {-30, -30}};
    float straight = 0.0f;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.angleX) + ", " + std::to_string(row.angleY));
        Anime_DestroyAllInstances();
        const uint32_t id = Anime_CreateInstance("hero");
        Anime_SetParameter(id, "AngleX", row.angleX);
        Anime_SetParameter(id, "AngleY", row.angleY);
        Anime_Update(16.0f);
        render();
        const std::vector<RecordingHost::MeshCall> irises = Meshes("iris");
        ASSERT_EQ(irises.size(), 2u);
        for (const char* side : {"l", "r"}) {
            const Transform white = PartTransform(id, (std::string("eye_white_") + side).c_str());
            const RecordingHost::MeshCall& iris =
                irises[(white[0] < 0.0f) == (irises[0].vertices[0].x < 0.0f) ? 0 : 1];
            ASSERT_EQ(iris.vertices.size() % 3, 0u);
            // Inside the white's oval mesh, whose points lie 9.8 and 12.8
            // units from its centre.
            for (const AnimeMeshVertex& v : iris.vertices) {
                EXPECT_LE(std::fabs(v.x - white[0]), 9.8f * white[3] + 1e-3f);
                EXPECT_LE(std::fabs(v.y - white[1]), 12.8f * white[4] + 1e-3f);
            }
        }
        // The whole iris is 16 x 20; the white cuts its corners off even at
        // rest, and more of it when it looks aside.
        const float area = TriangleListArea(irises[0].vertices);
        EXPECT_LT(area, 16.0f * 20.0f);
        if (straight == 0.0f) {
            straight = area;
        } else {
            EXPECT_LT(area, straight * 0.98f);
        }
    }
}

// The voice line's samples, -1..1 (the file is the 44-byte canonical WAV
// that make_voice.py writes).
std::vector<float> VoiceSamples() {
    const std::string bytes = ReadWholeFile(kHero / "voice.wav");
    std::vector<float> samples;
    for (size_t k = 44; k + 1 < bytes.size(); k += 2) {
        int16_t s;
        std::memcpy(&s, bytes.data() + k, 2);
        samples.push_back(static_cast<float>(s) / 32768.0f);
    }
    return samples;
}

TEST_F(HeroTest, BlinksAndSpeaksByItself) {
    const std::vector<float> voice = VoiceSamples();
    ASSERT_EQ(voice.size(), 32000u);
    const uint32_t id = Anime_CreateInstance("hero");
    ASSERT_EQ(Anime_SetAutoBlink(id, "EyeOpen", 1500.0f, 160.0f), 1);
    ASSERT_EQ(Anime_SetLipSync(id, "MouthOpen", 4.0f), 1);
    // Two seconds at 25 frames a second, each frame fed its 640 samples, as
    // the demo's scene does.
    int shut = 0;
    int open = 0;
    float loudest = 0.0f;
    for (size_t frame = 0; frame < 50; ++frame) {
        Anime_FeedAudio(id, voice.data() + frame * 640, 640, 16000);
        Anime_Update(40.0f);
        render();
        float mouth = 0.0f;
        Anime_GetParameter(id, "MouthOpen", &mouth);
        loudest = std::max(loudest, mouth);
        if (frame < 3) {
            EXPECT_EQ(mouth, 0.0f) << "silence before the line, frame " << frame;
        }
        open += !Drawn("mouth_open").empty();
        // The eye follows the blinker through its binding.
        float eye = 0.0f;
        Anime_GetParameter(id, "EyeOpen", &eye);
        EXPECT_NEAR(PartTransform(id, "eye_l")[4], 0.1f + 0.9f * eye, 1e-5f);
        shut += eye <= 0.5f;
    }
    EXPECT_GE(loudest, 0.8f);
    EXPECT_GE(open, 20) << "frames with the mouth open";
    EXPECT_LE(open, 40);
    EXPECT_GE(shut, 1) << "frames with the eyes half shut or more";
}

}  // namespace
}  // namespace kivanime::test
