// kivanime-player: renders a puppet through the kivanime library.
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
#include "timeline.h"

using namespace kivanime_player;

namespace {

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "kivanime-player: error: %s\n", message.c_str());
    return code;
}

// The arguments as UTF-8. On Windows argv is in the ANSI code page, so the
// wide command line is converted instead; elsewhere argv is used as it is.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
#if defined(_WIN32)
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        args.clear();
        for (int i = 0; i < count; ++i) {
            const int n =
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string arg(static_cast<size_t>(n > 0 ? n : 1), '\0');
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
            arg.resize(arg.size() - 1);  // the converted terminator
            args.push_back(std::move(arg));
        }
        LocalFree(wide);
    }
#endif
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = Utf8Arguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& arg : args) {
        pointers.push_back(arg.c_str());
    }
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(static_cast<int>(pointers.size()), pointers.data(), line, error)) {
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
