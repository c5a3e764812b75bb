#include "runtime/instance_table.h"

#include <algorithm>
#include <type_traits>

namespace kivanime {

// Growing the table and closing the gap a destroyed instance leaves move the
// instances; a move that could throw would leave the table half-shifted.
static_assert(std::is_nothrow_move_constructible_v<AnimeInstance> &&
              std::is_nothrow_move_assignable_v<AnimeInstance>);

namespace {

bool IdBelow(const std::pair<uint32_t, uint32_t>& entry, uint32_t id) {
    return entry.first < id;
}

}  // namespace

size_t InstanceTable::positionOf(uint32_t id) const {
    auto it = std::lower_bound(index_.begin(), index_.end(), id, IdBelow);
    return it != index_.end() && it->first == id ? it->second : kNone;
}

AnimeInstance* InstanceTable::find(uint32_t id) {
    const size_t position = positionOf(id);
    return position == kNone ? nullptr : &slots_[position].instance;
}

const AnimeInstance* InstanceTable::find(uint32_t id) const {
    const size_t position = positionOf(id);
    return position == kNone ? nullptr : &slots_[position].instance;
}

void InstanceTable::reserve(size_t count) {
    slots_.reserve(count);
    index_.reserve(count);
}

AnimeInstance& InstanceTable::add(uint32_t id, AnimeInstance&& instance) noexcept {
    const auto position = static_cast<uint32_t>(slots_.size());
    // Ids mostly come in ascending order: the new entry usually goes last.
    auto at = std::lower_bound(index_.begin(), index_.end(), id, IdBelow);
    index_.insert(at, {id, position});
    slots_.push_back(Slot{id, std::move(instance)});
    return slots_.back().instance;
}

void InstanceTable::erase(uint32_t id) noexcept {
    auto at = std::lower_bound(index_.begin(), index_.end(), id, IdBelow);
    if (at == index_.end() || at->first != id) {
        return;
    }
    const uint32_t position = at->second;
    index_.erase(at);
    slots_.erase(slots_.begin() + position);
    for (auto& entry : index_) {
        if (entry.second > position) {
            --entry.second;
        }
    }
}

void InstanceTable::clear() noexcept {
    slots_.clear();
    index_.clear();
}

void InstanceTable::rebuildIndex() noexcept {
    // Within the room already held: the table only shrank.
    index_.clear();
    for (size_t k = 0; k < slots_.size(); ++k) {
        index_.emplace_back(slots_[k].id, static_cast<uint32_t>(k));
    }
    std::sort(index_.begin(), index_.end());
}

}  // namespace kivanime
