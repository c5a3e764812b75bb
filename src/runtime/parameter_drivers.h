// What moves a parameter on its own: a blinker, a breather and a lip sync
// following the loudness of fed audio. Each keeps time by the instance's
// update time, and every number is single precision with no library call
// whose result could differ between platforms (a page computes the same
// values bit for bit), so two runs give the same frames.
#pragma once

#include <cstdint>
#include <vector>

#include "model/parameter_set.h"

namespace kivanime {

// Blinks come at spacings of interval * (1 + 0.25 u), u in [-1, 1) drawn
// from a generator seeded by the instance id: the first blink starts one
// spacing after the blinker is set, each next one a new spacing after the
// previous one started. During a blink the value runs in a straight line
// from max to min over close / 2 and back over the next close / 2, replacing
// whatever the sources gave; between blinks the blinker changes nothing. A
// spacing shorter than the blink starts the next blink over the current one.
struct Blinker {
    float intervalMs = 0.0f;  // 0: off
    float closeMs = 0.0f;
    float spacingMs = 0.0f;  // from the last start (or the setting) to the next start
    float sinceMs = 0.0f;    // time since the last start (or the setting)
    bool blinking = false;   // a blink has started since the setting
    uint32_t state = 0;      // the generator
};

// Adds amplitude * sin(2 pi t / period), t the update time since the
// setting, kept as a phase in [0, 1) periods so long runs lose nothing.
struct Breather {
    float periodMs = 0.0f;  // 0: off
    float amplitude = 0.0f;
    float phase = 0.0f;
};

// The value becomes gain * the RMS of the samples fed since the previous
// update, clamped; with none fed it falls toward min by (max - min) per
// 100 ms from where it was.
struct LipSync {
    float gain = 0.0f;  // 0: off
    float level = 0.0f;
};

// The samples fed to an instance since its last update: only what the RMS
// needs, so feeding stores nothing and allocates nothing.
struct AudioFeed {
    float sumOfSquares = 0.0f;
    int64_t count = 0;
};

// Every driver of an instance, one slot per parameter of its model.
struct ParameterDrivers {
    std::vector<Blinker> blinkers;
    std::vector<Breather> breathers;
    std::vector<LipSync> lipSyncs;
    AudioFeed audio;
    // Whether any driver is on: an instance without drivers skips them.
    int32_t active = 0;
};

// Room for a model of `count` parameters, every driver off.
void InitializeDrivers(ParameterDrivers& drivers, size_t count);

// The settings, for parameter `index`. A blinker with a positive interval
// restarts with its generator seeded from `seed` (the instance id); a
// setting of 0 or less turns the driver off. The caller has checked the
// arguments (finite; a positive close with a positive interval).
void SetBlinker(ParameterDrivers& drivers, int32_t index, float intervalMs, float closeMs,
                uint32_t seed);
void SetBreather(ParameterDrivers& drivers, int32_t index, float periodMs, float amplitude);
void SetLipSync(ParameterDrivers& drivers, const AnimeParameter& parameter, int32_t index,
                float gain);

// Adds samples to the feed; a non-finite sample counts as silence.
void FeedAudio(AudioFeed& audio, const float* samples, int32_t count);

// The next draw of the blink generator: a factor in [0.75, 1.25).
float NextBlinkJitter(uint32_t& state);

// sin(2 pi phase) for a phase in [0, 1), by a fixed polynomial.
float SinOfTurns(float phase);

// Runs the drivers for `dtMs` over `values` (one per parameter, the sources
// already applied), blinker then breather then lip sync, and empties the
// audio feed. Allocates nothing.
void ApplyDrivers(ParameterDrivers& drivers, const ParameterSet& parameters, float dtMs,
                  float* values);

}  // namespace kivanime
