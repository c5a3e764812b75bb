#include "floor.h"

#include <cmath>

#include "scene.h"

namespace kivanime::bench {

namespace {

// The benchmark character's hierarchy, in its file order (parents first).
constexpr int32_t kParents[kPartsPerInstance] = {
    -1, 0,  1,  2,  3, 4,  5,  5,  5, 5,  5,  5,  11, 12, 5,  14, 15, 5,  17, 18,
    3,  20, 21, 22, 3, 24, 25, 26, 1, 28, 29, 30, 1,  32, 33, 34, 1,  36, 37, 26};
constexpr int32_t kDrawOrders[kPartsPerInstance] = {
    0,  10, 20, 30, 35, 50, 60, 60, 61, 60, 62, 5,  5, 5, 55, 55, 55, 5, 5, 5,
    25, 26, 27, 28, 45, 46, 47, 48, 8,  9,  10, 11, 8, 9, 10, 11, 2,  2, 2, 48};

constexpr float kDuration = 2000.0f;

// Read through a volatile object so that the call stays an indirect call.
AnimeDrawFn volatile gFloorDraw = CountingDraw;

}  // namespace

FloorScene MakeFloorScene(int instances) {
    FloorScene s;
    s.instances = instances;
    const int n = kPartsPerInstance;
    s.parent.assign(kParents, kParents + n);
    for (int order = 0; order <= 62; ++order) {
        for (int i = 0; i < n; ++i) {
            if (kDrawOrders[i] == order) {
                s.drawOrder.push_back(i);
            }
        }
    }
    for (int i = 0; i < n; ++i) {
        const float f = static_cast<float>(i);
        s.rest.push_back({f * 1.5f - 20.0f, -f, 0.01f * f, 1.0f, 1.0f, 1.0f});
        s.key0.push_back({0.5f, -0.5f, -0.05f, 0.98f, 1.01f, 0.95f});
        s.key1.push_back({-1.0f, 1.5f, 0.08f, 1.03f, 0.97f, 1.0f});
        for (int k = 0; k < 6; ++k) {
            s.anchorSrc.push_back(0.5f + 0.01f * static_cast<float>(k));
        }
    }
    for (int j = 0; j < instances; ++j) {
        s.clock.push_back(static_cast<float>(j % 97) * 20.0f);
        const float fj = static_cast<float>(j);
        s.placement.insert(s.placement.end(), {fj * 3.0f, fj * 2.0f, 1.0f, 1.0f});
    }
    s.world.assign(static_cast<size_t>(instances) * n, FloorWorld{});
    return s;
}

void FloorUpdate(FloorScene& s, float dt) {
    const int n = kPartsPerInstance;
    for (int j = 0; j < s.instances; ++j) {
        float t = s.clock[static_cast<size_t>(j)] + dt;
        if (t >= kDuration) {
            t -= kDuration;
        }
        s.clock[static_cast<size_t>(j)] = t;
        const float u = t / kDuration;
        FloorWorld* world = &s.world[static_cast<size_t>(j) * n];
        for (int i = 0; i < n; ++i) {
            const FloorPose& r = s.rest[static_cast<size_t>(i)];
            const FloorPose& a = s.key0[static_cast<size_t>(i)];
            const FloorPose& b = s.key1[static_cast<size_t>(i)];
            const float x = r.x + (a.x + (b.x - a.x) * u);
            const float y = r.y + (a.y + (b.y - a.y) * u);
            const float rot = r.rotation + (a.rotation + (b.rotation - a.rotation) * u);
            const float sx = r.scaleX * (a.scaleX + (b.scaleX - a.scaleX) * u);
            const float sy = r.scaleY * (a.scaleY + (b.scaleY - a.scaleY) * u);
            const float al = r.alpha * (a.alpha + (b.alpha - a.alpha) * u);
            FloorWorld& w = world[i];
            const int32_t p = s.parent[static_cast<size_t>(i)];
            if (p < 0) {
                w = {x, y, rot, sx, sy, al, 0.0f, 0.0f};
            } else {
                const FloorWorld& pw = world[p];
                w.x = (x * pw.cosR - y * pw.sinR) * pw.scaleX + pw.x;
                w.y = (x * pw.sinR + y * pw.cosR) * pw.scaleY + pw.y;
                w.rotation = rot + pw.rotation;
                w.scaleX = sx * pw.scaleX;
                w.scaleY = sy * pw.scaleY;
                w.alpha = al * pw.alpha;
            }
            w.cosR = std::cos(w.rotation);
            w.sinR = std::sin(w.rotation);
        }
    }
}

void FloorDraw(const FloorScene& s) {
    const int n = kPartsPerInstance;
    for (int j = 0; j < s.instances; ++j) {
        const AnimeDrawFn draw = gFloorDraw;
        const float* place = &s.placement[static_cast<size_t>(j) * 4];
        const FloorWorld* world = &s.world[static_cast<size_t>(j) * n];
        for (int32_t i : s.drawOrder) {
            const FloorWorld& w = world[i];
            const float* as = &s.anchorSrc[static_cast<size_t>(i) * 6];
            AnimeDrawParams params;
            params.texture = i;
            params.x = place[2] * w.x + place[0];
            params.y = place[3] * w.y + place[1];
            params.flags = 0;
            params.reserved1 = 0.0f;
            params.rotation = w.rotation;
            params.scaleX = place[2] * w.scaleX;
            params.scaleY = place[3] * w.scaleY;
            params.alpha = w.alpha;
            params.reserved2 = 0xFFFFFFFFu;
            params.anchorX = as[0];
            params.anchorY = as[1];
            params.srcX = as[2];
            params.srcY = as[3];
            params.srcWidth = as[4];
            params.srcHeight = as[5];
            draw(&params);
        }
    }
}

}  // namespace kivanime::bench
