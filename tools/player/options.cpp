#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

namespace kivanime_player {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

bool ParseFloat(const std::string& text, float& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(parsed)) {
        return false;
    }
    value = static_cast<float>(parsed);
    return true;
}

bool ParseInt(const std::string& text, int& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE || parsed < -1000000000L ||
        parsed > 1000000000L) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

bool ParsePair(const std::string& text, char separator, Vec2& value) {
    const std::vector<std::string> parts = Split(text, separator);
    return parts.size() == 2 && ParseFloat(parts[0], value.x) && ParseFloat(parts[1], value.y);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A handler gets the option's value and says whether it was acceptable; an
// empty `expect` marks a flag that takes no value.
struct OptionRule {
    const char* expect;
    std::function<bool(const std::string&)> apply;
};

}  // namespace

bool ParseColor(const std::string& text, Color& color) {
    if (text == "transparent" || text == "none") {
        color = Color{0, 0, 0, 0};
        return true;
    }
    const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (hex.size() != 6 && hex.size() != 8) {
        return false;
    }
    float channels[4] = {0, 0, 0, 1};
    for (size_t i = 0; i < hex.size() / 2; ++i) {
        const int hi = HexDigit(hex[i * 2]);
        const int lo = HexDigit(hex[i * 2 + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        channels[i] = static_cast<float>(hi * 16 + lo) / 255.0f;
    }
    color = Color{channels[0], channels[1], channels[2], channels[3]};
    return true;
}

bool ParseOptions(int argc, const char* const* argv, Options& o, std::string& error) {
    const std::map<std::string, OptionRule> rules = {
        {"--help", {"", [&](const std::string&) { return o.help = true; }}},
        {"-h", {"", [&](const std::string&) { return o.help = true; }}},
        {"--quiet", {"", [&](const std::string&) { return o.quiet = true; }}},
        {"--trace", {"", [&](const std::string&) { return o.trace = true; }}},
        {"--library", {"PATH", [&](const std::string& v) { return !(o.library = v).empty(); }}},
        {"--timeline", {"FILE", [&](const std::string& v) { return !(o.timeline = v).empty(); }}},
        {"--load-motion",
         {"FILE",
          [&](const std::string& v) {
              o.motionFiles.push_back(v);
              return !v.empty();
          }}},
        {"--load-expression",
         {"FILE",
          [&](const std::string& v) {
              o.expressionFiles.push_back(v);
              return !v.empty();
          }}},
        {"--motion",
         {"NAME[:SPEED]",
          [&](const std::string& v) {
              const std::vector<std::string> p = Split(v, ':');
              MotionRequest m{p[0], 1.0f};
              if (m.name.empty() || p.size() > 2 || (p.size() == 2 && !ParseFloat(p[1], m.speed))) {
                  return false;
              }
              o.motion = m;
              return true;
          }}},
        {"--overlay",
         {"NAME[:WEIGHT[:SPEED]]",
          [&](const std::string& v) {
              const std::vector<std::string> p = Split(v, ':');
              OverlayRequest r{p[0], 1.0f, 1.0f};
              if (r.name.empty() || p.size() > 3 ||
                  (p.size() >= 2 && !ParseFloat(p[1], r.weight)) ||
                  (p.size() == 3 && !ParseFloat(p[2], r.speed))) {
                  return false;
              }
              o.overlays.push_back(r);
              return true;
          }}},
        {"--expression",
         {"NAME",
          [&](const std::string& v) {
              o.expression = v;
              return !v.empty();
          }}},
        {"--frames",
         {"N",
          [&](const std::string& v) {
              int n = 0;
              o.frames = n;
              return ParseInt(v, *o.frames) && *o.frames > 0 && *o.frames <= 100000;
          }}},
        {"--fps",
         {"F",
          [&](const std::string& v) {
              float f = 0;
              o.fps = f;
              return ParseFloat(v, *o.fps) && *o.fps >= 1.0f && *o.fps <= 1000.0f;
          }}},
        {"--size",
         {"WxH",
          [&](const std::string& v) {
              const std::vector<std::string> p = Split(v, 'x');
              int w = 0, h = 0;
              if (p.size() != 2 || !ParseInt(p[0], w) || !ParseInt(p[1], h) || w < 1 || h < 1 ||
                  w > 8192 || h > 8192) {
                  return false;
              }
              o.width = w;
              o.height = h;
              return true;
          }}},
        {"--origin",
         {"X,Y",
          [&](const std::string& v) {
              Vec2 p;
              o.origin = p;
              return ParsePair(v, ',', *o.origin);
          }}},
        {"--scale",
         {"S",
          [&](const std::string& v) {
              float s = 0;
              o.scale = s;
              return ParseFloat(v, *o.scale) && *o.scale != 0.0f;
          }}},
        {"--alpha",
         {"A",
          [&](const std::string& v) {
              float a = 0;
              o.alpha = a;
              return ParseFloat(v, *o.alpha) && *o.alpha >= 0.0f && *o.alpha <= 1.0f;
          }}},
        {"--background",
         {"COLOR",
          [&](const std::string& v) {
              Color c;
              o.background = c;
              return ParseColor(v, *o.background);
          }}},
        {"--yaw",
         {"DEG",
          [&](const std::string& v) {
              o.yaw = 0.0f;
              return ParseFloat(v, *o.yaw);
          }}},
        {"--pitch",
         {"DEG",
          [&](const std::string& v) {
              o.pitch = 0.0f;
              return ParseFloat(v, *o.pitch);
          }}},
        {"--roll",
         {"DEG",
          [&](const std::string& v) {
              o.roll = 0.0f;
              return ParseFloat(v, *o.roll);
          }}},
        {"--turn",
         {"DEG[:PERIOD_MS]",
          [&](const std::string& v) {
              const std::vector<std::string> p = Split(v, ':');
              float amplitude = 0.0f;
              if (p.size() > 2 || !ParseFloat(p[0], amplitude) ||
                  (p.size() == 2 && (!ParseFloat(p[1], o.turnPeriodMs) || o.turnPeriodMs <= 0))) {
                  return false;
              }
              o.turn = amplitude;
              return true;
          }}},
        {"--pivot",
         {"X,Y",
          [&](const std::string& v) {
              o.pivot = Vec2{};
              return ParsePair(v, ',', *o.pivot);
          }}},
        {"--focal",
         {"F",
          [&](const std::string& v) {
              o.focal = 0.0f;
              return ParseFloat(v, *o.focal);
          }}},
        {"--curve",
         {"RX,RY",
          [&](const std::string& v) {
              o.curve = Vec2{};
              return ParsePair(v, ',', *o.curve);
          }}},
        {"--strength3d",
         {"DEPTH,PERSPECTIVE",
          [&](const std::string& v) {
              o.strength3D = Vec2{};
              return ParsePair(v, ',', *o.strength3D);
          }}},
        {"--wind",
         {"X,Y",
          [&](const std::string& v) {
              o.wind = Vec2{};
              return ParsePair(v, ',', *o.wind);
          }}},
        {"--crowd",
         {"N",
          [&](const std::string& v) {
              o.crowd = 0;
              return ParseInt(v, *o.crowd) && *o.crowd >= 1 && *o.crowd <= 400;
          }}},
        {"--output", {"DIR", [&](const std::string& v) { return !(o.outputDir = v).empty(); }}},
        {"--gif", {"FILE", [&](const std::string& v) { return !(o.gif = v).empty(); }}},
        {"--contact-sheet",
         {"FILE", [&](const std::string& v) { return !(o.contactSheet = v).empty(); }}},
        {"--still", {"FILE", [&](const std::string& v) { return !(o.still = v).empty(); }}},
        {"--sheet-frames",
         {"I,J,...",
          [&](const std::string& v) {
              o.sheetFrames.clear();
              for (const std::string& part : Split(v, ',')) {
                  int frame = 0;
                  if (!ParseInt(part, frame) || frame < 0) {
                      return false;
                  }
                  o.sheetFrames.push_back(frame);
              }
              return true;
          }}},
        {"--sheet-count",
         {"N",
          [&](const std::string& v) {
              return ParseInt(v, o.sheetCount) && o.sheetCount >= 1 && o.sheetCount <= 1000;
          }}},
        {"--sheet-columns",
         {"N",
          [&](const std::string& v) {
              return ParseInt(v, o.sheetColumns) && o.sheetColumns >= 1 && o.sheetColumns <= 100;
          }}},
        {"--thumb-scale",
         {"F",
          [&](const std::string& v) {
              return ParseFloat(v, o.thumbScale) && o.thumbScale > 0.0f && o.thumbScale <= 1.0f;
          }}},
    };

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-') {
            if (!o.model.empty()) {
                error = "more than one model file given: '" + o.model + "' and '" + arg + "'";
                return false;
            }
            o.model = arg;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const auto found = rules.find(name);
        if (found == rules.end()) {
            error = "unknown option '" + name + "' (see --help)";
            return false;
        }
        const OptionRule& rule = found->second;
        std::string value;
        if (rule.expect[0] == '\0') {
            if (equals != std::string::npos) {
                error = "option " + name + " takes no value";
                return false;
            }
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = "option " + name + " needs a value: " + name + " " + rule.expect;
            return false;
        }
        if (!rule.apply(value)) {
            error = "bad value '" + value + "' for " + name + " (expected " + rule.expect + ")";
            return false;
        }
    }
    return true;
}

std::string HelpText() {
    return R"(Usage: kivanime-player [MODEL.json] [options]

Renders a kivanime puppet to PNG frames, an animated GIF and a contact sheet.
The kivanime library is loaded at run time, the way a game engine loads it.

Input
  MODEL.json                  the model file; motions/*.json and expressions/*.json
                              beside it are loaded too
  --timeline FILE             a JSON script of timed commands (docs/player.md);
                              it may name the model itself
                                e.g. --timeline examples/hero/scene.json
  --load-motion FILE          load one more motion file (repeatable)
                                e.g. --load-motion my/run.json
  --load-expression FILE      load one more expression file (repeatable)
  --library PATH              the kivanime shared library to load
                                e.g. --library build/src/libkivanime.so

Animation
  --motion NAME[:SPEED]       main motion, e.g. --motion walk:1.5
  --overlay NAME[:W[:SPEED]]  overlay motion with weight W (repeatable),
                                e.g. --overlay wave:0.8
  --expression NAME           e.g. --expression smile
  --frames N                  number of frames (default 60, or the timeline's length)
  --fps F                     frames per second (default 25), e.g. --fps 30

Placement
  --size WxH                  frame size in pixels (default 512x512), e.g. --size 640x480
  --origin X,Y                where the model origin lands, in pixels
                                (default: centre, 30 px above the bottom), e.g. --origin 256,480
  --scale S                   instance scale, e.g. --scale 0.5 (negative mirrors)
  --alpha A                   instance opacity 0..1, e.g. --alpha 0.5
  --background COLOR          #rrggbb, #rrggbbaa or transparent (default #f3efe6)
  --crowd N                   N instances in a grid, each with its own phase, e.g. --crowd 9

3D and physics
  --yaw DEG / --pitch DEG / --roll DEG
                              turn the puppet (switches the 3D parallax on), e.g. --yaw 25
  --turn DEG[:PERIOD_MS]      sweep the yaw back and forth, e.g. --turn 30:4000
  --pivot X,Y                 3D pivot in model units (default 0,0), e.g. --pivot 0,-330
  --focal F                   focal distance (default 1500)
  --curve RX,RY               cylinder radii (default 0,0: flat), e.g. --curve 160,0
  --strength3d D,P            depth and perspective strength (default 1,1)
  --wind X,Y                  global wind on the springs, e.g. --wind 40,0

Output (at least one)
  --output DIR                write every frame as DIR/frame-0000.png, ...
  --gif FILE                  write one looping animated GIF, e.g. --gif out/hero.gif
  --contact-sheet FILE        tile chosen frames into one PNG
  --sheet-frames I,J,...      the frames for the sheet (default: --sheet-count evenly spaced)
  --sheet-count N             default 8
  --sheet-columns N           default 4
  --thumb-scale F             size of each tile relative to a frame (default 0.5)
  --still FILE                write only the last frame as a PNG
  --trace                     print the draw records of the last frame on stdout
  --quiet                     no summary line
  --help                      this text

Examples
  kivanime-player examples/hero/model.json --motion idle --expression smile --gif out/idle.gif
  kivanime-player examples/hero/model.json --motion walk --overlay wave:0.7 --turn 30 \
      --frames 100 --output out/frames
  kivanime-player --timeline examples/hero/scene.json --gif out/hero.gif \
      --contact-sheet out/hero-sheet.png

Exit codes
  0 success, 1 output not written, 2 bad command line, 3 library not loadable,
  4 model, motion, expression or timeline file not loadable, 5 unknown motion or
  expression name, 6 texture file missing or not a PNG
)";
}

}  // namespace kivanime_player
