// Loads the kivanime shared library at run time and looks up all 35 exports,
// as an engine plug-in loader would.
#pragma once

#include <string>
#include <vector>

#include "kivanime.h"

namespace kivanime_player {

// clang-format off
#define KIVANIME_PLAYER_EXPORTS(X)                                                       \
    X(Init) X(Shutdown) X(UnloadAll) X(LoadModel) X(UnloadModel) X(LoadMotion)           \
    X(LoadExpression) X(CreateInstance) X(DestroyInstance) X(DestroyAllInstances)        \
    X(GetInstanceCount) X(HasInstances) X(PlayMotion) X(StopMotion) X(IsMotionPlaying)   \
    X(IsMotionFinished) X(PlayOverlay) X(StopOverlay) X(StopAllOverlays)                 \
    X(SetExpression) X(ClearExpression) X(SetPosition) X(GetPosition) X(SetScale)        \
    X(SetAlpha) X(SetVisible) X(SetDrawOrder) X(SetWind) X(SetGlobalWind)                \
    X(ResetPhysics) X(Set3DSetup) X(Set3DAngles) X(Set3DStrength) X(Update) X(Render)
// clang-format on

// One pointer per export, named without the Anime_ prefix.
struct AnimeApi {
#define KIVANIME_PLAYER_FIELD(name) decltype(&Anime_##name) name = nullptr;
    KIVANIME_PLAYER_EXPORTS(KIVANIME_PLAYER_FIELD)
#undef KIVANIME_PLAYER_FIELD
};

class AnimeLibrary {
public:
    AnimeLibrary() = default;
    AnimeLibrary(const AnimeLibrary&) = delete;
    AnimeLibrary& operator=(const AnimeLibrary&) = delete;
    ~AnimeLibrary();

    // Opens the library at `path` and resolves every export. On failure says
    // why in `error` and leaves nothing open.
    bool Open(const std::string& path, std::string& error);
    const AnimeApi& api() const { return api_; }
    const std::string& path() const { return path_; }

private:
    void Close();

    void* handle_ = nullptr;
    AnimeApi api_;
    std::string path_;
};

// The places to try, in order, when no --library is given: beside the
// executable, then where the build put the library, then the system search.
std::vector<std::string> DefaultLibraryCandidates(const char* argv0);

}  // namespace kivanime_player
