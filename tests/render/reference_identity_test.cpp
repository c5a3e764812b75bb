// The tuned per-frame path against a plain one. The library resolves names to
// indices at load, replays the hierarchy's pass rule once per model, keeps an
// overlay accumulator indexed by part, sorts parts by draw order once per
// model and evaluates trigonometry once per parent and per instance. The
// reference below does none of that: it looks every name up every frame,
// resolves the hierarchy with the literal pass loop, keeps overlay sums in a
// name-keyed map, computes every sine and cosine where it is used and sorts
// every draw list with std::stable_sort. Both run the benchmark character
// (and a scrambled copy with cycles, an over-deep chain and duplicate names)
// under the same random settings, and every draw record must match bit for
// bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "api/manager.h"
#include "api/model_cache.h"
#include "json/json_parser.h"
#include "model/expression_loader.h"
#include "model/model_loader.h"
#include "model/motion_loader.h"
#include "render/draw_pass.h"
#include "runtime/anime_instance.h"

namespace kivanime::test {
namespace {

const std::string kScene = std::string(KIVANIME_SOURCE_DIR) + "/tests/fixtures/bench-character/";

// ---- The reference: the frame as a straightforward program ------------------

struct RefDelta {
    float x = 0.0f;
    float y = 0.0f;
    float rotation = 0.0f;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    float alpha = 1.0f;
    int32_t visible = -1;
    std::string textureSwap;
};

struct RefPose {
    float x = 0.0f, y = 0.0f, rotation = 0.0f, scaleX = 1.0f, scaleY = 1.0f, alpha = 1.0f;
    bool visible = true;
    float worldX = 0.0f, worldY = 0.0f, worldRotation = 0.0f;
    float worldScaleX = 1.0f, worldScaleY = 1.0f, worldAlpha = 1.0f;
    std::string textureName;
    int32_t textureHandle = -1;
};

struct RefOverlay {
    const AnimeMotion* motion;
    float time;
    float speed;
    float weight;
};

struct RefPoint {
    std::string target;
    float offsetX = 0.0f, offsetY = 0.0f, velocityX = 0.0f, velocityY = 0.0f;
    float stiffness = 0.0f, damping = 0.0f, gravityX = 0.0f, gravityY = 0.0f, wind = 0.0f;
    float lastAnchorX = 0.0f, lastAnchorY = 0.0f;
};

struct RefInstance {
    std::shared_ptr<AnimeModel> model;
    std::unordered_map<std::string, int32_t> partIndexByName;
    std::unordered_map<std::string, int32_t> textureTable;
    std::vector<RefPose> poses;
    // Player.
    std::map<std::string, RefDelta> overlayDeltas;
    const AnimeMotion* motion = nullptr;
    float time = 0.0f;
    float speed = 1.0f;
    bool playing = false;
    bool finished = false;
    std::vector<RefOverlay> overlays;
    // Expression blend.
    const AnimeExpression* expression = nullptr;
    float weight = 0.0f;
    float target = 1.0f;
    float rate = 0.0f;
    bool active = false;
    // Physics.
    std::vector<RefPoint> points;
    float windX = 0.0f;
    float windY = 0.0f;
    // Placement and parallax.
    Parallax3D parallax;
    float x = 0.0f, y = 0.0f, scaleX = 1.0f, scaleY = 1.0f, alpha = 1.0f;
    bool visible = true;
    int32_t drawOrder = 0;
};

int32_t Lookup(const std::unordered_map<std::string, int32_t>& map, const std::string& name) {
    auto it = map.find(name);
    return it == map.end() ? -1 : it->second;
}

RefInstance MakeRef(const std::shared_ptr<AnimeModel>& model,
                    const std::vector<int32_t>& hostHandles) {
    RefInstance r;
    r.model = model;
    for (size_t i = 0; i < model->textures.size(); ++i) {
        r.textureTable[model->textures[i].name] = hostHandles[i];
    }
    for (size_t i = 0; i < model->parts.size(); ++i) {
        r.partIndexByName[model->parts[i].name] = static_cast<int32_t>(i);
    }
    for (const AnimePart& part : model->parts) {
        RefPose p;
        p.x = part.x;
        p.y = part.y;
        p.rotation = part.rotation;
        p.scaleX = part.scaleX;
        p.scaleY = part.scaleY;
        p.alpha = part.alpha;
        p.visible = part.visible;
        p.textureName = part.texture;
        p.textureHandle = Lookup(r.textureTable, part.texture);
        r.poses.push_back(p);
    }
    for (const PhysicsSpring& s : model->physics) {
        RefPoint pt;
        pt.target = s.target;
        pt.stiffness = s.stiffness;
        pt.damping = s.damping;
        pt.gravityX = s.gravityX;
        pt.gravityY = s.gravityY;
        pt.wind = s.wind;
        r.points.push_back(pt);
    }
    return r;
}

float RefEase(EasingType type, float u) {
    switch (type) {
        case EasingType::EaseIn:
            return u * u;
        case EasingType::EaseOut:
            return (2.0f - u) * u;
        case EasingType::EaseInOut:
            return u < 0.5f ? 2.0f * u * u : (4.0f - 2.0f * u) * u - 1.0f;
        case EasingType::EaseInCubic:
            return u * u * u;
        case EasingType::EaseOutCubic:
            return (u - 1.0f) * (u - 1.0f) * (u - 1.0f) + 1.0f;
        case EasingType::EaseInOutCubic:
            return u < 0.5f
                       ? 4.0f * u * u * u
                       : 1.0f - (2.0f - 2.0f * u) * (2.0f - 2.0f * u) * (2.0f - 2.0f * u) * 0.5f;
        case EasingType::EaseInBack:
            return 2.70158f * u * u * u - 1.70158f * u * u;
        case EasingType::EaseOutBack: {
            const float v = u - 1.0f;
            return 2.70158f * v * v * v + 1.0f + 1.70158f * v * v;
        }
        case EasingType::EaseOutBounce:
            if (u < 0.36363637f) {
                return 7.5625f * u * u;
            }
            if (u < 0.72727275f) {
                return 7.5625f * (u - 0.54545456f) * (u - 0.54545456f) + 0.75f;
            }
            if (u < 0.90909094f) {
                return 7.5625f * (u - 0.8181818f) * (u - 0.8181818f) + 0.9375f;
            }
            return 7.5625f * (u - 0.95454544f) * (u - 0.95454544f) + 0.984375f;
        case EasingType::Step:
            return 0.0f;
        default:
            return u;
    }
}

RefDelta RefSample(const MotionTrack& track, float t) {
    const std::vector<MotionKeyframe>& k = track.keyframes;
    const size_t n = k.size();
    RefDelta out;
    if (n == 0) {
        return out;
    }
    if (n == 1) {
        out = {k[0].x,      k[0].y,     k[0].rotation, k[0].scaleX,
               k[0].scaleY, k[0].alpha, k[0].visible,  k[0].textureSwap};
        return out;
    }
    size_t lo = 0;
    size_t hi = 0;
    float u = 0.0f;
    if (k[0].time >= t) {
        lo = hi = 0;
    } else if (t >= k[n - 1].time) {
        lo = hi = n - 1;
    } else {
        lo = 0;
        hi = n - 1;
        while (lo < hi - 1) {
            const size_t mid = (lo + hi) / 2;
            if (t < k[mid].time) {
                hi = mid;
            } else {
                lo = mid;
            }
        }
        const float d = k[hi].time - k[lo].time;
        u = d > 0.0f ? (t - k[lo].time) / d : 0.0f;
    }
    const float e = u <= 0.0f ? 0.0f : u >= 1.0f ? 1.0f : RefEase(k[hi].easing, u);
    out.x = k[lo].x + (k[hi].x - k[lo].x) * e;
    out.y = k[lo].y + (k[hi].y - k[lo].y) * e;
    out.rotation = k[lo].rotation + (k[hi].rotation - k[lo].rotation) * e;
    out.scaleX = k[lo].scaleX + (k[hi].scaleX - k[lo].scaleX) * e;
    out.scaleY = k[lo].scaleY + (k[hi].scaleY - k[lo].scaleY) * e;
    out.alpha = k[lo].alpha + (k[hi].alpha - k[lo].alpha) * e;
    const MotionKeyframe& held = u < 1.0f ? k[lo] : k[hi];
    out.visible = held.visible;
    out.textureSwap = held.textureSwap;
    return out;
}

float RefWrap(float time, float duration) {
    if (duration > 0.0f) {
        while (time >= duration) {
            time -= duration;
        }
    }
    return time;
}

void RefAccumulate(RefInstance& r, const RefOverlay& slot) {
    const float w = slot.weight;
    if (w <= 0.0f || slot.motion->tracks.empty()) {
        return;
    }
    for (const MotionTrack& track : slot.motion->tracks) {
        const RefDelta s = RefSample(track, slot.time);
        RefDelta& a = r.overlayDeltas[track.part];
        a.x += s.x * w;
        a.y += s.y * w;
        a.rotation += s.rotation * w;
        a.scaleX *= (s.scaleX - 1.0f) * w + 1.0f;
        a.scaleY *= (s.scaleY - 1.0f) * w + 1.0f;
        a.alpha *= (s.alpha - 1.0f) * w + 1.0f;
        if (w >= 0.5f) {
            if (s.visible >= 0) {
                a.visible = s.visible;
            }
            if (!s.textureSwap.empty()) {
                a.textureSwap = s.textureSwap;
            }
        }
    }
}

void RefAdvance(RefInstance& r, float dt) {
    r.overlayDeltas.clear();
    if (r.playing && r.motion != nullptr) {
        r.time += dt * r.speed;
        const float d = r.motion->duration;
        if (r.motion->loop) {
            r.time = RefWrap(r.time, d);
        } else if (r.time >= d) {
            r.time = d;
            r.playing = false;
            r.finished = true;
        }
    }
    for (size_t i = 0; i < r.overlays.size();) {
        RefOverlay& s = r.overlays[i];
        s.time += dt * s.speed;
        const float d = s.motion->duration;
        if (s.motion->loop) {
            s.time = RefWrap(s.time, d);
            RefAccumulate(r, s);
            ++i;
        } else if (s.time < d) {
            RefAccumulate(r, s);
            ++i;
        } else {
            r.overlays.erase(r.overlays.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (r.active && r.expression != nullptr) {
        if (r.target > r.weight) {
            r.weight += dt * r.rate;
            if (r.weight >= r.target) {
                r.weight = r.target;
            }
        } else if (r.weight > r.target) {
            r.weight -= dt * r.rate;
            if (r.weight <= r.target) {
                r.weight = r.target;
                if (r.target <= 0.0f) {
                    r.active = false;
                }
            }
        }
    }
}

void RefApplyDelta(RefInstance& r, RefPose& p, const RefDelta& d) {
    p.x += d.x;
    p.y += d.y;
    p.rotation += d.rotation;
    p.scaleX *= d.scaleX;
    p.scaleY *= d.scaleY;
    p.alpha *= d.alpha;
    if (d.visible >= 0) {
        p.visible = d.visible != 0;
    }
    if (!d.textureSwap.empty()) {
        p.textureName = d.textureSwap;
        p.textureHandle = Lookup(r.textureTable, d.textureSwap);
    }
}

void RefApplyMotion(RefInstance& r) {
    auto found = r.model->motions.find(r.motion != nullptr ? r.motion->name : std::string());
    if (found == r.model->motions.end()) {
        return;
    }
    for (const MotionTrack& track : found->second.tracks) {
        const int32_t i = Lookup(r.partIndexByName, track.part);
        if (i >= 0) {
            RefApplyDelta(r, r.poses[static_cast<size_t>(i)], RefSample(track, r.time));
        }
    }
    for (const auto& [name, delta] : r.overlayDeltas) {
        const int32_t i = Lookup(r.partIndexByName, name);
        if (i >= 0) {
            RefApplyDelta(r, r.poses[static_cast<size_t>(i)], delta);
        }
    }
}

void RefApplyExpression(RefInstance& r) {
    const float w = r.weight;
    if (!r.active || r.expression == nullptr || w <= 0.0f) {
        return;
    }
    for (const ExpressionParam& q : r.expression->params) {
        const int32_t i = Lookup(r.partIndexByName, q.part);
        if (i < 0) {
            continue;
        }
        RefPose& p = r.poses[static_cast<size_t>(i)];
        const float targets[6] = {q.x, q.y, q.rotation, q.scaleX, q.scaleY, q.alpha};
        float* fields[6] = {&p.x, &p.y, &p.rotation, &p.scaleX, &p.scaleY, &p.alpha};
        for (int f = 0; f < 6; ++f) {
            if (!std::isnan(targets[f])) {
                *fields[f] = *fields[f] + (targets[f] - *fields[f]) * w;
            }
        }
        if (q.visible >= 0 && w >= 0.5f) {
            p.visible = q.visible != 0;
        }
        if (!q.textureSwap.empty() && w >= 0.5f) {
            p.textureName = q.textureSwap;
            p.textureHandle = Lookup(r.textureTable, q.textureSwap);
        }
    }
}

void RefResolve(RefInstance& r) {
    const std::vector<AnimePart>& parts = r.model->parts;
    for (RefPose& p : r.poses) {
        p.worldX = p.x;
        p.worldY = p.y;
        p.worldRotation = p.rotation;
        p.worldScaleX = p.scaleX;
        p.worldScaleY = p.scaleY;
        p.worldAlpha = p.alpha;
    }
    std::vector<bool> resolved(parts.size(), false);
    size_t count = 0;
    for (int pass = 0; pass < 32; ++pass) {
        if (count == parts.size()) {
            break;
        }
        for (size_t c = 0; c < parts.size(); ++c) {
            if (resolved[c]) {
                continue;
            }
            const int32_t pi =
                parts[c].parent.empty() ? -1 : Lookup(r.partIndexByName, parts[c].parent);
            if (pi >= 0 && !resolved[static_cast<size_t>(pi)]) {
                continue;
            }
            if (pi >= 0) {
                const RefPose& P = r.poses[static_cast<size_t>(pi)];
                RefPose& C = r.poses[c];
                const float cs = std::cos(P.worldRotation);
                const float sn = std::sin(P.worldRotation);
                C.worldX = (C.x * cs - C.y * sn) * P.worldScaleX + P.worldX;
                C.worldY = (C.x * sn + C.y * cs) * P.worldScaleY + P.worldY;
                C.worldRotation = C.rotation + P.worldRotation;
                C.worldScaleX = C.scaleX * P.worldScaleX;
                C.worldScaleY = C.scaleY * P.worldScaleY;
                C.worldAlpha = C.alpha * P.worldAlpha;
                if (!P.visible) {
                    C.visible = false;
                }
            }
            resolved[c] = true;
            ++count;
        }
    }
}

void RefPhysics(RefInstance& r, float dt) {
    std::vector<std::pair<float, float>> anchors;
    for (const RefPoint& pt : r.points) {
        std::pair<float, float> anchor{0.0f, 0.0f};
        const int32_t t = Lookup(r.partIndexByName, pt.target);
        if (t >= 0) {
            const int32_t a =
                Lookup(r.partIndexByName, r.model->parts[static_cast<size_t>(t)].parent);
            if (a >= 0) {
                anchor = {r.poses[static_cast<size_t>(a)].worldX,
                          r.poses[static_cast<size_t>(a)].worldY};
            }
        }
        anchors.push_back(anchor);
    }
    if (dt > 0.0f && !r.points.empty()) {
        const float h = std::min(dt, 33.0f) / 1000.0f;
        for (size_t k = 0; k < r.points.size(); ++k) {
            RefPoint& p = r.points[k];
            const float ax = anchors[k].first;
            const float ay = anchors[k].second;
            const float jx = (ax - p.lastAnchorX) * 8.0f;
            const float jy = (ay - p.lastAnchorY) * 8.0f;
            p.lastAnchorX = ax;
            p.lastAnchorY = ay;
            const float fx = (p.wind * 50.0f) * r.windX +
                             (p.gravityX * 100.0f + (p.offsetX * (-p.stiffness * 60.0f) +
                                                     p.velocityX * (-p.damping * 30.0f))) -
                             jx;
            const float fy = (p.wind * 50.0f) * r.windY +
                             (p.gravityY * 100.0f + (p.offsetY * (-p.stiffness * 60.0f) +
                                                     p.velocityY * (-p.damping * 30.0f))) -
                             jy;
            p.velocityX = fx * h + p.velocityX;
            p.velocityY = fy * h + p.velocityY;
            p.offsetX = p.velocityX * h + p.offsetX;
            p.offsetY = p.velocityY * h + p.offsetY;
            const float len = std::sqrt(p.offsetX * p.offsetX + p.offsetY * p.offsetY);
            if (len > 50.0f && len > 0.0001f) {
                p.offsetX *= 50.0f / len;
                p.offsetY *= 50.0f / len;
                p.velocityX *= 0.5f;
                p.velocityY *= 0.5f;
            }
        }
    }
    for (const RefPoint& pt : r.points) {
        const int32_t t = Lookup(r.partIndexByName, pt.target);
        if (t >= 0) {
            r.poses[static_cast<size_t>(t)].worldX += pt.offsetX;
            r.poses[static_cast<size_t>(t)].worldY += pt.offsetY;
        }
    }
}

void RefUpdate(RefInstance& r, float dt) {
    if (!r.visible) {
        return;
    }
    for (size_t i = 0; i < r.poses.size(); ++i) {
        const AnimePart& part = r.model->parts[i];
        RefPose& p = r.poses[i];
        p.x = part.x;
        p.y = part.y;
        p.rotation = part.rotation;
        p.scaleX = part.scaleX;
        p.scaleY = part.scaleY;
        p.alpha = part.alpha;
        p.visible = part.visible;
    }
    RefAdvance(r, dt);
    RefApplyMotion(r);
    RefApplyExpression(r);
    RefResolve(r);
    RefPhysics(r, dt);
    for (RefPose& p : r.poses) {
        p.worldAlpha *= r.alpha;
    }
}

struct RefItem {
    int32_t index;
    int32_t drawOrder;
    float depth, x, y, scaleX, scaleY, rotation;
};

void RefParallax(const Parallax3D& s, float depth, RefItem& item) {
    const float A = s.yaw * 0.017453292f;
    const float B = s.pitch * 0.017453292f;
    const float C = s.roll * 0.017453292f;
    const float dx = item.x - s.pivotX;
    const float dy = item.y - s.pivotY;
    float d = depth - s.depthOrigin;
    float phi = 0.0f;
    const float R = s.curveRadiusX;
    if (R > 1.0f) {
        if (R * R > dx * dx) {
            d = d + (std::sqrt(R * R - dx * dx) - R);
            phi = std::asin(dx / R);
        } else {
            d = d - R;
            phi = dx > 0.0f ? 1.5707963f : -1.5707963f;
        }
    }
    const float Q = s.curveRadiusY;
    if (Q > 1.0f) {
        d = Q * Q > dy * dy ? d + (std::sqrt(Q * Q - dy * dy) - Q) : d - Q;
    }
    const float z0 = std::max(0.0f, s.depthStrength) * d;
    const float rx = dx * std::cos(C) - dy * std::sin(C);
    const float ry = dy * std::cos(C) + dx * std::sin(C);
    const float y1 = ry * std::cos(B) - z0 * std::sin(B);
    const float z1 = z0 * std::cos(B) + ry * std::sin(B);
    const float x2 = z1 * std::sin(A) + rx * std::cos(A);
    const float z2 = z1 * std::cos(A) - rx * std::sin(A);
    float k = 1.0f;
    const float p = std::max(0.0f, s.perspectiveStrength);
    if (p > 0.0001f) {
        const float f = std::max(50.0f, s.focalDistance) / p;
        const float a = f - z2 > 1.0f ? f / (f - z2) : f;
        const float b = f - z0 > 1.0f ? f / (f - z0) : f;
        k = a / b;
    }
    item.x = k * x2 + s.pivotX;
    item.y = k * y1 + s.pivotY;
    item.scaleX = std::max(0.05f, std::fabs(std::cos(phi + A))) * k * item.scaleX;
    item.scaleY = std::max(0.05f, std::fabs(std::cos(B))) * k * item.scaleY;
    item.rotation = item.rotation + C;
    item.depth = z2;
}

std::vector<AnimeDrawParams> RefDraw(const RefInstance& r) {
    std::vector<AnimeDrawParams> out;
    if (!r.visible) {
        return out;
    }
    const std::vector<AnimePart>& parts = r.model->parts;
    std::vector<RefItem> items;
    for (size_t i = 0; i < parts.size(); ++i) {
        const RefPose& p = r.poses[i];
        if (!p.visible || !(p.worldAlpha > 0.001f) || p.textureHandle < 0) {
            continue;
        }
        RefItem item{
            static_cast<int32_t>(i), parts[i].drawOrder, parts[i].depth, p.worldX, p.worldY,
            p.worldScaleX,           p.worldScaleY,      p.worldRotation};
        if (r.parallax.enabled3D && !parts[i].ignore3D) {
            RefParallax(r.parallax, parts[i].depth, item);
        }
        items.push_back(item);
    }
    const bool by3D = r.parallax.enabled3D;
    std::stable_sort(items.begin(), items.end(), [by3D](const RefItem& a, const RefItem& b) {
        if (a.drawOrder != b.drawOrder) {
            return a.drawOrder < b.drawOrder;
        }
        return by3D && a.depth < b.depth;
    });
    for (const RefItem& item : items) {
        const AnimePart& part = parts[static_cast<size_t>(item.index)];
        AnimeDrawParams d;
        d.texture = r.poses[static_cast<size_t>(item.index)].textureHandle;
        d.x = r.scaleX * item.x + r.x;
        d.y = r.scaleY * item.y + r.y;
        d.reserved0 = 0.0f;
        d.reserved1 = 0.0f;
        d.rotation = item.rotation;
        d.scaleX = r.scaleX * item.scaleX;
        d.scaleY = r.scaleY * item.scaleY;
        d.alpha = r.poses[static_cast<size_t>(item.index)].worldAlpha;
        d.reserved2 = 0xFFFFFFFFu;
        d.anchorX = part.anchorX;
        d.anchorY = part.anchorY;
        d.srcX = part.srcX;
        d.srcY = part.srcY;
        d.srcWidth = part.srcWidth;
        d.srcHeight = part.srcHeight;
        out.push_back(d);
    }
    return out;
}

// ---- The real library, driven through its internals ------------------------

std::vector<AnimeDrawParams> gDraws;
int32_t gNextHandle = 0;

int32_t LoadTexture(const uint16_t* path) {
    // Refuse one texture now and then, so that parts without a handle occur.
    std::u16string p(reinterpret_cast<const char16_t*>(path));
    if (p.find(u"glow") != std::u16string::npos && gNextHandle % 2 == 0) {
        ++gNextHandle;
        return -1;
    }
    return gNextHandle++;
}

void ReleaseTexture(int32_t) {}

void RecordDraw(const AnimeDrawParams* params) {
    gDraws.push_back(*params);
}

class Rng {
public:
    explicit Rng(uint32_t seed) : engine_(seed) {}
    float uniform(float lo, float hi) {
        return lo + (hi - lo) * static_cast<float>(static_cast<double>(engine_()) / 4294967296.0);
    }
    bool chance(float p) { return uniform(0.0f, 1.0f) < p; }
    uint32_t below(uint32_t n) { return engine_() % n; }

private:
    std::mt19937 engine_;
};

// The bench character with its parts shuffled, plus the awkward cases the
// tuned resolution must fall back on: a self-parent, a cycle, an unknown
// parent, a duplicate name, an empty name, a chain too deep for the pass
// limit (listed deepest first), extra springs and an empty-name motion.
std::shared_ptr<AnimeModel> ScrambledModel(uint32_t seed) {
    auto model = std::make_shared<AnimeModel>();
    EXPECT_TRUE(LoadModelFile(*model, kScene + "model.json"));
    Rng rng(seed);
    std::vector<AnimePart>& parts = model->parts;
    for (size_t i = parts.size(); i > 1; --i) {
        std::swap(parts[i - 1], parts[rng.below(static_cast<uint32_t>(i))]);
    }
    auto add = [&](const std::string& name, const std::string& parent, float x, float y) {
        AnimePart p;
        p.name = name;
        p.parent = parent;
        p.texture = "body";
        p.x = x;
        p.y = y;
        p.rotation = 0.1f;
        p.scaleX = 1.1f;
        p.drawOrder = static_cast<int32_t>(rng.below(4)) * 20;
        p.depth = rng.uniform(-30.0f, 30.0f);
        parts.push_back(p);
    };
    add("self", "self", 3.0f, 4.0f);
    add("cycle_a", "cycle_b", 1.0f, 2.0f);
    add("cycle_b", "cycle_a", -1.0f, 5.0f);
    add("orphan", "ghost", 7.0f, 1.0f);
    add("hand_l", "chest", 9.0f, 9.0f);  // a second hand_l: lookups find this one
    add("", "", 0.0f, 10.0f);            // anchors springs of parentless targets
    for (int i = 39; i >= 0; --i) {
        add("deep_" + std::to_string(i), i == 0 ? "hip" : "deep_" + std::to_string(i - 1), 2.0f,
            3.0f);
    }
    model->physics.push_back(PhysicsSpring{"deep_39", 0.4f, 0.6f, 0.1f, 0.5f, 1.0f});
    model->physics.push_back(PhysicsSpring{"root", 0.3f, 0.7f, 0.0f, 0.5f, 0.5f});
    model->physics.push_back(PhysicsSpring{"nothing", 0.3f, 0.7f, 0.0f, 0.5f, 0.5f});
    RebuildModelIndex(*model);
    EXPECT_TRUE(LoadMotionFile(*model, kScene + "motions/idle.json"));
    EXPECT_TRUE(LoadMotionFile(*model, kScene + "motions/wave.json"));
    EXPECT_TRUE(LoadExpressionFile(*model, kScene + "expressions/smile.json"));
    const JsonValue extra = ParseJson(R"({"name": "", "duration": 700, "loop": true, "tracks": [
        {"part": "deep_39", "keyframes": [{"time": 0, "rotation": 0.3},
            {"time": 350, "rotation": -0.3, "visible": 0, "easing": "ease_in_out"},
            {"time": 700, "rotation": 0.3, "visible": 1}]},
        {"part": "cycle_a", "keyframes": [{"time": 100, "position": [5, 5], "textureSwap": "face"},
            {"time": 600, "scale": 2, "textureSwap": "nope", "easing": "step"}]},
        {"part": "", "keyframes": [{"time": 0, "alpha": 0.5}]},
        {"part": "missing", "keyframes": [{"time": 0, "alpha": 0.5}]}]})");
    EXPECT_TRUE(ReadMotionJson(*model, extra, ""));
    return model;
}

struct Pair {
    uint32_t id;
    AnimeInstance* real;
    RefInstance ref;
};

const char* const kMotionNames[] = {"idle", "wave", "", "absent"};

// One random change, made the same way on both sides.
void RandomChange(Rng& rng, Pair& p) {
    AnimeInstance& a = *p.real;
    RefInstance& r = p.ref;
    const AnimeModel& model = *a.model;
    switch (rng.below(16)) {
        case 0: {
            const char* name = kMotionNames[rng.below(4)];
            const float speed = rng.chance(0.1f) ? -0.5f : rng.uniform(0.0f, 2.5f);
            const bool played = PlayMotion(a.player, model, name, speed);
            auto it = model.motions.find(name);
            ASSERT_EQ(played, it != model.motions.end());
            if (played) {
                r.motion = &it->second;
                r.time = 0.0f;
                r.speed = speed;
                r.playing = true;
                r.finished = false;
            }
            break;
        }
        case 1:
            if (rng.chance(0.3f)) {
                StopMotion(a.player);
                r.playing = false;
                r.finished = true;
            }
            break;
        case 2:
        case 3: {
            const char* name = kMotionNames[rng.below(4)];
            const float speed = rng.uniform(-0.5f, 2.0f);
            const float weight = rng.chance(0.2f) ? 0.5f : rng.uniform(-0.2f, 1.5f);
            const bool played = PlayOverlay(a.player, model, name, speed, weight);
            auto it = model.motions.find(name);
            ASSERT_EQ(played, it != model.motions.end());
            if (played) {
                auto slot =
                    std::find_if(r.overlays.begin(), r.overlays.end(),
                                 [&](const RefOverlay& s) { return s.motion->name == name; });
                if (slot != r.overlays.end()) {
                    *slot = {&it->second, 0.0f, speed, weight};
                } else {
                    r.overlays.push_back({&it->second, 0.0f, speed, weight});
                }
            }
            break;
        }
        case 4: {
            const std::string name = kMotionNames[rng.below(4)];
            if (rng.chance(0.2f)) {
                StopAllOverlays(a.player);
                r.overlays.clear();
            } else {
                StopOverlay(a.player, name);
                std::erase_if(r.overlays,
                              [&](const RefOverlay& s) { return s.motion->name == name; });
            }
            break;
        }
        case 5: {
            auto it = model.expressions.find(rng.chance(0.8f) ? "smile" : "frown");
            if (it != model.expressions.end()) {
                SetExpression(a.player.expression, it->second);
                r.expression = &it->second;
                r.active = true;
                r.target = 1.0f;
                if (it->second.blendMs > 0.001f) {
                    r.rate = 1.0f / it->second.blendMs;
                } else {
                    r.weight = 1.0f;
                }
            }
            break;
        }
        case 6:
            ClearExpression(a.player.expression);
            r.target = 0.0f;
            if (r.rate <= 0.0f) {
                r.active = false;
            }
            break;
        case 7:
            a.x = r.x = rng.uniform(-500.0f, 500.0f);
            a.y = r.y = rng.uniform(-500.0f, 500.0f);
            break;
        case 8:
            a.scaleX = r.scaleX = rng.chance(0.2f) ? -1.0f : rng.uniform(0.1f, 2.0f);
            a.scaleY = r.scaleY = rng.uniform(0.1f, 2.0f);
            break;
        case 9:
            a.alpha = r.alpha = std::max(std::min(rng.uniform(-0.2f, 1.3f), 1.0f), 0.0f);
            break;
        case 10:
            a.visible = r.visible = !rng.chance(0.3f);
            a.drawOrder = r.drawOrder = static_cast<int32_t>(rng.below(5)) - 2;
            break;
        case 11: {
            Parallax3D s;
            s.enabled3D = rng.chance(0.7f);
            s.pivotX = rng.uniform(-200.0f, 700.0f);
            s.pivotY = rng.uniform(-200.0f, 700.0f);
            s.focalDistance = std::max(50.0f, rng.uniform(0.0f, 3000.0f));
            s.curveRadiusX = rng.chance(0.5f) ? 0.0f : std::max(0.0f, rng.uniform(-50.0f, 400.0f));
            s.curveRadiusY = rng.chance(0.5f) ? 0.0f : std::max(0.0f, rng.uniform(-50.0f, 400.0f));
            s.yaw = a.parallax.yaw;
            s.pitch = a.parallax.pitch;
            s.roll = a.parallax.roll;
            s.depthStrength = a.parallax.depthStrength;
            s.perspectiveStrength = a.parallax.perspectiveStrength;
            a.parallax = r.parallax = s;
            break;
        }
        case 12:
            a.parallax.yaw = r.parallax.yaw = rng.uniform(-120.0f, 120.0f);
            a.parallax.pitch = r.parallax.pitch = rng.uniform(-120.0f, 120.0f);
            a.parallax.roll = r.parallax.roll =
                rng.chance(0.3f) ? 0.0f : rng.uniform(-90.0f, 90.0f);
            break;
        case 13:
            a.parallax.depthStrength = r.parallax.depthStrength =
                std::max(0.0f, rng.uniform(-0.5f, 3.0f));
            a.parallax.perspectiveStrength = r.parallax.perspectiveStrength =
                rng.chance(0.2f) ? 0.0f : std::max(0.0f, rng.uniform(-0.5f, 3.0f));
            break;
        case 14:
            a.physics.windX = r.windX = rng.uniform(-3.0f, 3.0f);
            a.physics.windY = r.windY = rng.uniform(-1.0f, 1.0f);
            break;
        case 15:
            if (rng.chance(0.2f)) {
                ResetPhysics(a.physics);
                for (RefPoint& pt : r.points) {
                    pt.offsetX = pt.offsetY = pt.velocityX = pt.velocityY = 0.0f;
                    pt.lastAnchorX = pt.lastAnchorY = 0.0f;
                }
            }
            break;
    }
}

float RandomDt(Rng& rng) {
    switch (rng.below(8)) {
        case 0:
            return 0.0f;
        case 1:
            return rng.chance(0.3f) ? -5.0f : 100.0f;
        case 2:
            return rng.uniform(0.0f, 50.0f);
        case 3:
            return 33.333f;
        default:
            return 16.6667f;
    }
}

bool WindOn(float x, float y) {
    return x != 0.0f || y != 0.0f;
}

std::string Describe(const AnimeDrawParams& d) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer,
                  "tex %d pos (%.9g, %.9g) rot %.9g scale (%.9g, %.9g) a %.9g", d.texture, d.x, d.y,
                  d.rotation, d.scaleX, d.scaleY, d.alpha);
    return buffer;
}

TEST(ReferenceIdentity, EveryDrawRecordMatchesThePlainPath) {
    AnimeManager manager;
    manager.callbacks = AnimeHostCallbacks{LoadTexture, ReleaseTexture, nullptr, RecordDraw};
    ASSERT_TRUE(LoadModel(manager, "bench", kScene + "model.json"));
    ASSERT_TRUE(LoadMotion(manager, "bench", kScene + "motions/idle.json"));
    ASSERT_TRUE(LoadMotion(manager, "bench", kScene + "motions/wave.json"));
    ASSERT_TRUE(LoadExpression(manager, "bench", kScene + "expressions/smile.json"));
    manager.modelCache.emplace("scrambled", ScrambledModel(7));

    Rng rng(20261206);
    std::vector<Pair> pairs;
    for (const char* name : {"bench", "bench", "bench", "scrambled", "scrambled"}) {
        const uint32_t id = CreateInstance(manager, name);
        ASSERT_NE(id, 0u);
        AnimeInstance* real = FindInstance(manager, id);
        pairs.push_back({id, real, MakeRef(real->model, real->textureHandles)});
    }

    float globalX = 0.0f;
    float globalY = 0.0f;
    size_t compared = 0;
    size_t with3D = 0;
    constexpr int kFrames = 1000;
    for (int frame = 0; frame < kFrames; ++frame) {
        for (Pair& p : pairs) {
            const int changes = static_cast<int>(rng.below(3));
            for (int c = 0; c < changes; ++c) {
                RandomChange(rng, p);
            }
        }
        if (rng.chance(0.02f)) {
            globalX = rng.chance(0.5f) ? 0.0f : rng.uniform(-2.0f, 2.0f);
            globalY = rng.chance(0.5f) ? 0.0f : rng.uniform(-1.0f, 1.0f);
        }
        // Most frames update; some draw twice without an update.
        if (!rng.chance(0.05f)) {
            const float dt = RandomDt(rng);
            const bool wind = WindOn(globalX, globalY);
            for (Pair& p : pairs) {
                const float ownX = p.real->physics.windX;
                const float ownY = p.real->physics.windY;
                if (wind) {
                    p.real->physics.windX = globalX + ownX;
                    p.real->physics.windY = globalY + ownY;
                    p.ref.windX = globalX + ownX;
                    p.ref.windY = globalY + ownY;
                }
                UpdateInstance(*p.real, dt);
                RefUpdate(p.ref, dt);
                p.real->physics.windX = p.ref.windX = ownX;
                p.real->physics.windY = p.ref.windY = ownY;
            }
        }
        for (Pair& p : pairs) {
            gDraws.clear();
            if (p.real->visible) {
                DrawInstance(*p.real);
            }
            const std::vector<AnimeDrawParams> expected = RefDraw(p.ref);
            ASSERT_EQ(gDraws.size(), expected.size()) << "frame " << frame << ", instance " << p.id;
            for (size_t i = 0; i < expected.size(); ++i) {
                ASSERT_EQ(std::memcmp(&gDraws[i], &expected[i], sizeof(AnimeDrawParams)), 0)
                    << "frame " << frame << ", instance " << p.id << ", record " << i
                    << "\n  tuned:     " << Describe(gDraws[i])
                    << "\n  reference: " << Describe(expected[i]);
            }
            compared += expected.size();
            with3D += p.ref.parallax.enabled3D ? expected.size() : 0;
        }
    }
    // The run must actually have drawn, with and without the parallax.
    EXPECT_GT(compared, static_cast<size_t>(kFrames) * 40);
    EXPECT_GT(with3D, compared / 10);
    EXPECT_LT(with3D, compared);
    gDraws.clear();
    gDraws.shrink_to_fit();
}

}  // namespace
}  // namespace kivanime::test
