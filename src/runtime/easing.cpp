#include "runtime/easing.h"

namespace kivanime {

namespace {

float Bounce(float u) {
    constexpr float k = 7.5625f;
    if (u < 1.0f / 2.75f) {
        return k * u * u;
    }
    if (u < 2.0f / 2.75f) {
        float v = u - 1.5f / 2.75f;
        return k * v * v + 0.75f;
    }
    if (u < 2.5f / 2.75f) {
        float v = u - 2.25f / 2.75f;
        return k * v * v + 0.9375f;
    }
    float v = u - 2.625f / 2.75f;
    return k * v * v + 0.984375f;
}

}  // namespace

float Ease(EasingType easing, float u) {
    switch (easing) {
        case EasingType::EaseIn:
            return u * u;
        case EasingType::EaseOut:
            return (2.0f - u) * u;
        case EasingType::EaseInOut:
            return u < 0.5f ? 2.0f * u * u : (4.0f - 2.0f * u) * u - 1.0f;
        case EasingType::EaseInCubic:
            return u * u * u;
        case EasingType::EaseOutCubic: {
            float v = u - 1.0f;
            return v * v * v + 1.0f;
        }
        case EasingType::EaseInOutCubic: {
            if (u < 0.5f) {
                return 4.0f * u * u * u;
            }
            float v = 2.0f - 2.0f * u;
            return 1.0f - v * v * v * 0.5f;
        }
        case EasingType::EaseInBack:
            return 2.70158f * u * u * u - 1.70158f * u * u;
        case EasingType::EaseOutBack: {
            float v = u - 1.0f;
            return 2.70158f * v * v * v + 1.0f + 1.70158f * v * v;
        }
        case EasingType::EaseOutBounce:
            return Bounce(u);
        case EasingType::Step:
            return 0.0f;
        case EasingType::Linear:
        default:
            return u;
    }
}

}  // namespace kivanime
