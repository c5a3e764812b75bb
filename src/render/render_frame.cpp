#include "render/render_frame.h"

#include <algorithm>

#include "runtime/instance_prefetch.h"

namespace kivanime {

void RenderInstances(const InstanceTable& instances, RenderFrame& frame) {
    auto& list = frame.order;
    list.clear();
    for (const auto& entry : instances) {
        if (entry.second->visible) {
            list.push_back({entry.second->drawOrder, entry.first, entry.second.get()});
        }
    }
    // Equal draw orders may come in any order; keeping them in id order
    // makes frames reproducible.
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
        return a.drawOrder != b.drawOrder ? a.drawOrder < b.drawOrder : a.id < b.id;
    });
    for (size_t k = 0; k < list.size(); ++k) {
        // Fetch ahead: the next instance's poses, and the instance after it,
        // whose fields say where its poses are.
        if (k + 2 < list.size()) {
            PrefetchInstance(*list[k + 2].instance);
        }
        if (k + 1 < list.size()) {
            PrefetchPoses(*list[k + 1].instance);
        }
        const AnimeInstance& instance = *list[k].instance;
        if (instance.model && instance.visible) {
            DrawInstance(instance, frame.scratch);
        }
    }
}

}  // namespace kivanime
