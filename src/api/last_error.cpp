#include "api/last_error.h"

#include <cstring>

namespace kivanime {

namespace {

// A plain buffer rather than a std::string: a thread-local object with a
// destructor would keep the shared library from being unloaded, and setting
// the text allocates nothing.
constexpr size_t kCapacity = 1024;
thread_local char t_lastError[kCapacity];
thread_local int32_t t_lastErrorCode = ANIME_ERROR_NONE;
thread_local bool t_nestedRefusal = false;

}  // namespace

void ClearLastError() noexcept {
    t_lastError[0] = '\0';
    t_lastErrorCode = ANIME_ERROR_NONE;
    t_nestedRefusal = false;
}

void SetLastError(AnimeErrorCode code, std::string_view message) noexcept {
    size_t n = message.size();
    if (n >= kCapacity) {
        n = kCapacity - 1;
        // Back up to the start of a UTF-8 sequence so the text stays valid.
        while (n > 0 && (static_cast<unsigned char>(message[n]) & 0xC0) == 0x80) {
            --n;
        }
    }
    std::memcpy(t_lastError, message.data(), n);
    t_lastError[n] = '\0';
    t_lastErrorCode = code;
    t_nestedRefusal = false;
}

void SetNestedRefusal(std::string_view message) noexcept {
    SetLastError(ANIME_ERROR_NESTED_CALL, message);
    t_nestedRefusal = true;
}

void ForgetNestedRefusal() noexcept {
    if (t_nestedRefusal) {
        ClearLastError();
    }
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    out.append(text);
    out.push_back('"');
    return out;
}

const char* LastErrorText() noexcept {
    return t_lastError;
}

int32_t LastErrorCode() noexcept {
    return t_lastErrorCode;
}

}  // namespace kivanime
