#include "runtime/mesh_deform.h"

#include "runtime/motion_sample.h"

namespace kivanime {

void InitializeMeshDeform(MeshDeform& deform, const MeshTable& meshes) {
    deform.xy = meshes.restXY;
    deform.moved = false;
}

void ApplyDeform(MotionPlayer& player, const AnimeModel& model,
                 const OverlayAccumulator& overlaySums, MeshDeform& deform,
                 FadeScratch& fadeScratch) {
    MotionClock& clock = player.main;
    const AnimeMotion* motion = clock.motion != nullptr ? clock.motion : model.emptyNameMotion;
    const bool mainMoves = motion != nullptr && !motion->deformTracks.empty();
    const bool overlaysMove = motion != nullptr && !overlaySums.deformed.empty();
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
    DeformByMotion(motion, clock.time, clock.segments, rest, !deform.moved, xy);
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
