// The tuned steps of a frame against the literal algorithm they replace. The
// library resolves the hierarchy once per model into a parent-first order,
// sorts draw items with its own stable sort, evaluates the parallax's
// trigonometry once per instance. Each is checked here, bit for bit and record
// by whole record, against the plain version: the 32-pass name-based loop,
// std::stable_sort, and per-part sines and cosines. (The overlay sums, kept
// per part index, show through the C interface's overlay scripts.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "render/draw_pass.h"
#include "render/parallax.h"
#include "runtime/pose.h"

namespace kivanime::test {
namespace {

struct Rng {
    std::mt19937 gen;
    explicit Rng(uint32_t seed) : gen(seed) {}
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(gen); }
    uint32_t below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(gen); }
};

// A random hierarchy: cycles, self-parents, duplicate and empty names, unknown
// parents, and chains listed child first (each needs a pass of its own, so
// long ones run out of passes).
AnimeModel RandomHierarchy(Rng& rng) {
    AnimeModel model;
    const uint32_t count = 1 + rng.below(60);
    const uint32_t names = 1 + rng.below(count + 3);
    auto nameOf = [&](uint32_t k) { return k == 0 ? std::string() : "p" + std::to_string(k); };
    for (uint32_t i = 0; i < count; ++i) {
        AnimePart part;
        part.name = nameOf(rng.below(names));
        const uint32_t kind = rng.below(4);  // a root, a self-parent, or any name
        part.parent = kind == 0 ? "" : kind == 1 ? part.name : nameOf(rng.below(names + 2));
        // x, y, rotation, scaleX, scaleY, alpha, drawn in that order
        part.rest = {rng.uniform(-50.0f, 50.0f), rng.uniform(-50.0f, 50.0f),
                     rng.uniform(-3.0f, 3.0f),   rng.uniform(0.5f, 1.5f),
                     rng.uniform(0.5f, 1.5f),    rng.uniform(0.0f, 1.0f)};
        part.visible = rng.below(5) != 0;
        model.parts.push_back(part);
    }
    if (rng.below(3) == 0) {  // a reversed chain as long as the pass limit and more
        const uint32_t length = 20 + rng.below(20);
        for (uint32_t i = length; i-- > 0;) {
            AnimePart part;
            part.name = "c" + std::to_string(i);
            part.parent = i == 0 ? "" : "c" + std::to_string(i - 1);
            part.rest.x = 1.0f;
            part.rest.rotation = 0.1f;
            model.parts.push_back(part);
        }
    }
    RebuildModelIndex(model);
    return model;
}

// The hierarchy as written down: up to 32 passes, names looked up every time
// (the last part of a name wins), trigonometry where it is used.
void LiteralResolve(const AnimeModel& model, std::vector<PartPose>& poses) {
    std::map<std::string, size_t> byName;
    for (size_t i = 0; i < model.parts.size(); ++i) {
        byName[model.parts[i].name] = i;
    }
    for (PartPose& p : poses) {
        p.world = p.local;
    }
    std::vector<bool> done(poses.size(), false);
    for (int pass = 0; pass < 32; ++pass) {
        for (size_t c = 0; c < poses.size(); ++c) {
            const std::string& parent = model.parts[c].parent;
            auto it = parent.empty() ? byName.end() : byName.find(parent);
            if (done[c] || (it != byName.end() && !done[it->second])) {
                continue;
            }
            if (it != byName.end()) {
                const PartPose& P = poses[it->second];
                PartPose& C = poses[c];
                const float cs = std::cos(P.world.rotation);
                const float sn = std::sin(P.world.rotation);
                C.world.x = (C.local.x * cs - C.local.y * sn) * P.world.scaleX + P.world.x;
                C.world.y = (C.local.x * sn + C.local.y * cs) * P.world.scaleY + P.world.y;
                C.world.rotation = C.local.rotation + P.world.rotation;
                C.world.scaleX = C.local.scaleX * P.world.scaleX;
                C.world.scaleY = C.local.scaleY * P.world.scaleY;
                C.world.alpha = C.local.alpha * P.world.alpha;
                if (!P.visible) {
                    C.visible = false;
                }
            }
            done[c] = true;
        }
    }
}

TEST(ReferenceIdentity, HierarchyMatchesTheLiteralPassLoop) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        Rng rng(seed);
        const AnimeModel model = RandomHierarchy(rng);
        std::vector<PartPose> real(model.parts.size());
        ResetLocalPose(model, real);
        std::vector<PartPose> literal = real;
        std::vector<float> scratch;
        ResolveWorldPose(model, real, scratch);
        LiteralResolve(model, literal);
        for (size_t i = 0; i < real.size(); ++i) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " part " + std::to_string(i));
            const PartPose& a = real[i];
            const PartPose& b = literal[i];
            ASSERT_EQ(std::memcmp(&a.world, &b.world, sizeof a.world), 0)
                << a.world.x << " vs " << b.world.x;
            ASSERT_EQ(a.visible, b.visible);
        }
    }
}

TEST(ReferenceIdentity, DrawSortMatchesStableSort) {
    Rng rng(7);
    DrawList scratch;
    for (size_t n = 0; n <= 300; ++n) {
        std::vector<DrawItem> items(n);
        for (size_t i = 0; i < n; ++i) {
            items[i].index = static_cast<int32_t>(i);
            items[i].drawOrder = static_cast<int32_t>(rng.below(4));  // many ties
            items[i].depth = static_cast<float>(rng.below(3)) - 1.0f;
        }
        // The pass hands the list over in draw order, but any order must sort.
        if (n % 2 == 0) {
            std::stable_sort(items.begin(), items.end(), [](const DrawItem& a, const DrawItem& b) {
                return a.drawOrder < b.drawOrder;
            });
        }
        std::vector<DrawItem> expected = items;
        std::stable_sort(
            expected.begin(), expected.end(), [](const DrawItem& a, const DrawItem& b) {
                return a.drawOrder != b.drawOrder ? a.drawOrder < b.drawOrder : a.depth < b.depth;
            });
        SortDrawItems(items, scratch);
        for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(items[i].index, expected[i].index) << "size " << n << " at " << i;
        }
    }
}

// The parallax with every sine and cosine taken where it is used.
void LiteralParallax(const Parallax3D& s, float depth, DrawItem& item) {
    const float A = s.yaw * 0.017453292f;
    const float B = s.pitch * 0.017453292f;
    const float C = s.roll * 0.017453292f;
    PoseChannels& pose = item.pose;
    const float dx = pose.x - s.pivotX;
    const float dy = pose.y - s.pivotY;
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
    pose.x = k * x2 + s.pivotX;
    pose.y = k * y1 + s.pivotY;
    pose.scaleX = std::max(0.05f, std::fabs(std::cos(phi + A))) * k * pose.scaleX;
    pose.scaleY = std::max(0.05f, std::fabs(std::cos(B))) * k * pose.scaleY;
    pose.rotation = pose.rotation + C;
    item.depth = z2;
}

TEST(ReferenceIdentity, CachedParallaxTermsMatchPerPartTrigonometry) {
    Rng rng(11);
    for (int round = 0; round < 3000; ++round) {
        Parallax3D s;
        s.enabled3D = true;
        s.yaw = rng.uniform(-200.0f, 200.0f);
        s.pitch = rng.uniform(-200.0f, 200.0f);
        s.roll = rng.below(4) == 0 ? 0.0f : rng.uniform(-90.0f, 90.0f);
        s.pivotX = rng.uniform(-100.0f, 100.0f);
        s.pivotY = rng.uniform(-100.0f, 100.0f);
        s.depthOrigin = rng.uniform(-50.0f, 50.0f);
        s.focalDistance = rng.uniform(0.0f, 3000.0f);
        s.curveRadiusX = rng.below(3) == 0 ? 0.0f : rng.uniform(0.0f, 400.0f);
        s.curveRadiusY = rng.below(3) == 0 ? 0.0f : rng.uniform(0.0f, 400.0f);
        s.depthStrength = rng.uniform(-1.0f, 3.0f);
        s.perspectiveStrength = rng.below(4) == 0 ? 0.0f : rng.uniform(-1.0f, 4.0f);
        const ParallaxFrame frame = PrepareParallax(s);
        // Six parts: the list takes four at once where it can, then the rest
        // one by one, and must agree with the single part.
        DrawList list;
        list.reserve(6);
        list.count = 6;
        for (size_t j = 0; j < 6; ++j) {
            list.set(j, {0,
                         0,
                         rng.uniform(-400.0f, 400.0f),
                         {rng.uniform(-500.0f, 500.0f), rng.uniform(-500.0f, 500.0f),
                          rng.uniform(-3.0f, 3.0f), rng.uniform(0.1f, 2.0f),
                          rng.uniform(0.1f, 2.0f), 1.0f}});
        }
        const DrawList before = list;
        ApplyParallax(s, frame, list);
        for (size_t j = 0; j < 6; ++j) {
            DrawItem item = before.get(j);
            DrawItem literal = item;
            ApplyParallax(s, frame, before.depth[j], item);
            LiteralParallax(s, before.depth[j], literal);
            const DrawItem listed = list.get(j);
            for (const DrawItem& got : {item, listed}) {
                ASSERT_EQ(std::memcmp(&got, &literal, sizeof got), 0)
                    << "round " << round << " part " << j << ": " << got.pose.x << "," << got.pose.y
                    << " vs " << literal.pose.x << "," << literal.pose.y;
            }
        }
    }
}

}  // namespace
}  // namespace kivanime::test
