// An instance's 3D turn as the host set it: the angles, the pivot, the
// camera and how strongly depth and perspective act. The draw pass applies it.
#pragma once

namespace kivanime {

struct Parallax3D {
    bool enabled3D = false;
    float yaw = 0.0f;  // degrees
    float pitch = 0.0f;
    float roll = 0.0f;
    float pivotX = 0.0f;
    float pivotY = 0.0f;
    float depthOrigin = 0.0f;
    float focalDistance = 1500.0f;
    float curveRadiusX = 0.0f;
    float curveRadiusY = 0.0f;
    float depthStrength = 1.0f;
    float perspectiveStrength = 1.0f;
};

// The setters behind the exports. A focal distance under 50 counts as 50;
// negative curve radii and strengths count as 0.
void SetParallaxSetup(Parallax3D& settings, bool enabled, float pivotX, float pivotY,
                      float focalDistance, float curveRadiusX, float curveRadiusY);
void SetParallaxStrength(Parallax3D& settings, float depthStrength, float perspectiveStrength);

}  // namespace kivanime
