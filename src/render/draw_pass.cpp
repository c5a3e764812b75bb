#include "render/draw_pass.h"

#include "render/parallax.h"

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
    item.x = pose.world.x;
    item.y = pose.world.y;
    item.scaleX = pose.world.scaleX;
    item.scaleY = pose.world.scaleY;
    item.rotation = pose.world.rotation;
    return item;
}

bool ItemLess(const DrawItem& a, const DrawItem& b) {
    if (a.drawOrder != b.drawOrder) {
        return a.drawOrder < b.drawOrder;
    }
    return a.depth < b.depth;
}

void InsertionSort(DrawItem* items, size_t n) {
    for (size_t i = 1; i < n; ++i) {
        DrawItem item = items[i];
        size_t j = i;
        while (j > 0 && ItemLess(item, items[j - 1])) {
            items[j] = items[j - 1];
            --j;
        }
        items[j] = item;
    }
}

// Stable top-down merge sort; ties take the left (earlier) item first.
void MergeSort(DrawItem* items, DrawItem* scratch, size_t n) {
    if (n <= 16) {
        InsertionSort(items, n);
        return;
    }
    const size_t half = n / 2;
    MergeSort(items, scratch, half);
    MergeSort(items + half, scratch + half, n - half);
    if (!ItemLess(items[half], items[half - 1])) {
        return;  // already in order
    }
    size_t i = 0;
    size_t j = half;
    size_t k = 0;
    while (i < half && j < n) {
        scratch[k++] = ItemLess(items[j], items[i]) ? items[j++] : items[i++];
    }
    while (i < half) {
        scratch[k++] = items[i++];
    }
    while (j < n) {
        scratch[k++] = items[j++];
    }
    for (size_t m = 0; m < n; ++m) {
        items[m] = scratch[m];
    }
}

}  // namespace

void SortDrawItems(std::vector<DrawItem>& items, std::vector<DrawItem>& scratch) {
    // The list arrives in draw order, so only ties are out of place: for a
    // list of ordinary size an insertion sort is the cheapest stable sort.
    if (items.size() <= 64) {
        InsertionSort(items.data(), items.size());
        return;
    }
    if (scratch.size() < items.size()) {
        scratch.resize(items.size());
    }
    MergeSort(items.data(), scratch.data(), items.size());
}

AnimeDrawParams MakeDrawParams(const AnimeInstance& instance, const AnimePart& part,
                               const PartPose& pose, const DrawItem& item) {
    AnimeDrawParams params;
    params.texture = pose.textureHandle;
    params.x = instance.scaleX * item.x + instance.x;
    params.y = instance.scaleY * item.y + instance.y;
    params.reserved0 = 0.0f;
    params.reserved1 = 0.0f;
    params.rotation = item.rotation;
    params.scaleX = instance.scaleX * item.scaleX;
    params.scaleY = instance.scaleY * item.scaleY;
    params.alpha = pose.world.alpha;
    params.reserved2 = 0xFFFFFFFFu;
    params.anchorX = part.anchorX;
    params.anchorY = part.anchorY;
    params.srcX = part.srcX;
    params.srcY = part.srcY;
    params.srcWidth = part.srcWidth;
    params.srcHeight = part.srcHeight;
    return params;
}

AnimeDrawParams PartDrawParams(const AnimeInstance& instance, size_t index) {
    const AnimePart& part = instance.model->parts[index];
    const PartPose& pose = instance.poses[index];
    DrawItem item = MakeItem(static_cast<int32_t>(index), part, pose);
    if (instance.parallax.enabled3D && !part.ignore3D) {
        ApplyParallax(instance.parallax, PrepareParallax(instance.parallax), part.depth, item);
    }
    return MakeDrawParams(instance, part, pose, item);
}

void DrawInstance(const AnimeInstance& instance, DrawScratch& scratch) {
    if (!instance.model || instance.host.draw == nullptr) {
        return;
    }
    const AnimeModel& model = *instance.model;
    if (instance.poses.size() != model.parts.size()) {
        return;
    }
    const AnimeDrawFn draw = instance.host.draw;
    const std::vector<int32_t>& order = model.topology.drawOrderSorted;

    if (!instance.parallax.enabled3D) {
        // The part order by draw order never changes: walk it directly.
        for (int32_t index : order) {
            const size_t i = static_cast<size_t>(index);
            const PartPose& pose = instance.poses[i];
            if (!Drawn(pose)) {
                continue;
            }
            const DrawItem item = MakeItem(index, model.parts[i], pose);
            AnimeDrawParams params = MakeDrawParams(instance, model.parts[i], pose, item);
            draw(&params);
        }
        return;
    }

    const ParallaxFrame frame = PrepareParallax(instance.parallax);
    std::vector<DrawItem>& items = scratch.items;
    items.clear();
    for (int32_t index : order) {
        const size_t i = static_cast<size_t>(index);
        const PartPose& pose = instance.poses[i];
        if (!Drawn(pose)) {
            continue;
        }
        const AnimePart& part = model.parts[i];
        // Transformed in place: copying the item after the parallax's scalar
        // stores would stall on store forwarding.
        items.push_back(MakeItem(index, part, pose));
        if (!part.ignore3D) {
            ApplyParallax(instance.parallax, frame, part.depth, items.back());
        }
    }
    // Already in draw order; the stable sort only reorders equal draw orders
    // by depth.
    SortDrawItems(items, scratch.sortBuffer);
    for (const DrawItem& item : items) {
        const size_t i = static_cast<size_t>(item.index);
        AnimeDrawParams params = MakeDrawParams(instance, model.parts[i], instance.poses[i], item);
        draw(&params);
    }
}

}  // namespace kivanime
