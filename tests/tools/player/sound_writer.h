// Writes the sound files the player's tests feed, through libsndfile.
#pragma once

#include <sndfile.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kivanime_player::test {

// `samples` interleaved, `channels` to a frame; `format` as sf_open takes it
// (SF_FORMAT_WAV | SF_FORMAT_PCM_16, ...); 16-bit samples are whole
// numbers of 1/32768. False when it cannot be written.
inline bool WriteSound(const std::string& path, int format, int channels, int rate,
                       const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        return false;
    }
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    // Into 16-bit files as whole numbers of 1/32768, which is how they are
    // read back (libsndfile would write floats at 32767 a unit).
    std::vector<short> whole;
    for (const float sample : samples) {
        whole.push_back(static_cast<short>(std::clamp(sample * 32768.0f, -32768.0f, 32767.0f)));
    }
    const bool written = ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16
                              ? sf_writef_short(file, whole.data(), frames)
                              : sf_writef_float(file, samples.data(), frames)) == frames;
    return sf_close(file) == 0 && written;
}

}  // namespace kivanime_player::test
