// Runs a scene: loads the model into the library, places the instances,
// plays the requested motions and the timeline frame by frame, and writes
// the outputs. The library draws through the four host functions of
// host.cpp: PNG textures decoded with libpng, and a draw that rasterises into
// the current frame. The scene itself (scene.cpp) is also compiled into the
// web page's WebAssembly module, so that a scene plays the same in both.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image.h"
#include "library.h"
#include "settings.h"
#include "sound.h"

namespace kivanime_player {

// The name the scene's model is loaded under.
inline constexpr const char* kModelName = "puppet";

// When frame `frame` is shown, in milliseconds from the start.
inline float FrameTimeMs(int frame, float fps) {
    return static_cast<float>(frame * 1000.0 / fps);
}

// Returns an ExitCode; messages go to stderr, the summary to stdout.
int RunScene(const AnimeApi& api, const Settings& settings,
             const std::vector<TimelineEvent>& events);

// A scene under way on the library.
class ScenePlayback {
public:
    virtual ~ScenePlayback() = default;
    // Runs the events due by `now` (milliseconds, not before the last call),
    // moves the tweens on and updates the library.
    virtual void Advance(float now) = 0;
};

// Starts a scene on the model loaded as kModelName: tries every name the
// settings and events use on a scratch instance (which loads every texture;
// a message in `textureError` by then fails the start), creates the
// instances and applies the commands at time 0. `sounds` holds the sound of
// every "audio" command, read by the caller. On failure returns null with
// the ExitCode in `result`, the message having gone through Fail.
std::unique_ptr<ScenePlayback> StartScene(const AnimeApi& api, const Settings& settings,
                                          const std::vector<TimelineEvent>& events,
                                          const std::string& textureError, int& result,
                                          Sounds sounds = {});

// What the host functions work on. The library calls them without a context,
// so there is one of these, reached through Host().
struct HostState {
    Image* target = nullptr;   // where draw calls paint; null makes them only count
    bool trace = false;        // write every draw record (with its file) into `traced`
    std::string traced;        // one line per record, as --trace prints them
    std::string textureError;  // why the first texture that failed did not load
    long long loads = 0;       // handles handed out
    long long releases = 0;    // handles given back
    long long draws = 0;       // draw calls
    // Slot i holds the image of handle i; released handles are emptied and
    // their numbers not reused, so a stale handle can never draw a new image.
    std::vector<std::shared_ptr<const Image>> textures;
    std::vector<std::string> paths;  // file of each handle
    // Decoded files shared by every handle of the same path (a crowd of
    // instances loads each file once), in the order of their paths.
    std::map<std::string, std::weak_ptr<const Image>> byPath;
};

HostState& Host();

// The callback table (loadTexture, releaseTexture, reserved, draw).
AnimeHostCallbacks HostCallbacks();
// The mesh function: parts with a mesh are drawn as textured triangles.
AnimeDrawMeshFn MeshCallback();

}  // namespace kivanime_player
