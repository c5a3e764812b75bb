// Runs a scene: loads the model into the library, places the instances,
// plays the command line's requests and the timeline frame by frame, and
// writes the outputs.
#pragma once

#include "library.h"
#include "options.h"
#include "timeline.h"

namespace kivanime_player {

// Returns an ExitCode; messages go to stderr, the summary to stdout.
int RunScene(const AnimeApi& api, const Options& options, const Timeline& timeline);

}  // namespace kivanime_player
