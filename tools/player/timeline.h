// The timeline: a JSON script of timed commands that makes a whole scene
// reproducible (docs/player.md describes the format).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options.h"

namespace kivanime_player {

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
};

struct TimelineEvent {
    float atMs = 0.0f;
    EventKind kind = EventKind::Motion;
    std::string name;
    std::string then;  // motion to play once a "motion" has finished
    float speed = 1.0f;
    float weight = 1.0f;
    float values[3] = {0.0f, 0.0f, 0.0f};
    float overMs = 0.0f;  // tween length for angles, wind and position
    bool flag = true;
    int index = 0;  // position in the file's "events", for messages
};

struct Timeline {
    std::string model;  // relative to the timeline file's folder, already joined
    std::optional<int> width;
    std::optional<int> height;
    std::optional<float> fps;
    std::optional<float> durationMs;
    std::optional<Vec2> origin;
    std::optional<float> scale;
    std::optional<Color> background;
    std::optional<int> crowd;
    std::optional<Vec2> pivot;
    std::optional<float> focal;
    std::optional<Vec2> curve;
    std::optional<Vec2> strength3D;
    bool enable3D = false;              // a "setup3d" object or an "angles" event asks for it
    std::vector<TimelineEvent> events;  // sorted by time, file order kept for ties
};

// Parses timeline text; `baseDir` (with its trailing separator, or empty) is
// put in front of a relative "model" path.
bool ParseTimeline(std::string_view text, const std::string& baseDir, Timeline& timeline,
                   std::string& error);

bool LoadTimeline(const std::string& path, Timeline& timeline, std::string& error);

}  // namespace kivanime_player
