// A host for tests: records every texture load (with its UTF-16 path), every
// release and every draw record, and lets a test choose the handles it
// returns or run code inside a host call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kivanime.h"

namespace kivanime::test {

class RecordingHost {
public:
    // The one recorder behind the plain C callbacks.
    static RecordingHost& Get();

    // The four host functions, all pointing at this recorder.
    AnimeHostCallbacks callbacks() const;

    void reset();

    // The load paths, converted to UTF-8 for easy comparison (ASCII paths
    // read as they were written).
    std::vector<std::string> loadedPathsUtf8() const;

    std::vector<std::u16string> loads;
    std::vector<int32_t> releases;
    std::vector<AnimeDrawParams> draws;

    // Decides the handle for each load; by default 100, 101, 102, ...
    std::function<int32_t(const std::u16string&)> onLoad;
    // Runs inside every draw call, after recording (for re-entry tests).
    std::function<void(const AnimeDrawParams&)> onDraw;
    // Runs inside every release call, after recording.
    std::function<void(int32_t)> onRelease;

private:
    int32_t nextHandle_ = 100;
    friend int32_t RecordingLoad(const uint16_t* path);
};

int32_t RecordingLoad(const uint16_t* path);

}  // namespace kivanime::test
