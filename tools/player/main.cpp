// kivanime-player: renders a puppet through the kivanime library.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "library.h"
#include "scene.h"
#include "settings.h"

using namespace kivanime_player;

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    Settings settings;
    std::string error;
    if (!ParseCommandLine(args, settings, error)) {
        return Fail(kExitUsage, error);
    }
    if (settings.help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    std::vector<TimelineEvent> events;
    if (!settings.timeline.empty()) {
        // The command line's settings are laid over the timeline's.
        const std::string path = settings.timeline;
        settings = Settings{};
        if (!LoadTimeline(path, settings, events, error)) {
            return Fail(kExitLoad, "timeline '" + path + "': " + error);
        }
        ParseCommandLine(args, settings, error);
    }
    Resolve(settings);
    if (settings.model.empty()) {
        return Fail(kExitUsage, "no model file given (see --help)");
    }
    if (settings.outputDir.empty() && settings.gif.empty() && settings.contactSheet.empty() &&
        settings.still.empty()) {
        return Fail(kExitUsage,
                    "nothing to write: give --output, --gif, --contact-sheet or --still");
    }
    for (const int frame : settings.sheetFrames) {
        if (frame >= *settings.frames) {
            return Fail(kExitUsage, "--sheet-frames names frame " + std::to_string(frame) +
                                        ", but the last frame is " +
                                        std::to_string(*settings.frames - 1));
        }
    }

    AnimeApi api;
    if (!LoadAnimeLibrary(settings.library, argc > 0 ? argv[0] : nullptr, api, error)) {
        return Fail(kExitLibrary, error);
    }
    return RunScene(api, settings, events);
}
