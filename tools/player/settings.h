// What a run is asked to do: the player's settings and the timeline's events.
// One table lists each setting once, with its command-line option, its
// timeline key and its help line; the command line and the timeline (a JSON
// script of timed commands, docs/player.md) are both read through it, and
// --help is written from it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image.h"

namespace kivanime {
struct JsonValue;
}

namespace kivanime_player {

// Exit codes; the help text and the docs list them.
enum ExitCode : int {
    kExitOk = 0,
    kExitOutput = 1,   // an output file could not be written
    kExitUsage = 2,    // bad command line
    kExitLibrary = 3,  // the kivanime library could not be loaded
    kExitLoad = 4,     // a model, motion, expression, timeline or sound file did not load
    kExitName = 5,  // a motion, expression, skin, part, texture or parameter name the model lacks
    kExitTexture = 6,  // a texture file is missing or not a PNG
};

struct Vec2 {
    float x = 0.0f, y = 0.0f;
};
struct Size {
    int width = 512, height = 512;
};
struct MotionRequest {
    std::string name;
    float speed = 1.0f;
};
struct OverlayRequest {
    std::string name;
    float weight = 1.0f, speed = 1.0f;
};
struct Turn {
    float degrees = 0.0f;  // amplitude of the yaw sweep
    float periodMs = 4000.0f;
};

// Every setting of a run. What stays unset falls back to a default that
// depends on other settings (Resolve fills those in).
struct Settings {
    bool help = false, quiet = false, trace = false, events = false;
    std::string model, library, timeline;
    std::vector<std::string> motionFiles, expressionFiles;
    std::optional<MotionRequest> motion;
    std::vector<OverlayRequest> overlays;
    std::optional<std::string> expression;

    std::optional<int> frames;
    std::optional<float> durationMs;
    float fps = 25.0f;
    Size size;
    std::optional<Vec2> origin;
    float scale = 1.0f, alpha = 1.0f;
    Color background{0xf3 / 255.0f, 0xef / 255.0f, 0xe6 / 255.0f, 1.0f};
    int crowd = 1;
    int threads = 1;  // workers of the library's frames (the example task pool)

    bool enable3D = false;  // any 3D setting, a "setup3d" object or an "angles" event
    float yaw = 0.0f, pitch = 0.0f, roll = 0.0f;
    Turn turn;
    Vec2 pivot, curve, strength3D{1.0f, 1.0f};
    float focal = 1500.0f;
    std::optional<Vec2> wind;

    std::string outputDir, gif, contactSheet, still;
    std::vector<int> sheetFrames;
    int sheetCount = 8, sheetColumns = 4;
    float thumbScale = 0.5f;
};

// Reads the arguments (without the program's name) into `settings`; on
// failure returns false with a message naming the option. Read again over the
// timeline's settings, arguments that passed once cannot fail.
bool ParseCommandLine(const std::vector<std::string>& args, Settings& settings, std::string& error);

// Reads the timeline's own settings (not its events) into `settings`; on
// failure says which key is wrong.
bool ReadTimelineSettings(const kivanime::JsonValue& root, Settings& settings, std::string& error);

// Fills in the defaults that depend on other settings: the frame count (from
// the timeline's duration), the origin (from the frame size) and the contact
// sheet's frames.
void Resolve(Settings& settings);

// Readers of one JSON value: on a value of the wrong kind they say in `error`
// what "key" must be, and return false.
bool ReadNumbers(const kivanime::JsonValue& v, std::string_view key, size_t count, float* out,
                 std::string& error);
bool ReadName(const kivanime::JsonValue& v, std::string_view key, std::string& out,
              std::string& error);
bool MustBe(std::string& error, std::string_view key, const std::string& what);
// Puts `message` in `error` and returns false, as every reader here fails.
bool Refuse(std::string& error, std::string message);

std::string HelpText();

// Prints "kivanime-player: error: MESSAGE" on stderr and returns `code`.
int Fail(int code, const std::string& message);
// What became of Fail's messages: the web page, which shows them itself,
// turns the printing off and reads the last one.
struct Failures {
    bool print = true;
    std::string last;
};
Failures& FailureLog();

// The commands of a timeline event, in the order of the reader's table.
enum class EventKind {
    Motion,           // "motion": name, "speed", "then"
    StopMotion,       // "stopMotion": true
    Overlay,          // "overlay": name, "weight", "speed"
    StopOverlay,      // "stopOverlay": name
    StopAllOverlays,  // "stopOverlays": true
    Expression,       // "expression": name
    ClearExpression,  // "clearExpression": true
    Angles,           // "angles": [yaw, pitch, roll], "over"
    Wind,             // "wind": [x, y], "over"
    GlobalWind,       // "globalWind": [x, y]
    Position,         // "position": [x, y] in frame pixels, "over"
    Scale,            // "scale": s or [sx, sy]
    Alpha,            // "alpha": a
    Visible,          // "visible": true or false
    ResetPhysics,     // "resetPhysics": true
    CrossFade,        // "crossFade": name, "speed", "fade"
    Queue,            // "queue": name, "speed", "fade"
    FadeOverlay,      // "fadeOverlay": name, "weight", "fade"
    PartOffset,       // "partOffset": [x, y, rotation, scaleX, scaleY, alpha], "part"
    ClearOffsets,     // "clearPartOffsets": true
    Skin,             // "skin": name, or "" for the model's own textures
    PartTexture,      // "partTexture": texture name (or ""), "part"
    Tint,             // "tint": [r, g, b], "part" (optional)
    Parameter,        // "parameter": name, "value", "over"
    ResetParameters,  // "resetParameters": true
    Blink,            // "blink": parameter, "interval", "close"
    Breath,           // "breath": parameter, "period", "amplitude"
    LipSync,          // "lipSync": parameter, "gain"
    Audio,            // "audio": sound file, or "" to stop
};

struct TimelineEvent {
    float atMs = 0.0f;
    EventKind kind = EventKind::Motion;
    std::string name;
    std::string then;  // motion to play once a "motion" has finished
    std::string part;  // the part a "partOffset", "partTexture" or "tint" changes
    float speed = 1.0f, weight = 1.0f;
    // The command's numbers; for the parameter commands, those of its extra
    // keys in the order the docs list them (a breath's amplitude is NaN when
    // not given: half the parameter's range).
    float values[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    float overMs = 0.0f;   // tween length for angles, wind and position
    float fadeMs = -1.0f;  // cross-fade or overlay fade length; negative: the motion's own
    bool flag = true;
    int index = 0;  // position in the file's "events", for messages
};

// Reads timeline text: its settings into `settings` (a relative "model" is
// put after `baseDir`, which ends with a separator or is empty) and its
// events into `events`, sorted by time with the file's order kept for ties.
bool ParseTimeline(std::string_view text, const std::string& baseDir, Settings& settings,
                   std::vector<TimelineEvent>& events, std::string& error);

// The timeline's commands, as --help lists them.
std::string TimelineCommandList();
// Whether an event's name is a motion's (or, for "expression", an
// expression's): the names a scene needs loaded. Skins and textures are not.
bool NamesAnimation(EventKind kind);
// Whether an event's name is a parameter's.
bool NamesParameter(EventKind kind);

bool LoadTimeline(const std::string& path, Settings& settings, std::vector<TimelineEvent>& events,
                  std::string& error);

}  // namespace kivanime_player
