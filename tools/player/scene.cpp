#include "scene.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <system_error>

#include <unistd.h>

#include "gif_writer.h"

namespace kivanime_player {

namespace {

namespace fs = std::filesystem;

constexpr const char* kModelName = "puppet";
constexpr float kPi = 3.14159265f;
// Crowd members start this far apart in time, so they do not move in step.
constexpr float kCrowdPhaseMs = 173.0f;

// A value eased in and out over time, for angles, wind and positions.
struct Tween {
    float from[3] = {0, 0, 0};
    float to[3] = {0, 0, 0};
    float startMs = 0.0f;
    float lengthMs = 0.0f;

    // Starts from wherever the value is at `now`.
    void Start(std::initializer_list<float> target, float now, float length) {
        for (size_t i = 0; i < target.size(); ++i) {
            from[i] = At(static_cast<int>(i), now);
            to[i] = target.begin()[i];
        }
        startMs = now;
        lengthMs = length;
    }
    float At(int i, float now) const {
        if (lengthMs <= 0.0f || now >= startMs + lengthMs) {
            return to[i];
        }
        const float u = std::clamp((now - startMs) / lengthMs, 0.0f, 1.0f);
        return from[i] + (to[i] - from[i]) * (u * u * (3.0f - 2.0f * u));
    }
};

struct Puppet {
    uint32_t id = 0;
    Vec2 cell;  // where this member's origin sits when the scene origin is the default
    float cellScale = 1.0f;
    Tween position;    // in frame pixels
    std::string then;  // motion to play when the current one has finished
    bool visible = true;
};

// The files a run writes, fed one rendered frame at a time.
class Outputs {
public:
    explicit Outputs(const Settings& s) : s_(s) {}

    // Creates the folders the files go into; the GIF's palette also takes the
    // colours of the textures loaded by then.
    int Open() {
        std::error_code ec;
        for (const std::string* file : {&s_.gif, &s_.contactSheet, &s_.still}) {
            fs::create_directories(fs::path(*file).parent_path(), ec);
        }
        if (!s_.outputDir.empty() && !fs::create_directories(s_.outputDir, ec) &&
            !fs::is_directory(s_.outputDir)) {
            return Fail(kExitOutput, "cannot create the folder '" + s_.outputDir + "'");
        }
        if (!s_.gif.empty()) {
            gif_ = std::make_unique<GifWriter>(s_.gif, s_.fps);
            for (const auto& [path, texture] : Host().byPath) {
                if (const std::shared_ptr<const Image> image = texture.lock()) {
                    gif_->AddSamples(*image, s_.background);
                }
            }
        }
        tiles_.resize(s_.contactSheet.empty() ? 0 : s_.sheetFrames.size());
        return kExitOk;
    }

    int Write(int frame, const Image& canvas) {
        const bool still = frame == *s_.frames - 1 && !s_.still.empty();
        const Rgba8Image rgba =
            !s_.outputDir.empty() || gif_ || still ? ToRgba8(canvas) : Rgba8Image{};
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", frame);
        int result =
            s_.outputDir.empty() ? kExitOk : Png((fs::path(s_.outputDir) / name).string(), rgba);
        if (result == kExitOk && gif_ && !gif_->AddFrame(rgba, error_)) {
            result = Failed(s_.gif);
        }
        for (size_t i = 0; i < tiles_.size(); ++i) {
            if (s_.sheetFrames[i] == frame) {
                tiles_[i] = Downscale(canvas, s_.thumbScale);
            }
        }
        return result == kExitOk && still ? Png(s_.still, rgba) : result;
    }

    int Close() {
        if (gif_ && !gif_->Close(error_)) {
            return Failed(s_.gif);
        }
        return tiles_.empty()
                   ? kExitOk
                   : Png(s_.contactSheet, ToRgba8(ComposeSheet(tiles_, s_.sheetColumns)));
    }

private:
    int Png(const std::string& path, const Rgba8Image& image) {
        return WritePng(path, image, error_) ? kExitOk : Failed(path);
    }
    int Failed(const std::string& path) const {
        return Fail(kExitOutput, "cannot write '" + path + "': " + error_);
    }

    const Settings& s_;
    std::string error_;
    std::unique_ptr<GifWriter> gif_;
    std::vector<Image> tiles_;  // the contact sheet's, one per chosen frame
};

class Scene {
public:
    Scene(const AnimeApi& api, const Settings& s, const std::vector<TimelineEvent>& events)
        : api_(api), s_(s), events_(events), outputs_(s) {}

    int Run() {
        int result = Start();
        Image canvas(s_.size.width, s_.size.height);
        for (int frame = 0; result == kExitOk && frame < *s_.frames; ++frame) {
            Advance(static_cast<float>(frame * 1000.0 / s_.fps));
            Render(canvas);
            result = outputs_.Write(frame, canvas);
            ShowProgress(frame + 1);
        }
        return Finish(result == kExitOk ? outputs_.Close() : result);
    }

private:
    int Start() {
        const AnimeHostCallbacks callbacks = HostCallbacks();
        api_.Anime_Init(&callbacks);
        api_.Anime_SetMeshCallback(MeshCallback());
        int result = Load();
        result = result == kExitOk ? CheckNames() : result;
        result = result == kExitOk ? CreatePuppets() : result;
        Host().trace = s_.trace;
        return result == kExitOk ? outputs_.Open() : result;
    }

    int Load() {
        if (!api_.Anime_LoadModel(kModelName, s_.model.c_str())) {
            const bool exists = fs::is_regular_file(s_.model);
            return Fail(kExitLoad, "cannot load the model '" + s_.model + "': " +
                                       (exists ? "it is not a JSON object" : "no such file"));
        }
        // The motion and expression files that live beside the model come first.
        for (const auto& [folder, extra, load, what] :
             {std::tuple{"motions", &s_.motionFiles, api_.Anime_LoadMotion, "motion"},
              {"expressions", &s_.expressionFiles, api_.Anime_LoadExpression, "expression"}}) {
            std::error_code ec;
            std::vector<std::string> files;
            for (const auto& entry :
                 fs::directory_iterator(fs::path(s_.model).parent_path() / folder, ec)) {
                if (entry.is_regular_file() && entry.path().extension() == ".json") {
                    files.push_back(entry.path().string());
                }
            }
            std::sort(files.begin(), files.end());
            files.insert(files.end(), extra->begin(), extra->end());
            for (const std::string& file : files) {
                if (!load(kModelName, file.c_str())) {
                    return Fail(kExitLoad,
                                std::string("cannot load the ") + what + " file '" + file + "'");
                }
            }
        }
        return kExitOk;
    }

    // Every name the scene will use is tried once on a scratch instance, so that
    // a typo stops the run before any output is written. The scratch instance
    // also loads every texture, so missing files show here.
    int CheckNames() {
        const uint32_t probe = api_.Anime_CreateInstance(kModelName);
        if (probe == 0) {
            return Fail(kExitLoad, "the library refused to create an instance of the model");
        }
        const std::string& textureError = Host().textureError;
        int result = textureError.empty() ? kExitOk : Fail(kExitTexture, textureError);
        auto check = [&](const std::string& name, bool expression, const std::string& where) {
            if (result == kExitOk && !name.empty() &&
                !(expression ? api_.Anime_SetExpression(probe, name.c_str())
                             : api_.Anime_PlayMotion(probe, name.c_str(), 1.0f))) {
                result = Fail(kExitName, std::string("the model has no ") +
                                             (expression ? "expression" : "motion") + " '" + name +
                                             "' (" + where + ")");
            }
        };
        check(s_.motion ? s_.motion->name : "", false, "--motion");
        for (const OverlayRequest& r : s_.overlays) {
            check(r.name, false, "--overlay");
        }
        check(s_.expression.value_or(""), true, "--expression");
        for (const TimelineEvent& e : events_) {
            const std::string where = "timeline event " + std::to_string(e.index);
            check(e.name, e.kind == EventKind::Expression, where);
            check(e.then, false, where);
        }
        api_.Anime_DestroyInstance(probe);
        return result;
    }

    int CreatePuppets() {
        const int n = s_.crowd;
        const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
        const int rows = (n + columns - 1) / columns;
        const float cellScale = 1.0f / static_cast<float>(std::max(columns, rows));
        const float cellW = static_cast<float>(s_.size.width) / static_cast<float>(columns);
        const float cellH = static_cast<float>(s_.size.height) / static_cast<float>(rows);
        origin_ = *s_.origin;
        angles_.Start({s_.yaw, s_.pitch, s_.roll}, 0.0f, 0.0f);
        for (int k = 0; k < n; ++k) {
            Puppet& p = puppets_.emplace_back();
            p.id = api_.Anime_CreateInstance(kModelName);
            p.cellScale = cellScale;
            p.cell = Vec2{(static_cast<float>(k % columns) + 0.5f) * cellW,
                          static_cast<float>(k / columns + 1) * cellH - 30.0f * cellScale};
            const Vec2 at = Place(p);
            p.position.Start({at.x, at.y}, 0.0f, 0.0f);
            api_.Anime_SetPosition(p.id, at.x, at.y);
            api_.Anime_SetScale(p.id, s_.scale * cellScale, std::fabs(s_.scale) * cellScale);
            api_.Anime_SetAlpha(p.id, s_.alpha);
            api_.Anime_SetDrawOrder(p.id, k / columns);  // lower rows stand in front
            if (s_.enable3D) {
                api_.Anime_Set3DSetup(p.id, 1, s_.pivot.x, s_.pivot.y, s_.focal, s_.curve.x,
                                      s_.curve.y);
                api_.Anime_Set3DStrength(p.id, s_.strength3D.x, s_.strength3D.y);
                api_.Anime_Set3DAngles(p.id, s_.yaw, s_.pitch, s_.roll);
            }
            if (s_.motion) {
                api_.Anime_PlayMotion(p.id, s_.motion->name.c_str(), s_.motion->speed);
            }
            for (const OverlayRequest& r : s_.overlays) {
                api_.Anime_PlayOverlay(p.id, r.name.c_str(), r.speed, r.weight);
            }
            if (s_.expression) {
                api_.Anime_SetExpression(p.id, s_.expression->c_str());
            }
        }
        if (s_.wind) {
            api_.Anime_SetGlobalWind(s_.wind->x, s_.wind->y);
        }
        if (api_.Anime_GetInstanceCount() != static_cast<int32_t>(puppets_.size())) {
            return Fail(kExitLoad, "the library did not create every instance");
        }
        // Commands at time 0 come before the crowd's phases are spread, so that
        // each member starts its motions at its own moment.
        while (nextEvent_ < events_.size() && events_[nextEvent_].atMs <= 0.0f) {
            Apply(events_[nextEvent_++], 0.0f);
        }
        for (size_t k = 1; k < puppets_.size(); ++k) {
            for (size_t j = 0; j < puppets_.size(); ++j) {
                api_.Anime_SetVisible(puppets_[j].id, j >= k ? 1 : 0);
            }
            api_.Anime_Update(kCrowdPhaseMs);
        }
        for (const Puppet& p : puppets_) {  // as the commands at time 0 left them
            api_.Anime_SetVisible(p.id, p.visible ? 1 : 0);
        }
        return kExitOk;
    }

    void Apply(const TimelineEvent& e, float now) {
        if (!e.flag && e.kind != EventKind::Visible) {
            return;  // "stopMotion": false and the like do nothing
        }
        const char* name = e.name.c_str();
        const float* v = e.values;
        switch (e.kind) {
            case EventKind::Motion:
            case EventKind::StopMotion:
                for (Puppet& p : puppets_) {
                    p.then = e.then;  // a stop (which has none) drops the follow-up too
                }
                return e.kind == EventKind::Motion
                           ? ForEach(&AnimeApi::Anime_PlayMotion, name, e.speed)
                           : ForEach(&AnimeApi::Anime_StopMotion);
            case EventKind::Overlay:
                return ForEach(&AnimeApi::Anime_PlayOverlay, name, e.speed, e.weight);
            case EventKind::StopOverlay:
                return ForEach(&AnimeApi::Anime_StopOverlay, name);
            case EventKind::StopAllOverlays:
                return ForEach(&AnimeApi::Anime_StopAllOverlays);
            case EventKind::Expression:
                return ForEach(&AnimeApi::Anime_SetExpression, name);
            case EventKind::ClearExpression:
                return ForEach(&AnimeApi::Anime_ClearExpression);
            case EventKind::Angles:
                return angles_.Start({v[0], v[1], v[2]}, now, e.overMs);
            case EventKind::Wind:
                return wind_.Start({v[0], v[1]}, now, e.overMs);
            case EventKind::GlobalWind:
                return api_.Anime_SetGlobalWind(v[0], v[1]);
            case EventKind::Position:
                origin_ = Vec2{v[0], v[1]};
                for (Puppet& p : puppets_) {  // from where the library has the instance now
                    p.position = Tween{};
                    api_.Anime_GetPosition(p.id, &p.position.to[0], &p.position.to[1]);
                    const Vec2 to = Place(p);
                    p.position.Start({to.x, to.y}, now, e.overMs);
                }
                return;
            case EventKind::Scale:
                for (const Puppet& p : puppets_) {
                    api_.Anime_SetScale(p.id, v[0] * p.cellScale, v[1] * p.cellScale);
                }
                return;
            case EventKind::Alpha:
                return ForEach(&AnimeApi::Anime_SetAlpha, v[0]);
            case EventKind::Visible:
                for (Puppet& p : puppets_) {
                    p.visible = e.flag;
                }
                return ForEach(&AnimeApi::Anime_SetVisible, e.flag ? 1 : 0);
            case EventKind::ResetPhysics:
                return ForEach(&AnimeApi::Anime_ResetPhysics);
        }
    }

    // Calls one of the library's functions for every member of the crowd.
    template <typename Fn, typename... Args>
    void ForEach(Fn AnimeApi::*function, Args... args) {
        for (const Puppet& p : puppets_) {
            (api_.*function)(p.id, args...);
        }
    }

    // Runs the events that are due, moves the tweens on and updates the library.
    void Advance(float now) {
        while (nextEvent_ < events_.size() && events_[nextEvent_].atMs <= now) {
            Apply(events_[nextEvent_++], now);
        }
        const float sweep = s_.turn.degrees != 0.0f
                                ? s_.turn.degrees * std::sin(2.0f * kPi * now / s_.turn.periodMs)
                                : 0.0f;
        for (Puppet& p : puppets_) {
            api_.Anime_SetPosition(p.id, p.position.At(0, now), p.position.At(1, now));
            api_.Anime_SetWind(p.id, wind_.At(0, now), wind_.At(1, now));
            if (s_.enable3D) {
                api_.Anime_Set3DAngles(p.id, angles_.At(0, now) + sweep, angles_.At(1, now),
                                       angles_.At(2, now));
            }
            // A finished motion hands over to its follow-up.
            if (!p.then.empty() && !api_.Anime_IsMotionPlaying(p.id) &&
                api_.Anime_IsMotionFinished(p.id)) {
                api_.Anime_PlayMotion(p.id, p.then.c_str(), 1.0f);
                p.then.clear();
            }
        }
        api_.Anime_Update(now - previousMs_);
        previousMs_ = now;
    }

    void Render(Image& canvas) {
        const auto start = std::chrono::steady_clock::now();
        Clear(canvas, s_.background);
        Host().draws = 0;
        Host().traced.clear();
        Host().target = &canvas;
        api_.Anime_Render();
        Host().target = nullptr;
        const std::chrono::duration<double, std::milli> ms =
            std::chrono::steady_clock::now() - start;
        renderMs_ += ms.count();
        worstMs_ = std::max(worstMs_, ms.count());
        draws_ += Host().draws;
    }

    void ShowProgress(int done) const {
        if (progress_) {
            const int filled = done * 30 / *s_.frames;
            std::fprintf(stderr, "\r[%s%s] %d/%d%s", std::string(size_t(filled), '#').c_str(),
                         std::string(size_t(30 - filled), '.').c_str(), done, *s_.frames,
                         done == *s_.frames ? "\n" : "");
            std::fflush(stderr);
        }
    }

    // Prints the trace and the summary and hands everything back to the library.
    int Finish(int result) {
        if (result == kExitOk && s_.trace) {
            std::printf("# texture x y rotation scaleX scaleY alpha anchorX anchorY src\n%s",
                        Host().traced.c_str());
        }
        api_.Anime_DestroyAllInstances();
        const bool leftOver = api_.Anime_HasInstances() != 0 || api_.Anime_GetInstanceCount() != 0;
        api_.Anime_UnloadModel(kModelName);
        api_.Anime_Shutdown();
        const HostState& c = Host();
        if (leftOver || c.loads != c.releases) {
            std::fprintf(stderr,
                         "kivanime-player: warning: the library left %lld of %lld textures "
                         "unreleased%s\n",
                         c.loads - c.releases, c.loads, leftOver ? " and instances alive" : "");
        }
        if (result == kExitOk && !s_.quiet) {
            const int frames = *s_.frames;
            std::printf(
                "%d frames of %dx%d, %d instance%s, %.1f draws per frame, render %.2f ms per "
                "frame (slowest %.2f ms)\n",
                frames, s_.size.width, s_.size.height, s_.crowd, s_.crowd == 1 ? "" : "s",
                static_cast<double>(draws_) / frames, renderMs_ / frames, worstMs_);
        }
        return result;
    }

    // Where a member stands for the current scene origin.
    Vec2 Place(const Puppet& p) const {
        return Vec2{
            p.cell.x + (origin_.x - static_cast<float>(s_.size.width) * 0.5f) * p.cellScale,
            p.cell.y + (origin_.y - (static_cast<float>(s_.size.height) - 30.0f)) * p.cellScale};
    }

    const AnimeApi& api_;
    const Settings& s_;
    const std::vector<TimelineEvent>& events_;
    size_t nextEvent_ = 0;
    float previousMs_ = 0.0f;
    std::vector<Puppet> puppets_;
    Tween angles_, wind_;
    Vec2 origin_;  // the scene origin in frame pixels
    Outputs outputs_;
    const bool progress_ = !s_.quiet && isatty(fileno(stderr)) != 0;  // a bar on a terminal
    double renderMs_ = 0.0, worstMs_ = 0.0;
    long long draws_ = 0;
};

}  // namespace

int RunScene(const AnimeApi& api, const Settings& settings,
             const std::vector<TimelineEvent>& events) {
    return Scene(api, settings, events).Run();
}

}  // namespace kivanime_player
