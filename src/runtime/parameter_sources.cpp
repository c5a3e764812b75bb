#include "runtime/parameter_sources.h"

#include <algorithm>
#include <cmath>

#include "runtime/keyframes.h"

namespace kivanime {

namespace {

// Pulls every parameter a motion's tracks name toward the track's value by
// `weight`: v + (c - v) * weight.
void PullTowardTracks(const AnimeMotion& motion, float timeMs, float weight, float* v) {
    for (const MotionTrack& track : motion.parameterTracks) {
        if (track.parameterIndex >= 0 && !track.keyframes.empty()) {
            const float c = SampleTrack(track, timeMs).channels.x;
            float& value = v[track.parameterIndex];
            value = value + (c - value) * weight;
        }
    }
}

// Writes into `main` what the main source gives each parameter: the main
// motion's track value, or during a cross-fade the two sides blended by the
// fade's weight; NaN where no side has a track.
void MainValues(const AnimeModel& model, const MotionPlayer& player, const float* host,
                float* main) {
    const size_t count = model.parameters.list.size();
    std::fill(main, main + count, NAN);
    const MotionClock& clock = player.main;
    const AnimeMotion* motion = clock.motion != nullptr ? clock.motion : model.emptyNameMotion;
    if (motion == nullptr) {
        return;
    }
    const CrossFade& fade = player.fade;
    if (!fade.active) {
        for (const MotionTrack& track : motion->parameterTracks) {
            if (track.parameterIndex >= 0 && !track.keyframes.empty()) {
                main[track.parameterIndex] = SampleTrack(track, clock.time).channels.x;
            }
        }
        return;
    }
    const bool frozen = fade.frozen && fade.snapshotValues.size() == count;
    const AnimeMotion* outgoing = fade.frozen                       ? nullptr
                                  : fade.outgoing.motion != nullptr ? fade.outgoing.motion
                                                                    : model.emptyNameMotion;
    const float w = fade.elapsed / fade.duration;
    for (size_t i = 0; i < count; ++i) {
        const int32_t index = static_cast<int32_t>(i);
        const float to = SampleParameter(motion, index, clock.time);
        const float from =
            frozen ? fade.snapshotValues[i] : SampleParameter(outgoing, index, fade.outgoing.time);
        if (std::isnan(to) && std::isnan(from)) {
            continue;
        }
        const float a = std::isnan(from) ? host[i] : from;
        const float b = std::isnan(to) ? host[i] : to;
        main[i] = a + (b - a) * w;
    }
}

}  // namespace

float SampleParameter(const AnimeMotion* motion, int32_t index, float timeMs) {
    float value = NAN;
    if (motion == nullptr) {
        return value;
    }
    for (const MotionTrack& track : motion->parameterTracks) {
        if (track.parameterIndex == index && !track.keyframes.empty()) {
            value = SampleTrack(track, timeMs).channels.x;
        }
    }
    return value;
}

void EvaluateParameters(ParameterValues& values, const AnimeModel& model, MotionPlayer& player,
                        const ExpressionBlend& expression, float dtMs) {
    const ParameterSet& parameters = model.parameters;
    const size_t count = parameters.list.size();
    if (count == 0 || values.used.size() != count || player.fade.mainValues.size() != count) {
        return;
    }
    float* const v = values.used.data();
    const float* const host = values.host.data();
    float* const main = player.fade.mainValues.data();
    MainValues(model, player, host, main);
    for (size_t i = 0; i < count; ++i) {
        v[i] = std::isnan(main[i]) ? host[i] : main[i];
    }
    for (const OverlaySlot& slot : player.overlays) {
        if (slot.weight > 0.0f) {
            PullTowardTracks(*slot.clock.motion, slot.clock.time, slot.weight, v);
        }
    }
    const float w = expression.weight;
    if (expression.active && expression.expression != nullptr && w > 0.0f) {
        for (const ExpressionParam& q : expression.expression->parameterValues) {
            if (q.parameterIndex >= 0) {
                float& value = v[q.parameterIndex];
                value = value + (q.value - value) * w;
            }
        }
    }
    ApplyDrivers(values.drivers, parameters, dtMs, v);
    // A NaN (from a file's NaN, or infinities cancelling) falls back on the
    // host's value.
    for (size_t i = 0; i < count; ++i) {
        v[i] = ClampToRange(parameters.list[i], v[i] == v[i] ? v[i] : host[i]);
    }
    values.updated = true;
}

}  // namespace kivanime
