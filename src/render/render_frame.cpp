#include "render/render_frame.h"

#include <algorithm>
#include <functional>

namespace kivanime {

void RenderInstances(const InstanceTable& instances, RenderFrame& frame) {
    auto& list = frame.order;
    list.clear();
    for (const InstanceTable::Slot& slot : instances) {
        if (slot.instance.visible) {
            list.push_back({slot.instance.drawOrder, &slot.instance});
        }
    }
    // The table holds its instances side by side in creation order, so their
    // addresses rank equal draw orders in creation order: a stable order
    // without a stable sort (which would allocate).
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
        return a.drawOrder != b.drawOrder ? a.drawOrder < b.drawOrder
                                          : std::less<>()(a.instance, b.instance);
    });
    for (const RenderFrame::Entry& entry : list) {
        const AnimeInstance& instance = *entry.instance;
        if (instance.model && instance.visible) {
            DrawInstance(instance, frame.scratch);
        }
    }
}

}  // namespace kivanime
