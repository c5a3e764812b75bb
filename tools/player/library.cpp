#include "library.h"

#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include <dlfcn.h>

// The build defines KIVANIME_PLAYER_DEFAULT_LIBRARY (the library it made),
// KIVANIME_PLAYER_LIBRARY_NAME and KIVANIME_PLAYER_INSTALLED_LIBRARY_DIR.

namespace kivanime_player {

namespace {

namespace fs = std::filesystem;

void* OpenHandle(const std::string& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char* text = handle == nullptr ? dlerror() : nullptr;
    error = handle != nullptr ? "" : text != nullptr ? text : "cannot open";
    return handle;
}

// Function and object pointers differ in C++; copying the bytes of the
// looked-up address is the portable way to turn it into a function pointer.
template <typename Fn>
bool Resolve(void* handle, const char* name, Fn& out) {
    void* const address = dlsym(handle, name);
    static_assert(sizeof(Fn) == sizeof(address));
    std::memcpy(&out, &address, sizeof out);
    return address != nullptr;
}

std::vector<std::string> Candidates(const char* argv0) {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (self.empty() && argv0 != nullptr) {
        self = fs::absolute(fs::path(argv0), ec);
    }
    std::vector<std::string> candidates = {KIVANIME_PLAYER_DEFAULT_LIBRARY,
                                           KIVANIME_PLAYER_LIBRARY_NAME};
    if (!self.empty()) {
        // An installed player takes the library installed with it, before the
        // build tree it was made in.
        const fs::path dir = self.parent_path();
        candidates.insert(candidates.begin(), {(dir / KIVANIME_PLAYER_LIBRARY_NAME).string(),
                                               (dir / KIVANIME_PLAYER_INSTALLED_LIBRARY_DIR /
                                                KIVANIME_PLAYER_LIBRARY_NAME)
                                                   .lexically_normal()
                                                   .string()});
    }
    return candidates;
}

// Opens the library at `path` and resolves every export; a library that lacks
// one is closed again.
bool Open(const std::string& path, AnimeApi& api, std::string& error) {
    void* handle = OpenHandle(path, error);
    std::string missing;
#define KIVANIME_PLAYER_RESOLVE(name)                             \
    if (handle != nullptr && !Resolve(handle, #name, api.name)) { \
        missing += missing.empty() ? #name : ", " #name;          \
    }
    KIVANIME_FOR_EACH_EXPORT(KIVANIME_PLAYER_RESOLVE)
#undef KIVANIME_PLAYER_RESOLVE
    if (handle == nullptr || missing.empty()) {
        return handle != nullptr;
    }
    error = "it does not export " + missing;
    dlclose(handle);
    return false;
}

}  // namespace

bool LoadAnimeLibrary(const std::string& path, const char* argv0, AnimeApi& api,
                      std::string& error) {
    if (!path.empty()) {
        return Open(path, api, error) ||
               (error = "cannot load the kivanime library '" + path + "': " + error, false);
    }
    std::string tried;
    for (const std::string& candidate : Candidates(argv0)) {
        std::string why;
        if (Open(candidate, api, why)) {
            return true;
        }
        tried += "\n  " + candidate + ": " + why;
    }
    error = "cannot find the kivanime library (use --library PATH); tried:" + tried;
    return false;
}

}  // namespace kivanime_player
