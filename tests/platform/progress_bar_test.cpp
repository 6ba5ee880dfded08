#include "platform/progress_bar.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

LParam Range(int minimum, int maximum) {
    return static_cast<LParam>(maximum) << 16 | minimum;
}

TEST(ProgressBarTest, StepsWrapToTheStartPastTheMaximum) {
    ProgressBar bar;
    EXPECT_EQ(SendMessage(bar.Handle(), PBM_SETSTEP, 1), 10); // the control's default step
    SendMessage(bar.Handle(), PBM_SETRANGE, 0, Range(0, 10));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(SendMessage(bar.Handle(), PBM_STEPIT), i); // answers the previous position
    EXPECT_EQ(bar.Position(), 10);
    EXPECT_EQ(bar.value(), 10);
    SendMessage(bar.Handle(), PBM_STEPIT);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(bar.value(), 0);
    SendMessage(bar.Handle(), PBM_STEPIT);
    EXPECT_EQ(bar.value(), 1);
}

TEST(ProgressBarTest, RangeTakesTheLowAndHighWordsAndPositionsStayInside) {
    ProgressBar bar;
    EXPECT_EQ(SendMessage(bar.Handle(), PBM_SETRANGE, 0, Range(5, 300)), Range(0, 100));
    EXPECT_EQ(bar.Minimum(), 5);
    EXPECT_EQ(bar.Maximum(), 300);
    EXPECT_EQ(bar.Position(), 5);
    SendMessage(bar.Handle(), PBM_SETPOS, 1000);
    EXPECT_EQ(bar.Position(), 300);
    EXPECT_EQ(SendMessage(bar.Handle(), PBM_DELTAPOS, static_cast<WParam>(-400)), 300);
    EXPECT_EQ(bar.Position(), 5);
    EXPECT_EQ(bar.maximum(), 300);
}

} // namespace
} // namespace platform
