// What the motions of one Anime_Update announce to the host: the events of
// their files as their clocks pass them, a looping motion's completed laps and
// a motion's end. The list is refilled by every update and read by the host
// after it; it keeps its texts itself, so a motion unloaded or reloaded
// meanwhile changes nothing in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kivanime.h"
#include "model/anime_motion.h"

namespace kivanime {

class FrameEvents {
public:
    // Entries beyond this many in one update are dropped: a host reading the
    // list never sees more, and a flood of events cannot grow it without end.
    static constexpr size_t kMaxEntries = 4096;

    // Empties the list, keeping its room (later updates allocate nothing).
    void clear();
    // Room for the entries of `instances` instances that announce only laps
    // and ends (of the main motion and two overlays), made when instances are
    // created so that their frames need not grow the list; events of motion
    // files grow it in the first frames that have them.
    void reserve(size_t instances);
    // Room for `entries` entries whose texts take `textBytes` bytes.
    void reserveRoom(size_t entries, size_t textBytes) {
        entries_.reserve(entries);
        texts_.reserve(textBytes);
    }
    size_t textBytes() const { return texts_.size(); }
    // The instance the following entries belong to.
    void setInstance(uint32_t id) {
        instance_ = id;
        instanceFirst_ = entries_.size();
    }
    // A list that collects the entries of some instances of an update, to be
    // merged into the update's list in creation order: the limit applies to
    // each instance's entries alone, since which of them the merged list
    // keeps depends on the instances before them.
    void capEachInstance() { capEachInstance_ = true; }
    // Appends entries [first, first + count) of `from`, as they were added there.
    void append(const FrameEvents& from, size_t first, size_t count);

    // Appends one entry (instance and reserved filled in), copying its texts.
    void add(AnimeEvent record, std::string_view name, std::string_view motion,
             std::string_view text);

    size_t size() const { return entries_.size(); }
    const AnimeEvent& record(size_t i) const { return entries_[i].record; }
    // Field 0 the event's name, 1 the motion's name, 2 the event's "string";
    // null for any other field. Valid until the next clear().
    const char* text(size_t i, int32_t field) const;

private:
    struct Entry {
        AnimeEvent record;
        uint32_t text[3];  // offsets into texts_
    };
    // Copies a text into texts_ and returns its offset.
    uint32_t store(std::string_view text);

    std::vector<Entry> entries_;
    // Every text of the update, each followed by a NUL; offset 0 holds the
    // empty text that every empty field shares.
    std::string texts_ = std::string(1, '\0');
    std::string_view lastMotion_;  // the motion name stored last, and where
    uint32_t lastMotionAt_ = 0;
    uint32_t instance_ = 0;
    size_t instanceFirst_ = 0;
    bool capEachInstance_ = false;
};

// Where one update took a motion's clock: from `u0` to `u1` = u0 + dt x
// speed, before any wrap or clamp.
struct ClockStep {
    float u0 = 0.0f;
    float u1 = 0.0f;
    float speed = 1.0f;
    // dt and speed both above 0; events of the file fire only then.
    bool forward = false;
    // The motion has not yet moved forward since it was started: its events
    // at time 0 count too.
    bool fresh = false;
    enum class End : uint8_t {
        None,      // the clock runs on, below the duration (or never wraps)
        Lap,       // a looping clock wrapped; `wrapped` is where it landed
        LapStops,  // a looping motion ends at its lap (a queued motion follows)
        Finished,  // a non-looping clock reached the duration (or NaN ended it)
    } end = End::None;
    float wrapped = 0.0f;
};

// Whether a step has anything to announce: the common step of a motion
// without events, which neither wraps nor ends, has not, and is not looked at.
inline bool Announces(const AnimeMotion& motion, const ClockStep& step) {
    return step.end != ClockStep::End::None || !motion.events.empty();
}

// Appends what `motion` announces in one step of its clock, in time order:
// its events (only on a forward step), then the lap or end entry at its place.
// A step covering a whole lap or more fires each event once, before the lap
// entry, with the lateness of its last passage.
void AnnounceStep(FrameEvents& out, int32_t source, const AnimeMotion& motion,
                  const ClockStep& step);

}  // namespace kivanime
