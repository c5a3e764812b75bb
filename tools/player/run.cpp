// A run of the player: the library set up with the player's host, the model
// and its files loaded, the scene played frame by frame into images, and the
// files written.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <tuple>
#include <utility>

#include <unistd.h>

#include "gif_writer.h"
#include "scene.h"
#include "sound_file.h"
#include "task_pool.h"

namespace kivanime_player {

namespace {

namespace fs = std::filesystem;

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

class Run {
public:
    Run(const AnimeApi& api, const Settings& s, const std::vector<TimelineEvent>& events)
        : api_(api), s_(s), events_(events), outputs_(s) {}

    int Go() {
        int result = Start();
        Image canvas(s_.size.width, s_.size.height);
        for (int frame = 0; result == kExitOk && frame < *s_.frames; ++frame) {
            scene_->Advance(FrameTimeMs(frame, s_.fps));
            PrintEvents(frame);
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
        if (s_.threads > 1) {
            pool_ = TaskPool_Create(s_.threads);
            if (pool_ == nullptr || api_.Anime_SetTaskSystem == nullptr ||
                api_.Anime_SetTaskSystem(TaskPool_Enqueue, TaskPool_Finish, s_.threads, pool_) ==
                    0) {
                return Fail(kExitLibrary, pool_ == nullptr ? "cannot start the threads"
                                          : api_.Anime_SetTaskSystem == nullptr
                                              ? "the library has no task system (version 1.3)"
                                              : api_.Anime_GetLastError());
            }
        }
        int result = Load();
        Sounds sounds;
        if (result == kExitOk) {
            result = ReadSounds(sounds);
        }
        if (result == kExitOk) {
            scene_ = StartScene(api_, s_, events_, Host().textureError, result, std::move(sounds));
        }
        Host().trace = s_.trace;
        return result == kExitOk ? outputs_.Open() : result;
    }

    int Load() {
        // The library's own reason names the file, the line and column and
        // what was found there: a user fixes the file from that alone.
        if (!api_.Anime_LoadModel(kModelName, s_.model.c_str())) {
            return Fail(kExitLoad, api_.Anime_GetLastError());
        }
        // The motion and expression files that live beside the model come first.
        for (const auto& [folder, extra, load] :
             {std::tuple{"motions", &s_.motionFiles, api_.Anime_LoadMotion},
              {"expressions", &s_.expressionFiles, api_.Anime_LoadExpression}}) {
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
                    return Fail(kExitLoad, api_.Anime_GetLastError());
                }
            }
        }
        return kExitOk;
    }

    // The sound file of every "audio" command, each read once.
    int ReadSounds(Sounds& sounds) const {
        for (const TimelineEvent& e : events_) {
            std::string error;
            if (e.kind == EventKind::Audio && !e.name.empty() && sounds.count(e.name) == 0 &&
                !ReadSoundFile(e.name, sounds[e.name], error)) {
                return Fail(kExitLoad, "cannot read the sound file '" + e.name + "': " + error);
            }
        }
        return kExitOk;
    }

    // --events: what the frame's update announced, one line each.
    void PrintEvents(int frame) const {
        static const char* const kKinds[] = {"event", "lap", "end"};
        for (int32_t i = 0; s_.events && i < api_.Anime_GetEventCount(); ++i) {
            AnimeEvent e{};
            api_.Anime_GetEvent(i, &e);
            std::printf("frame %d instance %u %s \"%s\" %s", frame, e.instance,
                        e.source == 0 ? "main" : "overlay", api_.Anime_GetEventText(i, 1),
                        kKinds[std::clamp(e.kind, 0, 2)]);
            if (e.kind == 0) {
                std::printf(" \"%s\"", api_.Anime_GetEventText(i, 0));
            } else if (e.kind == 1) {
                std::printf(" %d", e.intValue);
            }
            std::printf(" at %g late %.2f", static_cast<double>(e.time),
                        static_cast<double>(e.lateMs));
            if (e.kind == 0) {
                std::printf(" int %d float %g string \"%s\"", e.intValue,
                            static_cast<double>(e.floatValue), api_.Anime_GetEventText(i, 2));
            }
            std::printf("\n");
        }
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
            std::printf("# texture x y rotation scaleX scaleY alpha anchorX anchorY src tint\n%s",
                        Host().traced.c_str());
        }
        api_.Anime_DestroyAllInstances();
        const bool leftOver = api_.Anime_HasInstances() != 0 || api_.Anime_GetInstanceCount() != 0;
        api_.Anime_UnloadModel(kModelName);
        api_.Anime_Shutdown();
        if (pool_ != nullptr) {
            api_.Anime_SetTaskSystem(nullptr, nullptr, 1, nullptr);
            TaskPool_Destroy(pool_);
            pool_ = nullptr;
        }
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

    const AnimeApi& api_;
    const Settings& s_;
    const std::vector<TimelineEvent>& events_;
    std::unique_ptr<ScenePlayback> scene_;
    Outputs outputs_;
    const bool progress_ = !s_.quiet && isatty(fileno(stderr)) != 0;  // a bar on a terminal
    double renderMs_ = 0.0, worstMs_ = 0.0;
    long long draws_ = 0;
    TaskPool* pool_ = nullptr;
};

}  // namespace

int RunScene(const AnimeApi& api, const Settings& settings,
             const std::vector<TimelineEvent>& events) {
    return Run(api, settings, events).Go();
}

}  // namespace kivanime_player
