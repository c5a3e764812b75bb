#include "support/recording_host.h"

#include "text/utf.h"

namespace kivanime::test {

namespace {

void RecordingRelease(int32_t texture) {
    RecordingHost& host = RecordingHost::Get();
    host.releases.push_back(texture);
    if (host.onRelease) {
        host.onRelease(texture);
    }
}

void RecordingDraw(const AnimeDrawParams* params) {
    RecordingHost& host = RecordingHost::Get();
    host.draws.push_back(*params);
    if (host.onDraw) {
        host.onDraw(*params);
    }
}

}  // namespace

int32_t RecordingLoad(const uint16_t* path) {
    RecordingHost& host = RecordingHost::Get();
    std::u16string text;
    for (; *path != 0; ++path) {
        text.push_back(static_cast<char16_t>(*path));
    }
    host.loads.push_back(text);
    if (host.onLoad) {
        return host.onLoad(text);
    }
    return host.nextHandle_++;
}

RecordingHost& RecordingHost::Get() {
    static RecordingHost host;
    return host;
}

AnimeHostCallbacks RecordingHost::callbacks() const {
    AnimeHostCallbacks table{};
    table.loadTexture = RecordingLoad;
    table.releaseTexture = RecordingRelease;
    table.reserved = nullptr;
    table.draw = RecordingDraw;
    return table;
}

void RecordingHost::reset() {
    loads.clear();
    releases.clear();
    draws.clear();
    onLoad = nullptr;
    onDraw = nullptr;
    onRelease = nullptr;
    nextHandle_ = 100;
}

std::vector<std::string> RecordingHost::loadedPathsUtf8() const {
    std::vector<std::string> out;
    for (const std::u16string& path : loads) {
        out.push_back(Utf16ToUtf8(path));
    }
    return out;
}

}  // namespace kivanime::test
