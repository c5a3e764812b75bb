// kivanime-player: renders a puppet through the kivanime library.
#include <cstdio>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs
#endif

#include "library.h"
#include "options.h"
#include "scene.h"
#include "text/utf.h"
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
            args.push_back(kivanime::WideToUtf8(wide[i]));
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
    Options options;
    std::string error;
    if (!ParseOptions(static_cast<int>(pointers.size()), pointers.data(), options, error)) {
        return Fail(kExitUsage, error);
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    Timeline timeline;
    if (!options.timeline.empty() && !LoadTimeline(options.timeline, timeline, error)) {
        return Fail(kExitLoad, "timeline '" + options.timeline + "': " + error);
    }
    if (options.model.empty()) {
        options.model = timeline.model;
    }
    if (options.model.empty()) {
        return Fail(kExitUsage, "no model file given (see --help)");
    }
    if (options.outputDir.empty() && options.gif.empty() && options.contactSheet.empty() &&
        options.still.empty()) {
        return Fail(kExitUsage,
                    "nothing to write: give --output, --gif, --contact-sheet or --still");
    }

    AnimeLibrary library;
    if (!options.library.empty()) {
        if (!library.Open(options.library, error)) {
            return Fail(kExitLibrary,
                        "cannot load the kivanime library '" + options.library + "': " + error);
        }
    } else {
        std::string tried;
        for (const std::string& candidate :
             DefaultLibraryCandidates(argc > 0 ? argv[0] : nullptr)) {
            std::string why;
            if (library.Open(candidate, why)) {
                break;
            }
            tried += "\n  " + candidate + ": " + why;
        }
        if (library.path().empty()) {
            return Fail(kExitLibrary,
                        "cannot find the kivanime library (use --library PATH); tried:" + tried);
        }
    }
    return RunScene(library.api(), options, timeline);
}
