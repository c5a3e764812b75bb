#include "runtime/bindings_eval.h"

#include <algorithm>
#include <cstring>

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

// The binding's change where its values stand at `pa` (and `pb` on the
// second axis of a grid).
PartDelta DeltaAt(const AnimeBinding& b, const AxisPoint& pa, const AxisPoint& pb) {
    PartDelta d;
    if (b.dimensions == 1) {
        InterpolateChannels(b.keys[pa.lo].channels, b.keys[pa.hi].channels, pa.f, d.channels);
        if (b.discrete) {
            TakeDiscrete(b.keys[pa.nearest], d);
        }
        return d;
    }
    const size_t columns = b.axis[1].size();
    const BindingKey* k = b.keys.data();
    PoseChannels c0;
    PoseChannels c1;
    InterpolateChannels(k[pa.lo * columns + pb.lo].channels, k[pa.hi * columns + pb.lo].channels,
                        pa.f, c0);
    InterpolateChannels(k[pa.lo * columns + pb.hi].channels, k[pa.hi * columns + pb.hi].channels,
                        pa.f, c1);
    InterpolateChannels(c0, c1, pb.f, d.channels);
    if (b.discrete) {
        TakeDiscrete(k[pa.nearest * columns + pb.nearest], d);
    }
    return d;
}

// Where the binding's values stand on its axes (the second left at its
// start for one parameter).
void Locate(const AnimeBinding& b, const float* values, AxisPoint along[2]) {
    along[0] = LocateOnAxis(b.axis[0], values[b.parameter[0]]);
    along[1] = b.dimensions == 1 ? AxisPoint{} : LocateOnAxis(b.axis[1], values[b.parameter[1]]);
}

}  // namespace

PartDelta EvaluateBinding(const AnimeBinding& b, const float* values) {
    AxisPoint along[2];
    Locate(b, values, along);
    return DeltaAt(b, along[0], along[1]);
}

namespace {

// The keys around the values, whose offsets are blended as the channels
// are, a + (b - a) * f: two along one parameter, or a grid cell's four
// (first along the first parameter, then the second).
struct DeformCorners {
    const KeyframeDeform* key[4];
    int count;
};

// Whether the key moves every vertex of the mesh (its offsets lie in one
// run from the mesh's first vertex).
bool Whole(const KeyframeDeform& d, uint32_t vertices) {
    return d.vertex == 0 && d.count == vertices;
}

// The key's offset at float `j` of the mesh (x, y per vertex): 0 for a vertex
// it leaves alone.
float OffsetAt(const KeyframeDeform& d, const float* values, size_t j) {
    const size_t begin = 2 * static_cast<size_t>(d.vertex);
    const size_t end = begin + 2 * static_cast<size_t>(d.count);
    return j >= begin && j < end ? values[d.first + (j - begin)] : 0.0f;
}

// Adds the blended offsets over the vertices any corner moves. When every
// corner moves the whole mesh (the usual binding), straight runs.
void AddCornerDeform(const DeformCorners& c, const float* values, uint32_t vertices, float fa,
                     float fb, float* xy) {
    bool whole = true;
    size_t begin = 2 * static_cast<size_t>(vertices);
    size_t end = 0;
    for (int i = 0; i < c.count; ++i) {
        const KeyframeDeform& d = *c.key[i];
        whole = whole && Whole(d, vertices);
        if (d.count > 0) {
            begin = std::min(begin, 2 * static_cast<size_t>(d.vertex));
            end = std::max(end, 2 * static_cast<size_t>(d.vertex + d.count));
        }
    }
    if (whole) {
        const float* a0 = values + c.key[0]->first;
        const float* a1 = values + c.key[1]->first;
        if (c.count == 2) {
            for (size_t j = 0; j < end; ++j) {
                xy[j] += a0[j] + (a1[j] - a0[j]) * fa;
            }
            return;
        }
        const float* b0 = values + c.key[2]->first;
        const float* b1 = values + c.key[3]->first;
        for (size_t j = 0; j < end; ++j) {
            const float c0 = a0[j] + (a1[j] - a0[j]) * fa;
            const float c1 = b0[j] + (b1[j] - b0[j]) * fa;
            xy[j] += c0 + (c1 - c0) * fb;
        }
        return;
    }
    for (size_t j = begin; j < end; ++j) {
        const float a0 = OffsetAt(*c.key[0], values, j);
        const float a1 = OffsetAt(*c.key[1], values, j);
        const float c0 = a0 + (a1 - a0) * fa;
        if (c.count == 2) {
            xy[j] += c0;
            continue;
        }
        const float b0 = OffsetAt(*c.key[2], values, j);
        const float b1 = OffsetAt(*c.key[3], values, j);
        const float c1 = b0 + (b1 - b0) * fa;
        xy[j] += c0 + (c1 - c0) * fb;
    }
}

void AddBindingDeform(const AnimeBinding& b, const AxisPoint& pa, const AxisPoint& pb, float* xy) {
    float* const out = xy + 2 * static_cast<size_t>(b.meshFirstVertex);
    const KeyframeDeform* const d = b.deforms.data();
    const uint32_t vertices = static_cast<uint32_t>(b.meshVertexCount);
    if (b.dimensions == 1) {
        AddCornerDeform({{&d[pa.lo], &d[pa.hi]}, 2}, b.deformValues.data(), vertices, pa.f, 0.0f,
                        out);
        return;
    }
    const size_t columns = b.axis[1].size();
    AddCornerDeform({{&d[pa.lo * columns + pb.lo], &d[pa.hi * columns + pb.lo],
                      &d[pa.lo * columns + pb.hi], &d[pa.hi * columns + pb.hi]},
                     4},
                    b.deformValues.data(), vertices, pa.f, pb.f, out);
}

// A value's bits (std::bit_cast is missing from some supported libraries).
uint32_t BitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Brings `memo` up to the binding's values: evaluated again only when a
// value differs from the memo's by a bit (so -0 and 0, or two NaNs of
// different payloads, count as a change: never a wrong skip).
void Refresh(const AnimeBinding& b, const float* values, BindingMemo& memo) {
    const uint32_t first = BitsOf(values[b.parameter[0]]);
    const uint32_t second = b.dimensions == 1 ? 0u : BitsOf(values[b.parameter[1]]);
    if (memo.valid && memo.bits[0] == first && memo.bits[1] == second) {
        return;
    }
    Locate(b, values, memo.along);
    memo.delta = DeltaAt(b, memo.along[0], memo.along[1]);
    memo.bits[0] = first;
    memo.bits[1] = second;
    memo.valid = true;
}

// The memo's change on the binding's part, its vertex offsets on the mesh.
void Apply(const AnimeBinding& b, const BindingMemo& memo,
           const std::vector<int32_t>& textureHandles, std::vector<PartPose>& poses,
           MeshDeform& mesh) {
    ApplyDelta(poses[static_cast<size_t>(b.partIndex)], memo.delta, textureHandles);
    if (!b.deforms.empty() && !mesh.xy.empty()) {
        AddBindingDeform(b, memo.along[0], memo.along[1], mesh.xy.data());
        mesh.moved = true;
    }
}

}  // namespace

void InitializeBindingMemos(std::vector<BindingMemo>& memos, const AnimeModel& model) {
    memos.assign(model.bindings.size(), BindingMemo{});
}

void ApplyBindings(const AnimeModel& model, const float* values,
                   const std::vector<int32_t>& textureHandles, std::vector<PartPose>& poses,
                   MeshDeform& mesh, BindingMemo* memos) {
    // The counts once: writes through the memos could otherwise make the
    // compiler read them again for every binding.
    const AnimeBinding* const bindings = model.bindings.data();
    const size_t count = model.bindings.size();
    const size_t parts = poses.size();
    BindingMemo fresh;
    for (size_t i = 0; i < count; ++i) {
        const AnimeBinding& b = bindings[i];
        if (b.inert() || static_cast<size_t>(b.partIndex) >= parts) {
            continue;
        }
        // Without memos every binding is evaluated: `fresh` never holds a
        // result past its own binding.
        BindingMemo& memo = memos != nullptr ? memos[i] : fresh;
        fresh.valid = false;
        Refresh(b, values, memo);
        Apply(b, memo, textureHandles, poses, mesh);
    }
}

}  // namespace kivanime
