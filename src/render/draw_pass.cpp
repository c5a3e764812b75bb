#include "render/draw_pass.h"

#include <algorithm>

#include "render/masking.h"
#include "render/mesh_placement.h"
#include "render/parallax.h"
#include "render/stable_sort.h"

namespace kivanime {

namespace {

// Parts whose opacity is at or below this are not worth a host call.
constexpr float kMinDrawnAlpha = 0.001f;

bool Drawn(const PartPose& pose) {
    return pose.visible && pose.world.alpha > kMinDrawnAlpha && pose.textureHandle >= 0;
}

DrawItem MakeItem(int32_t index, const AnimePart& part, const PartPose& pose) {
    DrawItem item;
    item.index = index;
    item.drawOrder = part.drawOrder;
    item.depth = part.depth;
    item.pose = pose.world;
    return item;
}

// The instance's place on screen, read once per instance: the host's draw
// function could write anywhere, so fields read through the instance would
// be read again after every call.
struct Placement {
    float x, y, scaleX, scaleY;
};

Placement PlacementOf(const AnimeInstance& instance) {
    return {instance.x, instance.y, instance.scaleX, instance.scaleY};
}

// The packed tint of every part, or null while nothing is tinted (every
// record then carries white).
const uint32_t* TintsOf(const AnimeInstance& instance) {
    return instance.tint && !instance.tint->packed.empty() ? instance.tint->packed.data() : nullptr;
}

// Where a record's tint comes from: white for an untinted instance, the
// packed tint of each part for a tinted one. The draw loop is made once for
// each, so that drawing an untinted instance asks nothing per part.
struct White {
    uint32_t operator[](int32_t) const { return kWhiteTint; }
};
struct PartTints {
    const uint32_t* packed;
    uint32_t operator[](int32_t part) const { return packed[part]; }
};

// Fills a host record from a part posed in model space.
AnimeDrawParams MakeDrawParams(const Placement& place, const AnimePart& part, int32_t texture,
                               const PoseChannels& pose, uint32_t tint, uint32_t flags) {
    AnimeDrawParams params;
    params.texture = texture;
    params.x = place.scaleX * pose.x + place.x;
    params.y = place.scaleY * pose.y + place.y;
    params.flags = flags;
    params.reserved1 = 0.0f;
    params.rotation = pose.rotation;
    params.scaleX = place.scaleX * pose.scaleX;
    params.scaleY = place.scaleY * pose.scaleY;
    params.alpha = pose.alpha;
    params.reserved2 = tint;
    params.anchorX = part.anchorX;
    params.anchorY = part.anchorY;
    params.srcX = part.srcX;
    params.srcY = part.srcY;
    params.srcWidth = part.srcWidth;
    params.srcHeight = part.srcHeight;
    return params;
}

// Fills the list with the instance's drawn parts, in draw order.
void GatherDrawList(const AnimeInstance& instance, DrawList& list) {
    const AnimeModel& model = *instance.model;
    list.reserve(model.parts.size());
    uint32_t* const flat = list.flat.data();
    const PartPose* const poses = instance.poses.data();
    const AnimePart* const parts = model.parts.data();
    size_t n = 0;
    size_t flatCount = 0;
    for (int32_t i : model.topology.drawOrderSorted) {
        const PartPose& pose = poses[i];
        if (!Drawn(pose)) {
            continue;
        }
        const AnimePart& part = parts[i];
        list.set(n, MakeItem(i, part, pose));
        if (part.ignore3D) {
            flat[flatCount++] = static_cast<uint32_t>(n);
        }
        ++n;
    }
    list.count = n;
    list.flatCount = flatCount;
}

// Slot numbers in drawing order: by (drawOrder, turned depth), ties in slot
// order.
void SortDrawList(DrawList& list) {
    const int32_t* const drawOrder = list.drawOrder.data();
    const float* const depth = list.depth.data();
    uint32_t* const sorted = list.sorted.data();
    for (size_t j = 0; j < list.count; ++j) {
        sorted[j] = static_cast<uint32_t>(j);
    }
    StableSort(
        sorted, list.sortBuffer.data(), list.count, [drawOrder, depth](uint32_t a, uint32_t b) {
            return drawOrder[a] != drawOrder[b] ? drawOrder[a] < drawOrder[b] : depth[a] < depth[b];
        });
}

// ignore3D parts were turned with the rest (four at a time); they go back to
// where the hierarchy put them.
void RestoreFlatParts(const AnimeInstance& instance, DrawList& list) {
    for (size_t k = 0; k < list.flatCount; ++k) {
        const size_t j = list.flat[k];
        const int32_t i = list.index[j];
        list.set(j, MakeItem(i, instance.model->parts[static_cast<size_t>(i)],
                             instance.poses[static_cast<size_t>(i)]));
    }
}

}  // namespace

void SortDrawItems(std::vector<DrawItem>& items, DrawList& list) {
    list.reserve(items.size());
    list.count = items.size();
    for (size_t j = 0; j < items.size(); ++j) {
        list.set(j, items[j]);
    }
    SortDrawList(list);
    for (size_t k = 0; k < items.size(); ++k) {
        items[k] = list.get(list.sorted[k]);
    }
}

namespace {

// The record of part `index` as the frame would draw it, with the 3D turn's
// terms worked out already.
AnimeDrawParams PlacedRecord(const AnimeInstance& instance, size_t index,
                             const ParallaxFrame& parallax, uint32_t flags) {
    const AnimePart& part = instance.model->parts[index];
    const PartPose& pose = instance.poses[index];
    DrawItem item = MakeItem(static_cast<int32_t>(index), part, pose);
    if (instance.parallax.enabled3D && !part.ignore3D) {
        ApplyParallax(instance.parallax, parallax, part.depth, item);
    }
    const uint32_t* const tints = TintsOf(instance);
    return MakeDrawParams(PlacementOf(instance), part, pose.textureHandle, item.pose,
                          tints != nullptr ? tints[index] : kWhiteTint, flags);
}

ParallaxFrame ParallaxOf(const AnimeInstance& instance) {
    return instance.parallax.enabled3D ? PrepareParallax(instance.parallax) : ParallaxFrame{};
}

// Clips the masked parts of one instance. The mask's record is worked out
// from the frame's poses, whether or not the mask itself is drawn and
// wherever it comes in the drawing order.
struct Masks {
    const AnimeInstance* instance;
    const int32_t* clipMask = nullptr;  // null when no part of the model is clipped
    ParallaxFrame parallax;
    ClipScratch* scratch;

    Masks(const AnimeInstance& owner, ClipScratch& space) : instance(&owner), scratch(&space) {
        const PartDrawFlags& flags = owner.model->topology.drawFlags;
        if (flags.anyClip) {
            clipMask = flags.clipMask.data();
            parallax = ParallaxOf(owner);
        }
    }

    bool clipped(int32_t part) const { return clipMask != nullptr && clipMask[part] >= 0; }

    // The part's clipped triangles, in scratch->out; returns their vertices.
    size_t clip(int32_t part, const AnimeDrawParams& params) const {
        const size_t mask = static_cast<size_t>(clipMask[part]);
        return ClipPart(*instance, static_cast<size_t>(part), params,
                        PlacedRecord(*instance, mask, parallax, 0), *scratch);
    }

    // Hands the clipped part to the mesh function; nothing when all of it
    // was cut away.
    [[gnu::noinline]] void draw(AnimeDrawMeshFn drawMesh, int32_t part,
                                const AnimeDrawParams& params) const {
        const size_t count = clip(part, params);
        if (count > 0) {
            drawMesh(&params, scratch->out.data(), static_cast<int32_t>(count),
                     scratch->indices.data(), static_cast<int32_t>(count));
        }
    }
};

}  // namespace

AnimeDrawParams PartDrawParams(const AnimeInstance& instance, size_t index) {
    const PartDrawFlags& flags = instance.model->topology.drawFlags;
    return PlacedRecord(
        instance, index, ParallaxOf(instance),
        (instance.drawMesh != nullptr ? flags.meshRoute : flags.spriteRoute)[index]);
}

namespace {

// Hands every part to draw.
struct SpriteOutput {
    AnimeDrawFn draw;

    void operator()(int32_t, const AnimeDrawParams& params) const { draw(&params); }
};

// Hands a masked part to the mesh function clipped, a part with a drawable
// mesh with its vertices placed by the record, and any other part to draw,
// when there is one.
struct MeshOutput {
    AnimeDrawFn draw;
    AnimeDrawMeshFn drawMesh;
    const PartMeshRef* meshes;  // null: the instance has no meshes to bend
    const float* xy;
    const uint16_t* indices;
    AnimeMeshVertex* vertices;  // as many as the table's, with their u and v
    const Masks* masks;

    void operator()(int32_t part, const AnimeDrawParams& params) const {
        if (masks->clipped(part)) {
            masks->draw(drawMesh, part, params);
        } else if (meshes != nullptr && meshes[part].drawable()) {
            drawPlaced(meshes[part], params);
        } else if (draw != nullptr) {
            draw(&params);
        }
    }

    // Kept out of the loop over parts, which it would otherwise crowd.
    [[gnu::noinline]] void drawPlaced(const PartMeshRef& mesh,
                                      const AnimeDrawParams& params) const {
        AnimeMeshVertex* const out = vertices + mesh.firstVertex;
        PlaceMeshVertices(params, xy + 2 * static_cast<size_t>(mesh.firstVertex), nullptr,
                          static_cast<size_t>(mesh.vertexCount), out);
        drawMesh(&params, out, mesh.vertexCount, indices + static_cast<size_t>(mesh.firstIndex),
                 mesh.indexCount);
    }
};

// Where a record's flags come from: 0 for a model without blend modes and
// masks, which so draws exactly as before they existed; the flags of each
// part otherwise.
struct NoFlags {
    uint32_t operator[](int32_t) const { return 0; }
};
struct PartFlags {
    const uint32_t* flags;
    uint32_t operator[](int32_t part) const { return flags[part]; }
};

template <typename Output, typename Tints, typename Flags>
[[gnu::flatten]] void DrawParts(const AnimeInstance& instance, DrawScratch& scratch,
                                const Output& output, const Tints tints, const Flags flags) {
    const AnimeModel& model = *instance.model;
    const Placement place = PlacementOf(instance);
    const PartPose* const poses = instance.poses.data();
    const AnimePart* const parts = model.parts.data();

    if (!instance.parallax.enabled3D) {
        // The part order by draw order never changes: walk it directly.
        for (int32_t i : model.topology.drawOrderSorted) {
            const PartPose& pose = poses[i];
            if (!Drawn(pose)) {
                continue;
            }
            AnimeDrawParams params =
                MakeDrawParams(place, parts[i], pose.textureHandle, pose.world, tints[i], flags[i]);
            output(i, params);
        }
        return;
    }

    DrawList& list = scratch.list;
    GatherDrawList(instance, list);
    ApplyParallax(instance.parallax, PrepareParallax(instance.parallax), list);
    RestoreFlatParts(instance, list);
    SortDrawList(list);
    // Local copies: the draw function could write anywhere.
    const size_t count = list.count;
    const uint32_t* const sorted = list.sorted.data();
    const int32_t* const index = list.index.data();
    const float* const x = list.x.data();
    const float* const y = list.y.data();
    const float* const rotation = list.rotation.data();
    const float* const scaleX = list.scaleX.data();
    const float* const scaleY = list.scaleY.data();
    const float* const alpha = list.alpha.data();
    for (size_t k = 0; k < count; ++k) {
        const size_t j = sorted[k];
        const int32_t i = index[j];
        const PoseChannels pose{x[j], y[j], rotation[j], scaleX[j], scaleY[j], alpha[j]};
        AnimeDrawParams params =
            MakeDrawParams(place, parts[i], poses[i].textureHandle, pose, tints[i], flags[i]);
        output(i, params);
    }
}

// The instance's deformed vertices, when it has any and they match its model.
bool HasMeshes(const AnimeInstance& instance) {
    const MeshTable& meshes = instance.model->topology.meshes;
    return meshes.vertexCount() > 0 && instance.mesh.xy.size() == meshes.restXY.size() &&
           meshes.parts.size() == instance.model->parts.size();
}

// Whether the instance's parts go to its mesh function: it has one, and
// meshes to bend or parts to clip.
bool MeshRoute(const AnimeInstance& instance) {
    return instance.drawMesh != nullptr &&
           (HasMeshes(instance) || instance.model->topology.drawFlags.anyClip);
}

// DrawParts with the flags of `route` (meshRoute or spriteRoute).
template <typename Output, typename Tints>
void DrawPartsFlagged(const AnimeInstance& instance, DrawScratch& scratch, const Output& output,
                      const Tints tints, const std::vector<uint32_t>& route) {
    if (instance.model->topology.drawFlags.any) {
        DrawParts(instance, scratch, output, tints, PartFlags{route.data()});
    } else {
        DrawParts(instance, scratch, output, tints, NoFlags{});
    }
}

template <typename Tints>
void DrawWithTints(const AnimeInstance& instance, DrawScratch& scratch, const Tints tints) {
    const PartDrawFlags& flags = instance.model->topology.drawFlags;
    if (MeshRoute(instance)) {
        const MeshTable& meshes = instance.model->topology.meshes;
        const bool bends = HasMeshes(instance);
        if (bends) {
            // The texture coordinates are written once while one model's
            // instances follow each other; the frames write positions only.
            scratch.reserveMesh(meshes.vertexCount());
            if (scratch.meshSerial != meshes.serial) {
                for (size_t k = 0; k < meshes.vertexCount(); ++k) {
                    scratch.meshVertices[k].u = meshes.uv[2 * k];
                    scratch.meshVertices[k].v = meshes.uv[2 * k + 1];
                }
                scratch.meshSerial = meshes.serial;
            }
        }
        const Masks masks(instance, scratch.clip);
        DrawPartsFlagged(instance, scratch,
                         MeshOutput{instance.host.draw, instance.drawMesh,
                                    bends ? meshes.parts.data() : nullptr, instance.mesh.xy.data(),
                                    meshes.indices.data(), scratch.meshVertices.data(), &masks},
                         tints, flags.meshRoute);
    } else if (instance.host.draw != nullptr) {
        DrawPartsFlagged(instance, scratch, SpriteOutput{instance.host.draw}, tints,
                         flags.spriteRoute);
    }
}

// Keeps each part's record, and places a drawable mesh's vertices as
// MeshOutput would.
struct RecordOutput {
    PreparedPart* out;
    size_t* count;
    const PartMeshRef* meshes;  // null: sprites only
    const float* xy;
    const float* uv;
    AnimeMeshVertex* vertices;
    const int32_t* clipMask;  // null: no part is clipped

    void operator()(int32_t part, const AnimeDrawParams& params) const {
        out[(*count)++] = PreparedPart{params, part};
        // A masked part is clipped as it is handed over, on the calling
        // thread: its own vertices are placed then.
        if (meshes != nullptr && meshes[part].drawable() &&
            !(clipMask != nullptr && clipMask[part] >= 0)) {
            const PartMeshRef& mesh = meshes[part];
            const size_t first = 2 * static_cast<size_t>(mesh.firstVertex);
            PlaceMeshVertices(params, xy + first, uv + first, static_cast<size_t>(mesh.vertexCount),
                              vertices + mesh.firstVertex);
        }
    }
};

template <typename Tints>
size_t PrepareWithTints(const AnimeInstance& instance, DrawScratch& scratch, PreparedPart* out,
                        AnimeMeshVertex* vertices, DrawRoute& route, const Tints tints) {
    size_t count = 0;
    const PartDrawFlags& flags = instance.model->topology.drawFlags;
    if (MeshRoute(instance)) {
        const MeshTable& meshes = instance.model->topology.meshes;
        route = DrawRoute::Meshes;
        DrawPartsFlagged(
            instance, scratch,
            RecordOutput{out, &count, HasMeshes(instance) ? meshes.parts.data() : nullptr,
                         instance.mesh.xy.data(), meshes.uv.data(), vertices,
                         flags.anyClip ? flags.clipMask.data() : nullptr},
            tints, flags.meshRoute);
    } else if (instance.host.draw != nullptr) {
        route = DrawRoute::Sprites;
        DrawPartsFlagged(instance, scratch,
                         RecordOutput{out, &count, nullptr, nullptr, nullptr, nullptr, nullptr},
                         tints, flags.spriteRoute);
    }
    return count;
}

}  // namespace

size_t PreparedVertexRoom(const AnimeInstance& instance) {
    return instance.model && instance.drawMesh != nullptr && HasMeshes(instance)
               ? instance.model->topology.meshes.vertexCount()
               : 0;
}

size_t PrepareInstance(const AnimeInstance& instance, DrawScratch& scratch, PreparedPart* out,
                       AnimeMeshVertex* vertices, DrawRoute& route) {
    route = DrawRoute::None;
    if (!instance.model || instance.poses.size() != instance.model->parts.size()) {
        return 0;
    }
    if (const uint32_t* const packed = TintsOf(instance)) {
        return PrepareWithTints(instance, scratch, out, vertices, route, PartTints{packed});
    }
    return PrepareWithTints(instance, scratch, out, vertices, route, White{});
}

void EmitPrepared(const AnimeInstance& instance, DrawRoute route, const PreparedPart* parts,
                  size_t count, const AnimeMeshVertex* vertices, ClipScratch& clip) {
    // Local copies: the host's functions could write anywhere.
    const AnimeDrawFn draw = instance.host.draw;
    if (route == DrawRoute::Sprites) {
        for (size_t k = 0; k < count; ++k) {
            draw(&parts[k].params);
        }
        return;
    }
    if (route != DrawRoute::Meshes) {
        return;
    }
    const AnimeDrawMeshFn drawMesh = instance.drawMesh;
    const MeshTable& meshes = instance.model->topology.meshes;
    const PartMeshRef* const refs = HasMeshes(instance) ? meshes.parts.data() : nullptr;
    const uint16_t* const indices = meshes.indices.data();
    const Masks masks(instance, clip);
    for (size_t k = 0; k < count; ++k) {
        const int32_t part = parts[k].part;
        if (masks.clipped(part)) {
            masks.draw(drawMesh, part, parts[k].params);
        } else if (refs != nullptr && refs[part].drawable()) {
            const PartMeshRef& mesh = refs[part];
            drawMesh(&parts[k].params, vertices + mesh.firstVertex, mesh.vertexCount,
                     indices + static_cast<size_t>(mesh.firstIndex), mesh.indexCount);
        } else if (draw != nullptr) {
            draw(&parts[k].params);
        }
    }
}

void DrawInstance(const AnimeInstance& instance, DrawScratch& scratch) {
    if (!instance.model || instance.poses.size() != instance.model->parts.size()) {
        return;
    }
    if (const uint32_t* const packed = TintsOf(instance)) {
        DrawWithTints(instance, scratch, PartTints{packed});
    } else {
        DrawWithTints(instance, scratch, White{});
    }
}

int32_t PartMeshVertices(const AnimeInstance& instance, size_t index, ClipScratch& clip,
                         AnimeMeshVertex* out, int32_t capacity) {
    if (!instance.model || index >= instance.poses.size()) {
        return -1;
    }
    const Masks masks(instance, clip);
    if (masks.clipped(static_cast<int32_t>(index))) {
        const size_t count =
            masks.clip(static_cast<int32_t>(index), PartDrawParams(instance, index));
        std::copy_n(clip.out.data(), std::min(count, static_cast<size_t>(capacity)), out);
        return static_cast<int32_t>(count);
    }
    const MeshTable& meshes = instance.model->topology.meshes;
    if (!HasMeshes(instance) || !meshes.parts[index].drawable()) {
        return -1;
    }
    const PartMeshRef& mesh = meshes.parts[index];
    const size_t first = 2 * static_cast<size_t>(mesh.firstVertex);
    const size_t written = static_cast<size_t>(std::clamp(capacity, 0, mesh.vertexCount));
    PlaceMeshVertices(PartDrawParams(instance, index), instance.mesh.xy.data() + first,
                      meshes.uv.data() + first, written, out);
    return mesh.vertexCount;
}

}  // namespace kivanime
