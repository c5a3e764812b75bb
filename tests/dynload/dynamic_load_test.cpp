// The library as an engine sees it: opened at run time by path, every export
// looked up by name, used, and unloaded again. Also reads a model from a
// folder whose name is not ASCII, handed over as UTF-8.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kivanime.h"
#include "kivanime_export_names.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
using LibraryHandle = HMODULE;

std::wstring LibraryPath() {
    // The DLL sits beside the test executable.
    std::vector<wchar_t> buffer(32768);
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::filesystem::path exe(std::wstring(buffer.data(), n));
    return (exe.parent_path() / L"kivanime.dll").wstring();
}

LibraryHandle OpenLibrary() {
    return LoadLibraryW(LibraryPath().c_str());
}

void* FindSymbol(LibraryHandle library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}

bool CloseLibrary(LibraryHandle library) {
    return FreeLibrary(library) != 0;
}

bool LibraryStillLoaded() {
    return GetModuleHandleW(LibraryPath().c_str()) != nullptr;
}
#else
using LibraryHandle = void*;

LibraryHandle OpenLibrary() {
    return dlopen(KIVANIME_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
}

void* FindSymbol(LibraryHandle library, const char* name) {
    return dlsym(library, name);
}

bool CloseLibrary(LibraryHandle library) {
    return dlclose(library) == 0;
}

bool LibraryStillLoaded() {
    void* again = dlopen(KIVANIME_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (again != nullptr) {
        dlclose(again);
        return true;
    }
    return false;
}
#endif

// Every exported name, and the ones this test calls as typed pointers.
#define KIVANIME_AS_TEXT(name) #name,
const char* const kExportNames[] = {KIVANIME_FOR_EACH_EXPORT(KIVANIME_AS_TEXT)};
#undef KIVANIME_AS_TEXT

struct Api {
    decltype(&Anime_Init) init = nullptr;
    decltype(&Anime_Shutdown) shutdown = nullptr;
    decltype(&Anime_LoadModel) loadModel = nullptr;
    decltype(&Anime_LoadExpression) loadExpression = nullptr;
    decltype(&Anime_CreateInstance) createInstance = nullptr;
    decltype(&Anime_DestroyInstance) destroyInstance = nullptr;
    decltype(&Anime_GetInstanceCount) instanceCount = nullptr;
    decltype(&Anime_PlayMotion) playMotion = nullptr;
    decltype(&Anime_SetExpression) setExpression = nullptr;
    decltype(&Anime_SetPosition) setPosition = nullptr;
    decltype(&Anime_Update) update = nullptr;
    decltype(&Anime_Render) render = nullptr;
};

template <typename Fn>
void Resolve(LibraryHandle library, const char* name, Fn& out) {
    out = reinterpret_cast<Fn>(FindSymbol(library, name));
    ASSERT_NE(out, nullptr) << name;
}

void ResolveApi(LibraryHandle library, Api& api) {
    for (const char* name : kExportNames) {
        EXPECT_NE(FindSymbol(library, name), nullptr) << name;
    }
    Resolve(library, "Anime_Init", api.init);
    Resolve(library, "Anime_Shutdown", api.shutdown);
    Resolve(library, "Anime_LoadModel", api.loadModel);
    Resolve(library, "Anime_LoadExpression", api.loadExpression);
    Resolve(library, "Anime_CreateInstance", api.createInstance);
    Resolve(library, "Anime_DestroyInstance", api.destroyInstance);
    Resolve(library, "Anime_GetInstanceCount", api.instanceCount);
    Resolve(library, "Anime_PlayMotion", api.playMotion);
    Resolve(library, "Anime_SetExpression", api.setExpression);
    Resolve(library, "Anime_SetPosition", api.setPosition);
    Resolve(library, "Anime_Update", api.update);
    Resolve(library, "Anime_Render", api.render);
}

struct Host {
    std::vector<std::u16string> loads;
    std::vector<int32_t> releases;
    std::vector<AnimeDrawParams> draws;
};
Host g_host;

int32_t HostLoad(const uint16_t* path) {
    std::u16string text;
    for (; *path != 0; ++path) {
        text.push_back(static_cast<char16_t>(*path));
    }
    g_host.loads.push_back(text);
    return static_cast<int32_t>(g_host.loads.size());
}

void HostRelease(int32_t texture) {
    g_host.releases.push_back(texture);
}

void HostDraw(const AnimeDrawParams* params) {
    g_host.draws.push_back(*params);
}

std::string ToBytes(const std::u8string& text) {
    return std::string(text.begin(), text.end());
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

class DynamicLoad : public ::testing::Test {
protected:
    void SetUp() override {
        g_host = Host{};
        base_ = std::filesystem::temp_directory_path() / "kivanime-tests" / "DynamicLoad";
        std::filesystem::remove_all(base_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(base_, ignored);
    }
    std::filesystem::path base_;
};

const char* const kModel = R"({
  "textures": {"skin": "skin.png"},
  "parts": [{"name": "body", "texture": "skin", "position": [10, 20]},
            {"name": "head", "texture": "skin", "parent": "body", "position": [0, -5]}],
  "physics": [{"target": "head"}],
  "motions": {"bob": {"duration": 100, "loop": true, "tracks": [
    {"part": "head", "keyframes": [{"time": 0, "rotation": 0}, {"time": 100, "rotation": 1}]}]}}
})";

TEST_F(DynamicLoad, LoadsByNameRunsAndUnloadsCleanly) {
    // A folder name outside ASCII (and outside any Windows ANSI code page):
    // the library takes it as UTF-8 like every other text.
    const std::filesystem::path folder = base_ / std::u8string(u8"模型-ÿ-\U0001F600");
    WriteFile(folder / "model.json", kModel);
    WriteFile(folder / "smile.json",
              R"({"name": "smile", "params": [{"part": "head", "alpha": 0.5}]})");
    const std::string dirUtf8 = ToBytes(folder.generic_u8string()) + "/";
    const std::string modelPath = dirUtf8 + "model.json";
    const std::string expressionPath = dirUtf8 + "smile.json";

    LibraryHandle library = OpenLibrary();
    ASSERT_NE(library, nullptr);
    Api api;
    ResolveApi(library, api);
    if (HasFatalFailure()) {
        return;
    }

    const AnimeHostCallbacks table{HostLoad, HostRelease, nullptr, HostDraw};
    api.init(&table);
    ASSERT_EQ(api.loadModel("m", modelPath.c_str()), 1) << modelPath;
    EXPECT_EQ(api.loadExpression("m", expressionPath.c_str()), 1);
    // Bytes that are not UTF-8 name no file: a plain failure.
    EXPECT_EQ(api.loadModel("bad", (dirUtf8 + "\xff\xfe.json").c_str()), 0);

    const uint32_t first = api.createInstance("m");
    EXPECT_EQ(first, 1u);
    ASSERT_EQ(g_host.loads.size(), 1u);
    // The texture path reaches the host as the UTF-16 form of the same text.
    EXPECT_EQ(g_host.loads[0],
              std::filesystem::path(
                  std::u8string(reinterpret_cast<const char8_t*>(dirUtf8.c_str())) + u8"skin.png")
                  .u16string());
    EXPECT_EQ(api.playMotion(first, "bob", 1.0f), 1);
    EXPECT_EQ(api.setExpression(first, "smile"), 1);
    api.setPosition(first, 100.0f, 0.0f);
    for (int frame = 0; frame < 3; ++frame) {
        api.update(16.0f);
        api.render();
    }
    ASSERT_EQ(g_host.draws.size(), 6u);
    EXPECT_EQ(g_host.draws[0].x, 110.0f);
    EXPECT_EQ(g_host.draws[0].y, 20.0f);

    api.destroyInstance(first);
    EXPECT_EQ(g_host.releases, std::vector<int32_t>{1});
    const uint32_t second = api.createInstance("m");
    EXPECT_EQ(second, 2u);
    EXPECT_EQ(api.instanceCount(), 1);

    // Unloading with an instance and a model still held: everything is freed
    // without a call to the host.
    ASSERT_TRUE(CloseLibrary(library));
    EXPECT_FALSE(LibraryStillLoaded());
    EXPECT_EQ(g_host.releases.size(), 1u);

    // Loaded again, the library starts from nothing.
    library = OpenLibrary();
    ASSERT_NE(library, nullptr);
    ResolveApi(library, api);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(api.instanceCount(), 0);
    EXPECT_EQ(api.createInstance("m"), 0u);
    api.init(&table);
    ASSERT_EQ(api.loadModel("m", modelPath.c_str()), 1);
    EXPECT_EQ(api.createInstance("m"), 1u);
    api.shutdown();
    EXPECT_EQ(g_host.releases.size(), 2u);
    EXPECT_EQ(api.instanceCount(), 0);
    ASSERT_TRUE(CloseLibrary(library));
}

}  // namespace
