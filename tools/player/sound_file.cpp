#include "sound_file.h"

#include <sndfile.h>

#include <limits>
#include <memory>
#include <vector>

namespace kivanime_player {

bool ReadSoundFile(const std::string& path, Sound& out, std::string& error) {
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info),
                                                           &sf_close);
    if (!file) {
        error = sf_strerror(nullptr);
        return false;
    }
    // Integer samples come back divided by their full scale: 16-bit ones by 32768.
    if (info.channels < 1 || info.samplerate < 1 ||
        info.frames > std::numeric_limits<int32_t>::max() / info.channels) {
        error = "not a sound this player can feed";
        return false;
    }
    std::vector<float> interleaved(static_cast<size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(file.get(), interleaved.data(), info.frames);
    if (read != info.frames) {
        error = sf_error(file.get()) != SF_ERR_NO_ERROR ? sf_strerror(file.get())
                                                        : "the file ends before its last sample";
        return false;
    }
    out.samples = MixDown(interleaved.data(), static_cast<size_t>(read), info.channels);
    out.rate = info.samplerate;
    return true;
}

}  // namespace kivanime_player
