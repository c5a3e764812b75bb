#include "json/json_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "json/json_parser.h"

#if defined(_WIN32)
#include "text/utf.h"
#endif

namespace kivanime {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
#if defined(_WIN32)
    if (!file) {
        bool non_ascii = false;
        for (unsigned char c : path) {
            non_ascii = non_ascii || c >= 0x80;
        }
        if (non_ascii && IsValidUtf8(path)) {
            file.reset(_wfopen(Utf8ToWide(path).c_str(), L"rb"));
        }
    }
#endif
    return file;
}

}  // namespace

bool CanOpenFile(const std::string& path) {
    return OpenForReading(path) != nullptr;
}

bool ReadFileBytes(const std::string& path, std::string& out, bool* missing) {
    out.clear();
    if (missing != nullptr) {
        *missing = false;
    }
    errno = 0;
    FilePtr file = OpenForReading(path);
    if (!file) {
        if (missing != nullptr) {
            // A folder on the way that is not one counts as nothing there.
            *missing = errno == ENOENT || errno == ENOTDIR;
        }
        return false;
    }
    char buffer[1 << 16];
    for (;;) {
        size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        out.append(buffer, got);
        if (got < sizeof buffer) {
            return !std::ferror(file.get());
        }
    }
}

JsonValue ReadJsonFile(const std::string& path) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) {
        return JsonValue{};
    }
    return ParseJson(bytes);
}

}  // namespace kivanime
