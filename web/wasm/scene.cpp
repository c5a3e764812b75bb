// Scenes in the page, read and played by the player's own code
// (tools/player: the settings table, the timeline reader and the scene)
// compiled into this module with the library: the same settings, events,
// tweens, crowd and follow-ups as kivanime-player, call for call. The page
// loads the model and draws the frames.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "json_text.h"
#include "scene.h"

namespace {

using namespace kivanime_player;
using namespace kivanime_web;

// The library's functions, called straight (the player looks them up in the
// library it loads).
const AnimeApi& LinkedApi() {
    static const AnimeApi api = [] {
        AnimeApi table;
#define KIVANIME_WEB_LINK(name) table.name = &::name;
        KIVANIME_FOR_EACH_EXPORT(KIVANIME_WEB_LINK)
#undef KIVANIME_WEB_LINK
        return table;
    }();
    return api;
}

// The scene read last, and how far it has been played.
struct PageScene {
    bool read = false;
    Settings settings;
    std::vector<TimelineEvent> events;
    Sounds sounds;  // handed over by the page, for the "audio" commands
    std::unique_ptr<ScenePlayback> playback;
    int frame = -1;
};
PageScene scene;
std::string answer;

// The settings the page needs to load the model and draw the frames, and
// every motion and expression name the scene uses.
void AppendSettings(std::string& out, const Settings& s, const std::vector<TimelineEvent>& events) {
    // One number, or an array of several.
    const auto numbers = [&](std::string_view key, std::initializer_list<float> values) {
        AppendKey(out, key);
        if (values.size() == 1) {
            AppendNumber(out, *values.begin());
        } else {
            AppendList(out, values, AppendNumber);
        }
    };
    AppendKey(out, "model");
    AppendString(out, s.model);
    numbers("size", {static_cast<float>(s.size.width), static_cast<float>(s.size.height)});
    AppendKey(out, "frames");
    out += std::to_string(*s.frames);
    numbers("origin", {s.origin->x, s.origin->y});
    numbers("scale", {s.scale});
    numbers("background", {s.background.r, s.background.g, s.background.b, s.background.a});
    numbers("pivot", {s.pivot.x, s.pivot.y});
    numbers("focal", {s.focal});
    std::vector<std::string> names;
    for (const TimelineEvent& e : events) {
        names.insert(names.end(), {NamesAnimation(e.kind) ? e.name : "", e.then});
    }
    names.push_back(s.motion ? s.motion->name : "");
    names.push_back(s.expression.value_or(""));
    for (const OverlayRequest& overlay : s.overlays) {
        names.push_back(overlay.name);
    }
    std::erase(names, "");
    AppendKey(out, "names");
    AppendList(out, names, AppendString);
    std::vector<std::string> sounds;
    for (const TimelineEvent& e : events) {
        if (e.kind == EventKind::Audio && !e.name.empty() &&
            std::find(sounds.begin(), sounds.end(), e.name) == sounds.end()) {
            sounds.push_back(e.name);
        }
    }
    AppendKey(out, "sounds");
    AppendList(out, sounds, AppendString);
}

bool Refused(const std::string& message) {
    Fail(kExitUsage, message);
    return false;
}

// As kivanime-player reads its command line and timeline (main.cpp).
bool ReadScene(const char* name, const char* timeline, const std::string& options) {
    std::vector<std::string> args;
    for (size_t start = 0, end; start < options.size(); start = end + 1) {
        end = std::min(options.find('\n', start), options.size());
        args.push_back(options.substr(start, end - start));
    }
    std::string error;
    if (!ParseCommandLine(args, scene.settings, error)) {
        return Refused(error);
    }
    if (timeline != nullptr) {
        scene.settings = Settings{};
        if (!ParseTimeline(timeline, "", scene.settings, scene.events, error)) {
            return Refused("timeline '" + std::string(name) + "': " + error);
        }
        ParseCommandLine(args, scene.settings, error);
    }
    Resolve(scene.settings);
    return true;
}

}  // namespace

extern "C" {

// Reads a scene as `kivanime-player OPTIONS --timeline NAME` does, the
// timeline file holding `timeline` (null: no timeline) and OPTIONS being the
// player's arguments, one a line. Answers the settings ({"model", "size",
// "frames", "origin", "scale", "background", "pivot", "focal", "names",
// "sounds": the files of its "audio" commands, as they give them}) as
// JSON, or null with the player's message in KivanimeWeb_SceneError. A
// relative model path is left relative to the timeline.
EMSCRIPTEN_KEEPALIVE const char* KivanimeWeb_ReadScene(const char* name, const char* timeline,
                                                       const char* options) {
    FailureLog().print = false;
    try {
        scene = PageScene{};
        scene.read = ReadScene(name != nullptr ? name : "", timeline, options ? options : "");
        if (scene.read) {
            answer = "{";
            AppendSettings(answer, scene.settings, scene.events);
            return (answer += "}").c_str();
        }
    } catch (...) {
        Refused("out of memory");
    }
    scene.read = false;
    return nullptr;
}

// Hands over the sound of the scene's "audio" commands that name `name`:
// `frames` frames of `channels` interleaved samples at `rate`, mixed down as
// the player mixes a file's channels. 1, or 0 for a bad argument.
EMSCRIPTEN_KEEPALIVE int32_t KivanimeWeb_SetSceneSound(const char* name, const float* samples,
                                                       int32_t frames, int32_t channels,
                                                       int32_t rate) {
    if (name == nullptr || (samples == nullptr && frames > 0) || frames < 0 || channels < 1 ||
        rate < 1) {
        return 0;
    }
    try {
        scene.sounds[name] = {MixDown(samples, static_cast<size_t>(frames), channels), rate};
        return 1;
    } catch (...) {
        return 0;
    }
}

// Starts the scene read last on the model loaded as "puppet", which no other
// instance uses: 0, or the player's exit code with the message in
// KivanimeWeb_SceneError.
EMSCRIPTEN_KEEPALIVE int32_t KivanimeWeb_StartScene(void) {
    int result = kExitUsage;
    try {
        scene.playback = nullptr;
        scene.frame = -1;
        if (!scene.read) {
            return Fail(kExitUsage, "no scene has been read");
        }
        static const std::string kTexturesDecodedBefore;
        scene.playback = StartScene(LinkedApi(), scene.settings, scene.events,
                                    kTexturesDecodedBefore, result, scene.sounds);
    } catch (...) {
        result = Fail(kExitLoad, "out of memory");
    }
    return result;
}

// Plays the started scene on to frame `frame` (from 0), as the player does
// before drawing that frame.
EMSCRIPTEN_KEEPALIVE void KivanimeWeb_AdvanceScene(int32_t frame) {
    while (scene.playback && scene.frame < frame) {
        scene.playback->Advance(FrameTimeMs(++scene.frame, scene.settings.fps));
    }
}

EMSCRIPTEN_KEEPALIVE const char* KivanimeWeb_SceneError(void) {
    return FailureLog().last.c_str();
}
}
