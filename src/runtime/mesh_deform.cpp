#include "runtime/mesh_deform.h"

#include <algorithm>

#include "runtime/keyframes.h"

namespace kivanime {

void InitializeMeshDeform(MeshDeform& deform, const MeshTable& meshes) {
    deform.xy = meshes.restXY;
    deform.moved = false;
}

void ApplyDeform(MotionPlayer& player, const AnimeModel& model,
                 const OverlayAccumulator& overlaySums, MeshDeform& deform) {
    const AnimeMotion* main = player.motion != nullptr ? player.motion : model.emptyNameMotion;
    const bool mainMoves = main != nullptr && !main->deformTracks.empty();
    const bool overlaysMove = main != nullptr && !overlaySums.deformed.empty();
    const std::vector<float>& rest = model.topology.meshes.restXY;
    // A puppet without meshes, or whose meshes rest and stay at rest, is done.
    if ((!mainMoves && !overlaysMove && !deform.moved) || deform.xy.size() != rest.size()) {
        return;
    }
    // Meshes the main motion moves whole are written as rest plus offsets;
    // any other mesh starts again from rest, if it was moved.
    const bool setsEveryMesh = mainMoves && main->deformsEveryMeshWhole;
    if (deform.moved && !setsEveryMesh) {
        std::copy(rest.begin(), rest.end(), deform.xy.begin());
    }
    float* const xy = deform.xy.data();
    if (mainMoves) {
        // The hints are those ApplyMotion just left for the same clock.
        uint16_t* const segments =
            player.segments.size() >= main->tracks.size() ? player.segments.data() : nullptr;
        for (size_t i = 0; i < main->deformTracks.size(); ++i) {
            const uint32_t k = main->deformTracks[i];
            const MotionTrack& track = main->tracks[k];
            const TrackPoint point =
                LocateTrack(track, player.time, segments != nullptr ? segments + k : nullptr);
            const size_t first = 2 * static_cast<size_t>(track.meshFirstVertex);
            if (setsEveryMesh && main->deformSetters[i] != 0) {
                SetTrackDeform(track, point, rest.data() + first, xy + first);
            } else {
                AddTrackDeform(track, point, 1.0f, xy + first);
            }
        }
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
    deform.moved = mainMoves || overlaysMove;
}

}  // namespace kivanime
