#include "settings.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <variant>

#include "json/json_value.h"

namespace kivanime_player {

namespace {

using kivanime::JsonValue;
using S = Settings;
constexpr float kInf = std::numeric_limits<float>::infinity();
// The smallest float above 0: a lower bound that leaves 0 itself out.
constexpr float kAboveZero = std::numeric_limits<float>::denorm_min();

// The kind of a setting's value follows from the type of its field.
using Field =
    std::variant<bool S::*, std::string S::*, std::vector<std::string> S::*,
                 std::optional<MotionRequest> S::*, std::vector<OverlayRequest> S::*,
                 std::optional<std::string> S::*, std::optional<int> S::*,
                 std::optional<float> S::*, int S::*, float S::*, Size S::*,
                 std::optional<Vec2> S::*, Vec2 S::*, Color S::*, Turn S::*, std::vector<int> S::*>;

struct Row {
    const char* option;  // null for a heading or a timeline-only key
    const char* arg;     // what the value looks like; empty for a flag
    const char* key;     // timeline key ("setup3d.pivot"), or null
    Field field;
    const char* help;  // the help line (or the heading)
    float lo = -kInf;  // numbers outside [lo, hi] are refused
    float hi = kInf;
    const char* bad = "";  // what a refused timeline value must be
    bool enables3D = false;
    bool nonZero = false;  // a 0 given on the command line is refused
};

// clang-format off
const Row kRows[] = {
    {nullptr, "", nullptr, {}, "Input"},
    {"MODEL.json", "", "model", &S::model,
     "the model file; motions/*.json and expressions/*.json\nbeside it are loaded too"},
    {"--timeline", "FILE", nullptr, &S::timeline, "a JSON script of timed commands (docs/player.md);\n"
     "it may name the model itself\n  e.g. --timeline examples/hero/scene.json"},
    {"--load-motion", "FILE", nullptr, &S::motionFiles,
     "load one more motion file (repeatable)\n  e.g. --load-motion my/run.json"},
    {"--load-expression", "FILE", nullptr, &S::expressionFiles,
     "load one more expression file (repeatable)"},
    {"--library", "PATH", nullptr, &S::library,
     "the kivanime shared library to load\n  e.g. --library build/src/libkivanime.so"},
    {nullptr, "", nullptr, {}, "Animation"},
    {"--motion", "NAME[:SPEED]", nullptr, &S::motion, "main motion, e.g. --motion walk:1.5"},
    {"--overlay", "NAME[:WEIGHT[:SPEED]]", nullptr, &S::overlays,
     "overlay motion with that weight (repeatable),\n  e.g. --overlay wave:0.8"},
    {"--expression", "NAME", nullptr, &S::expression, "e.g. --expression smile"},
    {"--frames", "N", nullptr, &S::frames,
     "number of frames (default 60, or the timeline's length)", 1, 100000},
    {nullptr, "", "duration", &S::durationMs, "", kAboveZero, kInf, "more than 0 milliseconds"},
    {"--fps", "F", "fps", &S::fps, "frames per second (default 25), e.g. --fps 30", 1, 1000,
     "between 1 and 1000"},
    {nullptr, "", nullptr, {}, "Placement"},
    {"--size", "WxH", "size", &S::size,
     "frame size in pixels (default 512x512), e.g. --size 640x480", 1, 8192,
     "[width, height] in pixels"},
    {"--origin", "X,Y", "origin", &S::origin, "where the model origin lands, in pixels\n"
     "  (default: centre, 30 px above the bottom), e.g. --origin 256,480"},
    {"--scale", "S", "scale", &S::scale, "instance scale, e.g. --scale 0.5 (negative mirrors)",
     -kInf, kInf, "", false, true},
    {"--alpha", "A", nullptr, &S::alpha, "instance opacity 0..1, e.g. --alpha 0.5", 0, 1},
    {"--background", "COLOR", "background", &S::background,
     "#rrggbb, #rrggbbaa or transparent (default #f3efe6)", -kInf, kInf,
     "a colour such as \"#f3efe6\""},
    {"--crowd", "N", "crowd", &S::crowd,
     "N instances in a grid, each with its own phase, e.g. --crowd 9", 1, 400,
     "a number from 1 to 400"},
    {"--threads", "N", nullptr, &S::threads,
     "update and prepare each frame on N threads (the same pictures),\n  e.g. --threads 4",
     1, 64},
    {nullptr, "", nullptr, {}, "3D and physics"},
    {"--yaw", "DEG", nullptr, &S::yaw, "turn the puppet (switches the 3D parallax on), e.g. --yaw 25",
     -kInf, kInf, "", true},
    {"--pitch", "DEG", nullptr, &S::pitch, "tilt it forward or back, e.g. --pitch 10", -kInf, kInf,
     "", true},
    {"--roll", "DEG", nullptr, &S::roll, "lean it sideways, e.g. --roll 5", -kInf, kInf, "", true},
    {"--turn", "DEG[:PERIOD_MS]", nullptr, &S::turn,
     "sweep the yaw back and forth, e.g. --turn 30:4000", -kInf, kInf, "", true},
    {"--pivot", "X,Y", "setup3d.pivot", &S::pivot,
     "3D pivot in model units (default 0,0), e.g. --pivot 0,-330", -kInf, kInf, "", true},
    {"--focal", "F", "setup3d.focal", &S::focal, "focal distance (default 1500)", -kInf, kInf, "",
     true},
    {"--curve", "RX,RY", "setup3d.curve", &S::curve,
     "cylinder radii (default 0,0: flat), e.g. --curve 160,0", -kInf, kInf, "", true},
    {"--strength3d", "DEPTH,PERSPECTIVE", "setup3d.strength", &S::strength3D,
     "depth and perspective strength (default 1,1)", -kInf, kInf, "", true},
    {"--wind", "X,Y", nullptr, &S::wind, "global wind on the springs, e.g. --wind 40,0"},
    {nullptr, "", nullptr, {}, "Output (at least one)"},
    {"--output", "DIR", nullptr, &S::outputDir, "write every frame as DIR/frame-0000.png, ..."},
    {"--gif", "FILE", nullptr, &S::gif, "write one looping animated GIF, e.g. --gif out/hero.gif"},
    {"--contact-sheet", "FILE", nullptr, &S::contactSheet, "tile chosen frames into one PNG"},
    {"--sheet-frames", "I,J,...", nullptr, &S::sheetFrames,
     "the frames for the sheet (default: --sheet-count evenly spaced)"},
    {"--sheet-count", "N", nullptr, &S::sheetCount, "default 8", 1, 1000},
    {"--sheet-columns", "N", nullptr, &S::sheetColumns, "default 4", 1, 100},
    {"--thumb-scale", "F", nullptr, &S::thumbScale,
     "size of each tile relative to a frame (default 0.5)", kAboveZero, 1},
    {"--still", "FILE", nullptr, &S::still, "write only the last frame as a PNG"},
    {"--trace", "", nullptr, &S::trace, "print the draw records of the last frame on stdout"},
    {"--events", "", nullptr, &S::events,
     "print every event the motions announce on stdout,\nwith its frame, instance and lateMs"},
    {"--quiet", "", nullptr, &S::quiet, "no summary line"},
    {"--help", "", nullptr, &S::help, "this text"},
};
// clang-format on

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (size_t end; (end = text.find(separator)) != std::string_view::npos;) {
        parts.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    parts.push_back(text);
    return parts;
}

// "#rrggbb", "#rrggbbaa" (the # optional), "transparent" or "none".
bool ParseColor(std::string_view text, Color& color) {
    const std::string_view hex = text.substr(text.starts_with('#') ? 1 : 0);
    const char* end = hex.data() + hex.size();
    uint32_t v = 0;
    if (text == "transparent" || text == "none") {
        color = Color{0, 0, 0, 0};
    } else if ((hex.size() != 6 && hex.size() != 8) ||
               std::from_chars(hex.data(), end, v, 16).ptr != end) {
        return false;
    } else {
        v = hex.size() == 6 ? v << 8 | 0xff : v;
        color = Color{
            static_cast<float>(v >> 24) / 255.0f, static_cast<float>(v >> 16 & 0xff) / 255.0f,
            static_cast<float>(v >> 8 & 0xff) / 255.0f, static_cast<float>(v & 0xff) / 255.0f};
    }
    return true;
}

// A whole number within +-1e9, or any finite number.
template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double parsed = std::is_integral_v<T>
                              ? static_cast<double>(std::strtol(copy.c_str(), &end, 10))
                              : std::strtod(copy.c_str(), &end);
    const bool ok = !copy.empty() && end == copy.c_str() + copy.size() && errno != ERANGE &&
                    std::isfinite(parsed) && (!std::is_integral_v<T> || std::fabs(parsed) <= 1e9);
    value = ok ? static_cast<T>(parsed) : value;
    return ok;
}

// A command-line value into a field; false when the value is refused.
bool FromText(std::string_view text, bool& out, const Row&) {
    return out = text.empty();
}
bool FromText(std::string_view text, std::string& out, const Row&) {
    return !(out = text).empty();
}
template <typename T>
bool FromText(std::string_view text, T& out, const Row& row) requires std::is_arithmetic_v<T> {
    return ParseNumber(text, out) && out >= row.lo && out <= row.hi && !(row.nonZero && out == 0);
}
bool FromText(std::string_view text, Size& out, const Row& row) {
    const auto p = Split(text, 'x');
    return p.size() == 2 && FromText(p[0], out.width, row) && FromText(p[1], out.height, row);
}
bool FromText(std::string_view text, Vec2& out, const Row&) {
    const auto p = Split(text, ',');
    return p.size() == 2 && ParseNumber(p[0], out.x) && ParseNumber(p[1], out.y);
}
bool FromText(std::string_view text, Color& out, const Row&) {
    return ParseColor(text, out);
}
bool FromText(std::string_view text, MotionRequest& out, const Row&) {
    const auto p = Split(text, ':');
    out.name = p[0];
    return !out.name.empty() && p.size() <= 2 && (p.size() < 2 || ParseNumber(p[1], out.speed));
}
bool FromText(std::string_view text, OverlayRequest& out, const Row&) {
    const auto p = Split(text, ':');
    out.name = p[0];
    return !out.name.empty() && p.size() <= 3 && (p.size() < 2 || ParseNumber(p[1], out.weight)) &&
           (p.size() < 3 || ParseNumber(p[2], out.speed));
}
bool FromText(std::string_view text, Turn& out, const Row&) {
    const auto p = Split(text, ':');
    return p.size() <= 2 && ParseNumber(p[0], out.degrees) &&
           (p.size() < 2 || (ParseNumber(p[1], out.periodMs) && out.periodMs > 0.0f));
}
bool FromText(std::string_view text, std::vector<int>& out, const Row&) {
    out.clear();
    for (const std::string_view part : Split(text, ',')) {
        if (!ParseNumber(part, out.emplace_back()) || out.back() < 0) {
            return false;
        }
    }
    return true;
}
template <typename T>
bool FromText(std::string_view text, std::optional<T>& out, const Row& row) {
    return FromText(text, out.emplace(), row);
}
// A repeatable option adds one more value each time.
template <typename T>
bool FromText(std::string_view text, std::vector<T>& out, const Row& row) {
    return FromText(text, out.emplace_back(), row);
}

// A timeline value into a field; on failure `error` says what was expected.
// Settings that only the command line gives have no timeline key.
template <typename T>
bool FromJson(const JsonValue&, T&, const Row&, std::string&) {
    return false;
}
// The key within its object: "pivot" for "setup3d.pivot".
std::string_view Leaf(const Row& row) {
    const std::string_view key = row.key != nullptr ? row.key : "";
    return key.substr(key.starts_with("setup3d.") ? 8 : 0);
}
bool Expected(std::string& error, const Row& row) {
    return MustBe(error, Leaf(row), row.bad);
}
bool FromJson(const JsonValue& v, std::string& out, const Row& row, std::string& error) {
    return ReadName(v, Leaf(row), out, error);
}
bool FromJson(const JsonValue& v, float& out, const Row& row, std::string& error) {
    return ReadNumbers(v, Leaf(row), 1, &out, error) &&
           ((out >= row.lo && out <= row.hi) || Expected(error, row));
}
// Whole numbers are read as numbers and cut to their integer part.
bool FromJson(const JsonValue& v, int& out, const Row& row, std::string& error) {
    float value = 0.0f;
    return (FromJson(v, value, row, error) && (out = static_cast<int>(value), true)) ||
           Expected(error, row);
}
bool FromJson(const JsonValue& v, Vec2& out, const Row& row, std::string& error) {
    float xy[2];
    return ReadNumbers(v, Leaf(row), 2, xy, error) && (out = Vec2{xy[0], xy[1]}, true);
}
bool FromJson(const JsonValue& v, Size& out, const Row& row, std::string& error) {
    return (v.isArray() && v.size() == 2 && FromJson(v.at(0), out.width, row, error) &&
            FromJson(v.at(1), out.height, row, error)) ||
           Expected(error, row);
}
bool FromJson(const JsonValue& v, Color& out, const Row& row, std::string& error) {
    return (v.isString() && ParseColor(v.text, out)) || Expected(error, row);
}
template <typename T>
bool FromJson(const JsonValue& v, std::optional<T>& out, const Row& row, std::string& error) {
    return FromJson(v, out.emplace(), row, error);
}

}  // namespace

bool Refuse(std::string& error, std::string message) {
    error = std::move(message);
    return false;
}

bool MustBe(std::string& error, std::string_view key, const std::string& what) {
    // Built by appending: GCC 12 at -O3 warns (-Wrestrict, wrongly) about
    // the insert that "\"" + std::string(key) becomes.
    std::string message(1, '"');
    message.append(key);
    message += "\" must be ";
    message += what;
    return Refuse(error, std::move(message));
}

bool ReadNumbers(const JsonValue& v, std::string_view key, size_t count, float* out,
                 std::string& error) {
    bool ok = count == 1 ? v.isNumber() : v.isArray() && v.size() == count;
    for (size_t i = 0; ok && i < count; ++i) {
        const JsonValue& item = count == 1 ? v : v.at(i);
        out[i] = static_cast<float>(item.number);
        ok = item.isNumber() && std::isfinite(item.number);
    }
    return ok ||
           MustBe(error, key,
                  count == 1 ? "a number" : "an array of " + std::to_string(count) + " numbers");
}

bool ReadName(const JsonValue& v, std::string_view key, std::string& out, std::string& error) {
    out = v.text;
    return (v.isString() && !out.empty()) || MustBe(error, key, "a non-empty string");
}

bool ParseCommandLine(const std::vector<std::string>& args, Settings& settings,
                      std::string& error) {
    std::string model;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool positional = arg.size() < 2 || arg[0] != '-';
        if (positional && !model.empty()) {
            return Refuse(error,
                          "more than one model file given: '" + model + "' and '" + arg + "'");
        }
        model = positional ? arg : model;
        const size_t equals = positional ? std::string::npos : arg.find('=');
        const std::string name = positional ? "MODEL.json" : arg.substr(0, equals);
        const std::string wanted = name == "-h" ? "--help" : name;
        const Row* found = std::find_if(std::begin(kRows), std::end(kRows), [&](const Row& r) {
            return r.option != nullptr && wanted == r.option;
        });
        if (found == std::end(kRows)) {
            return Refuse(error, "unknown option '" + name + "' (see --help)");
        }
        const Row& row = *found;
        const bool flag = row.arg[0] == '\0', inlined = equals != std::string::npos;
        if (flag && inlined) {
            return Refuse(error, "option " + name + " takes no value");
        } else if (!flag && !inlined && i + 1 >= args.size()) {
            return Refuse(error, "option " + name + " needs a value: " + name + " " + row.arg);
        }
        const std::string value = positional ? arg
                                  : inlined  ? arg.substr(equals + 1)
                                  : flag     ? ""
                                             : args[++i];
        if (!std::visit([&](auto field) { return FromText(value, settings.*field, row); },
                        row.field)) {
            return Refuse(error,
                          "bad value '" + value + "' for " + name + " (expected " + row.arg + ")");
        }
        settings.enable3D = settings.enable3D || row.enables3D;
    }
    return true;
}

bool ReadTimelineSettings(const JsonValue& root, Settings& settings, std::string& error) {
    const JsonValue& setup = root.get("setup3d");
    if (root.has("setup3d") && !setup.isObject()) {
        return Refuse(error, "\"setup3d\" must be an object");
    }
    settings.enable3D = root.has("setup3d");
    for (const Row& row : kRows) {
        const bool nested = Leaf(row).size() < std::string_view(row.key ? row.key : "").size();
        const JsonValue& object = nested ? setup : root;
        if (row.key == nullptr || !object.has(Leaf(row))) {
            continue;
        }
        if (!std::visit(
                [&](auto field) {
                    return FromJson(object.get(Leaf(row)), settings.*field, row, error);
                },
                row.field)) {
            return Refuse(error, (nested ? "in \"setup3d\": " : "") + error);
        }
    }
    return true;
}

void Resolve(Settings& s) {
    if (!s.frames) {
        s.frames = s.durationMs
                       ? std::max(1, static_cast<int>(std::lround(*s.durationMs * s.fps / 1000.0f)))
                       : 60;
    }
    if (!s.origin) {
        s.origin = Vec2{static_cast<float>(s.size.width) * 0.5f,
                        static_cast<float>(s.size.height) - 30.0f};
    }
    // Without a list, the sheet shows --sheet-count frames spread evenly.
    const int count = s.sheetFrames.empty() ? std::min(s.sheetCount, *s.frames) : 0;
    for (int i = 0; i < count; ++i) {
        s.sheetFrames.push_back(count == 1 ? 0 : i * (*s.frames - 1) / (count - 1));
    }
}

Failures& FailureLog() {
    static Failures log;
    return log;
}

int Fail(int code, const std::string& message) {
    FailureLog().last = message;
    if (FailureLog().print) {
        std::fprintf(stderr, "kivanime-player: error: %s\n", message.c_str());
    }
    return code;
}

std::string HelpText() {
    std::string text =
        "Usage: kivanime-player [MODEL.json] [options]\n\n"
        "Renders a kivanime puppet to PNG frames, an animated GIF and a contact sheet.\n"
        "The kivanime library is loaded at run time, the way a game engine loads it.\n";
    const std::string indent(30, ' ');
    for (const Row& row : kRows) {
        if (row.option == nullptr) {
            text += row.key == nullptr ? "\n" + std::string(row.help) + "\n" : "";
            continue;
        }
        std::string head = "  " + std::string(row.option) + (row.arg[0] ? " " : "") + row.arg;
        head += head.size() < indent.size() ? std::string(indent.size() - head.size(), ' ')
                                            : "\n" + indent;
        for (const std::string_view part : Split(row.help, '\n')) {
            text += head + std::string(part) + "\n";
            head = indent;
        }
    }
    text += "\nTimeline commands (docs/player.md)\n";
    std::string line = " ";
    const std::string commands = TimelineCommandList();
    for (const std::string_view command : Split(commands, ' ')) {
        if (line.size() + command.size() > 78) {
            text += line + "\n";
            line = " ";
        }
        line += " " + std::string(command);
    }
    text += line + "\n";
    return text + R"(
Examples
  kivanime-player examples/hero/model.json --motion idle --expression smile --gif out/idle.gif
  kivanime-player examples/hero/model.json --motion walk --overlay wave:0.7 --turn 30 \
      --frames 100 --output out/frames
  kivanime-player --timeline examples/hero/scene.json --gif out/hero.gif \
      --contact-sheet out/hero-sheet.png

Exit codes
  0 success, 1 output not written, 2 bad command line, 3 library not loadable,
  4 model, motion, expression, timeline or sound file not loadable, 5 unknown
  motion, expression, skin, part, texture or parameter name, 6 texture file
  missing or not a PNG
)";
}

}  // namespace kivanime_player
