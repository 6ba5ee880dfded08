// Positions of the tabs along a tab beam: pure arithmetic on the tab widths and
// the scroll state, shared by the beam's painting and its hit-testing.
#pragma once

#include <span>

namespace controls {

// The horizontal run of each slanted tab side, and the overlap between
// neighbouring tabs.
inline constexpr int kTabSlant = 7;

enum class ScrollButton { None = -1, Previous = 1, Next = 2 };

// One view of a beam's tabs. The widths are the tabs' inner widths in display
// order; the span is borrowed and must outlive the layout.
struct TabStripLayout {
    std::span<const int> widths;
    int firstVisible = 0;
    // Both scroll buttons together; the column right of them is a gap.
    int buttonAreaWidth = 0;
    int clientWidth = 0;

    int Count() const { return static_cast<int>(widths.size()); }
    // First column of the tab area, right of the buttons and the gap column.
    int TabAreaStart() const { return buttonAreaWidth + 1; }

    // Left end of the top edge of tab `index`; left of the tab area for tabs
    // before the first visible one.
    int TabLeft(int index) const;
    // The tab whose slot contains x: -1 right of the last slot; the tab left
    // of the first visible one (possibly -1) at or left of the tab area start.
    int TabAtX(int x) const;
    // The last tab whose whole top edge fits in the client width; -1 with no tabs.
    int LastWholeTab() const;

    bool PreviousEnabled() const { return firstVisible > 0; }
    // Disabled while the tab slots end before the right edge.
    bool NextEnabled() const { return TabAtX(clientWidth) != -1; }
    bool Enabled(ScrollButton button) const;

    // The first visible tab after one step of `button`, clamped so that the
    // row never scrolls past the point where the last tab fits.
    int StepTarget(ScrollButton button) const;
    // Pixels between the slots of tabs `from` and `to` (from <= to): the sum
    // of (width + slant) over from .. to - 1.
    int SlotDistance(int from, int to) const;

private:
    // The furthest useful first visible tab: moving further would leave empty
    // space right of the last tab.
    int FurthestFirstTab() const;
};

} // namespace controls
