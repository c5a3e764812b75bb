#include "library.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>

#include "text/utf.h"
#else
#include <dlfcn.h>
#endif

#ifndef KIVANIME_PLAYER_DEFAULT_LIBRARY
#define KIVANIME_PLAYER_DEFAULT_LIBRARY ""
#endif
#ifndef KIVANIME_PLAYER_LIBRARY_NAME
#if defined(_WIN32)
#define KIVANIME_PLAYER_LIBRARY_NAME "kivanime.dll"
#else
#define KIVANIME_PLAYER_LIBRARY_NAME "libkivanime.so"
#endif
#endif

namespace kivanime_player {

namespace {

#if defined(_WIN32)
std::string LastErrorText() {
    return "Windows error " + std::to_string(GetLastError());
}
#endif

void* OpenHandle(const std::string& path, std::string& error) {
#if defined(_WIN32)
    HMODULE module = LoadLibraryW(kivanime::Utf8ToWide(path).c_str());
    if (module == nullptr) {
        error = LastErrorText();
    }
    return reinterpret_cast<void*>(module);
#else
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : "cannot open";
    }
    return handle;
#endif
}

void CloseLibraryHandle(void* handle) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

// Function and object pointers differ in C++; copying the bytes of the
// looked-up address is the portable way to turn it into a function pointer.
template <typename Fn>
bool Resolve(void* handle, const char* name, Fn& out) {
#if defined(_WIN32)
    const FARPROC address = GetProcAddress(static_cast<HMODULE>(handle), name);
#else
    void* const address = dlsym(handle, name);
#endif
    if (address == nullptr) {
        return false;
    }
    static_assert(sizeof(Fn) == sizeof(address));
    std::memcpy(&out, &address, sizeof out);
    return true;
}

}  // namespace

AnimeLibrary::~AnimeLibrary() {
    Close();
}

void AnimeLibrary::Close() {
    if (handle_ != nullptr) {
        CloseLibraryHandle(handle_);
        handle_ = nullptr;
    }
    api_ = AnimeApi{};
}

bool AnimeLibrary::Open(const std::string& path, std::string& error) {
    Close();
    handle_ = OpenHandle(path, error);
    if (handle_ == nullptr) {
        return false;
    }
    std::string missing;
#define KIVANIME_PLAYER_RESOLVE(name)                                   \
    if (!Resolve(handle_, "Anime_" #name, api_.name)) {                 \
        missing += missing.empty() ? "Anime_" #name : ", Anime_" #name; \
    }
    KIVANIME_PLAYER_EXPORTS(KIVANIME_PLAYER_RESOLVE)
#undef KIVANIME_PLAYER_RESOLVE
    if (!missing.empty()) {
        error = "it does not export " + missing;
        Close();
        return false;
    }
    path_ = path;
    return true;
}

std::vector<std::string> DefaultLibraryCandidates(const char* argv0) {
    namespace fs = std::filesystem;
    std::vector<std::string> candidates;
    std::error_code ec;
    fs::path self;
#if defined(_WIN32)
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        self = fs::path(std::wstring(buffer, n));
    }
#else
    self = fs::read_symlink("/proc/self/exe", ec);
#endif
    if (self.empty() && argv0 != nullptr) {
        self = fs::absolute(fs::path(argv0), ec);
    }
    if (!self.empty()) {
        const std::u8string beside = (self.parent_path() / KIVANIME_PLAYER_LIBRARY_NAME).u8string();
        candidates.emplace_back(beside.begin(), beside.end());
#ifdef KIVANIME_PLAYER_INSTALLED_LIBRARY_DIR
        // An installed player takes the library installed with it, before the
        // build tree it was made in.
        const std::u8string installed =
            (self.parent_path() / KIVANIME_PLAYER_INSTALLED_LIBRARY_DIR /
             KIVANIME_PLAYER_LIBRARY_NAME)
                .lexically_normal()
                .u8string();
        candidates.emplace_back(installed.begin(), installed.end());
#endif
    }
    const std::string built = KIVANIME_PLAYER_DEFAULT_LIBRARY;
    if (!built.empty()) {
        candidates.push_back(built);
    }
    candidates.push_back(KIVANIME_PLAYER_LIBRARY_NAME);
    return candidates;
}

}  // namespace kivanime_player
