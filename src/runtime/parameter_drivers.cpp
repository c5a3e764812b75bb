#include "runtime/parameter_drivers.h"

#include <cmath>

namespace kivanime {

namespace {

// A long update could owe a blinker with a tiny interval millions of blinks;
// past this many starts in one update the blinker simply starts one now.
constexpr int kMaxBlinkStartsPerUpdate = 64;

// Where a blinker puts the value `sinceMs` into a blink.
float BlinkValue(const Blinker& b, const AnimeParameter& p, float sinceMs) {
    const float half = b.closeMs * 0.5f;
    if (sinceMs < half) {
        return p.max + (p.min - p.max) * (sinceMs / half);
    }
    return p.min + (p.max - p.min) * ((sinceMs - half) / half);
}

void AdvanceBlinker(Blinker& b, float dtMs) {
    b.sinceMs = b.sinceMs + dtMs;
    int starts = 0;
    while (b.sinceMs >= b.spacingMs) {
        if (++starts > kMaxBlinkStartsPerUpdate) {
            b.sinceMs = 0.0f;
            break;
        }
        b.sinceMs = b.sinceMs - b.spacingMs;
        b.spacingMs = b.intervalMs * NextBlinkJitter(b.state);
        b.blinking = true;
    }
}

float LipSyncLevel(LipSync& l, const AnimeParameter& p, const AudioFeed& audio, float dtMs) {
    if (audio.count > 0) {
        const float rms = std::sqrt(audio.sumOfSquares / static_cast<float>(audio.count));
        l.level = ClampToRange(p, l.gain * rms);
    } else {
        const float fallen = l.level - (p.max - p.min) * (dtMs / 100.0f);
        l.level = fallen < p.min ? p.min : fallen;
    }
    return l.level;
}

}  // namespace

void InitializeDrivers(ParameterDrivers& drivers, size_t count) {
    drivers.blinkers.assign(count, Blinker{});
    drivers.breathers.assign(count, Breather{});
    drivers.lipSyncs.assign(count, LipSync{});
    drivers.audio = AudioFeed{};
    drivers.active = 0;
}

namespace {

void CountActive(ParameterDrivers& drivers) {
    int32_t active = 0;
    for (size_t i = 0; i < drivers.blinkers.size(); ++i) {
        active += (drivers.blinkers[i].intervalMs > 0.0f) + (drivers.breathers[i].periodMs > 0.0f) +
                  (drivers.lipSyncs[i].gain > 0.0f);
    }
    drivers.active = active;
}

}  // namespace

void SetBlinker(ParameterDrivers& drivers, int32_t index, float intervalMs, float closeMs,
                uint32_t seed) {
    Blinker& b = drivers.blinkers[static_cast<size_t>(index)];
    b = Blinker{};
    if (intervalMs > 0.0f) {
        b.intervalMs = intervalMs;
        b.closeMs = closeMs;
        b.state = seed;
        b.spacingMs = intervalMs * NextBlinkJitter(b.state);
    }
    CountActive(drivers);
}

void SetBreather(ParameterDrivers& drivers, int32_t index, float periodMs, float amplitude) {
    Breather& b = drivers.breathers[static_cast<size_t>(index)];
    b = Breather{};
    if (periodMs > 0.0f) {
        b.periodMs = periodMs;
        b.amplitude = amplitude;
    }
    CountActive(drivers);
}

void SetLipSync(ParameterDrivers& drivers, const AnimeParameter& parameter, int32_t index,
                float gain) {
    LipSync& l = drivers.lipSyncs[static_cast<size_t>(index)];
    l = LipSync{};
    if (gain > 0.0f) {
        l.gain = gain;
        l.level = parameter.min;
    }
    CountActive(drivers);
}

void FeedAudio(AudioFeed& audio, const float* samples, int32_t count) {
    float sum = audio.sumOfSquares;
    for (int32_t i = 0; i < count; ++i) {
        const float s = std::isfinite(samples[i]) ? samples[i] : 0.0f;
        sum = sum + s * s;
    }
    audio.sumOfSquares = sum;
    audio.count += count;
}

float NextBlinkJitter(uint32_t& state) {
    // A counter hashed by a fixed mix of shifts and multiplications: the same
    // 32-bit integer steps on every platform and in a page.
    state += 0x9E3779B9u;
    uint32_t z = state;
    z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
    z = (z ^ (z >> 13)) * 0xC2B2AE35u;
    z ^= z >> 16;
    // The top 24 bits as u in [-1, 1), exactly.
    const float u = static_cast<float>(z >> 8) * (1.0f / 8388608.0f) - 1.0f;
    return 1.0f + 0.25f * u;
}

float SinOfTurns(float phase) {
    // Fold the phase onto a quarter turn (each step exact in float), then the
    // odd Taylor polynomial of sin to x^11 in Horner form: within 6e-8 of
    // sin over [0, pi / 2].
    float sign = 1.0f;
    float p = phase;
    if (p >= 0.5f) {
        p = p - 0.5f;
        sign = -1.0f;
    }
    if (p > 0.25f) {
        p = 0.5f - p;
    }
    const float x = p * 6.28318530717958647692f;
    const float x2 = x * x;
    float s = -2.50521083854417187751e-8f;
    s = s * x2 + 2.75573192239858906526e-6f;
    s = s * x2 - 1.98412698412698412698e-4f;
    s = s * x2 + 8.33333333333333333333e-3f;
    s = s * x2 - 1.66666666666666666667e-1f;
    s = s * x2 + 1.0f;
    return sign * (x * s);
}

void ApplyDrivers(ParameterDrivers& drivers, const ParameterSet& parameters, float dtMs,
                  float* values) {
    const AudioFeed audio = drivers.audio;
    drivers.audio = AudioFeed{};
    if (drivers.active == 0) {
        return;
    }
    // Time never runs backwards for a driver.
    const float dt = dtMs > 0.0f ? dtMs : 0.0f;
    const size_t count = parameters.list.size();
    for (size_t i = 0; i < count; ++i) {
        const AnimeParameter& p = parameters.list[i];
        Blinker& blink = drivers.blinkers[i];
        if (blink.intervalMs > 0.0f) {
            AdvanceBlinker(blink, dt);
            if (blink.blinking && blink.sinceMs < blink.closeMs) {
                values[i] = BlinkValue(blink, p, blink.sinceMs);
            }
        }
        Breather& breath = drivers.breathers[i];
        if (breath.periodMs > 0.0f) {
            const float turned = breath.phase + dt / breath.periodMs;
            breath.phase = std::isfinite(turned) ? turned - std::floor(turned) : 0.0f;
            values[i] = values[i] + breath.amplitude * SinOfTurns(breath.phase);
        }
        LipSync& lip = drivers.lipSyncs[i];
        if (lip.gain > 0.0f) {
            values[i] = LipSyncLevel(lip, p, audio, dt);
        }
    }
}

}  // namespace kivanime
