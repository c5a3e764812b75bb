// Handing an instance's parts to the host, back to front.
#pragma once

#include <vector>

#include "kivanime.h"
#include "render/draw_item.h"
#include "render/draw_list.h"
#include "runtime/anime_instance.h"

namespace kivanime {

// Working space of the draw pass, shared by every instance drawn with it:
// after the largest model has been drawn once, drawing allocates nothing.
struct DrawScratch {
    DrawList list;
};

// Calls the instance's draw function once per visible, opaque-enough,
// textured part: parts by draw order, and with the parallax on, parts of
// equal draw order by depth (nearer later). Equal keys keep part-list order.
void DrawInstance(const AnimeInstance& instance, DrawScratch& scratch);

// The record part `index` would be drawn with now, whether or not it is
// drawn: texture, visibility and opacity do not matter here.
AnimeDrawParams PartDrawParams(const AnimeInstance& instance, size_t index);

// Stable sort by (drawOrder, depth) through the 3D draw's own sort, for a
// list of items in any order; `scratch` grows to the list's size.
void SortDrawItems(std::vector<DrawItem>& items, DrawList& scratch);

}  // namespace kivanime
