// kivanime-player: renders a puppet through the kivanime library.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs
#endif

#include "library.h"
#include "scene.h"
#include "settings.h"
#include "text/utf.h"
#include "timeline.h"

using namespace kivanime_player;

int main(int argc, char** argv) {
    // The arguments as UTF-8. On Windows argv is in the ANSI code page, so the
    // wide command line is converted instead.
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
#if defined(_WIN32)
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        args.clear();
        for (int i = 1; i < count; ++i) {
            args.push_back(kivanime::WideToUtf8(wide[i]));
        }
        LocalFree(wide);
    }
#endif
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, line, error)) {
        return Fail(kExitUsage, error);
    }
    // The command line's settings are laid over the timeline's.
    Settings settings;
    Apply(line, settings);
    if (settings.help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    std::vector<TimelineEvent> events;
    if (!settings.timeline.empty()) {
        const std::string path = settings.timeline;
        settings = Settings{};
        if (!LoadTimeline(path, settings, events, error)) {
            return Fail(kExitLoad, "timeline '" + path + "': " + error);
        }
        Apply(line, settings);
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

    AnimeLibrary library;
    if (!library.Find(settings.library, argc > 0 ? argv[0] : nullptr, error)) {
        return Fail(kExitLibrary, error);
    }
    return RunScene(library.api(), settings, events);
}
