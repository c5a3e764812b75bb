// The library as an engine sees it: opened at run time by path, every export
// of the one exported-names list looked up by name as its declared type,
// used, and unloaded again; loaded afresh it starts from nothing. Also reads
// a model from a folder whose name is not ASCII, handed over as UTF-8.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "kivanime.h"
#include "kivanime_export_names.h"
#include "support/scratch_dir.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
using LibraryHandle = HMODULE;

// KIVANIME_LIBRARY_PATH is the DLL's bare name: it sits beside the test
// executable, where the search for it starts.
LibraryHandle OpenLibrary() {
    return LoadLibraryA(KIVANIME_LIBRARY_PATH);
}

void* FindSymbol(LibraryHandle library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}

bool CloseLibrary(LibraryHandle library) {
    return FreeLibrary(library) != 0 && GetModuleHandleA(KIVANIME_LIBRARY_PATH) == nullptr;
}
#else
using LibraryHandle = void*;

LibraryHandle OpenLibrary() {
    return dlopen(KIVANIME_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
}

void* FindSymbol(LibraryHandle library, const char* name) {
    return dlsym(library, name);
}

// Closed, and really gone from the process.
bool CloseLibrary(LibraryHandle library) {
    const bool closed = dlclose(library) == 0;
    void* again = dlopen(KIVANIME_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (again != nullptr) {
        dlclose(again);
    }
    return closed && again == nullptr;
}
#endif

// One pointer per exported name, of the type the header declares for it.
struct Api {
#define KIVANIME_POINTER(name) decltype(&::name) name = nullptr;
    KIVANIME_FOR_EACH_EXPORT(KIVANIME_POINTER)
#undef KIVANIME_POINTER
};

bool Resolve(LibraryHandle library, Api& api) {
    bool all = true;
#define KIVANIME_RESOLVE(name)                                                   \
    api.name = reinterpret_cast<decltype(api.name)>(FindSymbol(library, #name)); \
    EXPECT_NE(api.name, nullptr) << #name;                                       \
    all = all && api.name != nullptr;
    KIVANIME_FOR_EACH_EXPORT(KIVANIME_RESOLVE)
#undef KIVANIME_RESOLVE
    return all;
}

std::vector<std::u16string> g_loads;
std::vector<int32_t> g_releases;
std::vector<AnimeDrawParams> g_draws;

const AnimeHostCallbacks kHost{[](const uint16_t* path) {
                                   g_loads.emplace_back(reinterpret_cast<const char16_t*>(path));
                                   return static_cast<int32_t>(g_loads.size());
                               },
                               [](int32_t texture) { g_releases.push_back(texture); }, nullptr,
                               [](const AnimeDrawParams* params) { g_draws.push_back(*params); }};

TEST(DynamicLoad, LoadsByNameRunsAndUnloadsCleanly) {
    // A folder name outside ASCII (and outside any Windows ANSI code page):
    // the library takes it as UTF-8 like every other text.
    const kivanime::test::ScratchDir base("kivanime-tests-dynload");
    const std::filesystem::path folder = base / std::u8string(u8"模型-ÿ-\U0001F600");
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(KIVANIME_DYNLOAD_MODEL, folder / "model.json");
    const std::u8string dir = folder.generic_u8string() + u8"/";
    const std::string dirUtf8(dir.begin(), dir.end());
    const std::string modelPath = dirUtf8 + "model.json";

    LibraryHandle library = OpenLibrary();
    Api api;
    ASSERT_TRUE(library != nullptr && Resolve(library, api));
    api.Anime_Init(&kHost);
    ASSERT_EQ(api.Anime_LoadModel("m", modelPath.c_str()), 1) << modelPath;
    // Bytes that are not UTF-8 name no file: a plain failure.
    EXPECT_EQ(api.Anime_LoadModel("bad", (dirUtf8 + "\xff\xfe.json").c_str()), 0);
    const uint32_t first = api.Anime_CreateInstance("m");
    EXPECT_EQ(first, 1u);
    // The texture path reaches the host as the UTF-16 form of the same text.
    EXPECT_EQ(g_loads,
              std::vector<std::u16string>{std::filesystem::path(dir + u8"skin.png").u16string()});
    EXPECT_EQ(api.Anime_PlayMotion(first, "bob", 1.0f) + api.Anime_SetExpression(first, "smile"),
              2);
    api.Anime_SetPosition(first, 100.0f, 0.0f);
    for (int frame = 0; frame < 3; ++frame) {
        api.Anime_Update(16.0f);
        api.Anime_Render();
    }
    ASSERT_EQ(g_draws.size(), 6u);
    EXPECT_EQ(g_draws[0].x, 110.0f);
    EXPECT_EQ(g_draws[0].y, 20.0f);
    api.Anime_DestroyInstance(first);
    EXPECT_EQ(g_releases, std::vector<int32_t>{1});
    EXPECT_EQ(api.Anime_CreateInstance("m"), 2u);

    // Unloading with an instance and a model still held: everything is freed
    // without a call to the host. Loaded again, the library starts from
    // nothing.
    ASSERT_TRUE(CloseLibrary(library));
    EXPECT_EQ(g_releases.size(), 1u);
    library = OpenLibrary();
    ASSERT_TRUE(library != nullptr && Resolve(library, api));
    EXPECT_EQ(api.Anime_CreateInstance("m"), 0u);  // no model; ids start at 1 again below
    api.Anime_Init(&kHost);
    ASSERT_EQ(api.Anime_LoadModel("m", modelPath.c_str()), 1);
    EXPECT_EQ(api.Anime_CreateInstance("m"), 1u);
    api.Anime_Shutdown();
    EXPECT_EQ(g_releases.size(), 2u);
    ASSERT_TRUE(CloseLibrary(library));
}

}  // namespace
