#include "support/recording_host.h"

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

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
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
        out.push_back(ToUtf8(path));
    }
    return out;
}

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            uint32_t cp = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            AppendUtf8(out, cp);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

}  // namespace kivanime::test
