#include "controls/tab_beam.h"

#include "recording_widgets.h"

#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace controls {
namespace {

using testing_support::DeliverPosted;
using testing_support::Received;
using testing_support::RecordingWidget;

// A beam of `count` tabs named by capture times, inside a parent that
// records what the beam tells it.
class TabBeamTest : public testing::Test {
protected:
    void Build(int count, int width) {
        parent_ = std::make_unique<RecordingWidget>();
        parent_->resize(width + 20, 60);
        beam_ = new CGXTabBeam(parent_.get());
        for (int index = 0; index < count; ++index)
            beam_->AppendTab(QString::number(1000 + index * 40), nullptr);
        beam_->setGeometry(0, 0, width, beam_->BeamHeight());
        parent_->show();
        DeliverPosted();
    }

    int Centre(int index) const {
        return beam_->TabLeft(index) + kTabSlant + beam_->Entry(index).width / 2;
    }
    int TabAreaStart() const { return beam_->ButtonAreaWidth() + 1; }
    QPoint At(int x) const { return QPoint(x, beam_->BeamHeight() / 2); }
    QPoint NextButton() const { return At(beam_->ButtonWidth() + beam_->ButtonWidth() / 2); }
    QPoint PreviousButton() const { return At(beam_->ButtonWidth() / 2); }

    void Click(int x, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(beam_, Qt::LeftButton, modifiers, At(x));
        DeliverPosted();
    }
    // The events of a double-click as the platform delivers them.
    void DoubleClick(QPoint point) {
        const QPointF local(point);
        const QPointF global(beam_->mapToGlobal(point));
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons held =
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
            QCoreApplication::sendEvent(beam_, &event);
        }
        DeliverPosted();
    }
    void Tick() { QMetaObject::invokeMethod(beam_, "RepeatTick"); }

    std::vector<bool> Selection() const {
        std::vector<bool> selected;
        for (int index = 0; index < beam_->Count(); ++index)
            selected.push_back(beam_->Entry(index).selected);
        return selected;
    }

    std::unique_ptr<RecordingWidget> parent_;
    CGXTabBeam* beam_ = nullptr;
};

TEST_F(TabBeamTest, HeightFollowsTheScrollBarAndTheTextAndTabsAreMeasuredInBold) {
    Build(3, 300);
    const int textHeight = QFontMetrics(beam_->NormalFont()).height();
    EXPECT_EQ(beam_->BeamHeight(),
              std::max(beam_->style()->pixelMetric(QStyle::PM_ScrollBarExtent), textHeight + 2));
    EXPECT_EQ(beam_->ButtonWidth(), beam_->BeamHeight());
    EXPECT_EQ(beam_->ButtonAreaWidth(), 2 * beam_->BeamHeight());
    EXPECT_EQ(beam_->BoldFont().weight(), QFont::Bold);
    EXPECT_EQ(beam_->NormalFont().family(), QStringLiteral("Arial"));
    for (int index = 0; index < beam_->Count(); ++index) {
        EXPECT_EQ(beam_->Entry(index).width,
                  7 + QFontMetrics(beam_->BoldFont()).horizontalAdvance(beam_->Entry(index).name));
    }
}

TEST_F(TabBeamTest, FirstAppendedTabBecomesCurrentAndLaterOnesDoNot) {
    Build(0, 300);
    EXPECT_EQ(beam_->Current(), -1);
    QWidget first;
    QWidget second;
    beam_->AppendTab(QStringLiteral("a"), &first);
    EXPECT_EQ(beam_->Current(), 0);
    beam_->AppendTab(QStringLiteral("b"), &second);
    EXPECT_EQ(beam_->Current(), 0);
    EXPECT_EQ(beam_->TabOfSheet(&second), 1);
    EXPECT_EQ(beam_->TabOfSheet(parent_.get()), -1);
}

TEST_F(TabBeamTest, ClickOnATabAsksTheParentThenPostsTheChoice) {
    Build(5, 400);
    Click(Centre(2));
    ASSERT_EQ(parent_->Messages().size(), 2u);
    EXPECT_EQ(parent_->Messages()[0], (Received{platform::WM_TAB_CAN_CHANGE, 2, 0}));
    EXPECT_EQ(parent_->Messages()[1], (Received{platform::WM_TAB_CHOSEN, 2, 0}));
    EXPECT_EQ(beam_->Current(), 2);
}

TEST_F(TabBeamTest, ClickOnTheCurrentTabStillAsksAndPosts) {
    Build(5, 400);
    Click(Centre(0));
    EXPECT_EQ(parent_->MessagesNumbered(platform::WM_TAB_CAN_CHANGE).size(), 1u);
    EXPECT_EQ(parent_->MessagesNumbered(platform::WM_TAB_CHOSEN),
              (std::vector<Received>{{platform::WM_TAB_CHOSEN, 0, 0}}));
}

TEST_F(TabBeamTest, ARefusedChangeLeavesCurrentAndSelectionAndPostsNothing) {
    Build(5, 400);
    Click(Centre(3), Qt::ControlModifier);
    parent_->Answer(platform::WM_TAB_CAN_CHANGE, 1);
    Click(Centre(2));
    EXPECT_EQ(beam_->Current(), 0);
    EXPECT_EQ(Selection(), (std::vector<bool>{false, false, false, true, false}));
    EXPECT_EQ(parent_->MessagesNumbered(platform::WM_TAB_CAN_CHANGE).size(), 1u);
    EXPECT_TRUE(parent_->MessagesNumbered(platform::WM_TAB_CHOSEN).empty());
}

// The gap column and the next six columns pick the tab left of the first
// visible one, or tab 0.
class GapColumnTest : public TabBeamTest, public testing::WithParamInterface<int> {};

TEST_P(GapColumnTest, PicksTheTabLeftOfTheFirstVisibleOne) {
    Build(30, 300);
    const int x = beam_->ButtonAreaWidth() + GetParam();
    Click(x);
    EXPECT_EQ(beam_->Current(), 0);

    for (int step = 0; step < 3; ++step)
        Click(NextButton().x());
    ASSERT_EQ(beam_->FirstVisible(), 3);
    parent_->Forget();
    Click(x);
    EXPECT_EQ(parent_->Messages().front(), (Received{platform::WM_TAB_CAN_CHANGE, 2, 0}));
    EXPECT_EQ(beam_->Current(), 2);
    // The picked tab was left of the first visible one, so the row follows it.
    EXPECT_EQ(beam_->FirstVisible(), 2);
}

INSTANTIATE_TEST_SUITE_P(Columns, GapColumnTest, testing::Range(0, 7));

TEST_F(TabBeamTest, ClicksRightOfTheLastSlotOrOnButtonsWithoutTabsDoNothing) {
    Build(3, 400);
    const int end = beam_->TabLeft(2) + beam_->Entry(2).width + kTabSlant;
    Click(end);
    Click(end + 20);
    EXPECT_TRUE(parent_->Messages().empty());

    Build(0, 400);
    Click(TabAreaStart() + 2);
    Click(TabAreaStart() + 40);
    Click(NextButton().x());
    EXPECT_TRUE(parent_->Messages().empty());
    EXPECT_EQ(beam_->FirstVisible(), 0);
}

TEST_F(TabBeamTest, ClickOnAPartlyShownTabScrollsItIntoView) {
    Build(30, 250);
    const int partly = beam_->LastWholeTab() + 1;
    ASSERT_LT(beam_->TabLeft(partly), 250);
    Click(std::min(Centre(partly), 245));
    EXPECT_EQ(beam_->Current(), partly);
    EXPECT_GT(beam_->FirstVisible(), 0);
    EXPECT_GE(beam_->LastWholeTab(), partly);
    // The row moved no further than it had to: one tab less and the picked
    // tab would still not be whole.
    std::vector<int> widths;
    for (int index = 0; index < beam_->Count(); ++index)
        widths.push_back(beam_->Entry(index).width);
    const TabStripLayout oneLess{widths, beam_->FirstVisible() - 1, beam_->ButtonAreaWidth(),
                                 beam_->width()};
    EXPECT_LT(oneLess.LastWholeTab(), partly);
}

TEST_F(TabBeamTest, CtrlClickTogglesOneTabWithoutTellingTheParent) {
    Build(5, 400);
    Click(Centre(3), Qt::ControlModifier);
    Click(Centre(1), Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Selection(), (std::vector<bool>{false, true, false, true, false}));
    Click(Centre(3), Qt::ControlModifier);
    EXPECT_EQ(Selection(), (std::vector<bool>{false, true, false, false, false}));
    EXPECT_EQ(beam_->Current(), 0);
    EXPECT_TRUE(parent_->Messages().empty());
}

TEST_F(TabBeamTest, ShiftClickSelectsFromTheClickedTabTowardsTheCurrentOne) {
    Build(6, 500);
    Click(Centre(2));
    Click(Centre(5), Qt::ShiftModifier);
    EXPECT_EQ(Selection(), (std::vector<bool>{false, false, false, true, true, true}));
    Click(Centre(0), Qt::ShiftModifier);
    EXPECT_EQ(Selection(), (std::vector<bool>{true, true, false, true, true, true}));
    EXPECT_EQ(beam_->Current(), 2);
}

TEST_F(TabBeamTest, ShiftClickWithoutACurrentTabSelectsNothing) {
    Build(4, 400);
    beam_->SetCurrent(-1);
    Click(Centre(2), Qt::ShiftModifier);
    EXPECT_EQ(Selection(), (std::vector<bool>(4, false)));
}

TEST_F(TabBeamTest, ClickingASelectedTabKeepsTheSelectionAndAnUnselectedOneClearsIt) {
    Build(5, 400);
    Click(Centre(1), Qt::ControlModifier);
    Click(Centre(3), Qt::ControlModifier);
    Click(Centre(3));
    EXPECT_EQ(beam_->Current(), 3);
    EXPECT_EQ(Selection(), (std::vector<bool>{false, true, false, true, false}));
    Click(Centre(4));
    EXPECT_EQ(Selection(), (std::vector<bool>(5, false)));
}

TEST_F(TabBeamTest, ThePreviousButtonIsInertAtTheStart) {
    Build(30, 300);
    EXPECT_FALSE(beam_->IsButtonEnabled(ScrollButton::Previous));
    QTest::mousePress(beam_, Qt::LeftButton, Qt::NoModifier, PreviousButton());
    EXPECT_FALSE(beam_->IsTracking());
    QTest::mouseRelease(beam_, Qt::LeftButton, Qt::NoModifier, PreviousButton());
    DeliverPosted();
    EXPECT_EQ(beam_->FirstVisible(), 0);
    EXPECT_TRUE(parent_->Messages().empty());
}

TEST_F(TabBeamTest, AHeldButtonStepsAtOnceThenRepeatsFasterDownTo100Ms) {
    Build(40, 300);
    QTest::mousePress(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
    EXPECT_EQ(beam_->FirstVisible(), 1);
    EXPECT_TRUE(beam_->IsTracking());
    EXPECT_TRUE(beam_->IsButtonDrawnPressed());
    const int delays[] = {200, 180, 160, 140, 120, 100, 100};
    for (int step = 0; step < 7; ++step) {
        EXPECT_EQ(beam_->RepeatDelay(), delays[step]) << step;
        Tick();
        EXPECT_EQ(beam_->FirstVisible(), 2 + step);
    }
    QTest::mouseRelease(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
    EXPECT_FALSE(beam_->IsTracking());
    EXPECT_FALSE(beam_->IsButtonDrawnPressed());
    Tick();
    EXPECT_EQ(beam_->FirstVisible(), 8);
    EXPECT_TRUE(parent_->Messages().empty());
}

TEST_F(TabBeamTest, AHeldButtonRepeatsWhileTheEventLoopRuns) {
    Build(40, 300);
    QTest::mousePress(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
    // The repeats come from the event loop, not from a loop inside the press.
    EXPECT_EQ(beam_->FirstVisible(), 1);
    EXPECT_TRUE(QTest::qWaitFor([this] { return beam_->FirstVisible() >= 3; }, 10000));
    QTest::mouseRelease(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
}

TEST_F(TabBeamTest, AHeldButtonPopsUpByItselfAtTheEnd) {
    Build(8, 300);
    QTest::mousePress(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
    for (int step = 0; step < 10 && beam_->IsButtonEnabled(ScrollButton::Next); ++step)
        Tick();
    ASSERT_FALSE(beam_->IsButtonEnabled(ScrollButton::Next));
    Tick();
    EXPECT_FALSE(beam_->IsButtonDrawnPressed());
    EXPECT_TRUE(beam_->IsTracking());
    QTest::mouseRelease(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
}

TEST_F(TabBeamTest, TheRepeatActsOnlyWhileThePointerIsOverThePressedButton) {
    Build(40, 300);
    QTest::mousePress(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
    QMouseEvent away(QEvent::MouseMove, QPointF(PreviousButton()),
                     QPointF(beam_->mapToGlobal(PreviousButton())), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(beam_, &away);
    Tick();
    EXPECT_EQ(beam_->FirstVisible(), 1);
    EXPECT_FALSE(beam_->IsButtonDrawnPressed());
    QMouseEvent back(QEvent::MouseMove, QPointF(NextButton()),
                     QPointF(beam_->mapToGlobal(NextButton())), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(beam_, &back);
    Tick();
    EXPECT_EQ(beam_->FirstVisible(), 2);
    EXPECT_TRUE(beam_->IsButtonDrawnPressed());
    QTest::mouseRelease(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
}

TEST_F(TabBeamTest, AHoldEndsWhenTheBeamIsHiddenWithTheButtonDown) {
    Build(40, 300);
    QTest::mousePress(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
    ASSERT_EQ(beam_->FirstVisible(), 1);
    beam_->hide();
    Tick();
    EXPECT_FALSE(beam_->IsTracking());
    EXPECT_FALSE(beam_->IsButtonDrawnPressed());
    Tick();
    EXPECT_EQ(beam_->FirstVisible(), 1);
    QTest::mouseRelease(parent_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
}

TEST_F(TabBeamTest, PreviousButtonStepsBack) {
    Build(40, 300);
    for (int step = 0; step < 4; ++step)
        Click(NextButton().x());
    Click(PreviousButton().x());
    EXPECT_EQ(beam_->FirstVisible(), 3);
    EXPECT_EQ(beam_->TabLeft(3), TabAreaStart());
}

TEST_F(TabBeamTest, ADoubleClickOnATabPostsOneRenameRequestForTheCurrentTab) {
    Build(5, 400);
    DoubleClick(At(Centre(2)));
    EXPECT_EQ(parent_->Messages(), (std::vector<Received>{
                                       {platform::WM_TAB_CAN_CHANGE, 2, 0},
                                       {platform::WM_TAB_CHOSEN, 2, 0},
                                       {platform::WM_TAB_RENAME_REQUEST, 2, 0},
                                   }));
}

TEST_F(TabBeamTest, ADoubleClickOnAButtonStepsLikeTwoClicks) {
    Build(40, 300);
    DoubleClick(NextButton());
    EXPECT_EQ(beam_->FirstVisible(), 2);
    EXPECT_FALSE(beam_->IsTracking());
    EXPECT_TRUE(parent_->Messages().empty());
}

TEST_F(TabBeamTest, ADoubleClickRightOfTheTabsActsAsAPress) {
    Build(3, 400);
    DoubleClick(At(390));
    EXPECT_TRUE(parent_->Messages().empty());
}

TEST_F(TabBeamTest, WithoutTabsNoClickOrKeyComboReachesTheParent) {
    Build(0, 300);
    for (Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ControlModifier),
          Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
        for (int x : {0, beam_->ButtonWidth() + 2, TabAreaStart() - 1, TabAreaStart() + 3, 200})
            Click(x, modifiers);
    }
    DoubleClick(At(TabAreaStart() + 3));
    beam_->grab();
    EXPECT_TRUE(parent_->Messages().empty());
    EXPECT_EQ(beam_->Current(), -1);
    EXPECT_EQ(beam_->FirstVisible(), 0);
}

TEST_F(TabBeamTest, ABeamOnePixelWideHasBothButtonsDisabled) {
    Build(5, 1);
    EXPECT_FALSE(beam_->IsButtonEnabled(ScrollButton::Previous));
    EXPECT_FALSE(beam_->IsButtonEnabled(ScrollButton::Next));
    Click(0);
    beam_->grab();
    EXPECT_TRUE(parent_->Messages().empty());
    EXPECT_EQ(beam_->FirstVisible(), 0);
}

TEST_F(TabBeamTest, ANameWiderThanTheBeamIsMeasuredPaintedAndPicked) {
    Build(0, 300);
    const QString huge(100000, QLatin1Char('W'));
    beam_->AppendTab(huge, nullptr);
    beam_->AppendTab(QStringLiteral("1040"), nullptr);
    EXPECT_EQ(beam_->Entry(0).width, 7 + QFontMetrics(beam_->BoldFont()).horizontalAdvance(huge));
    beam_->grab();
    // Only the wide tab is ever whole, so clicking it scrolls nothing.
    EXPECT_EQ(beam_->LastWholeTab(), 0);
    Click(200);
    EXPECT_EQ(beam_->Current(), 0);
    EXPECT_EQ(beam_->FirstVisible(), 0);
    ASSERT_TRUE(beam_->IsButtonEnabled(ScrollButton::Next));
    Click(NextButton().x());
    EXPECT_EQ(beam_->FirstVisible(), 1);
    beam_->grab();
    // The wide tab's slant at the tab area's left end picks it again.
    Click(beam_->ButtonAreaWidth() + 2);
    EXPECT_EQ(beam_->Current(), 0);
    EXPECT_EQ(beam_->FirstVisible(), 0);
}

// Pixels of a painted beam.
class TabBeamPixelTest : public TabBeamTest {
protected:
    QImage Paint() { return beam_->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QRgb Base() const { return beam_->palette().color(QPalette::Base).rgb(); }
};

TEST_F(TabBeamPixelTest, TheCurrentTabHasNoTopBorderAndTheOthersDo) {
    Build(4, 400);
    Click(Centre(1));
    const QImage image = Paint();
    const int current = beam_->TabLeft(1);
    const int other = beam_->TabLeft(3);
    // Along the middle of the top edges, clear of the neighbours' slants.
    for (int x = current + 2 * kTabSlant; x < current + beam_->Entry(1).width; ++x)
        EXPECT_EQ(image.pixel(x, 0), Base()) << x;
    for (int x = other + 2 * kTabSlant; x < other + beam_->Entry(3).width; ++x)
        EXPECT_EQ(image.pixel(x, 0), qRgb(0, 0, 0)) << x;
    // Current and selected tabs are filled with the window colour, others with the face.
    EXPECT_EQ(image.pixel(current + kTabSlant + 1, 3), Base());
    EXPECT_EQ(image.pixel(other + kTabSlant + 1, 3),
              beam_->palette().color(QPalette::Button).rgb());
}

TEST_F(TabBeamPixelTest, SelectedTabsAreFilledWithTheWindowColour) {
    Build(5, 400);
    const QRgb face = beam_->palette().color(QPalette::Button).rgb();
    const QPoint inside(beam_->TabLeft(3) + kTabSlant + 1, 3);
    EXPECT_EQ(Paint().pixel(inside), face);
    Click(Centre(3), Qt::ControlModifier);
    EXPECT_EQ(Paint().pixel(inside), Base());
    Click(Centre(3), Qt::ControlModifier);
    EXPECT_EQ(Paint().pixel(inside), face);
}

TEST_F(TabBeamPixelTest, TheCurrentTabCoversItsNeighboursSlants) {
    Build(4, 400);
    Click(Centre(1));
    const QImage image = Paint();
    // Where tab 1's left slant overlaps tab 0's right slant, one row down,
    // the current tab's white fill shows rather than tab 0's frame.
    const int overlap = beam_->TabLeft(1) + 3;
    EXPECT_EQ(image.pixel(overlap, 2), Base());
}

TEST_F(TabBeamPixelTest, ADisabledButtonHasAGreyArrowAndAnEnabledOneABlackArrow) {
    Build(30, 300);
    const QImage image = Paint();
    const int w = beam_->ButtonWidth();
    const int top = (beam_->BeamHeight() - 9) / 2;
    // The tallest column of each triangle: nine pixels.
    const int previousColumn = (w - 6) / 2 - 1 + 6;
    const int nextColumn = w + w - (w - 6) / 2 - 6;
    for (int y = top; y < top + 9; ++y) {
        EXPECT_EQ(image.pixel(previousColumn, y), qRgb(96, 96, 96)) << y;
        EXPECT_EQ(image.pixel(nextColumn, y), qRgb(0, 0, 0)) << y;
    }
    EXPECT_NE(image.pixel(previousColumn, top - 1), qRgb(96, 96, 96));

    Click(NextButton().x());
    const QImage stepped = Paint();
    EXPECT_EQ(stepped.pixel(previousColumn, top + 4), qRgb(0, 0, 0));
}

// What a paint covers with each repaint-from setting, drawn over magenta.
class RepaintFromTest : public TabBeamPixelTest, public testing::WithParamInterface<int> {
protected:
    QImage PaintOverMagenta() {
        QImage image(beam_->size(), QImage::Format_RGB32);
        image.fill(qRgb(255, 0, 255));
        beam_->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        return image;
    }
};

TEST_P(RepaintFromTest, OnlyTheButtonsOrThePartRightOfThePositionArePainted) {
    Build(30, 300);
    const int repaintFrom = GetParam();
    beam_->SetRepaintFrom(repaintFrom);
    const QImage image = PaintOverMagenta();
    beam_->SetRepaintFrom(CGXTabBeam::kRepaintNormally);
    const int buttonsEnd = beam_->ButtonAreaWidth();
    const int paintedFrom = repaintFrom >= 0 ? std::max(0, repaintFrom - 1) : 0;
    const int y = 3;
    for (int x = 1; x < image.width(); ++x) {
        const bool untouched = image.pixel(x, y) == qRgb(255, 0, 255);
        bool expectUntouched = x < paintedFrom;
        if (repaintFrom == CGXTabBeam::kRepaintButtonsOnly)
            expectUntouched = x > buttonsEnd;
        EXPECT_EQ(untouched, expectUntouched) << "x = " << x;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, RepaintFromTest,
                         testing::Values(CGXTabBeam::kRepaintNormally,
                                         CGXTabBeam::kRepaintButtonsOnly, 1, 20, 150));

TEST_F(TabBeamPixelTest, APressedButtonIsSunkenWithItsArrowMovedDownRight) {
    Build(30, 300);
    QTest::mousePress(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
    const QImage image = Paint();
    const int w = beam_->ButtonWidth();
    const QRgb shadow = beam_->palette().color(QPalette::Dark).rgb();
    EXPECT_EQ(image.pixel(w + 1, 1), shadow);
    EXPECT_EQ(image.pixel(w + 2, 5), shadow);
    const int top = (beam_->BeamHeight() - 9) / 2 + 1;
    const int nextColumn = w + w - (w - 6) / 2 + 1 - 6;
    EXPECT_EQ(image.pixel(nextColumn, top + 8), qRgb(0, 0, 0));
    QTest::mouseRelease(beam_, Qt::LeftButton, Qt::NoModifier, NextButton());
    const QImage raised = Paint();
    EXPECT_EQ(raised.pixel(w + 1, 1), beam_->palette().color(QPalette::Light).rgb());
}

} // namespace
} // namespace controls
