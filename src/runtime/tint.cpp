#include "runtime/tint.h"

#include <cmath>
#include <cstring>

namespace kivanime {

namespace {

uint8_t ChannelByte(float channel) {
    return static_cast<uint8_t>(std::lround(channel * 255.0f));
}

uint32_t PackProduct(const TintColor& a, const TintColor& b) {
    return PackTint({a.r * b.r, a.g * b.g, a.b * b.b});
}

// The products of the instance tint and each part's, packed; nothing while
// no tint is set anywhere, so that drawing takes its untinted path.
void Repack(Tint& tint, size_t partCount) {
    if (IsWhiteTint(tint.instance) && tint.parts.empty()) {
        tint.packed.clear();
        return;
    }
    tint.packed.resize(partCount);
    const TintColor& a = tint.instance;
    for (size_t i = 0; i < partCount; ++i) {
        tint.packed[i] = PackProduct(a, i < tint.parts.size() ? tint.parts[i] : TintColor{});
    }
}

}  // namespace

TintColor ClampTint(float r, float g, float b) {
    return {ClampUnit(r), ClampUnit(g), ClampUnit(b)};
}

uint32_t PackTint(const TintColor& color) {
    const uint8_t bytes[4] = {ChannelByte(color.r), ChannelByte(color.g), ChannelByte(color.b),
                              255};
    uint32_t packed;
    std::memcpy(&packed, bytes, sizeof packed);
    return packed;
}

void SetInstanceTint(Tint& tint, size_t partCount, const TintColor& color) {
    tint.instance = color;
    Repack(tint, partCount);
}

void SetPartTint(Tint& tint, size_t partCount, int32_t part, const TintColor& color) {
    if (tint.parts.size() < partCount) {
        tint.parts.resize(partCount);
    }
    const size_t i = static_cast<size_t>(part);
    tint.parts[i] = color;
    if (tint.packed.size() != partCount) {
        Repack(tint, partCount);
        return;
    }
    tint.packed[i] = PackProduct(tint.instance, color);
}

}  // namespace kivanime
