// kivanime-lint model.json motions/*.json expressions/*.json
#include <cstdio>
#include <string>
#include <vector>

#include "lint.h"

#if defined(_WIN32)
#include "text/utf.h"
#endif

namespace {

constexpr const char* kUsage =
    "usage: kivanime-lint [--json] [--strict] [--no-texture-files] FILE...\n"
    "\n"
    "Checks a model file with its motion and expression files and reports what the\n"
    "library would silently ignore or repair. The kind of each file is told from\n"
    "its keys (or its folder name); motion and expression files are checked\n"
    "against the first model file given.\n"
    "\n"
    "  --json              print the findings as one JSON object\n"
    "  --strict            exit with 1 on warnings too, not only on errors\n"
    "  --no-texture-files  do not check that texture files exist\n"
    "\n"
    "Exit status: 0 clean (or only warnings and infos), 1 findings that fail\n"
    "the check, 2 bad usage.\n";

// Arguments are UTF-8, as every path in the library is.
int Run(const std::vector<std::string>& args) {
    bool json = false;
    bool strict = false;
    kivanime::lint::LintOptions options;
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--json") {
                json = true;
            } else if (arg == "--strict") {
                strict = true;
            } else if (arg == "--no-texture-files") {
                options.checkTextureFiles = false;
            } else if (arg == "--") {
                optionsEnded = true;
            } else if (arg == "--help" || arg == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            } else {
                std::fprintf(stderr, "kivanime-lint: unknown option %s\n\n%s", arg.c_str(), kUsage);
                return 2;
            }
            continue;
        }
        paths.push_back(arg);
    }
    if (paths.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<kivanime::lint::Finding> findings = kivanime::lint::LintFiles(paths, options);
    std::string out =
        json ? kivanime::lint::FormatJson(findings) : kivanime::lint::FormatText(findings);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kivanime::lint::ExitCodeFor(findings, strict);
}

}  // namespace

#if defined(_WIN32)
// Windows shells hand "motions\*.json" over as it stands; with this set, the
// MinGW-w64 start-up code expands it the way a Unix shell would. The narrow
// arguments are in the ANSI code page, which cannot hold most of the world's
// folder names: the program starts at wmain instead (linked with -municode)
// and takes the UTF-16 ones.
extern "C" {
int _dowildcard = -1;
int wmain(int argc, wchar_t** argv);
}

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(kivanime::WideToUtf8(argv[i]));
    }
    return Run(args);
}
#else
int main(int argc, char** argv) {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
