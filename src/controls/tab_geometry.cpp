#include "controls/tab_geometry.h"

#include <algorithm>

namespace controls {

int TabStripLayout::TabLeft(int index) const {
    if (index >= firstVisible)
        return TabAreaStart() + SlotDistance(firstVisible, index);
    return TabAreaStart() - SlotDistance(index, firstVisible);
}

int TabStripLayout::TabAtX(int x) const {
    int index = firstVisible;
    int sum = TabAreaStart();
    while (index < Count() && sum < x) {
        sum += widths[index] + kTabSlant;
        ++index;
    }
    if (index == Count() && sum <= x)
        return -1;
    return index - 1;
}

int TabStripLayout::LastWholeTab() const {
    if (firstVisible >= Count())
        return -1;
    // Right end of the first visible tab's top edge.
    int sum = TabAreaStart() + widths[firstVisible] + 2 * kTabSlant;
    int index = firstVisible + 1;
    while (index < Count() && sum < clientWidth) {
        sum += widths[index] + kTabSlant;
        ++index;
    }
    // A top edge that ends exactly at the right edge counts as whole, even
    // with tabs left over.
    if (sum <= clientWidth)
        return Count() - 1;
    return std::max(firstVisible, index - 2);
}

bool TabStripLayout::Enabled(ScrollButton button) const {
    switch (button) {
    case ScrollButton::Previous:
        return PreviousEnabled();
    case ScrollButton::Next:
        return NextEnabled();
    case ScrollButton::None:
        break;
    }
    return false;
}

int TabStripLayout::FurthestFirstTab() const {
    const int area = clientWidth - TabAreaStart();
    int last = Count() - 1;
    int extent = widths[last] + 2 * kTabSlant;
    while (last > firstVisible && widths[last - 1] + kTabSlant + extent < area) {
        extent += widths[last - 1] + kTabSlant;
        --last;
    }
    return last;
}

int TabStripLayout::StepTarget(ScrollButton button) const {
    if (Count() == 0)
        return firstVisible;
    int target = button == ScrollButton::Previous ? firstVisible - 1 : firstVisible + 1;
    const int furthest = FurthestFirstTab();
    if (std::min(furthest, target) < 0)
        target = 0;
    else if (target > furthest)
        target = furthest;
    return target;
}

int TabStripLayout::SlotDistance(int from, int to) const {
    int sum = 0;
    for (int index = from; index < to; ++index)
        sum += widths[index] + kTabSlant;
    return sum;
}

} // namespace controls
