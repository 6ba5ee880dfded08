// The status bar's position panes on their own: the slider comes once, the
// duration sets its range and page, and only a move the user could have made
// is signalled.
#include "app/position_panes.h"

#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>

#include <gtest/gtest.h>

namespace {

TEST(PositionPanesTest, TheDurationBeforeTheSliderShowsInItsPaneAlone) {
    QStatusBar bar;
    PositionPanes panes(bar);
    panes.ShowDuration(3725);
    EXPECT_EQ(panes.DurationPane()->text(), QStringLiteral("01:02:05"));
    EXPECT_EQ(panes.Slider(), nullptr);
    EXPECT_TRUE(panes.FrameLabel()->isHidden());
}

TEST(PositionPanesTest, TheSliderComesOnceAndTakesTheDurationAsRangeAndPage) {
    QStatusBar bar;
    PositionPanes panes(bar);
    QSlider* slider = panes.CreateSlider();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(panes.CreateSlider(), nullptr);
    EXPECT_EQ(panes.Slider(), slider);
    panes.ShowDuration(59);
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 59);
    EXPECT_EQ(slider->pageStep(), 5);
    EXPECT_EQ(panes.DurationPane()->text(), QStringLiteral("59"));
}

TEST(PositionPanesTest, OnlyAMoveIsSignalled) {
    QStatusBar bar;
    PositionPanes panes(bar);
    QSlider* slider = panes.CreateSlider();
    panes.ShowDuration(59);
    QSignalSpy changes(slider, &QSlider::valueChanged);
    panes.SetSliderQuietly(13);
    EXPECT_EQ(slider->value(), 13);
    EXPECT_EQ(changes.count(), 0);
    panes.MoveSlider(20);
    EXPECT_EQ(slider->value(), 20);
    EXPECT_EQ(changes.count(), 1);
    panes.ShowPosition(20);
    EXPECT_EQ(panes.PositionPane()->text(), QStringLiteral("20"));
}

} // namespace
