// Checks of the parts' blend modes and masks: names the loader does not know
// (which it reads as normal, or as no mask), masks that have no shape to clip
// with, and masks drawn on top of the parts they clip.
#include <array>
#include <string>
#include <string_view>

#include "kivanime.h"
#include "lint_checks.h"
#include "model/draw_flags.h"

namespace kivanime::lint {

namespace {

constexpr std::array<std::string_view, 4> kBlendNames = {"normal", "additive", "multiply",
                                                         "screen"};

// A part draws later than another when its draw order is higher, or equal
// and it comes later in the part list (the 3D turn may reorder parts of one
// draw order by depth).
bool DrawnAfter(const AnimeModel& model, size_t a, size_t b) {
    const int32_t orderA = model.parts[a].drawOrder, orderB = model.parts[b].drawOrder;
    return orderA > orderB || (orderA == orderB && a > b);
}

std::string Label(const AnimeModel& model, size_t index) {
    const std::string& name = model.parts[index].name;
    return name.empty() ? "part #" + std::to_string(index + 1) : "part " + Quoted(name);
}

void CheckClip(Reporter& r, const JsonValue& clip, const Puppet& puppet, size_t i) {
    const AnimeModel& model = puppet.model;
    const AnimePart& part = model.parts[i];
    const std::string label = Label(model, i);
    const int32_t found = model.findPart(part.clip);
    if (found < 0) {
        r.at(clip, Severity::Error, "unknown-clip",
             label + " is clipped by " + Quoted(part.clip) +
                 ", which matches no part: the part is drawn whole" +
                 DidYouMean(part.clip, puppet.partNames));
        return;
    }
    const size_t mask = static_cast<size_t>(found);
    if (mask == i) {
        r.at(clip, Severity::Error, "self-clip",
             label + " is clipped by itself: the clip is ignored and the part is drawn whole");
        return;
    }
    const std::string maskLabel = Label(model, mask);
    if (ShapeTriangles(model, mask) == 0) {
        r.at(clip, Severity::Error, "mask-without-shape",
             "the mask of " + label + ", " + maskLabel +
                 ", has no shape (no \"srcRect\" of some size and no mesh): a host with a mesh "
                 "function draws nothing of " +
                 label);
    } else if (ShapeTriangles(model, i) == 0) {
        r.at(clip, Severity::Warning, "clip-without-shape",
             label +
                 " has no shape of its own to clip (no \"srcRect\" of some size and no mesh): "
                 "it goes to the host whole, flagged as unclipped");
    }
    if (model.parts[mask].visible && DrawnAfter(model, mask, i)) {
        r.at(clip, Severity::Warning, "mask-drawn-after",
             "the mask of " + label + ", " + maskLabel +
                 ", is drawn after it and so covers it where it shows; give the mask a lower "
                 "\"drawOrder\", or hide it to use it only as a mask");
    }
}

}  // namespace

bool IsMask(const AnimeModel& model, size_t index) {
    for (size_t i = 0; i < model.parts.size(); ++i) {
        if (i != index && !model.parts[i].clip.empty() &&
            model.findPart(model.parts[i].clip) == static_cast<int32_t>(index)) {
            return true;
        }
    }
    return false;
}

void CheckBlendAndClip(Reporter& r, const JsonValue& parts, const Puppet& puppet) {
    if (!parts.isArray()) {
        return;
    }
    for (size_t i = 0; i < parts.elements.size() && i < puppet.model.parts.size(); ++i) {
        const JsonValue& blend = parts.elements[i].get("blend");
        if (blend.isString() && BlendModeOf(blend.text) == ANIME_BLEND_NORMAL &&
            blend.text != kBlendNames[0]) {
            r.at(blend, Severity::Error, "unknown-blend",
                 "blend mode " + Quoted(blend.text) + " of " + Label(puppet.model, i) +
                     " is not normal, additive, multiply or screen: the part blends normally" +
                     DidYouMean(blend.text, kBlendNames));
        }
        const JsonValue& clip = parts.elements[i].get("clip");
        if (clip.isString() && !clip.text.empty()) {
            CheckClip(r, clip, puppet, i);
        }
    }
}

}  // namespace kivanime::lint
