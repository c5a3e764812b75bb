#include "library.h"

#include "image.h"

#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

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

namespace fs = std::filesystem;

void* OpenHandle(const std::string& path, std::string& error) {
#if defined(_WIN32)
    HMODULE module = LoadLibraryW(kivanime::Utf8ToWide(path).c_str());
    error = module == nullptr ? "Windows error " + std::to_string(GetLastError()) : "";
    return reinterpret_cast<void*>(module);
#else
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char* text = handle == nullptr ? dlerror() : nullptr;
    error = handle != nullptr ? "" : text != nullptr ? text : "cannot open";
    return handle;
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
    static_assert(sizeof(Fn) == sizeof(address));
    std::memcpy(&out, &address, sizeof out);
    return address != nullptr;
}

std::vector<std::string> Candidates(const char* argv0) {
    std::vector<std::string> candidates;
    std::error_code ec;
    fs::path self;
#if defined(_WIN32)
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    self = n > 0 && n < MAX_PATH ? fs::path(std::wstring(buffer, n)) : fs::path();
#else
    self = fs::read_symlink("/proc/self/exe", ec);
#endif
    if (self.empty() && argv0 != nullptr) {
        self = fs::absolute(fs::path(argv0), ec);
    }
    if (!self.empty()) {
        candidates.push_back(Utf8(self.parent_path() / KIVANIME_PLAYER_LIBRARY_NAME));
#ifdef KIVANIME_PLAYER_INSTALLED_LIBRARY_DIR
        // An installed player takes the library installed with it, before the
        // build tree it was made in.
        candidates.push_back(Utf8((self.parent_path() / KIVANIME_PLAYER_INSTALLED_LIBRARY_DIR /
                                   KIVANIME_PLAYER_LIBRARY_NAME)
                                      .lexically_normal()));
#endif
    }
    if (!std::string(KIVANIME_PLAYER_DEFAULT_LIBRARY).empty()) {
        candidates.push_back(KIVANIME_PLAYER_DEFAULT_LIBRARY);
    }
    candidates.push_back(KIVANIME_PLAYER_LIBRARY_NAME);
    return candidates;
}

}  // namespace

void AnimeLibrary::Close() {
    if (handle_ != nullptr) {
#if defined(_WIN32)
        FreeLibrary(static_cast<HMODULE>(handle_));
#else
        dlclose(handle_);
#endif
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
#define KIVANIME_PLAYER_RESOLVE(name)                    \
    if (!Resolve(handle_, #name, api_.name)) {           \
        missing += missing.empty() ? #name : ", " #name; \
    }
    KIVANIME_FOR_EACH_EXPORT(KIVANIME_PLAYER_RESOLVE)
#undef KIVANIME_PLAYER_RESOLVE
    if (!missing.empty()) {
        error = "it does not export " + missing;
        Close();
        return false;
    }
    return true;
}

bool AnimeLibrary::Find(const std::string& path, const char* argv0, std::string& error) {
    if (!path.empty()) {
        return Open(path, error) ||
               (error = "cannot load the kivanime library '" + path + "': " + error, false);
    }
    std::string tried;
    for (const std::string& candidate : Candidates(argv0)) {
        std::string why;
        if (Open(candidate, why)) {
            return true;
        }
        tried += "\n  " + candidate + ": " + why;
    }
    error = "cannot find the kivanime library (use --library PATH); tried:" + tried;
    return false;
}

}  // namespace kivanime_player
