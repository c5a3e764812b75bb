// Sounds as a scene feeds them to the library's lip sync: one channel of
// samples from -1 to 1 at a rate, handed over one frame's worth at a time.
// The scene is shared with the web page, so how a file's channels become one
// and which samples belong to which frame are decided here, in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kivanime_player {

struct Sound {
    std::vector<float> samples;  // one channel
    int32_t rate = 0;            // samples per second
};

// The sounds of a scene's "audio" commands, under the file name each gives.
using Sounds = std::map<std::string, Sound>;

// The mean of each frame's channels (summed in channel order, then divided),
// from `frames` frames of `channels` interleaved samples.
std::vector<float> MixDown(const float* interleaved, size_t frames, int channels);

// The samples of a sound that frame `k` after its start covers: the time
// span [k / fps, (k + 1) / fps) seconds, so that the frames' spans meet
// without a gap or an overlap. Clipped to the sound; empty past its end.
struct SampleSpan {
    size_t first = 0;
    size_t count = 0;
};
SampleSpan FrameSamples(const Sound& sound, int64_t k, float fps);

}  // namespace kivanime_player
