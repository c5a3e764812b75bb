// The player's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "image.h"

namespace kivanime_player {

// Exit codes; the help text and the docs list them.
enum ExitCode : int {
    kExitOk = 0,
    kExitOutput = 1,   // an output file could not be written
    kExitUsage = 2,    // bad command line
    kExitLibrary = 3,  // the kivanime library could not be loaded
    kExitLoad = 4,     // a model, motion, expression or timeline file did not load
    kExitName = 5,     // a motion or expression name the model does not have
    kExitTexture = 6,  // a texture file is missing or not a PNG
};

struct Vec2 {
    float x = 0.0f;
    float y = 0.0f;
};

struct Angles {
    float yaw = 0.0f;
    float pitch = 0.0f;
    float roll = 0.0f;
};

struct MotionRequest {
    std::string name;
    float speed = 1.0f;
};

struct OverlayRequest {
    std::string name;
    float weight = 1.0f;
    float speed = 1.0f;
};

// Everything optional is unset when the command line does not give it, so
// that a timeline's own settings can fill in.
struct Options {
    bool help = false;
    std::string model;
    std::string library;
    std::string timeline;
    std::vector<std::string> motionFiles;
    std::vector<std::string> expressionFiles;

    std::optional<MotionRequest> motion;
    std::vector<OverlayRequest> overlays;
    std::optional<std::string> expression;

    std::optional<int> frames;
    std::optional<float> fps;
    std::optional<int> width;
    std::optional<int> height;
    std::optional<Vec2> origin;
    std::optional<float> scale;
    std::optional<float> alpha;
    std::optional<Color> background;

    std::optional<float> yaw;
    std::optional<float> pitch;
    std::optional<float> roll;
    std::optional<float> turn;  // amplitude in degrees
    float turnPeriodMs = 4000.0f;
    std::optional<Vec2> pivot;
    std::optional<float> focal;
    std::optional<Vec2> curve;
    std::optional<Vec2> strength3D;
    std::optional<Vec2> wind;
    std::optional<int> crowd;

    std::string outputDir;
    std::string gif;
    std::string contactSheet;
    std::string still;
    std::vector<int> sheetFrames;
    int sheetCount = 8;
    int sheetColumns = 4;
    float thumbScale = 0.5f;
    bool quiet = false;
    bool trace = false;
};

// Parses argv; on failure returns false with a message naming the option.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

std::string HelpText();

// "#rrggbb", "#rrggbbaa" (the # optional) or "transparent".
bool ParseColor(const std::string& text, Color& color);

}  // namespace kivanime_player
