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

// Opens `path`, or when it is empty the first library that opens of: the one
// beside the executable, the one installed with it, the one the build made,
// and the bare file name through the system's own search; then resolves every
// export. The library stays loaded until the program ends. On failure says
// why in `error`.
bool LoadAnimeLibrary(const std::string& path, const char* argv0, AnimeApi& api,
                      std::string& error);

}  // namespace kivanime_player
