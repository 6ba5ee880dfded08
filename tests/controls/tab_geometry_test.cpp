#include "controls/tab_geometry.h"
#include "controls/tab_window_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace controls {
namespace {

// Five tabs behind buttons 28 pixels wide: the tab area starts at 29 and the
// slots start at 29, 66, 113, 170 and 237; the last one ends at 264.
const std::vector<int> kWidths = {30, 40, 50, 60, 20};

TabStripLayout Strip(int firstVisible, int clientWidth) {
    return TabStripLayout{kWidths, firstVisible, 28, clientWidth};
}

TEST(TabStripLayout, TabLeftCountsSlotsBothWaysFromTheFirstVisibleTab) {
    EXPECT_EQ(Strip(0, 400).TabLeft(0), 29);
    EXPECT_EQ(Strip(0, 400).TabLeft(4), 237);
    EXPECT_EQ(Strip(2, 400).TabLeft(2), 29);
    EXPECT_EQ(Strip(2, 400).TabLeft(3), 86);
    EXPECT_EQ(Strip(2, 400).TabLeft(1), -18);
    EXPECT_EQ(Strip(2, 400).TabLeft(0), -55);
}

struct TabAtXCase {
    int firstVisible;
    int x;
    int expected;
};

class TabAtX : public testing::TestWithParam<TabAtXCase> {};

TEST_P(TabAtX, FindsTheSlotThatHoldsX) {
    const TabAtXCase& c = GetParam();
    EXPECT_EQ(Strip(c.firstVisible, 400).TabAtX(c.x), c.expected) << "x = " << c.x;
}

INSTANTIATE_TEST_SUITE_P(Cases, TabAtX,
                         testing::Values(
                             // At or left of the tab area: the tab left of the first visible one.
                             TabAtXCase{0, 0, -1}, TabAtXCase{0, 29, -1}, TabAtXCase{2, 29, 1},
                             TabAtXCase{2, 5, 1},
                             // A slot runs from just after its start to its end.
                             TabAtXCase{0, 30, 0}, TabAtXCase{0, 66, 0}, TabAtXCase{0, 67, 1},
                             TabAtXCase{0, 263, 4}, TabAtXCase{2, 30, 2}, TabAtXCase{2, 87, 3},
                             // Exactly at the end of the last slot, and beyond it.
                             TabAtXCase{0, 264, -1}, TabAtXCase{0, 1000, -1},
                             TabAtXCase{4, 57, -1}));

TEST(TabStripLayout, TabAtXWithoutTabsIsAlwaysNone) {
    const std::vector<int> none;
    const TabStripLayout strip{none, 0, 28, 300};
    for (int x : {0, 29, 30, 299})
        EXPECT_EQ(strip.TabAtX(x), -1) << x;
}

struct LastWholeCase {
    int firstVisible;
    int clientWidth;
    int expected;
};

class LastWholeTab : public testing::TestWithParam<LastWholeCase> {};

TEST_P(LastWholeTab, IsTheLastTabWhoseTopEdgeFits) {
    const LastWholeCase& c = GetParam();
    EXPECT_EQ(Strip(c.firstVisible, c.clientWidth).LastWholeTab(), c.expected)
        << "width " << c.clientWidth;
}

// Top edges end at 73, 120, 177, 244 and 271 with the first tab first.
INSTANTIATE_TEST_SUITE_P(
    Cases, LastWholeTab,
    testing::Values(LastWholeCase{0, 72, 0}, LastWholeCase{0, 100, 0}, LastWholeCase{0, 150, 1},
                    LastWholeCase{0, 243, 2}, LastWholeCase{0, 1000, 4},
                    // An edge ending exactly at the right edge counts every tab as whole.
                    LastWholeCase{0, 73, 4}, LastWholeCase{0, 120, 4},
                    // Never left of the first visible tab, even when it does not fit.
                    LastWholeCase{3, 50, 3}, LastWholeCase{3, 120, 3}));

struct StepCase {
    int firstVisible;
    int clientWidth;
    ScrollButton button;
    int expected;
};

class StepTarget : public testing::TestWithParam<StepCase> {};

TEST_P(StepTarget, MovesOneTabWithinTheUsefulRange) {
    const StepCase& c = GetParam();
    EXPECT_EQ(Strip(c.firstVisible, c.clientWidth).StepTarget(c.button), c.expected);
}

// With a client 150 wide, tabs 3 and 4 fit behind the buttons together
// (101 < 121 pixels of tab area), so 3 is the furthest useful first tab.
INSTANTIATE_TEST_SUITE_P(Cases, StepTarget,
                         testing::Values(StepCase{0, 150, ScrollButton::Next, 1},
                                         StepCase{2, 150, ScrollButton::Next, 3},
                                         StepCase{3, 150, ScrollButton::Next, 3},
                                         StepCase{3, 150, ScrollButton::Previous, 2},
                                         StepCase{0, 150, ScrollButton::Previous, 0},
                                         // Everything fits: the row never moves.
                                         StepCase{0, 1000, ScrollButton::Next, 0},
                                         // A client narrower than one tab still steps.
                                         StepCase{0, 40, ScrollButton::Next, 1},
                                         StepCase{4, 40, ScrollButton::Next, 4}));

TEST(TabStripLayout, ButtonsAreEnabledOnlyWhileThereIsSomewhereToGo) {
    EXPECT_FALSE(Strip(0, 150).Enabled(ScrollButton::Previous));
    EXPECT_TRUE(Strip(0, 150).Enabled(ScrollButton::Next));
    EXPECT_TRUE(Strip(3, 150).Enabled(ScrollButton::Previous));
    // From tab 3 the slots end at 123, before the right edge.
    EXPECT_FALSE(Strip(3, 150).Enabled(ScrollButton::Next));
    EXPECT_FALSE(Strip(0, 1000).Enabled(ScrollButton::Next));
    // The slots ending exactly at the right edge still leave nothing hidden.
    EXPECT_FALSE(Strip(0, 264).Enabled(ScrollButton::Next));
    EXPECT_TRUE(Strip(0, 263).Enabled(ScrollButton::Next));
    EXPECT_FALSE(Strip(0, 150).Enabled(ScrollButton::None));
}

TEST(TabWindowLayout, WorkedExampleComesOutExactly) {
    // Client 400 × 300, beam height 16, vertical bar shown.
    TabWindowLayout layout{400, 300, 16, false, true, 0};
    EXPECT_EQ(layout.SheetArea(), QRect(0, 0, 386, 286));
    EXPECT_EQ(layout.StripHeight(), 13);
    EXPECT_EQ(layout.VerticalBarWidth(), 13);
    EXPECT_EQ(TabWindowLayout::Placed(layout.SheetNominal()), QRect(0, 0, 386, 286));
    EXPECT_EQ(TabWindowLayout::Placed(layout.VerticalBarNominal()), QRect(386, -1, 15, 288));
    EXPECT_EQ(TabWindowLayout::Placed(layout.BeamNominal()), QRect(-1, 286, 402, 15));

    layout.horizontalBarShown = true;
    layout.splitterX = 200;
    EXPECT_EQ(TabWindowLayout::Placed(layout.BeamNominal()), QRect(-1, 286, 202, 15));
    EXPECT_EQ(TabWindowLayout::Placed(layout.HorizontalBarNominal()), QRect(205, 286, 182, 15));
    // (201, 284)-(206, 300)
    EXPECT_EQ(layout.GripRect(), QRect(201, 284, 5, 16));
}

TEST(TabWindowLayout, WithoutTheVerticalBarTheSheetAreaTakesTheFullWidth) {
    const TabWindowLayout layout{400, 300, 16, false, false, 0};
    EXPECT_EQ(layout.SheetArea(), QRect(0, 0, 400, 286));
    EXPECT_EQ(TabWindowLayout::Placed(layout.SheetNominal()), QRect(0, 0, 400, 286));
}

} // namespace
} // namespace controls
