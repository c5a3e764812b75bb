#include "runtime/motion_sample.h"

#include <algorithm>

namespace kivanime {

void ComposeMotion(const AnimeMotion* motion, float time, uint16_t* segments, size_t segmentCount,
                   size_t partCount, PartDelta* out) {
    std::fill(out, out + partCount, PartDelta{});
    if (motion == nullptr) {
        return;
    }
    const std::vector<MotionTrack>& tracks = motion->tracks;
    for (size_t k = 0; k < tracks.size(); ++k) {
        const MotionTrack& track = tracks[k];
        if (track.partIndex < 0 || static_cast<size_t>(track.partIndex) >= partCount) {
            continue;
        }
        const PartDelta s =
            k < segmentCount ? SampleTrack(track, time, segments[k]) : SampleTrack(track, time);
        PartDelta& sum = out[static_cast<size_t>(track.partIndex)];
        sum.x += s.x;
        sum.y += s.y;
        sum.rotation += s.rotation;
        sum.scaleX *= s.scaleX;
        sum.scaleY *= s.scaleY;
        sum.alpha *= s.alpha;
        if (s.visible >= 0) {
            sum.visible = s.visible;
        }
        if (s.textureSwap != kNoTextureSwap) {
            sum.textureSwap = s.textureSwap;
        }
    }
}

void DeformByMotion(const AnimeMotion* motion, float time, std::vector<uint16_t>& segments,
                    const std::vector<float>& rest, bool atRest, float* xy) {
    const bool moves = motion != nullptr && !motion->deformTracks.empty();
    // Meshes the motion moves whole are written as rest plus offsets; any
    // other mesh starts again from rest.
    const bool setsEveryMesh = moves && motion->deformsEveryMeshWhole;
    if (!atRest && !setsEveryMesh) {
        std::copy(rest.begin(), rest.end(), xy);
    }
    if (!moves) {
        return;
    }
    uint16_t* const hints = segments.size() >= motion->tracks.size() ? segments.data() : nullptr;
    for (size_t i = 0; i < motion->deformTracks.size(); ++i) {
        const uint32_t k = motion->deformTracks[i];
        const MotionTrack& track = motion->tracks[k];
        const TrackPoint point = LocateTrack(track, time, hints != nullptr ? hints + k : nullptr);
        const size_t first = 2 * static_cast<size_t>(track.meshFirstVertex);
        if (setsEveryMesh && motion->deformSetters[i] != 0) {
            SetTrackDeform(track, point, rest.data() + first, xy + first);
        } else {
            AddTrackDeform(track, point, 1.0f, xy + first);
        }
    }
}

}  // namespace kivanime
