#include "sound.h"

#include <algorithm>
#include <cmath>

namespace kivanime_player {

std::vector<float> MixDown(const float* interleaved, size_t frames, int channels) {
    std::vector<float> mono(frames);
    const size_t n = static_cast<size_t>(std::max(channels, 1));
    for (size_t i = 0; i < frames; ++i) {
        float sum = 0.0f;
        for (size_t c = 0; c < n; ++c) {
            sum += interleaved[i * n + c];
        }
        mono[i] = sum / static_cast<float>(n);
    }
    return mono;
}

SampleSpan FrameSamples(const Sound& sound, int64_t k, float fps) {
    // Sample n sounds at n / rate seconds: it belongs to the frame whose span
    // holds that time, so a frame starts at the first sample at or after
    // k / fps. Doubles hold k · rate exactly for any sound a file can hold.
    const auto firstAt = [&](int64_t frame) {
        const double at = std::ceil(static_cast<double>(frame) * sound.rate / fps);
        return static_cast<size_t>(std::clamp(at, 0.0, static_cast<double>(sound.samples.size())));
    };
    const size_t first = firstAt(k);
    return {first, firstAt(k + 1) - first};
}

}  // namespace kivanime_player
