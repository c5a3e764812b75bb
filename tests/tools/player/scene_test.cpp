// The scene's parameter, driver and sound commands, played against a table
// of exports that records what the scene asks of the library: which calls,
// with which values, in which frame, and which samples each frame feeds.
#include <gtest/gtest.h>

#include <numeric>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "scene.h"

namespace kivanime_player {
namespace {

// An export that does nothing and answers 0 (or null).
template <typename Fn>
struct Quiet;
template <typename R, typename... Args>
struct Quiet<R (*)(Args...)> {
    static R Call(Args...) {
        if constexpr (!std::is_void_v<R>) {
            return R{};
        }
    }
};

// What the recording exports saw, one line per call.
struct Recording {
    std::string calls;
    uint32_t instances = 0;
};
Recording recording;

// Notes a call: its name, then its arguments (numbers as %g would print them).
template <typename... Args>
int32_t Note(const char* name, Args... args) {
    std::ostringstream line;
    line << name;
    ((line << ' ' << args), ...);
    recording.calls += line.str() + '\n';
    return 1;
}

// A model with the parameters "Angle" (-30 to 30, default 0) and "Mouth"
// (0 to 1, default 0.25), and every motion, expression, part and texture.
const AnimeApi& RecordingApi() {
    static const AnimeApi api = [] {
        AnimeApi t;
#define KIVANIME_QUIET(name) t.name = &Quiet<decltype(&::name)>::Call;
        KIVANIME_FOR_EACH_EXPORT(KIVANIME_QUIET)
#undef KIVANIME_QUIET
        t.Anime_CreateInstance = [](const char*) { return ++recording.instances; };
        t.Anime_GetInstanceCount = [] { return int32_t{1}; };
        t.Anime_PlayMotion = [](uint32_t, const char*, float) { return int32_t{1}; };
        t.Anime_SetPartTint = [](uint32_t, const char*, float, float, float) { return int32_t{1}; };
        t.Anime_GetParameterRange = [](uint32_t, const char* name, float* lo, float* hi,
                                       float* def) {
            const std::string n = name;
            *lo = n == "Angle" ? -30.0f : 0.0f;
            *hi = n == "Angle" ? 30.0f : 1.0f;
            *def = n == "Angle" ? 0.0f : 0.25f;
            return int32_t{n == "Angle" || n == "Mouth"};
        };
        t.Anime_SetParameter = [](uint32_t id, const char* n, float v) {
            return Note("set", id, n, v);
        };
        t.Anime_ResetParameters = [](uint32_t id) { return Note("reset", id); };
        t.Anime_SetAutoBlink = [](uint32_t id, const char* n, float interval, float close) {
            return Note("blink", id, n, interval, close);
        };
        t.Anime_SetBreath = [](uint32_t id, const char* n, float period, float amplitude) {
            return Note("breath", id, n, period, amplitude);
        };
        t.Anime_SetLipSync = [](uint32_t id, const char* n, float gain) {
            return Note("lipSync", id, n, gain);
        };
        // The samples are numbered by their value, so "feed 2 3+2 at 25"
        // is samples 3 and 4 of a sound of 25 per second.
        t.Anime_FeedAudio = [](uint32_t id, const float* samples, int32_t count, int32_t rate) {
            const std::string span = std::to_string(count > 0 ? static_cast<int>(samples[0]) : -1) +
                                     "+" + std::to_string(count);
            return Note("feed", id, span, "at", rate);
        };
        t.Anime_Update = [](float dt) { Note("update", dt); };
        return t;
    }();
    return api;
}

// Plays `frames` frames of the timeline's events at 10 frames per second,
// with the sound "v.wav" (`sound` samples numbered from 0, 25 per second).
std::string Play(const std::string& events, int frames, int& result, size_t sound = 7) {
    recording = Recording{};
    Settings settings;
    std::vector<TimelineEvent> list;
    std::string error;
    const std::string timeline = R"({"fps": 10, "events": [)" + events + "]}";
    EXPECT_TRUE(ParseTimeline(timeline, "", settings, list, error)) << error;
    Resolve(settings);
    Sounds sounds{{"v.wav", {std::vector<float>(sound), 25}}};
    std::iota(sounds["v.wav"].samples.begin(), sounds["v.wav"].samples.end(), 0.0f);
    FailureLog().print = false;
    const auto scene = StartScene(RecordingApi(), settings, list, "", result, sounds);
    for (int frame = 0; scene && frame < frames; ++frame) {
        scene->Advance(FrameTimeMs(frame, settings.fps));
    }
    return recording.calls;
}

TEST(PlayerScene, ParameterAndDriverCommandsCallTheLibraryInTheirFrames) {
    const struct {
        const char* events;
        int frames;
        const char* calls;
    } cases[] = {
        // A value given at once is set once, before the first frame.
        {R"({"at": 0, "parameter": "Angle", "value": 10})", 2,
         "set 2 Angle 10\nupdate 0\nupdate 100\n"},
        // Eased from the default, smoothly, until it has arrived; a second
        // value eases on from wherever the first had got to.
        {R"({"at": 0, "parameter": "Angle", "value": 10, "over": 200})", 4,
         "set 2 Angle 0\nupdate 0\nset 2 Angle 5\nupdate 100\nset 2 Angle 10\nupdate 100\n"
         "update 100\n"},
        {R"({"at": 0, "parameter": "Angle", "value": 10, "over": 200},
            {"at": 100, "parameter": "Angle", "value": -10, "over": 100})",
         3, "set 2 Angle 0\nupdate 0\nset 2 Angle 5\nupdate 100\nset 2 Angle -10\nupdate 100\n"},
        // After a reset the next ease starts from the default again.
        {R"({"at": 0, "parameter": "Mouth", "value": 1}, {"at": 100, "resetParameters": true},
            {"at": 100, "parameter": "Mouth", "value": 0.75, "over": 200})",
         3,
         "set 2 Mouth 1\nupdate 0\nreset 2\nset 2 Mouth 0.25\nupdate 100\nset 2 Mouth 0.5\nupdate "
         "100\n"},
        {R"({"at": 0, "resetParameters": false})", 1, "update 0\n"},
        // The drivers' own numbers, or what applies without them.
        {R"({"at": 0, "blink": "Mouth"}, {"at": 0, "blink": "Angle", "interval": 0, "close": 90})",
         1, "blink 2 Mouth 3000 150\nblink 2 Angle 0 90\nupdate 0\n"},
        {R"({"at": 0, "breath": "Angle"}, {"at": 100, "breath": "Mouth", "period": 900, "amplitude": 0.1})",
         2, "breath 2 Angle 3000 30\nupdate 0\nbreath 2 Mouth 900 0.1\nupdate 100\n"},
        {R"({"at": 0, "lipSync": "Mouth"}, {"at": 100, "lipSync": "Mouth", "gain": 0})", 2,
         "lipSync 2 Mouth 1\nupdate 0\nlipSync 2 Mouth 0\nupdate 100\n"},
        // 2.5 samples a frame, counted from the frame the command runs in:
        // [0, 3), [3, 5), [5, 8) clipped to the sound's 7; then nothing.
        {R"({"at": 50, "audio": "v.wav"})", 5,
         "update 0\nfeed 2 0+3 at 25\nupdate 100\nfeed 2 3+2 at 25\nupdate 100\n"
         "feed 2 5+2 at 25\nupdate 100\nupdate 100\n"},
        // A second command starts its sound again; "" stops it.
        {R"({"at": 0, "audio": "v.wav"}, {"at": 100, "audio": "v.wav"}, {"at": 200, "audio": ""})",
         3, "feed 2 0+3 at 25\nupdate 0\nfeed 2 0+3 at 25\nupdate 100\nupdate 100\n"},
    };
    for (const auto& c : cases) {
        int result = -1;
        EXPECT_EQ(Play(c.events, c.frames, result), c.calls) << c.events;
        EXPECT_EQ(result, kExitOk) << c.events;
    }
}

TEST(PlayerScene, UnknownParametersAndUnreadSoundsStopTheStart) {
    const struct {
        const char* events;
        int result;
        const char* message;
    } cases[] = {
        {R"({"at": 0, "parameter": "Nose", "value": 1})", kExitName,
         "the model has no parameter 'Nose' (timeline event 0)"},
        {R"({"at": 0, "motion": "m"}, {"at": 9, "lipSync": "mouth"})", kExitName,
         "the model has no parameter 'mouth' (timeline event 1)"},
        {R"({"at": 0, "audio": "w.wav"})", kExitLoad,
         "the sound file 'w.wav' was not read (timeline event 0)"},
    };
    for (const auto& c : cases) {
        int result = -1;
        EXPECT_EQ(Play(c.events, 1, result), "") << c.events;
        EXPECT_EQ(result, c.result) << c.events;
        EXPECT_EQ(FailureLog().last, c.message);
    }
}

// Every sample is fed exactly once whatever the two rates, in spans that
// follow each other; a stereo frame is the mean of its two channels.
TEST(PlayerScene, FramesShareASoundOutWithoutGapsOrOverlaps) {
    const struct {
        float fps;
        int32_t rate;
        size_t samples;
        size_t firstSpan;
    } cases[] = {{25.0f, 16000, 32000, 640},
                 {30.0f, 44100, 44101, 1470},
                 {29.97f, 48000, 100000, 1602},
                 {10.0f, 25, 7, 3},
                 {60.0f, 8, 9, 1}};
    for (const auto& c : cases) {
        Sound sound{std::vector<float>(c.samples), c.rate};
        size_t next = 0;
        for (int64_t k = 0; next < c.samples; ++k) {
            const SampleSpan span = FrameSamples(sound, k, c.fps);
            ASSERT_EQ(span.first, next) << c.fps << " " << c.rate << " frame " << k;
            EXPECT_TRUE(k > 0 || span.count == c.firstSpan) << span.count;
            next += span.count;
        }
        EXPECT_EQ(next, c.samples);
        EXPECT_EQ(FrameSamples(sound, 1 << 30, c.fps).count, 0u);
    }
    const float stereo[] = {1.0f, 0.0f, -0.5f, -0.25f, 0.75f, 0.75f};
    EXPECT_EQ(MixDown(stereo, 3, 2), (std::vector<float>{0.5f, -0.375f, 0.75f}));
    EXPECT_EQ(MixDown(stereo, 2, 3), (std::vector<float>{0.5f / 3.0f, 1.25f / 3.0f}));
}

}  // namespace
}  // namespace kivanime_player
