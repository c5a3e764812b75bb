// Motion playback seen by the host: what the draw records show after chosen
// updates, for main motions, overlays, texture swaps and the clocks.
#include <cmath>
#include <optional>
#include <string>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// Two root parts, told apart in the draw records by their source x:
// body (tag 1, texture t0, rest position (10, 20)) and arm (tag 2, texture
// t1, rest position (-5, 0)). The host hands out handles 100, 101, 102 for
// t0, t1, t2.
constexpr const char* kModel = R"({
    "textures": {"t0": "t0.png", "t1": "t1.png", "t2": "t2.png"},
    "parts": [
        {"name": "body", "texture": "t0", "position": [10, 20], "srcRect": [1, 0, 8, 8]},
        {"name": "arm", "texture": "t1", "position": [-5, 0], "srcRect": [2, 0, 8, 8],
         "drawOrder": 1}]})";
constexpr float kBody = 1.0f;
constexpr float kArm = 2.0f;

// Non-looping ramp on body over 1000 ms: position (0, 0) to (100, 200),
// rotation 0 to 1, scale (1, 1) to (3, 5), alpha 1 to 0.5.
constexpr const char* kMove = R"({"name": "move", "duration": 1000, "tracks": [{"part": "body",
    "keyframes": [{"time": 0}, {"time": 1000, "position": [100, 200], "rotation": 1,
                   "scale": [3, 5], "alpha": 0.5}]}]})";
// The same x ramp, looping.
constexpr const char* kLoop = R"({"name": "loop", "duration": 1000, "loop": true, "tracks": [
    {"part": "body", "keyframes": [{"time": 0}, {"time": 1000, "position": [100, 0]}]}]})";
// A main motion that changes nothing, for overlays to ride on.
constexpr const char* kIdle = R"({"name": "idle", "loop": true})";

class MotionPlayback : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        loadModel("m", kModel);
        id_ = Anime_CreateInstance("m");
        ASSERT_NE(id_, 0u);
    }

    void loadMotion(const std::string& json) {
        const std::string path = writeFile("motions/" + std::to_string(files_++) + ".json", json);
        ASSERT_EQ(Anime_LoadMotion("m", path.c_str()), 1) << json;
    }

    // The draw record of the part with this tag, if it was drawn.
    std::optional<AnimeDrawParams> drawn(float tag) const {
        for (const AnimeDrawParams& d : RecordingHost::Get().draws) {
            if (d.srcX == tag) {
                return d;
            }
        }
        return std::nullopt;
    }

    AnimeDrawParams body() const { return drawn(kBody).value_or(AnimeDrawParams{}); }
    float bodyX() const { return body().x; }

    // Body as `kMove` puts it at `t` ms.
    void expectMoveAt(float t) {
        SCOPED_TRACE(t);
        ASSERT_TRUE(drawn(kBody));
        const float e = t / 1000.0f;
        const AnimeDrawParams d = body();
        EXPECT_FLOAT_EQ(d.x, 10.0f + 100.0f * e);
        EXPECT_FLOAT_EQ(d.y, 20.0f + 200.0f * e);
        EXPECT_FLOAT_EQ(d.rotation, e);
        EXPECT_FLOAT_EQ(d.scaleX, 1.0f + 2.0f * e);
        EXPECT_FLOAT_EQ(d.scaleY, 1.0f + 4.0f * e);
        EXPECT_FLOAT_EQ(d.alpha, 1.0f - 0.5f * e);
    }

    void expectBodyAtRest() {
        ASSERT_TRUE(drawn(kBody));
        const AnimeDrawParams d = body();
        EXPECT_EQ(d.x, 10.0f);
        EXPECT_EQ(d.y, 20.0f);
        EXPECT_EQ(d.rotation, 0.0f);
        EXPECT_EQ(d.scaleX, 1.0f);
        EXPECT_EQ(d.scaleY, 1.0f);
        EXPECT_EQ(d.alpha, 1.0f);
        EXPECT_EQ(d.texture, 100);
    }

    uint32_t id_ = 0;
    int files_ = 0;
};

TEST_F(MotionPlayback, ClocksAdvanceBeforeSampling) {
    loadMotion(kMove);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 0);
    EXPECT_EQ(Anime_IsMotionFinished(id_), 0);
    updateAndRender(16.0f);
    expectBodyAtRest();

    ASSERT_EQ(Anime_PlayMotion(id_, "move", 1.0f), 1);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 1);
    updateAndRender(16.0f);
    expectMoveAt(16.0f);
    updateAndRender(0.0f);
    expectMoveAt(16.0f);
    updateAndRender(234.0f);
    expectMoveAt(250.0f);
    EXPECT_EQ(bodyX(), 35.0f);

    // Restarting goes back to 0; only an update of 0 shows the values at 0.
    ASSERT_EQ(Anime_PlayMotion(id_, "move", 1.0f), 1);
    updateAndRender(0.0f);
    expectMoveAt(0.0f);

    // Speed 2 doubles the clock's pace.
    ASSERT_EQ(Anime_PlayMotion(id_, "move", 2.0f), 1);
    updateAndRender(16.0f);
    expectMoveAt(32.0f);

    // Overlays too: the first update shows them at dt x speed.
    loadMotion(kIdle);
    loadMotion(R"({"name": "ov", "tracks": [{"part": "arm",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 1000]}]}]})");
    ASSERT_EQ(Anime_PlayMotion(id_, "idle", 1.0f), 1);
    ASSERT_EQ(Anime_PlayOverlay(id_, "ov", 0.5f, 1.0f), 1);
    updateAndRender(16.0f);
    ASSERT_TRUE(drawn(kArm));
    EXPECT_FLOAT_EQ(drawn(kArm)->y, 8.0f);
}

TEST_F(MotionPlayback, NonLoopingMotionFinishesAndHolds) {
    loadMotion(kMove);
    ASSERT_EQ(Anime_PlayMotion(id_, "move", 1.0f), 1);
    updateAndRender(400.0f);
    updateAndRender(400.0f);
    expectMoveAt(800.0f);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 1);
    EXPECT_EQ(Anime_IsMotionFinished(id_), 0);
    updateAndRender(400.0f);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 0);
    EXPECT_EQ(Anime_IsMotionFinished(id_), 1);
    for (int i = 0; i < 3; ++i) {
        expectMoveAt(1000.0f);
        updateAndRender(400.0f);
    }
    EXPECT_EQ(bodyX(), 110.0f);
    EXPECT_EQ(body().alpha, 0.5f);

    // Playing it again leaves the finished state.
    ASSERT_EQ(Anime_PlayMotion(id_, "move", 1.0f), 1);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 1);
    EXPECT_EQ(Anime_IsMotionFinished(id_), 0);
    updateAndRender(500.0f);
    expectMoveAt(500.0f);
}

TEST_F(MotionPlayback, LoopingAndSpeeds) {
    loadMotion(kLoop);
    ASSERT_EQ(Anime_PlayMotion(id_, "loop", 1.0f), 1);
    updateAndRender(2500.0f);
    EXPECT_EQ(bodyX(), 60.0f);  // clock 500: rest 10 + 50
    updateAndRender(500.0f);
    EXPECT_EQ(bodyX(), 10.0f);  // exactly one lap: back to 0
    updateAndRender(1234567.0f);
    EXPECT_FLOAT_EQ(bodyX(), 10.0f + 56.7f);  // clock 567
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 1);
    EXPECT_EQ(Anime_IsMotionFinished(id_), 0);

    // Speed 0 freezes the clock but the motion still counts as playing.
    ASSERT_EQ(Anime_PlayMotion(id_, "loop", 0.0f), 1);
    updateAndRender(250.0f);
    updateAndRender(250.0f);
    EXPECT_EQ(bodyX(), 10.0f);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 1);

    // Speed 2: 250 ms of frames is 500 ms of motion.
    ASSERT_EQ(Anime_PlayMotion(id_, "loop", 2.0f), 1);
    updateAndRender(250.0f);
    EXPECT_EQ(bodyX(), 60.0f);
}

TEST_F(MotionPlayback, HugeLoopingClocksWrapAtOnce) {
    // Far beyond the point where subtracting one lap changes nothing: the
    // clock still lands inside the lap, in one step.
    loadMotion(kLoop);
    loadMotion(kIdle);
    loadMotion(R"({"name": "ovloop", "duration": 1000, "loop": true, "tracks": [{"part": "arm",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 100]}]}]})");
    struct Case {
        float dt, speed;
    };
    for (const Case& c : {Case{16.0f, 1e30f}, Case{3e38f, 1.0f}, Case{3e38f, 3e38f},
                          Case{1e20f, 1.0f}, Case{INFINITY, 1.0f}}) {
        SCOPED_TRACE(c.dt);
        SCOPED_TRACE(c.speed);
        ASSERT_EQ(Anime_PlayMotion(id_, "loop", c.speed), 1);
        for (int i = 0; i < 3; ++i) {
            updateAndRender(c.dt);
            ASSERT_TRUE(drawn(kBody));
            EXPECT_GE(bodyX(), 10.0f);
            EXPECT_LT(bodyX(), 110.0f);
        }
        EXPECT_EQ(Anime_IsMotionPlaying(id_), 1);
    }

    ASSERT_EQ(Anime_PlayMotion(id_, "idle", 1.0f), 1);
    ASSERT_EQ(Anime_PlayOverlay(id_, "ovloop", 1e30f, 1.0f), 1);
    for (int i = 0; i < 3; ++i) {
        updateAndRender(16.0f);
        ASSERT_TRUE(drawn(kArm));
        EXPECT_GE(drawn(kArm)->y, 0.0f);
        EXPECT_LT(drawn(kArm)->y, 100.0f);
    }
}

TEST_F(MotionPlayback, StopMotionHoldsThePose) {
    // Before any motion: finished, and nothing moves.
    Anime_StopMotion(id_);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 0);
    EXPECT_EQ(Anime_IsMotionFinished(id_), 1);
    updateAndRender(16.0f);
    expectBodyAtRest();

    loadMotion(kMove);
    ASSERT_EQ(Anime_PlayMotion(id_, "move", 1.0f), 1);
    updateAndRender(300.0f);
    Anime_StopMotion(id_);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 0);
    EXPECT_EQ(Anime_IsMotionFinished(id_), 1);
    for (int i = 0; i < 3; ++i) {
        updateAndRender(300.0f);
        expectMoveAt(300.0f);
    }
}

TEST_F(MotionPlayback, SwitchingMotionsIsImmediate) {
    loadMotion(kMove);
    loadMotion(R"({"name": "lift", "tracks": [{"part": "body",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 1000]}]}]})");
    ASSERT_EQ(Anime_PlayMotion(id_, "move", 1.0f), 1);
    updateAndRender(500.0f);
    expectMoveAt(500.0f);

    // An unknown name is refused and the current motion plays on.
    EXPECT_EQ(Anime_PlayMotion(id_, "nope", 1.0f), 0);
    EXPECT_EQ(Anime_PlayMotion(id_, "Move", 1.0f), 0);
    updateAndRender(100.0f);
    expectMoveAt(600.0f);

    // From the next update on only the new motion shows: no trace of the old.
    ASSERT_EQ(Anime_PlayMotion(id_, "lift", 1.0f), 1);
    updateAndRender(100.0f);
    EXPECT_EQ(bodyX(), 10.0f);
    EXPECT_EQ(body().y, 120.0f);
    EXPECT_EQ(body().scaleX, 1.0f);
    EXPECT_EQ(body().rotation, 0.0f);
    EXPECT_EQ(body().alpha, 1.0f);
}

TEST_F(MotionPlayback, OverlayWeightsAndSlots) {
    loadMotion(kIdle);
    // A constant overlay: x 10, scale 2, alpha 0.5, texture t2.
    loadMotion(R"({"name": "push", "tracks": [{"part": "body", "keyframes": [
        {"position": [10, 0], "scale": 2, "alpha": 0.5, "textureSwap": "t2"}]}]})");
    loadMotion(R"({"name": "push2", "tracks": [{"part": "body", "keyframes": [
        {"position": [10, 0], "scale": 2}]}]})");
    loadMotion(R"({"name": "hide", "tracks": [{"part": "body", "keyframes": [{"visible": 0}]}]})");
    ASSERT_EQ(Anime_PlayMotion(id_, "idle", 1.0f), 1);

    // Weight 0.4: 40 % of offsets and factors, no visibility or texture.
    ASSERT_EQ(Anime_PlayOverlay(id_, "push", 1.0f, 0.4f), 1);
    ASSERT_EQ(Anime_PlayOverlay(id_, "hide", 1.0f, 0.4f), 1);
    updateAndRender(16.0f);
    ASSERT_TRUE(drawn(kBody));
    EXPECT_EQ(bodyX(), 14.0f);
    EXPECT_FLOAT_EQ(body().scaleX, 1.4f);
    EXPECT_FLOAT_EQ(body().alpha, 0.8f);
    EXPECT_EQ(body().texture, 100);

    // Restarting keeps one slot (a second slot would double the offset) and
    // takes the new weight: 0.5 switches visibility and textures too.
    ASSERT_EQ(Anime_PlayOverlay(id_, "push", 1.0f, 0.5f), 1);
    updateAndRender(16.0f);
    EXPECT_EQ(bodyX(), 15.0f);
    EXPECT_EQ(body().scaleX, 1.5f);
    EXPECT_EQ(body().texture, 102);
    ASSERT_EQ(Anime_PlayOverlay(id_, "hide", 1.0f, 0.5f), 1);
    updateAndRender(16.0f);
    EXPECT_FALSE(drawn(kBody));
    Anime_StopOverlay(id_, "hide");
    Anime_StopOverlay(id_, nullptr);
    Anime_StopOverlay(id_, "push3");

    // Two overlays on one part: offsets add, factors multiply.
    ASSERT_EQ(Anime_PlayOverlay(id_, "push", 1.0f, 1.0f), 1);
    ASSERT_EQ(Anime_PlayOverlay(id_, "push2", 1.0f, 1.0f), 1);
    updateAndRender(16.0f);
    ASSERT_TRUE(drawn(kBody));
    EXPECT_EQ(bodyX(), 30.0f);
    EXPECT_EQ(body().scaleX, 4.0f);
    EXPECT_EQ(body().scaleY, 4.0f);
    EXPECT_EQ(body().alpha, 0.5f);

    // Weights of 0 or less contribute nothing.
    ASSERT_EQ(Anime_PlayOverlay(id_, "push2", 1.0f, 0.0f), 1);
    ASSERT_EQ(Anime_PlayOverlay(id_, "push", 1.0f, -1.0f), 1);
    updateAndRender(16.0f);
    EXPECT_EQ(bodyX(), 10.0f);
    EXPECT_EQ(body().scaleX, 1.0f);

    ASSERT_EQ(Anime_PlayOverlay(id_, "push2", 1.0f, 2.0f), 1);
    updateAndRender(16.0f);
    EXPECT_EQ(bodyX(), 30.0f);  // a weight above 1 exaggerates
    EXPECT_EQ(body().scaleX, 3.0f);
    Anime_StopAllOverlays(id_);
    updateAndRender(16.0f);
    EXPECT_EQ(bodyX(), 10.0f);

    EXPECT_EQ(Anime_PlayOverlay(id_, "nope", 1.0f, 1.0f), 0);
}

TEST_F(MotionPlayback, OverlaysComeAfterTheMainMotion) {
    // The main motion hides body; an overlay at weight 0.5 shows it again,
    // one at 0.4 cannot.
    loadMotion(R"({"name": "hidden", "loop": true,
        "tracks": [{"part": "body", "keyframes": [{"visible": 0}]}]})");
    loadMotion(R"({"name": "show", "loop": true,
        "tracks": [{"part": "body", "keyframes": [{"visible": 1}]}]})");
    ASSERT_EQ(Anime_PlayMotion(id_, "hidden", 1.0f), 1);
    updateAndRender(16.0f);
    EXPECT_FALSE(drawn(kBody));
    ASSERT_EQ(Anime_PlayOverlay(id_, "show", 1.0f, 0.4f), 1);
    updateAndRender(16.0f);
    EXPECT_FALSE(drawn(kBody));
    ASSERT_EQ(Anime_PlayOverlay(id_, "show", 1.0f, 0.5f), 1);
    updateAndRender(16.0f);
    EXPECT_TRUE(drawn(kBody));
}

TEST_F(MotionPlayback, TwoTracksOnOnePartApplyInOrder) {
    loadMotion(R"({"name": "two", "tracks": [
        {"part": "body", "keyframes": [{"position": [10, 1], "scale": 2, "rotation": 0.25,
                                        "textureSwap": "t1", "visible": 0}]},
        {"part": "body", "keyframes": [{"position": [5, 2], "scale": [3, 0.5], "rotation": 0.5,
                                        "textureSwap": "t2", "visible": 1}]}]})");
    ASSERT_EQ(Anime_PlayMotion(id_, "two", 1.0f), 1);
    updateAndRender(16.0f);
    ASSERT_TRUE(drawn(kBody));
    EXPECT_EQ(bodyX(), 25.0f);
    EXPECT_EQ(body().y, 23.0f);
    EXPECT_EQ(body().rotation, 0.75f);
    EXPECT_EQ(body().scaleX, 6.0f);
    EXPECT_EQ(body().scaleY, 1.0f);
    EXPECT_EQ(body().texture, 102);
}

TEST_F(MotionPlayback, NonLoopingOverlayEndsByItself) {
    loadMotion(kIdle);
    loadMotion(R"({"name": "nod", "duration": 500, "tracks": [{"part": "arm",
        "keyframes": [{"time": 0, "position": [0, 10]}, {"time": 500, "position": [0, 10]}]}]})");
    ASSERT_EQ(Anime_PlayMotion(id_, "idle", 1.0f), 1);
    ASSERT_EQ(Anime_PlayOverlay(id_, "nod", 1.0f, 1.0f), 1);
    for (int i = 1; i <= 6; ++i) {
        updateAndRender(100.0f);
        ASSERT_TRUE(drawn(kArm));
        EXPECT_EQ(drawn(kArm)->y, i <= 4 ? 10.0f : 0.0f) << "update " << i;
    }
    // Gone for good: it does not come back when the main motion changes.
    ASSERT_EQ(Anime_PlayMotion(id_, "idle", 1.0f), 1);
    updateAndRender(0.0f);
    EXPECT_EQ(drawn(kArm)->y, 0.0f);
}

TEST_F(MotionPlayback, OverlaysNeedAMainMotion) {
    loadMotion(kIdle);
    loadMotion(R"({"name": "ov", "loop": true, "duration": 1000, "tracks": [{"part": "arm",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 100]}]}]})");
    ASSERT_EQ(Anime_PlayOverlay(id_, "ov", 1.0f, 1.0f), 1);
    updateAndRender(100.0f);
    ASSERT_TRUE(drawn(kArm));
    EXPECT_EQ(drawn(kArm)->y, 0.0f);
    // Its clock ran all the same.
    ASSERT_EQ(Anime_PlayMotion(id_, "idle", 1.0f), 1);
    updateAndRender(100.0f);
    EXPECT_FLOAT_EQ(drawn(kArm)->y, 20.0f);
}

TEST_F(MotionPlayback, MotionStoredUnderTheEmptyNameStandsInForNoMotion) {
    // A player without a main motion applies the motion named "" (found by
    // the empty name), and with it the overlays; at clock 0.
    loadMotion(R"({"name": "ov", "tracks": [{"part": "arm",
        "keyframes": [{"position": [0, 7]}]}]})");
    ASSERT_EQ(Anime_PlayOverlay(id_, "ov", 1.0f, 1.0f), 1);
    updateAndRender(16.0f);
    EXPECT_EQ(drawn(kArm)->y, 0.0f);
    loadMotion(R"({"name": "", "tracks": [{"part": "body",
        "keyframes": [{"time": 0, "position": [1, 0]}, {"time": 100, "position": [2, 0]}]}]})");
    updateAndRender(16.0f);
    EXPECT_EQ(bodyX(), 11.0f);
    EXPECT_EQ(drawn(kArm)->y, 7.0f);
    ASSERT_EQ(Anime_PlayMotion(id_, "", 1.0f), 1);
    updateAndRender(50.0f);
    EXPECT_EQ(bodyX(), 11.5f);
}

TEST_F(MotionPlayback, TextureSwapsPersist) {
    loadMotion(kIdle);
    loadMotion(R"({"name": "swap", "duration": 100,
        "tracks": [{"part": "body", "keyframes": [{"textureSwap": "t2"}]}]})");
    loadMotion(R"({"name": "back", "tracks": [{"part": "body", "keyframes": [
        {"time": 0}, {"time": 100, "textureSwap": "t0"}]}]})");
    loadMotion(R"({"name": "lost", "tracks": [{"part": "body",
        "keyframes": [{"textureSwap": "missing"}]}]})");
    ASSERT_EQ(Anime_PlayMotion(id_, "swap", 1.0f), 1);
    updateAndRender(16.0f);
    EXPECT_EQ(body().texture, 102);
    updateAndRender(200.0f);
    EXPECT_EQ(Anime_IsMotionFinished(id_), 1);
    EXPECT_EQ(body().texture, 102);
    // Another motion without swaps: the swapped texture stays.
    ASSERT_EQ(Anime_PlayMotion(id_, "idle", 1.0f), 1);
    updateAndRender(16.0f);
    EXPECT_EQ(body().texture, 102);
    // A swap takes effect at its keyframe's time, not before.
    ASSERT_EQ(Anime_PlayMotion(id_, "back", 1.0f), 1);
    updateAndRender(99.0f);
    EXPECT_EQ(body().texture, 102);
    updateAndRender(1.0f);
    EXPECT_EQ(body().texture, 100);
    // A texture the model lacks leaves the part without a handle: not drawn.
    ASSERT_EQ(Anime_PlayMotion(id_, "lost", 1.0f), 1);
    updateAndRender(16.0f);
    EXPECT_FALSE(drawn(kBody));
    EXPECT_TRUE(drawn(kArm));
}

TEST_F(MotionPlayback, OddSpeedsAndDurations) {
    loadMotion(kMove);
    // Backwards: the clock goes below 0, never finishes, the first keyframe
    // holds.
    ASSERT_EQ(Anime_PlayMotion(id_, "move", -1.0f), 1);
    for (int i = 0; i < 3; ++i) {
        updateAndRender(100.0f);
        expectMoveAt(0.0f);
    }
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 1);
    EXPECT_EQ(Anime_IsMotionFinished(id_), 0);

    // A looping motion of duration 0 never wraps; past its last keyframe
    // that keyframe holds.
    loadMotion(R"({"name": "zeroLoop", "duration": 0, "loop": true, "tracks": [{"part": "body",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [100, 0]}]}]})");
    ASSERT_EQ(Anime_PlayMotion(id_, "zeroLoop", 1.0f), 1);
    updateAndRender(500.0f);
    EXPECT_EQ(bodyX(), 60.0f);
    updateAndRender(600.0f);
    EXPECT_EQ(bodyX(), 110.0f);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 1);

    // A non-looping motion of duration 0 finishes on its first update, at 0.
    loadMotion(R"({"name": "zero", "duration": 0, "tracks": [{"part": "body",
        "keyframes": [{"time": 0, "position": [3, 0]}, {"time": 1000, "position": [100, 0]}]}]})");
    ASSERT_EQ(Anime_PlayMotion(id_, "zero", 1.0f), 1);
    updateAndRender(500.0f);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 0);
    EXPECT_EQ(Anime_IsMotionFinished(id_), 1);
    EXPECT_EQ(bodyX(), 13.0f);
}

TEST_F(MotionPlayback, ReloadingAPlayingMotionKeepsItsClock) {
    loadMotion(kMove);
    ASSERT_EQ(Anime_PlayMotion(id_, "move", 1.0f), 1);
    updateAndRender(250.0f);
    EXPECT_EQ(bodyX(), 35.0f);
    loadMotion(R"({"name": "move", "duration": 2000, "tracks": [{"part": "arm",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 100]}]}]})");
    updateAndRender(250.0f);
    expectBodyAtRest();
    EXPECT_EQ(drawn(kArm)->y, 50.0f);
    // The new duration counts: 1000 ms is no longer the end.
    updateAndRender(750.0f);
    EXPECT_EQ(Anime_IsMotionPlaying(id_), 1);
    EXPECT_EQ(drawn(kArm)->y, 100.0f);
}

TEST_F(MotionPlayback, UnknownPartsAndBadTracksAreInert) {
    loadMotion(R"({"name": "ghost", "loop": true, "tracks": [
        {"part": "ghost", "keyframes": [{"position": [50, 50], "visible": 0}]},
        {"part": "Body", "keyframes": [{"position": [50, 50], "visible": 0}]},
        {"keyframes": [{"position": [50, 50], "visible": 0}]}, 3, "body", null]})");
    ASSERT_EQ(Anime_PlayMotion(id_, "ghost", 1.0f), 1);
    ASSERT_EQ(Anime_PlayOverlay(id_, "ghost", 1.0f, 1.0f), 1);
    updateAndRender(16.0f);
    expectBodyAtRest();
    ASSERT_TRUE(drawn(kArm));
    EXPECT_EQ(drawn(kArm)->x, -5.0f);
    EXPECT_EQ(drawn(kArm)->y, 0.0f);
}

}  // namespace
}  // namespace kivanime::test
