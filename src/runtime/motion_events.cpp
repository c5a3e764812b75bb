#include "runtime/motion_events.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace kivanime {

void FrameEvents::clear() {
    entries_.clear();
    texts_.assign(1, '\0');
    lastMotion_ = {};
}

void FrameEvents::reserve(size_t instances) {
    const size_t entries = std::min(kMaxEntries, instances * 3);
    entries_.reserve(entries);
    texts_.reserve(entries * 16);
}

uint32_t FrameEvents::store(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const auto at = static_cast<uint32_t>(texts_.size());
    texts_.append(text);
    texts_.push_back('\0');
    return at;
}

void FrameEvents::add(AnimeEvent record, std::string_view name, std::string_view motion,
                      std::string_view text) {
    // Offsets are 32 bits: a list whose texts would pass 4 GB takes no more.
    constexpr size_t kMaxTexts = UINT32_MAX;
    const size_t counted = capEachInstance_ ? entries_.size() - instanceFirst_ : entries_.size();
    if (counted >= kMaxEntries ||
        texts_.size() + name.size() + motion.size() + text.size() + 3 > kMaxTexts) {
        return;
    }
    record.instance = instance_;
    record.reserved = 0;
    // Entries of one motion come one after another: its name is kept once.
    if (motion.data() != lastMotion_.data() || motion.size() != lastMotion_.size()) {
        lastMotion_ = motion;
        lastMotionAt_ = store(motion);
    }
    const uint32_t nameAt = store(name);
    entries_.push_back(Entry{record, {nameAt, lastMotionAt_, store(text)}});
}

void FrameEvents::append(const FrameEvents& from, size_t first, size_t count) {
    for (size_t i = first; i < first + count; ++i) {
        const Entry& entry = from.entries_[i];
        const char* texts = from.texts_.data();
        setInstance(entry.record.instance);
        add(entry.record, texts + entry.text[0], texts + entry.text[1], texts + entry.text[2]);
    }
}

const char* FrameEvents::text(size_t i, int32_t field) const {
    if (i >= entries_.size() || field < 0 || field > 2) {
        return nullptr;
    }
    return texts_.data() + entries_[i].text[field];
}

namespace {

// Laps a wrapping clock completed on its way to `u1` (at least 1).
int32_t LapsTo(float u1, float duration) {
    const double laps = std::floor(static_cast<double>(u1) / static_cast<double>(duration));
    return laps >= static_cast<double>(INT32_MAX) ? INT32_MAX
           : laps >= 1.0                          ? static_cast<int32_t>(laps)
                                                  : 1;
}

// Never negative, never NaN.
float Late(float ms) {
    return ms >= 0.0f ? ms : 0.0f;
}

}  // namespace

void AnnounceStep(FrameEvents& out, int32_t source, const AnimeMotion& motion, const ClockStep& s) {
    const std::vector<MotionEvent>& events = motion.events;
    const float d = motion.duration;
    const float u1 = s.u1;
    const float v = s.speed;
    // The events with a time in (from, to], or [from, to] when `inclusive`,
    // in time order; `lateOf` gives the lateness of each.
    auto fire = [&](float from, bool inclusive, float to, auto lateOf) {
        auto it = std::partition_point(events.begin(), events.end(), [&](const MotionEvent& e) {
            return inclusive ? e.time < from : e.time <= from;
        });
        for (; it != events.end() && it->time <= to; ++it) {
            AnimeEvent r{};
            r.kind = ANIME_EVENT_KIND_EVENT;
            r.source = source;
            r.intValue = it->intValue;
            r.floatValue = it->floatValue;
            r.time = it->time;
            r.lateMs = Late(lateOf(it->time));
            out.add(r, it->name, motion.name, it->stringValue);
        }
    };
    auto ending = [&](int32_t kind, int32_t laps, float lateMs) {
        AnimeEvent r{};
        r.kind = kind;
        r.source = source;
        r.intValue = laps;
        r.time = d;
        r.lateMs = s.forward ? Late(lateMs) : 0.0f;
        out.add(r, {}, motion.name, {});
    };
    auto sinceThen = [&](float t) { return (u1 - t) / v; };
    // The first forward step since the start also takes the events at 0.
    const float from = s.fresh ? 0.0f : s.u0;
    const bool hasEvents = s.forward && !events.empty();
    switch (s.end) {
        case ClockStep::End::None:
            if (hasEvents) {
                fire(from, s.fresh, u1, sinceThen);
            }
            return;
        case ClockStep::End::Finished:
        case ClockStep::End::LapStops:
            // Up to the end (a NaN clock passes nothing).
            if (hasEvents && u1 >= d) {
                fire(from, s.fresh, d, sinceThen);
            }
            return s.end == ClockStep::End::Finished
                       ? ending(ANIME_EVENT_KIND_FINISHED, 0, (u1 - d) / v)
                       : ending(ANIME_EVENT_KIND_LAP, 1, (u1 - d) / v);
        case ClockStep::End::Lap:
            break;
    }
    const float r = s.wrapped;
    const int32_t laps = LapsTo(u1, d);
    // A step that covers the whole loop fires every event once, with the
    // lateness of its last passage: after the wrap when it lies at or before
    // where the clock landed, else in the lap before.
    const bool wholeLoop = s.fresh || laps >= 2 || r > s.u0;
    if (hasEvents && wholeLoop) {
        fire(0.0f, true, d, [&](float t) { return t <= r ? (r - t) / v : (r + (d - t)) / v; });
    } else if (hasEvents) {
        fire(s.u0, false, d, sinceThen);
    }
    ending(ANIME_EVENT_KIND_LAP, laps, r / v);
    if (hasEvents && !wholeLoop) {
        fire(0.0f, true, r, [&](float t) { return (r - t) / v; });
    }
}

}  // namespace kivanime
