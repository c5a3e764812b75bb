#include "model/anime_model.h"

#include <algorithm>

namespace kivanime {

namespace {

void BuildHierarchy(const AnimeModel& model, ModelTopology& topo) {
    const size_t count = model.parts.size();
    topo.parentIndex.assign(count, -1);
    for (size_t i = 0; i < count; ++i) {
        const std::string& parent = model.parts[i].parent;
        if (!parent.empty()) {
            topo.parentIndex[i] = model.findPart(parent);
        }
    }
    // Replay the pass-based resolution on indices once. The order in which
    // it resolves parts is a parent-first order, and the set it reaches is
    // exactly the set a frame would reach, so a frame can compose transforms
    // in one forward loop over this order with identical results.
    topo.resolvable.assign(count, 0);
    topo.hasChildren.assign(count, 0);
    topo.resolveOrder.clear();
    size_t resolved = 0;
    for (int pass = 0; pass < kMaxHierarchyPasses && resolved < count; ++pass) {
        for (size_t i = 0; i < count; ++i) {
            if (topo.resolvable[i]) {
                continue;
            }
            int32_t parent = topo.parentIndex[i];
            if (parent < 0) {
                topo.resolvable[i] = 1;
                ++resolved;
            } else if (topo.resolvable[static_cast<size_t>(parent)]) {
                topo.resolvable[i] = 1;
                topo.hasChildren[static_cast<size_t>(parent)] = 1;
                topo.resolveOrder.push_back(static_cast<int32_t>(i));
                ++resolved;
            }
        }
    }
}

}  // namespace

int32_t AnimeModel::findPart(std::string_view partName) const {
    auto it = partIndex.find(partName);
    return it == partIndex.end() ? -1 : it->second;
}

int32_t AnimeModel::findTexture(std::string_view textureName) const {
    auto it = textureIndex.find(textureName);
    return it == textureIndex.end() ? -1 : it->second;
}

int32_t AnimeModel::resolveTextureSwap(std::string_view textureName) const {
    if (textureName.empty()) {
        return kNoTextureSwap;
    }
    int32_t index = findTexture(textureName);
    return index >= 0 ? index : kSwapToUnknownTexture;
}

const AnimeMotion* AnimeModel::findMotion(std::string_view motionName) const {
    auto it = motions.find(motionName);
    return it == motions.end() ? nullptr : &it->second;
}

const AnimeExpression* AnimeModel::findExpression(std::string_view expressionName) const {
    auto it = expressions.find(expressionName);
    return it == expressions.end() ? nullptr : &it->second;
}

const AnimeSkin* AnimeModel::findSkin(std::string_view skinName) const {
    // Looked up only when a host puts a skin on, never in a frame.
    for (const AnimeSkin& skin : skins) {
        if (skin.name == skinName) {
            return &skin;
        }
    }
    return nullptr;
}

void RebuildModelIndex(AnimeModel& model) {
    model.partIndex.clear();
    for (size_t i = 0; i < model.parts.size(); ++i) {
        model.partIndex[model.parts[i].name] = static_cast<int32_t>(i);  // later parts win
    }
    model.textureIndex.clear();
    for (size_t i = 0; i < model.textures.size(); ++i) {
        model.textureIndex[model.textures[i].name] = static_cast<int32_t>(i);
    }

    ModelTopology& topo = model.topology;
    BuildHierarchy(model, topo);

    topo.textureIndex.resize(model.parts.size());
    for (size_t i = 0; i < model.parts.size(); ++i) {
        topo.textureIndex[i] = model.findTexture(model.parts[i].texture);
    }

    topo.drawOrderSorted.resize(model.parts.size());
    for (size_t i = 0; i < model.parts.size(); ++i) {
        topo.drawOrderSorted[i] = static_cast<int32_t>(i);
    }
    std::stable_sort(topo.drawOrderSorted.begin(), topo.drawOrderSorted.end(),
                     [&](int32_t a, int32_t b) {
                         return model.parts[static_cast<size_t>(a)].drawOrder <
                                model.parts[static_cast<size_t>(b)].drawOrder;
                     });

    // A spring is anchored at its target's parent, found by name even when
    // that name is empty (so a part named "" anchors the springs of
    // parentless targets); otherwise at the model origin.
    topo.springTarget.resize(model.physics.size());
    topo.springAnchor.resize(model.physics.size());
    for (size_t k = 0; k < model.physics.size(); ++k) {
        int32_t target = model.findPart(model.physics[k].target);
        topo.springTarget[k] = target;
        topo.springAnchor[k] =
            target >= 0 ? model.findPart(model.parts[static_cast<size_t>(target)].parent) : -1;
    }

    BuildMeshTable(model.parts, topo.meshes);
    BuildDrawFlags(model, topo.drawFlags);
}

}  // namespace kivanime
