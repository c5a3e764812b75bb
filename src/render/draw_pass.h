// Handing an instance's parts to the host, back to front.
#pragma once

#include <vector>

#include "kivanime.h"
#include "render/draw_item.h"
#include "render/draw_list.h"
#include "render/masking.h"
#include "runtime/anime_instance.h"

namespace kivanime {

// Working space of the draw pass, shared by every instance drawn with it:
// after the largest model has been drawn once, drawing allocates nothing.
struct DrawScratch {
    DrawList list;
    // The meshes of the instance being drawn, in drawing space, laid out as
    // the model's mesh table; the texture coordinates are those of the table
    // numbered `meshSerial`, and stay while instances of one model are drawn.
    std::vector<AnimeMeshVertex> meshVertices;
    uint64_t meshSerial = 0;
    // Where masked parts are clipped: only the scratch of the thread that
    // calls the host is sized for it (the workers leave the clipping to it).
    ClipScratch clip;

    // Room for `vertices` mesh vertices; allocates only when more come.
    void reserveMesh(size_t vertices) {
        if (meshVertices.size() < vertices) {
            meshVertices.resize(vertices);
        }
    }
};

// Calls the instance's draw function once per visible, opaque-enough,
// textured part: parts by draw order, and with the parallax on, parts of
// equal draw order by depth (nearer later). Equal keys keep part-list order.
// An instance with a mesh function hands it the parts that have a drawable
// mesh instead, with the same record, at the same place in the order, and
// the masked parts clipped (nothing for a part clipped away entirely).
// Records carry the part's blend mode in their flags, and a masked part
// that goes to draw whole the unclipped bit.
void DrawInstance(const AnimeInstance& instance, DrawScratch& scratch);

// One part's host call, made ahead of time.
struct PreparedPart {
    AnimeDrawParams params;
    int32_t part;
};

// Which host function an instance's prepared parts go to.
enum class DrawRoute : uint8_t { None, Sprites, Meshes };

// Room an instance needs to be prepared: a part per model part, and its
// model's mesh vertices when it draws meshes.
size_t PreparedVertexRoom(const AnimeInstance& instance);

// Everything DrawInstance works out, without calling the host: writes the
// records it would hand over to `out` (room for one per model part) in its
// order and returns their count, and places the meshes' vertices, with their
// u and v, in `vertices` (room for PreparedVertexRoom, laid out as the
// model's mesh table). Touches only its arguments and reads the instance.
size_t PrepareInstance(const AnimeInstance& instance, DrawScratch& scratch, PreparedPart* out,
                       AnimeMeshVertex* vertices, DrawRoute& route);

// Makes the host calls of a prepared instance, exactly those DrawInstance
// would have made, clipping the masked parts in `clip`.
void EmitPrepared(const AnimeInstance& instance, DrawRoute route, const PreparedPart* parts,
                  size_t count, const AnimeMeshVertex* vertices, ClipScratch& clip);

// The record part `index` would be drawn with now, whether or not it is
// drawn: texture, visibility and opacity do not matter here.
AnimeDrawParams PartDrawParams(const AnimeInstance& instance, size_t index);

// The vertices of part `index`'s mesh as they would be drawn now (placed by
// PartDrawParams), or of a masked part its clipped triangles (worked out in
// `clip`): writes the first `capacity` of them (at most) to `out` and
// returns their count, or -1 when the part has neither.
int32_t PartMeshVertices(const AnimeInstance& instance, size_t index, ClipScratch& clip,
                         AnimeMeshVertex* out, int32_t capacity);

// Stable sort by (drawOrder, depth) through the 3D draw's own sort, for a
// list of items in any order; `scratch` grows to the list's size.
void SortDrawItems(std::vector<DrawItem>& items, DrawList& scratch);

}  // namespace kivanime
