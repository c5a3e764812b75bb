// Loads the kivanime shared library at run time and looks up every export,
// as an engine plug-in loader would.
#pragma once

#include <string>

#include "kivanime.h"
#include "kivanime_export_names.h"

namespace kivanime_player {

// One pointer per export, named as the export is; the names come from the
// library's own list of exports.
struct AnimeApi {
#define KIVANIME_PLAYER_FIELD(name) decltype(&::name) name = nullptr;
    KIVANIME_FOR_EACH_EXPORT(KIVANIME_PLAYER_FIELD)
#undef KIVANIME_PLAYER_FIELD
};

class AnimeLibrary {
public:
    AnimeLibrary() = default;
    AnimeLibrary(const AnimeLibrary&) = delete;
    AnimeLibrary& operator=(const AnimeLibrary&) = delete;
    ~AnimeLibrary() { Close(); }

    // Opens the library at `path` and resolves every export. On failure says
    // why in `error` and leaves nothing open.
    bool Open(const std::string& path, std::string& error);
    // Opens `path`, or when it is empty the first library that opens of:
    // the one beside the executable, the one installed with it, the one the
    // build made, and the bare file name through the system's own search.
    bool Find(const std::string& path, const char* argv0, std::string& error);
    const AnimeApi& api() const { return api_; }

private:
    void Close();

    void* handle_ = nullptr;
    AnimeApi api_;
};

}  // namespace kivanime_player
