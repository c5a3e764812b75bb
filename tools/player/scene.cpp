#include "scene.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "gif_writer.h"
#include "host.h"
#include "image_io.h"

#if defined(_WIN32)
#include <io.h>
#define KIVANIME_PLAYER_ISATTY(fd) _isatty(fd)
#define KIVANIME_PLAYER_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define KIVANIME_PLAYER_ISATTY(fd) isatty(fd)
#define KIVANIME_PLAYER_FILENO(f) fileno(f)
#endif

namespace kivanime_player {

namespace {

namespace fs = std::filesystem;

constexpr const char* kModelName = "puppet";
constexpr float kPi = 3.14159265f;
// Crowd members start this far apart in time, so they do not move in step.
constexpr float kCrowdPhaseMs = 173.0f;

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "kivanime-player: error: %s\n", message.c_str());
    return code;
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path PathFromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

// The scene's settings: the command line first, then the timeline, then the
// player's defaults.
struct Settings {
    int width = 512;
    int height = 512;
    float fps = 25.0f;
    int frames = 60;
    Vec2 origin;
    float scale = 1.0f;
    float alpha = 1.0f;
    Color background{0xf3 / 255.0f, 0xef / 255.0f, 0xe6 / 255.0f, 1.0f};
    int crowd = 1;
    bool enable3D = false;
    Vec2 pivot;
    float focal = 1500.0f;
    Vec2 curve;
    Vec2 strength3D{1.0f, 1.0f};
    Angles angles;
    float turn = 0.0f;
    float turnPeriodMs = 4000.0f;
};

Settings Resolve(const Options& o, const Timeline& t) {
    Settings s;
    s.width = o.width.value_or(t.width.value_or(s.width));
    s.height = o.height.value_or(t.height.value_or(s.height));
    s.fps = o.fps.value_or(t.fps.value_or(s.fps));
    if (o.frames) {
        s.frames = *o.frames;
    } else if (t.durationMs) {
        s.frames = std::max(1, static_cast<int>(std::lround(*t.durationMs * s.fps / 1000.0f)));
    }
    s.origin = o.origin.value_or(t.origin.value_or(
        Vec2{static_cast<float>(s.width) * 0.5f, static_cast<float>(s.height) - 30.0f}));
    s.scale = o.scale.value_or(t.scale.value_or(1.0f));
    s.alpha = o.alpha.value_or(1.0f);
    s.background = o.background.value_or(t.background.value_or(s.background));
    s.crowd = o.crowd.value_or(t.crowd.value_or(1));
    s.enable3D = t.enable3D || o.yaw || o.pitch || o.roll || o.turn || o.pivot || o.focal ||
                 o.curve || o.strength3D;
    s.pivot = o.pivot.value_or(t.pivot.value_or(Vec2{}));
    s.focal = o.focal.value_or(t.focal.value_or(s.focal));
    s.curve = o.curve.value_or(t.curve.value_or(Vec2{}));
    s.strength3D = o.strength3D.value_or(t.strength3D.value_or(s.strength3D));
    s.angles = Angles{o.yaw.value_or(0.0f), o.pitch.value_or(0.0f), o.roll.value_or(0.0f)};
    s.turn = o.turn.value_or(0.0f);
    s.turnPeriodMs = o.turnPeriodMs;
    return s;
}

// A linear-in-time value eased in and out, for angles, wind and positions.
struct Tween {
    float from[3] = {0, 0, 0};
    float to[3] = {0, 0, 0};
    float startMs = 0.0f;
    float lengthMs = 0.0f;

    void Start(const float* current, const float* target, int n, float now, float length) {
        std::copy(current, current + n, from);
        std::copy(target, target + n, to);
        startMs = now;
        lengthMs = length;
    }
    float At(int i, float now) const {
        if (lengthMs <= 0.0f || now >= startMs + lengthMs) {
            return to[i];
        }
        const float u = std::clamp((now - startMs) / lengthMs, 0.0f, 1.0f);
        const float e = u * u * (3.0f - 2.0f * u);
        return from[i] + (to[i] - from[i]) * e;
    }
};

struct Puppet {
    uint32_t id = 0;
    Vec2 cell;  // where this member's origin sits when the scene origin is the default
    float cellScale = 1.0f;
    Tween position;    // in frame pixels
    std::string then;  // motion to play when the current one has finished
};

class Scene {
public:
    Scene(const AnimeApi& api, const Options& options, const Timeline& timeline)
        : api_(api), options_(options), timeline_(timeline), s_(Resolve(options, timeline)) {}

    int Run();

private:
    int Load();
    int CheckNames();
    int CheckOutputs();
    void CreatePuppets();
    void Apply(const TimelineEvent& e, float now);
    void ApplyTweens(float now);
    int WriteFrame(int frame, const Image& canvas);
    int Finish();
    Vec2 PuppetOrigin(const Puppet& p, Vec2 sceneOrigin) const;

    const AnimeApi& api_;
    const Options& options_;
    const Timeline& timeline_;
    Settings s_;
    std::vector<Puppet> puppets_;
    Tween angles_;
    Tween wind_;
    Vec2 sceneOrigin_;
    GifWriter gif_;
    bool gifOpen_ = false;
    std::vector<int> sheetFrames_;
    std::map<int, Image> thumbs_;
};

int Scene::Load() {
    const AnimeHostCallbacks callbacks = HostCallbacks();
    api_.Init(&callbacks);
    const std::string& model = options_.model;
    if (!api_.LoadModel(kModelName, model.c_str())) {
        const bool exists = fs::is_regular_file(PathFromUtf8(model));
        return Fail(kExitLoad, "cannot load the model '" + model +
                                   "': " + (exists ? "it is not a JSON object" : "no such file"));
    }
    // Motion and expression files that live beside the model.
    std::vector<std::string> motions;
    std::vector<std::string> expressions;
    const fs::path dir = PathFromUtf8(model).parent_path();
    for (const auto& [folder, list] :
         {std::pair<const char*, std::vector<std::string>*>{"motions", &motions},
          std::pair<const char*, std::vector<std::string>*>{"expressions", &expressions}}) {
        std::error_code ec;
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir / folder, ec)) {
            if (entry.is_regular_file() && entry.path().extension() == ".json") {
                found.push_back(Utf8(entry.path()));
            }
        }
        std::sort(found.begin(), found.end());
        list->insert(list->end(), found.begin(), found.end());
    }
    motions.insert(motions.end(), options_.motionFiles.begin(), options_.motionFiles.end());
    expressions.insert(expressions.end(), options_.expressionFiles.begin(),
                       options_.expressionFiles.end());
    for (const std::string& file : motions) {
        if (!api_.LoadMotion(kModelName, file.c_str())) {
            return Fail(kExitLoad, "cannot load the motion file '" + file + "'");
        }
    }
    for (const std::string& file : expressions) {
        if (!api_.LoadExpression(kModelName, file.c_str())) {
            return Fail(kExitLoad, "cannot load the expression file '" + file + "'");
        }
    }
    return kExitOk;
}

// Every name the scene will use is tried once on a scratch instance, so that
// a typo stops the run before any output is written. The scratch instance
// also loads every texture, so missing files show here.
int Scene::CheckNames() {
    ClearTextureFailures();
    const uint32_t probe = api_.CreateInstance(kModelName);
    if (probe == 0) {
        return Fail(kExitLoad, "the library refused to create an instance of the model");
    }
    if (!TextureFailures().empty()) {
        const TextureFailure& f = TextureFailures().front();
        api_.DestroyInstance(probe);
        return Fail(kExitTexture, "cannot load the texture '" + f.path + "': " + f.reason);
    }
    auto check = [&](const std::string& name, bool expression, const std::string& where) -> int {
        const int32_t ok = expression ? api_.SetExpression(probe, name.c_str())
                                      : api_.PlayMotion(probe, name.c_str(), 1.0f);
        if (ok) {
            return kExitOk;
        }
        return Fail(kExitName, std::string("the model has no ") +
                                   (expression ? "expression" : "motion") + " '" + name + "' (" +
                                   where + ")");
    };
    int result = kExitOk;
    if (options_.motion) {
        result = check(options_.motion->name, false, "--motion");
    }
    for (const OverlayRequest& r : options_.overlays) {
        result = result != kExitOk ? result : check(r.name, false, "--overlay");
    }
    if (options_.expression && result == kExitOk) {
        result = check(*options_.expression, true, "--expression");
    }
    for (const TimelineEvent& e : timeline_.events) {
        if (result != kExitOk) {
            break;
        }
        const std::string where = "timeline event " + std::to_string(e.index);
        if (e.kind == EventKind::Motion || e.kind == EventKind::Overlay ||
            e.kind == EventKind::StopOverlay) {
            result = check(e.name, false, where);
            if (result == kExitOk && !e.then.empty()) {
                result = check(e.then, false, where);
            }
        } else if (e.kind == EventKind::Expression) {
            result = check(e.name, true, where);
        }
    }
    api_.DestroyInstance(probe);
    return result;
}

int Scene::CheckOutputs() {
    for (const int frame : options_.sheetFrames) {
        if (frame >= s_.frames) {
            return Fail(kExitUsage, "--sheet-frames names frame " + std::to_string(frame) +
                                        ", but the last frame is " + std::to_string(s_.frames - 1));
        }
    }
    sheetFrames_ = options_.sheetFrames;
    if (sheetFrames_.empty() && !options_.contactSheet.empty()) {
        const int count = std::min(options_.sheetCount, s_.frames);
        for (int i = 0; i < count; ++i) {
            sheetFrames_.push_back(count == 1 ? 0 : i * (s_.frames - 1) / (count - 1));
        }
    }
    std::error_code ec;
    if (!options_.outputDir.empty()) {
        fs::create_directories(PathFromUtf8(options_.outputDir), ec);
        if (!fs::is_directory(PathFromUtf8(options_.outputDir))) {
            return Fail(kExitOutput, "cannot create the folder '" + options_.outputDir + "'");
        }
    }
    for (const std::string* file : {&options_.gif, &options_.contactSheet, &options_.still}) {
        const fs::path parent = PathFromUtf8(*file).parent_path();
        if (!file->empty() && !parent.empty()) {
            fs::create_directories(parent, ec);
        }
    }
    return kExitOk;
}

Vec2 Scene::PuppetOrigin(const Puppet& p, Vec2 sceneOrigin) const {
    const float defaultX = static_cast<float>(s_.width) * 0.5f;
    const float defaultY = static_cast<float>(s_.height) - 30.0f;
    return Vec2{p.cell.x + (sceneOrigin.x - defaultX) * p.cellScale,
                p.cell.y + (sceneOrigin.y - defaultY) * p.cellScale};
}

void Scene::CreatePuppets() {
    const int n = s_.crowd;
    const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    const int rows = (n + columns - 1) / columns;
    const float cellScale = 1.0f / static_cast<float>(std::max(columns, rows));
    const float cellW = static_cast<float>(s_.width) / static_cast<float>(columns);
    const float cellH = static_cast<float>(s_.height) / static_cast<float>(rows);
    sceneOrigin_ = s_.origin;
    const float angles[3] = {s_.angles.yaw, s_.angles.pitch, s_.angles.roll};
    angles_.Start(angles, angles, 3, 0.0f, 0.0f);
    for (int k = 0; k < n; ++k) {
        Puppet p;
        p.id = api_.CreateInstance(kModelName);
        const int column = k % columns;
        const int row = k / columns;
        p.cellScale = cellScale;
        p.cell = n == 1 ? Vec2{static_cast<float>(s_.width) * 0.5f,
                               static_cast<float>(s_.height) - 30.0f}
                        : Vec2{(static_cast<float>(column) + 0.5f) * cellW,
                               (static_cast<float>(row) + 1.0f) * cellH - 30.0f * cellScale};
        const Vec2 at = PuppetOrigin(p, sceneOrigin_);
        const float position[2] = {at.x, at.y};
        p.position.Start(position, position, 2, 0.0f, 0.0f);
        api_.SetPosition(p.id, at.x, at.y);
        api_.SetScale(p.id, s_.scale * cellScale, std::fabs(s_.scale) * cellScale);
        api_.SetAlpha(p.id, s_.alpha);
        api_.SetDrawOrder(p.id, row);  // lower rows stand in front
        if (s_.enable3D) {
            api_.Set3DSetup(p.id, 1, s_.pivot.x, s_.pivot.y, s_.focal, s_.curve.x, s_.curve.y);
            api_.Set3DStrength(p.id, s_.strength3D.x, s_.strength3D.y);
            api_.Set3DAngles(p.id, angles[0], angles[1], angles[2]);
        }
        if (options_.motion) {
            api_.PlayMotion(p.id, options_.motion->name.c_str(), options_.motion->speed);
        }
        for (const OverlayRequest& r : options_.overlays) {
            api_.PlayOverlay(p.id, r.name.c_str(), r.speed, r.weight);
        }
        if (options_.expression) {
            api_.SetExpression(p.id, options_.expression->c_str());
        }
        puppets_.push_back(p);
    }
    if (options_.wind) {
        api_.SetGlobalWind(options_.wind->x, options_.wind->y);
    }
}

void Scene::Apply(const TimelineEvent& e, float now) {
    auto current3 = [&](const Tween& t, float* out, int n) {
        for (int i = 0; i < n; ++i) {
            out[i] = t.At(i, now);
        }
    };
    float values[3];
    switch (e.kind) {
        case EventKind::Angles:
            current3(angles_, values, 3);
            angles_.Start(values, e.values, 3, now, e.overMs);
            return;
        case EventKind::Wind:
            current3(wind_, values, 2);
            wind_.Start(values, e.values, 2, now, e.overMs);
            return;
        case EventKind::GlobalWind:
            api_.SetGlobalWind(e.values[0], e.values[1]);
            return;
        case EventKind::Position:
            sceneOrigin_ = Vec2{e.values[0], e.values[1]};
            for (Puppet& p : puppets_) {
                float from[2];
                api_.GetPosition(p.id, &from[0], &from[1]);
                const Vec2 to = PuppetOrigin(p, sceneOrigin_);
                const float target[2] = {to.x, to.y};
                p.position.Start(from, target, 2, now, e.overMs);
            }
            return;
        default:
            break;
    }
    for (Puppet& p : puppets_) {
        const char* name = e.name.c_str();
        switch (e.kind) {
            case EventKind::Motion:
                api_.PlayMotion(p.id, name, e.speed);
                p.then = e.then;
                break;
            case EventKind::StopMotion:
                if (e.flag) {
                    api_.StopMotion(p.id);
                    p.then.clear();
                }
                break;
            case EventKind::Overlay:
                api_.PlayOverlay(p.id, name, e.speed, e.weight);
                break;
            case EventKind::StopOverlay:
                api_.StopOverlay(p.id, name);
                break;
            case EventKind::StopAllOverlays:
                if (e.flag) {
                    api_.StopAllOverlays(p.id);
                }
                break;
            case EventKind::Expression:
                api_.SetExpression(p.id, name);
                break;
            case EventKind::ClearExpression:
                if (e.flag) {
                    api_.ClearExpression(p.id);
                }
                break;
            case EventKind::Scale:
                api_.SetScale(p.id, e.values[0] * p.cellScale, e.values[1] * p.cellScale);
                break;
            case EventKind::Alpha:
                api_.SetAlpha(p.id, e.values[0]);
                break;
            case EventKind::Visible:
                api_.SetVisible(p.id, e.flag ? 1 : 0);
                break;
            case EventKind::ResetPhysics:
                if (e.flag) {
                    api_.ResetPhysics(p.id);
                }
                break;
            default:
                break;
        }
    }
}

void Scene::ApplyTweens(float now) {
    const float sweep =
        s_.turn != 0.0f ? s_.turn * std::sin(2.0f * kPi * now / s_.turnPeriodMs) : 0.0f;
    for (Puppet& p : puppets_) {
        api_.SetPosition(p.id, p.position.At(0, now), p.position.At(1, now));
        api_.SetWind(p.id, wind_.At(0, now), wind_.At(1, now));
        if (s_.enable3D) {
            api_.Set3DAngles(p.id, angles_.At(0, now) + sweep, angles_.At(1, now),
                             angles_.At(2, now));
        }
        // A finished motion hands over to its follow-up.
        if (!p.then.empty() && !api_.IsMotionPlaying(p.id) && api_.IsMotionFinished(p.id)) {
            api_.PlayMotion(p.id, p.then.c_str(), 1.0f);
            p.then.clear();
        }
    }
}

int Scene::WriteFrame(int frame, const Image& canvas) {
    std::string error;
    const bool last = frame == s_.frames - 1;
    const bool needPixels = !options_.outputDir.empty() || gifOpen_ || !options_.gif.empty() ||
                            (last && !options_.still.empty());
    Rgba8Image rgba;
    if (needPixels) {
        rgba = ToRgba8(canvas);
    }
    if (!options_.outputDir.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", frame);
        const std::string path = Utf8(PathFromUtf8(options_.outputDir) / name);
        if (!WritePng(path, rgba, error)) {
            return Fail(kExitOutput, "cannot write '" + path + "': " + error);
        }
    }
    if (!options_.gif.empty()) {
        // GIF has no partial transparency: a clear background becomes white.
        Rgba8Image opaque = rgba;
        for (size_t i = 0; i < opaque.pixels.size(); i += 4) {
            const float a = opaque.pixels[i + 3] / 255.0f;
            for (int c = 0; c < 3; ++c) {
                opaque.pixels[i + c] =
                    static_cast<uint8_t>(opaque.pixels[i + c] * a + 255.0f * (1.0f - a) + 0.5f);
            }
            opaque.pixels[i + 3] = 255;
        }
        if (!gifOpen_) {
            std::vector<uint8_t> samples = TextureColorSamples(Color{1, 1, 1, 1});
            if (s_.background.a > 0.0f) {
                samples = TextureColorSamples(s_.background);
            }
            for (size_t i = 0; i < opaque.pixels.size(); i += 4) {
                samples.insert(samples.end(), &opaque.pixels[i], &opaque.pixels[i] + 3);
            }
            if (!gif_.Open(options_.gif, s_.width, s_.height, samples, error)) {
                return Fail(kExitOutput, "cannot write '" + options_.gif + "': " + error);
            }
            gifOpen_ = true;
        }
        // Delays in hundredths of a second, rounded so that they add up.
        const int delay = static_cast<int>(std::lround((frame + 1) * 100.0 / s_.fps)) -
                          static_cast<int>(std::lround(frame * 100.0 / s_.fps));
        if (!gif_.AddFrame(opaque, delay, error)) {
            return Fail(kExitOutput, "cannot write '" + options_.gif + "': " + error);
        }
    }
    if (std::find(sheetFrames_.begin(), sheetFrames_.end(), frame) != sheetFrames_.end()) {
        thumbs_[frame] = Downscale(canvas, options_.thumbScale);
    }
    if (last && !options_.still.empty() && !WritePng(options_.still, rgba, error)) {
        return Fail(kExitOutput, "cannot write '" + options_.still + "': " + error);
    }
    return kExitOk;
}

int Scene::Finish() {
    std::string error;
    if (gifOpen_ && !gif_.Close(error)) {
        return Fail(kExitOutput, "cannot write '" + options_.gif + "': " + error);
    }
    if (!options_.contactSheet.empty() && !thumbs_.empty()) {
        const int gutter = 6;
        const int tileW = thumbs_.begin()->second.width;
        const int tileH = thumbs_.begin()->second.height;
        const int count = static_cast<int>(sheetFrames_.size());
        const int columns = std::min(options_.sheetColumns, count);
        const int rows = (count + columns - 1) / columns;
        Image sheet(columns * (tileW + gutter) + gutter, rows * (tileH + gutter) + gutter);
        Clear(sheet, Color{0.22f, 0.22f, 0.25f, 1.0f});
        for (int i = 0; i < count; ++i) {
            Blit(sheet, thumbs_[sheetFrames_[static_cast<size_t>(i)]],
                 gutter + (i % columns) * (tileW + gutter),
                 gutter + (i / columns) * (tileH + gutter));
        }
        if (!WritePng(options_.contactSheet, ToRgba8(sheet), error)) {
            return Fail(kExitOutput, "cannot write '" + options_.contactSheet + "': " + error);
        }
    }
    return kExitOk;
}

int Scene::Run() {
    int result = Load();
    if (result == kExitOk) {
        result = CheckNames();
    }
    if (result == kExitOk) {
        result = CheckOutputs();
    }
    if (result != kExitOk) {
        api_.UnloadAll();
        return result;
    }
    CreatePuppets();
    if (api_.GetInstanceCount() != static_cast<int32_t>(puppets_.size())) {
        api_.UnloadAll();
        return Fail(kExitLoad, "the library did not create every instance");
    }

    // Commands at time 0 come before the crowd's phases are spread, so that
    // each member starts its motions at its own moment.
    size_t next = 0;
    const std::vector<TimelineEvent>& events = timeline_.events;
    while (next < events.size() && events[next].atMs <= 0.0f) {
        Apply(events[next++], 0.0f);
    }
    for (size_t k = 1; k < puppets_.size(); ++k) {
        for (size_t j = 0; j < puppets_.size(); ++j) {
            api_.SetVisible(puppets_[j].id, j >= k ? 1 : 0);
        }
        api_.Update(kCrowdPhaseMs);
    }
    for (const Puppet& p : puppets_) {
        api_.SetVisible(p.id, 1);
    }

    const bool progress =
        !options_.quiet && KIVANIME_PLAYER_ISATTY(KIVANIME_PLAYER_FILENO(stderr)) != 0;
    Image canvas(s_.width, s_.height);
    SetTraceDraws(options_.trace);
    double renderMs = 0.0;
    double worstMs = 0.0;
    long long draws = 0;
    float previous = 0.0f;
    for (int frame = 0; frame < s_.frames; ++frame) {
        const float now = static_cast<float>(frame * 1000.0 / s_.fps);
        while (next < events.size() && events[next].atMs <= now) {
            Apply(events[next++], now);
        }
        ApplyTweens(now);
        api_.Update(now - previous);
        previous = now;

        const auto start = std::chrono::steady_clock::now();
        Clear(canvas, s_.background);
        ResetDrawCount();
        SetDrawTarget(&canvas);
        api_.Render();
        SetDrawTarget(nullptr);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        renderMs += ms;
        worstMs = std::max(worstMs, ms);
        draws += Counters().draws;

        result = WriteFrame(frame, canvas);
        if (result != kExitOk) {
            break;
        }
        if (progress) {
            const int width = 30;
            const int filled = (frame + 1) * width / s_.frames;
            std::fprintf(stderr, "\r[%s%s] %d/%d",
                         std::string(static_cast<size_t>(filled), '#').c_str(),
                         std::string(static_cast<size_t>(width - filled), '.').c_str(), frame + 1,
                         s_.frames);
            std::fflush(stderr);
        }
    }
    if (progress) {
        std::fputc('\n', stderr);
    }
    if (result == kExitOk) {
        result = Finish();
    }
    if (result == kExitOk && options_.trace) {
        std::printf("# texture x y rotation scaleX scaleY alpha anchorX anchorY src\n");
        for (const TracedDraw& d : TracedDraws()) {
            const AnimeDrawParams& p = d.params;
            std::printf("%s %.2f %.2f %.4f %.4f %.4f %.3f %.3f %.3f %g,%g,%g,%g\n",
                        d.texturePath.c_str(), p.x, p.y, p.rotation, p.scaleX, p.scaleY, p.alpha,
                        p.anchorX, p.anchorY, p.srcX, p.srcY, p.srcWidth, p.srcHeight);
        }
    }

    api_.DestroyAllInstances();
    const bool leftOver = api_.HasInstances() != 0 || api_.GetInstanceCount() != 0;
    api_.UnloadModel(kModelName);
    api_.Shutdown();
    if (leftOver || Counters().loads != Counters().releases) {
        std::fprintf(stderr,
                     "kivanime-player: warning: the library left %lld of %lld textures "
                     "unreleased%s\n",
                     Counters().loads - Counters().releases, Counters().loads,
                     leftOver ? " and instances alive" : "");
    }
    if (result == kExitOk && !options_.quiet) {
        std::printf(
            "%d frames of %dx%d, %d instance%s, %.1f draws per frame, render %.2f ms per "
            "frame (slowest %.2f ms)\n",
            s_.frames, s_.width, s_.height, s_.crowd, s_.crowd == 1 ? "" : "s",
            static_cast<double>(draws) / s_.frames, renderMs / s_.frames, worstMs);
    }
    return result;
}

}  // namespace

int RunScene(const AnimeApi& api, const Options& options, const Timeline& timeline) {
    Scene scene(api, options, timeline);
    return scene.Run();
}

}  // namespace kivanime_player
