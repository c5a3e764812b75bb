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
    // A first step tells a file from what cannot be read (a folder opens on
    // some systems, and reports a size no read will meet); the rest of a
    // file whose size is known is then read at once (one byte more, to meet
    // its end), anything else in steps.
    constexpr size_t kStep = 1 << 16;
    size_t chunk = kStep;
    for (bool first = true;; first = false) {
        const size_t old = out.size();
        out.resize(old + chunk);
        const size_t got = std::fread(out.data() + old, 1, chunk, file.get());
        out.resize(old + got);
        if (got < chunk) {
            return !std::ferror(file.get());
        }
        chunk = kStep;
        if (first) {
            const long here = std::ftell(file.get());
            if (here >= 0 && std::fseek(file.get(), 0, SEEK_END) == 0) {
                const long size = std::ftell(file.get());
                if (std::fseek(file.get(), here, SEEK_SET) != 0) {
                    return false;
                }
                if (size > here) {
                    chunk = static_cast<size_t>(size - here) + 1;
                }
            }
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
