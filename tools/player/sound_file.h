// Reads a sound file (WAV, FLAC, Ogg and whatever else libsndfile reads) into
// one channel of samples for the scene's "audio" commands.
#pragma once

#include <string>

#include "sound.h"

namespace kivanime_player {

// On failure says why in `error` (without the file name).
bool ReadSoundFile(const std::string& path, Sound& out, std::string& error);

}  // namespace kivanime_player
