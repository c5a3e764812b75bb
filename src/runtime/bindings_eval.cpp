#include "runtime/bindings_eval.h"

#include <algorithm>

#include "runtime/channel_ops.h"
#include "runtime/motion_player.h"

namespace kivanime {

AxisPoint LocateOnAxis(const std::vector<float>& axis, float value) {
    AxisPoint p;
    const size_t last = axis.size() - 1;
    if (!(value > axis[0])) {
        return p;  // at or before the first key (NaN too)
    }
    if (value >= axis[last]) {
        p.lo = p.hi = p.nearest = static_cast<uint32_t>(last);
        return p;
    }
    // The first key past the value: equal keys before it, the segment
    // between two distinct values.
    const size_t hi =
        static_cast<size_t>(std::upper_bound(axis.begin(), axis.end(), value) - axis.begin());
    const size_t lo = hi - 1;
    const float below = value - axis[lo];
    const float above = axis[hi] - value;
    p.lo = static_cast<uint32_t>(lo);
    p.hi = static_cast<uint32_t>(hi);
    p.f = below / (axis[hi] - axis[lo]);
    p.nearest = static_cast<uint32_t>(below <= above ? lo : hi);
    return p;
}

namespace {

void TakeDiscrete(const BindingKey& key, PartDelta& delta) {
    delta.visible = key.visible;
    delta.textureSwap = key.textureSwap;
}

// The first parameter's interpolation between two keys of the second's
// value.
void Lerp(const BindingKey& a, const BindingKey& b, float f, PoseChannels& out) {
    InterpolateChannels(a.channels, b.channels, f, out);
}

void AddLineDeform(const float* a, const float* b, float f, size_t n, float* xy) {
    for (size_t j = 0; j < n; ++j) {
        xy[j] += a[j] + (b[j] - a[j]) * f;
    }
}

void AddGridDeform(const float* a0, const float* a1, const float* b0, const float* b1, float fa,
                   float fb, size_t n, float* xy) {
    for (size_t j = 0; j < n; ++j) {
        const float c0 = a0[j] + (a1[j] - a0[j]) * fa;
        const float c1 = b0[j] + (b1[j] - b0[j]) * fa;
        xy[j] += c0 + (c1 - c0) * fb;
    }
}

}  // namespace

PartDelta EvaluateBinding(const AnimeBinding& b, const float* values) {
    PartDelta d;
    const AxisPoint pa = LocateOnAxis(b.axis[0], values[b.parameter[0]]);
    if (b.dimensions == 1) {
        Lerp(b.keys[pa.lo], b.keys[pa.hi], pa.f, d.channels);
        if (b.discrete) {
            TakeDiscrete(b.keys[pa.nearest], d);
        }
        return d;
    }
    const AxisPoint pb = LocateOnAxis(b.axis[1], values[b.parameter[1]]);
    const size_t columns = b.axis[1].size();
    const BindingKey* k = b.keys.data();
    PoseChannels c0;
    PoseChannels c1;
    Lerp(k[pa.lo * columns + pb.lo], k[pa.hi * columns + pb.lo], pa.f, c0);
    Lerp(k[pa.lo * columns + pb.hi], k[pa.hi * columns + pb.hi], pa.f, c1);
    InterpolateChannels(c0, c1, pb.f, d.channels);
    if (b.discrete) {
        TakeDiscrete(k[pa.nearest * columns + pb.nearest], d);
    }
    return d;
}

namespace {

void AddBindingDeform(const AnimeBinding& b, const float* values, float* xy) {
    const size_t n = 2 * static_cast<size_t>(b.meshVertexCount);
    float* const out = xy + 2 * static_cast<size_t>(b.meshFirstVertex);
    const float* const keys = b.deform.data();
    const AxisPoint pa = LocateOnAxis(b.axis[0], values[b.parameter[0]]);
    if (b.dimensions == 1) {
        AddLineDeform(keys + pa.lo * n, keys + pa.hi * n, pa.f, n, out);
        return;
    }
    const AxisPoint pb = LocateOnAxis(b.axis[1], values[b.parameter[1]]);
    const size_t columns = b.axis[1].size();
    AddGridDeform(keys + (pa.lo * columns + pb.lo) * n, keys + (pa.hi * columns + pb.lo) * n,
                  keys + (pa.lo * columns + pb.hi) * n, keys + (pa.hi * columns + pb.hi) * n, pa.f,
                  pb.f, n, out);
}

}  // namespace

void ApplyBindings(const AnimeModel& model, const float* values,
                   const std::vector<int32_t>& textureHandles, std::vector<PartPose>& poses,
                   MeshDeform& mesh) {
    for (const AnimeBinding& b : model.bindings) {
        if (b.inert() || static_cast<size_t>(b.partIndex) >= poses.size()) {
            continue;
        }
        ApplyDelta(poses[static_cast<size_t>(b.partIndex)], EvaluateBinding(b, values),
                   textureHandles);
        if (!b.deform.empty() && !mesh.xy.empty()) {
            AddBindingDeform(b, values, mesh.xy.data());
            mesh.moved = true;
        }
    }
}

}  // namespace kivanime
