#include "runtime/mesh_deform.h"

#include <algorithm>

#include "runtime/keyframes.h"

namespace kivanime {

void InitializeMeshDeform(MeshDeform& deform, const MeshTable& meshes) {
    deform.xy = meshes.restXY;
    deform.moved = false;
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

void ApplyDeform(MotionPlayer& player, const AnimeModel& model,
                 const OverlayAccumulator& overlaySums, MeshDeform& deform,
                 FadeScratch& fadeScratch) {
    const AnimeMotion* main = player.motion != nullptr ? player.motion : model.emptyNameMotion;
    const bool mainMoves = main != nullptr && !main->deformTracks.empty();
    const bool overlaysMove = main != nullptr && !overlaySums.deformed.empty();
    // A fade blends unless both of its sides leave every vertex at rest.
    const bool fades = player.fade.active && (mainMoves || OutgoingDeforms(player.fade, model));
    const std::vector<float>& rest = model.topology.meshes.restXY;
    // A puppet without meshes, or whose meshes rest and stay at rest, is done.
    if ((!mainMoves && !overlaysMove && !fades && !deform.moved) ||
        deform.xy.size() != rest.size()) {
        return;
    }
    float* const xy = deform.xy.data();
    // The hints are those ApplyMotion just left for the same clock.
    DeformByMotion(main, player.time, player.segments, rest, !deform.moved, xy);
    if (fades) {
        BlendCrossFadeDeform(player.fade, model, xy, fadeScratch);
    }
    if (overlaysMove) {
        const float* const sums = overlaySums.deform.data();
        for (const OverlayAccumulator::MeshRange& range : overlaySums.deformed) {
            const size_t first = 2 * static_cast<size_t>(range.firstVertex);
            const size_t end = first + 2 * static_cast<size_t>(range.vertexCount);
            for (size_t j = first; j < end; ++j) {
                xy[j] += sums[j];
            }
        }
    }
    deform.moved = mainMoves || overlaysMove || fades;
}

}  // namespace kivanime
