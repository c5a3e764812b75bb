#include "runtime/parallax_settings.h"

namespace kivanime {

namespace {

// A NaN setting is kept as it is.
float AtLeast(float floor, float v) {
    return floor > v ? floor : v;
}

// Nearer than this, the perspective would blow parts up without bound.
constexpr float kMinFocalDistance = 50.0f;

}  // namespace

void SetParallaxSetup(Parallax3D& settings, bool enabled, float pivotX, float pivotY,
                      float focalDistance, float curveRadiusX, float curveRadiusY) {
    settings.enabled3D = enabled;
    settings.pivotX = pivotX;
    settings.pivotY = pivotY;
    settings.focalDistance = AtLeast(kMinFocalDistance, focalDistance);
    settings.curveRadiusX = AtLeast(0.0f, curveRadiusX);
    settings.curveRadiusY = AtLeast(0.0f, curveRadiusY);
}

void SetParallaxStrength(Parallax3D& settings, float depthStrength, float perspectiveStrength) {
    settings.depthStrength = AtLeast(0.0f, depthStrength);
    settings.perspectiveStrength = AtLeast(0.0f, perspectiveStrength);
}

}  // namespace kivanime
