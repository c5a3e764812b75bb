// Runs a scene: loads the model into the library, places the instances,
// plays the requested motions and the timeline frame by frame, and writes
// the outputs.
#pragma once

#include <vector>

#include "library.h"
#include "settings.h"
#include "timeline.h"

namespace kivanime_player {

// Returns an ExitCode; messages go to stderr, the summary to stdout.
int RunScene(const AnimeApi& api, const Settings& settings,
             const std::vector<TimelineEvent>& events);

}  // namespace kivanime_player
