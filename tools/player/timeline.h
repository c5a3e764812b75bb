// The timeline: a JSON script of timed commands that makes a whole scene
// reproducible (docs/player.md describes the format).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings.h"

namespace kivanime_player {

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
};

struct TimelineEvent {
    float atMs = 0.0f;
    EventKind kind = EventKind::Motion;
    std::string name;
    std::string then;  // motion to play once a "motion" has finished
    float speed = 1.0f, weight = 1.0f;
    float values[3] = {0.0f, 0.0f, 0.0f};
    float overMs = 0.0f;  // tween length for angles, wind and position
    bool flag = true;
    int index = 0;  // position in the file's "events", for messages
};

// Reads timeline text: its settings into `settings` (a relative "model" is
// put after `baseDir`, which ends with a separator or is empty) and its
// events into `events`, sorted by time with the file's order kept for ties.
bool ParseTimeline(std::string_view text, const std::string& baseDir, Settings& settings,
                   std::vector<TimelineEvent>& events, std::string& error);

bool LoadTimeline(const std::string& path, Settings& settings, std::vector<TimelineEvent>& events,
                  std::string& error);

}  // namespace kivanime_player
