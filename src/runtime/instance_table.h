// The live instances, side by side in the order they were created. That one
// order is the order a frame updates them in, reports their events in and
// tears them down in, and it breaks draw-order ties, so the host sees the
// same sequence whatever ids were handed out. Ids are found through a list
// sorted by id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "runtime/anime_instance.h"

namespace kivanime {

class InstanceTable {
public:
    struct Slot {
        uint32_t id;
        AnimeInstance instance;
    };

    std::vector<Slot>::iterator begin() { return slots_.begin(); }
    std::vector<Slot>::iterator end() { return slots_.end(); }
    std::vector<Slot>::const_iterator begin() const { return slots_.begin(); }
    std::vector<Slot>::const_iterator end() const { return slots_.end(); }
    size_t size() const { return slots_.size(); }
    // By position, in creation order.
    Slot& operator[](size_t position) { return slots_[position]; }
    const Slot& operator[](size_t position) const { return slots_[position]; }
    bool empty() const { return slots_.empty(); }

    AnimeInstance* find(uint32_t id);
    const AnimeInstance* find(uint32_t id) const;
    bool contains(uint32_t id) const { return positionOf(id) != kNone; }

    // Room for `count` instances, so that adding up to that many cannot fail.
    void reserve(size_t count);
    // Appends the instance under an id not in the table; the room must have
    // been reserved.
    AnimeInstance& add(uint32_t id, AnimeInstance&& instance) noexcept;
    // Drops the instance of that id, if any; the others keep their order.
    void erase(uint32_t id) noexcept;
    // Drops every instance `remove(instance)` is true for, in one pass.
    template <typename Pred>
    void eraseIf(Pred remove) noexcept {
        std::erase_if(slots_, [&](const Slot& slot) { return remove(slot.instance); });
        rebuildIndex();
    }
    void clear() noexcept;

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t positionOf(uint32_t id) const;
    void rebuildIndex() noexcept;

    std::vector<Slot> slots_;
    // (id, position in `slots_`), ascending by id.
    std::vector<std::pair<uint32_t, uint32_t>> index_;
};

}  // namespace kivanime
