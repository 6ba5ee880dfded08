#include "controls/tab_window.h"

#include "controls/control_classes.h"
#include "controls/tab_beam.h"
#include "controls/tab_name_editor.h"
#include "recording_widgets.h"
#include "support/paint_counter.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace controls {
namespace {

using testing_support::DeliverPosted;
using testing_support::Received;
using testing_support::RecordingWidget;

// Fusion with another scroll-bar extent, so that the beam is as tall as the
// worked example's.
class ScrollBarExtentStyle : public QProxyStyle {
public:
    explicit ScrollBarExtentStyle(int extent)
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
        , extent_(extent) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_ScrollBarExtent)
            return extent_;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

private:
    int extent_;
};

// A tab window of 400 × 300 in an active window, with `count` recording sheets.
class TabWindowTest : public testing::Test {
protected:
    void Build(int count, QSize size = QSize(400, 300)) {
        host_ = std::make_unique<QWidget>();
        host_->resize(size + QSize(40, 40));
        tabs_ = new CGXTabWnd(host_.get());
        tabs_->setGeometry(QRect(QPoint(10, 10), size));
        for (int index = 0; index < count; ++index)
            AddSheet(QStringLiteral("Sheet %1").arg(index));
        host_->show();
        QApplication::setActiveWindow(host_.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(host_.get()));
        DeliverPosted();
    }

    RecordingWidget* AddSheet(const QString& name) {
        auto* sheet = new RecordingWidget(tabs_);
        SetControlId(sheet, tabs_->NewSheetId());
        sheet->hide();
        tabs_->AddSheet(sheet, name);
        sheets_.push_back(sheet);
        return sheet;
    }

    CGXTabBeam* Beam() const { return tabs_->Beam(); }
    QPoint TabCentre(int index) const {
        return QPoint(Beam()->TabLeft(index) + kTabSlant + Beam()->Entry(index).width / 2,
                      Beam()->height() / 2);
    }
    void ClickTab(int index) {
        QTest::mouseClick(Beam(), Qt::LeftButton, Qt::NoModifier, TabCentre(index));
        DeliverPosted();
    }
    void DoubleClickTab(int index) {
        const QPointF local(TabCentre(index));
        const QPointF global(Beam()->mapToGlobal(TabCentre(index)));
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons held =
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
            QCoreApplication::sendEvent(Beam(), &event);
        }
        DeliverPosted();
    }
    void MoveMouse(int x, int y) {
        const QPointF local(x, y);
        QMouseEvent event(QEvent::MouseMove, local, QPointF(tabs_->mapToGlobal(QPoint(x, y))),
                          Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tabs_, &event);
    }
    QPoint GripCentre() const { return tabs_->GripRect().center(); }
    void FlushDeletions() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    std::unique_ptr<QWidget> host_;
    CGXTabWnd* tabs_ = nullptr;
    std::vector<RecordingWidget*> sheets_;
};

TEST_F(TabWindowTest, WorkedExampleLayoutComesOutExactly) {
    QApplication::setStyle(new ScrollBarExtentStyle(16));
    Build(3);
    const bool tallBeam = tabs_->BeamHeight() == 16;
    const QRect sheet = sheets_[0]->geometry();
    const QRect verticalBar = tabs_->ScrollBar(Qt::Vertical)->geometry();
    const QRect beamWithBar = Beam()->geometry();
    const QRect horizontalBar = tabs_->ScrollBar(Qt::Horizontal)->geometry();
    const QRect grip = tabs_->GripRect();
    tabs_->SetBarVisible(CGXTabWnd::Bars::Horizontal, false);
    const QRect beamAlone = Beam()->geometry();
    host_.reset();
    QApplication::setStyle(QStringLiteral("Fusion"));

    ASSERT_TRUE(tallBeam);
    EXPECT_EQ(sheet, QRect(0, 0, 386, 286));
    EXPECT_EQ(verticalBar, QRect(386, -1, 15, 288));
    EXPECT_EQ(beamWithBar, QRect(-1, 286, 202, 15));
    EXPECT_EQ(horizontalBar, QRect(205, 286, 182, 15));
    EXPECT_EQ(grip, QRect(QPoint(201, 284), QPoint(205, 299)));
    EXPECT_EQ(beamAlone, QRect(-1, 286, 402, 15));
}

TEST_F(TabWindowTest, SheetIdsCountUpFrom59649OnePerRequest) {
    Build(0);
    EXPECT_EQ(tabs_->NewSheetId(), 59649);
    EXPECT_EQ(tabs_->NewSheetId(), 59650);
    EXPECT_EQ(tabs_->NewSheetId(), 59651);
}

TEST_F(TabWindowTest, TheFirstSheetCreatesTheChildrenAndIsShownLaterOnesStayHidden) {
    host_ = std::make_unique<QWidget>();
    tabs_ = new CGXTabWnd(host_.get());
    tabs_->setGeometry(0, 0, 400, 300);
    EXPECT_EQ(tabs_->Beam(), nullptr);
    RecordingWidget* first = AddSheet(QStringLiteral("first"));
    ASSERT_NE(tabs_->Beam(), nullptr);
    EXPECT_EQ(ControlId(Beam()), 59905);
    EXPECT_EQ(ControlId(tabs_->ScrollBar(Qt::Horizontal)), 59904);
    EXPECT_EQ(ControlId(tabs_->ScrollBar(Qt::Vertical)), 59920);
    RecordingWidget* second = AddSheet(QStringLiteral("second"));
    EXPECT_EQ(tabs_->CurrentSheet(), first);
    EXPECT_FALSE(first->isHidden());
    EXPECT_TRUE(second->isHidden());
    EXPECT_EQ(Beam()->Current(), 0);
    EXPECT_EQ(Beam()->Count(), 2);
    host_->show();
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(second->isVisible());
    EXPECT_EQ(first->Messages(), (std::vector<Received>{{platform::WM_SHEET_ADDED, 0, 0}}));
    EXPECT_EQ(second->Messages(), (std::vector<Received>{{platform::WM_SHEET_ADDED, 1, 0}}));
}

TEST_F(TabWindowTest, ChoosingATabShowsItsSheetAfterBothSheetsAgree) {
    Build(3);
    ClickTab(2);
    EXPECT_EQ(tabs_->CurrentSheet(), sheets_[2]);
    EXPECT_TRUE(sheets_[2]->isVisible());
    EXPECT_FALSE(sheets_[0]->isVisible());
    EXPECT_EQ(sheets_[2]->geometry(), sheets_[0]->geometry());
    EXPECT_EQ(Beam()->Current(), 2);
    EXPECT_TRUE(sheets_[2]->hasFocus());
    EXPECT_EQ(sheets_[0]->MessagesNumbered(platform::WM_SHEET_CAN_CHANGE),
              (std::vector<Received>{{platform::WM_SHEET_CAN_CHANGE, 0, 0}}));
    EXPECT_EQ(sheets_[2]->MessagesNumbered(platform::WM_SHEET_CAN_CHANGE),
              (std::vector<Received>{{platform::WM_SHEET_CAN_CHANGE, 1, 0}}));
}

// A sheet that refuses keeps the current sheet on show, whichever side refuses.
class RefusedChangeTest : public TabWindowTest, public testing::WithParamInterface<int> {};

TEST_P(RefusedChangeTest, KeepsTheCurrentSheetOnShowAndFocused) {
    Build(3);
    const int refusing = GetParam();
    sheets_[refusing]->Answer(platform::WM_SHEET_CAN_CHANGE, 1);
    ClickTab(2);
    EXPECT_EQ(tabs_->CurrentSheet(), sheets_[0]);
    EXPECT_TRUE(sheets_[0]->isVisible());
    EXPECT_FALSE(sheets_[2]->isVisible());
    EXPECT_EQ(Beam()->Current(), 0);
    EXPECT_TRUE(sheets_[0]->hasFocus());
    // The sheet being entered is asked only when the one being left agreed.
    EXPECT_EQ(sheets_[2]->MessagesNumbered(platform::WM_SHEET_CAN_CHANGE).size(),
              refusing == 0 ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(LeavingOrEntering, RefusedChangeTest, testing::Values(0, 2));

TEST_F(TabWindowTest, ChoosingTheTabOfTheSheetOnShowOnlyRefocusesIt) {
    Build(3);
    Beam()->setFocus();
    ClickTab(0);
    EXPECT_EQ(tabs_->CurrentSheet(), sheets_[0]);
    EXPECT_TRUE(sheets_[0]->hasFocus());
    EXPECT_TRUE(sheets_[0]->MessagesNumbered(platform::WM_SHEET_CAN_CHANGE).empty());
}

TEST_F(TabWindowTest, ShowSheetFromTheOwnerMakesItsTabCurrent) {
    Build(4);
    tabs_->ShowSheet(sheets_[3]);
    EXPECT_EQ(tabs_->CurrentSheet(), sheets_[3]);
    EXPECT_EQ(Beam()->Current(), 3);
    EXPECT_TRUE(sheets_[3]->isVisible());
    EXPECT_TRUE(sheets_[3]->hasFocus());
    EXPECT_FALSE(sheets_[0]->isVisible());
}

TEST_F(TabWindowTest, TheTabOfADeletedSheetCannotBeChosen) {
    Build(3);
    delete sheets_[1];
    ClickTab(1);
    EXPECT_EQ(tabs_->CurrentSheet(), sheets_[0]);
    EXPECT_EQ(Beam()->Current(), 0);
    EXPECT_EQ(Beam()->TabOfSheet(nullptr), -1);

    // With the sheet on show gone, its tab stays current but shows nothing.
    delete sheets_[0];
    EXPECT_EQ(tabs_->CurrentSheet(), nullptr);
    ClickTab(0);
    tabs_->ShowSheet(nullptr);
    EXPECT_EQ(tabs_->CurrentSheet(), nullptr);
    EXPECT_EQ(Beam()->Current(), 0);

    // A sheet added now goes on show, and its tab with it.
    RecordingWidget* added = AddSheet(QStringLiteral("added"));
    EXPECT_EQ(tabs_->CurrentSheet(), added);
    EXPECT_EQ(Beam()->Current(), 3);
    ClickTab(2);
    EXPECT_EQ(tabs_->CurrentSheet(), sheets_[2]);
    EXPECT_EQ(Beam()->Current(), 2);
}

using ::testing_support::PaintCounter;

// Whether the tab window is a window of its own or a child of one.
class ShowSheetRepaintTest : public testing::TestWithParam<bool> {};

TEST_P(ShowSheetRepaintTest, TheBeamIsRepaintedWithItsNewCurrentTab) {
    const bool ownWindow = GetParam();
    std::unique_ptr<QWidget> host = ownWindow ? nullptr : std::make_unique<QWidget>();
    std::unique_ptr<CGXTabWnd> owned = ownWindow ? std::make_unique<CGXTabWnd>() : nullptr;
    CGXTabWnd* tabs = ownWindow ? owned.get() : new CGXTabWnd(host.get());
    QWidget* window = ownWindow ? static_cast<QWidget*>(tabs) : host.get();
    window->resize(400, 300);
    tabs->resize(400, 300);
    std::vector<QWidget*> sheets;
    for (int index = 0; index < 3; ++index) {
        auto* sheet = new QWidget(tabs);
        sheet->hide();
        tabs->AddSheet(sheet, QString::number(index));
        sheets.push_back(sheet);
    }
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    DeliverPosted();
    PaintCounter counter;
    tabs->Beam()->installEventFilter(&counter);
    tabs->ShowSheet(sheets[2]);
    EXPECT_TRUE(QTest::qWaitFor([&counter] { return counter.paints > 0; }, 2000));
    tabs->Beam()->removeEventFilter(&counter);
}

INSTANTIATE_TEST_SUITE_P(Placement, ShowSheetRepaintTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "OwnWindow" : "ChildWindow";
                         });

TEST_F(TabWindowTest, ShowingOrAddingASheetLeavesAnotherActiveWindowActive) {
    Build(3);
    QWidget other;
    other.resize(100, 100);
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    tabs_->ShowSheet(sheets_[2]);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &other);
    EXPECT_EQ(tabs_->CurrentSheet(), sheets_[2]);
    EXPECT_TRUE(sheets_[2]->isVisible());

    delete sheets_[2];
    AddSheet(QStringLiteral("added"));
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &other);
    EXPECT_TRUE(sheets_.back()->isVisible());
}

TEST_F(TabWindowTest, FocusGivenToTheTabWindowPassesToTheSheet) {
    Build(2);
    Beam()->setFocus();
    tabs_->setFocus();
    EXPECT_TRUE(sheets_[0]->hasFocus());
}

TEST_F(TabWindowTest, ScrollBarActionsReachTheSheetOnShow) {
    Build(2);
    QScrollBar* horizontal = tabs_->ScrollBar(Qt::Horizontal);
    QScrollBar* vertical = tabs_->ScrollBar(Qt::Vertical);
    horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    vertical->triggerAction(QAbstractSlider::SliderPageStepSub);
    vertical->triggerAction(QAbstractSlider::SliderToMaximum);
    const auto bar = [](QScrollBar* scrollBar) {
        return reinterpret_cast<platform::LParam>(scrollBar);
    };
    EXPECT_EQ(sheets_[0]->MessagesNumbered(platform::WM_HSCROLL),
              (std::vector<Received>{{platform::WM_HSCROLL, 1, bar(horizontal)}}));
    EXPECT_EQ(sheets_[0]->MessagesNumbered(platform::WM_VSCROLL),
              (std::vector<Received>{{platform::WM_VSCROLL, 2, bar(vertical)},
                                     {platform::WM_VSCROLL, 7, bar(vertical)}}));
    EXPECT_TRUE(sheets_[1]->MessagesNumbered(platform::WM_HSCROLL).empty());
}

TEST_F(TabWindowTest, WithTheHorizontalBarHiddenTheBeamSpansTheWidthAndTheGripIsGone) {
    Build(1);
    tabs_->SetBarVisible(CGXTabWnd::Bars::Horizontal, false);
    EXPECT_FALSE(tabs_->ScrollBar(Qt::Horizontal)->isVisible());
    EXPECT_EQ(Beam()->geometry().width(), 402);
    tabs_->resize(500, 300);
    EXPECT_EQ(tabs_->SplitterX(), 500);
    EXPECT_EQ(Beam()->geometry().width(), 502);

    const QRect grip = tabs_->GripRect();
    QTest::mousePress(tabs_, Qt::LeftButton, Qt::NoModifier, grip.center());
    EXPECT_FALSE(tabs_->IsDragging());
    QTest::mouseRelease(tabs_, Qt::LeftButton, Qt::NoModifier, grip.center());

    tabs_->SetBarVisible(CGXTabWnd::Bars::Vertical, false);
    EXPECT_EQ(tabs_->SheetArea(), QRect(0, 0, 500, 300 + 2 - tabs_->BeamHeight()));
    EXPECT_EQ(sheets_[0]->geometry(), tabs_->SheetArea());
}

TEST_F(TabWindowTest, TheGripIsDrawnBetweenBeamAndBar) {
    Build(1);
    const QImage image = tabs_->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int left = tabs_->GripRect().left();
    const int y = tabs_->height() - 3;
    const QPalette& colours = tabs_->palette();
    EXPECT_EQ(image.pixel(left, y), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(left + 1, y), colours.color(QPalette::Light).rgb());
    EXPECT_EQ(image.pixel(left + 2, y), colours.color(QPalette::Button).rgb());
    EXPECT_EQ(image.pixel(left + 3, y), colours.color(QPalette::Dark).rgb());
}

TEST_F(TabWindowTest, DraggingTheGripStopsShortOfTheButtonsAndTheRightEdge) {
    Build(2);
    const int lowest = Beam()->ButtonAreaWidth() + 20;
    const int highest = 400 - 2 * tabs_->BeamHeight();
    const int y = GripCentre().y();
    QTest::mousePress(tabs_, Qt::LeftButton, Qt::NoModifier, GripCentre());
    ASSERT_TRUE(tabs_->IsDragging());
    MoveMouse(lowest - 1, y);
    EXPECT_EQ(tabs_->SplitterX(), 200);
    MoveMouse(lowest, y);
    EXPECT_EQ(tabs_->SplitterX(), lowest);
    EXPECT_EQ(Beam()->geometry().width(), lowest + 2);
    MoveMouse(highest + 1, y);
    EXPECT_EQ(tabs_->SplitterX(), lowest);
    MoveMouse(highest, y);
    EXPECT_EQ(tabs_->SplitterX(), highest);
    EXPECT_EQ(tabs_->ScrollBar(Qt::Horizontal)->geometry().left(), highest + 5);
    QTest::mouseRelease(tabs_, Qt::LeftButton, Qt::NoModifier, QPoint(highest, y));
    EXPECT_FALSE(tabs_->IsDragging());
    EXPECT_EQ(Beam()->RepaintFrom(), CGXTabBeam::kRepaintNormally);
    MoveMouse(lowest + 10, y);
    EXPECT_EQ(tabs_->SplitterX(), highest);
}

// Collects what a widget is asked to repaint.
class PaintRecorder : public QObject {
public:
    QRegion painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

TEST_F(TabWindowTest, DraggingTheGripLeavesTheSheetAlone) {
    Build(2);
    const int y = GripCentre().y();
    // The press gives the sheet the focus, which repaints it; the moves must not.
    QTest::mousePress(tabs_, Qt::LeftButton, Qt::NoModifier, GripCentre());
    QCoreApplication::processEvents();
    PaintRecorder recorder;
    sheets_[0]->installEventFilter(&recorder);
    for (int x = 200; x >= 150; x -= 10) {
        MoveMouse(x, y);
        QCoreApplication::processEvents();
    }
    sheets_[0]->removeEventFilter(&recorder);
    QTest::mouseRelease(tabs_, Qt::LeftButton, Qt::NoModifier, QPoint(150, y));
    ASSERT_EQ(tabs_->SplitterX(), 150);
    // At most the two rows where the grip overlaps the sheet's bottom edge.
    EXPECT_FALSE(recorder.painted.intersects(QRect(0, 0, 386, 280)));
}

TEST_F(TabWindowTest, AResizeScalesTheSplitterAboutAPointLeftOfTheButtons) {
    Build(2);
    ASSERT_EQ(tabs_->SplitterX(), 200);
    const int anchor = (Beam()->ButtonAreaWidth() - 20) * 100;
    tabs_->resize(600, 300);
    int expected = (20000 - anchor) * 600 / 400 + anchor;
    EXPECT_EQ(tabs_->SplitterPosition(), expected);
    EXPECT_EQ(tabs_->SplitterX(), expected / 100);

    // A drag followed by a resize starts from the dragged position.
    QTest::mousePress(tabs_, Qt::LeftButton, Qt::NoModifier, GripCentre());
    MoveMouse(100, GripCentre().y());
    QTest::mouseRelease(tabs_, Qt::LeftButton, Qt::NoModifier, QPoint(100, GripCentre().y()));
    tabs_->resize(300, 300);
    expected = (10000 - anchor) * 300 / 600 + anchor;
    EXPECT_EQ(tabs_->SplitterPosition(), expected);
    EXPECT_EQ(Beam()->geometry().width(), expected / 100 + 2);
}

TEST_F(TabWindowTest, AResizeToNothingChangesNothing) {
    Build(2);
    tabs_->resize(0, 300);
    EXPECT_EQ(tabs_->SplitterX(), 200);
}

// Renaming in place.
class TabRenameTest : public TabWindowTest {
protected:
    void SetUp() override {
        Build(3);
        for (RecordingWidget* sheet : sheets_)
            sheet->Answer(platform::WM_SHEET_CAN_RENAME, 1);
        ClickTab(1);
        DoubleClickTab(1);
    }
};

TEST_F(TabRenameTest, ADoubleClickOpensTheEditorOnTheTabsName) {
    TabNameEditor* editor = tabs_->Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("Sheet 1"));
    EXPECT_EQ(ControlId(editor), 23001);
    EXPECT_TRUE(editor->hasFocus());
    EXPECT_EQ(editor->font(), Beam()->NormalFont());
    EXPECT_EQ(sheets_[1]->MessagesNumbered(platform::WM_SHEET_CAN_RENAME),
              (std::vector<Received>{{platform::WM_SHEET_CAN_RENAME, 1, 0}}));
    // Fifteen "W"s wide from the tab's left end, just above the strip.
    const int width = 15 * QFontMetrics(Beam()->NormalFont()).horizontalAdvance(QLatin1Char('W'));
    EXPECT_EQ(editor->geometry().left(), Beam()->TabLeft(1));
    EXPECT_EQ(editor->geometry().width(), width);
    EXPECT_LE(editor->geometry().bottom(), tabs_->SheetArea().bottom());
    // A second request while it is open changes nothing.
    platform::SendMessage(tabs_->Handle(), platform::WM_TAB_RENAME_REQUEST, 2);
    EXPECT_EQ(tabs_->Editor(), editor);
}

TEST_F(TabRenameTest, EnterRenamesTheCurrentTabAndMeasuresItAgain) {
    QPointer<TabNameEditor> editor = tabs_->Editor();
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("A much longer name"));
    const int oldWidth = Beam()->Entry(1).width;
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(tabs_->Editor(), nullptr);
    EXPECT_EQ(Beam()->Entry(1).name, QStringLiteral("A much longer name"));
    EXPECT_GT(Beam()->Entry(1).width, oldWidth);
    EXPECT_EQ(Beam()->Entry(1).width,
              7 + QFontMetrics(Beam()->BoldFont()).horizontalAdvance(Beam()->Entry(1).name));
    EXPECT_EQ(sheets_[1]->MessagesNumbered(platform::WM_SHEET_NAME_CHANGED),
              (std::vector<Received>{{platform::WM_SHEET_NAME_CHANGED, 1, 0}}));
    FlushDeletions();
    EXPECT_FALSE(editor);
    EXPECT_TRUE(sheets_[1]->hasFocus());
}

TEST_F(TabRenameTest, EscapeLeavesTheNameUnchanged) {
    QPointer<TabNameEditor> editor = tabs_->Editor();
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Dropped"));
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(tabs_->Editor(), nullptr);
    EXPECT_EQ(Beam()->Entry(1).name, QStringLiteral("Sheet 1"));
    EXPECT_TRUE(sheets_[1]->MessagesNumbered(platform::WM_SHEET_NAME_CHANGED).empty());
    FlushDeletions();
    EXPECT_FALSE(editor);
}

TEST_F(TabRenameTest, LosingTheFocusCancels) {
    QPointer<TabNameEditor> editor = tabs_->Editor();
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Dropped"));
    sheets_[1]->setFocus();
    EXPECT_EQ(tabs_->Editor(), nullptr);
    EXPECT_EQ(Beam()->Entry(1).name, QStringLiteral("Sheet 1"));
    FlushDeletions();
    EXPECT_FALSE(editor);
    // Messages arriving after the close find nothing to close again.
    platform::SendMessage(tabs_->Handle(), platform::WM_TAB_EDIT_CANCEL);
    platform::SendMessage(tabs_->Handle(), platform::WM_TAB_EDIT_DONE);
    EXPECT_EQ(Beam()->Entry(1).name, QStringLiteral("Sheet 1"));
}

TEST_F(TabRenameTest, DeletingTheTabWindowWithTheEditorOpenClosesItOnce) {
    QPointer<TabNameEditor> editor = tabs_->Editor();
    ASSERT_TRUE(editor);
    delete tabs_;
    FlushDeletions();
    EXPECT_FALSE(editor);
}

TEST_F(TabWindowTest, ATabWindowSmallerThanItsBeamStillWorks) {
    Build(3, QSize(5, 5));
    for (RecordingWidget* sheet : sheets_)
        sheet->Answer(platform::WM_SHEET_CAN_RENAME, 1);
    tabs_->grab();
    EXPECT_EQ(tabs_->CurrentSheet(), sheets_[0]);
    EXPECT_EQ(sheets_[0]->width(), 0);
    DoubleClickTab(0);
    ASSERT_NE(tabs_->Editor(), nullptr);
    EXPECT_GE(tabs_->Editor()->geometry().left(), 0);
    QTest::keyClick(tabs_->Editor(), Qt::Key_Escape);
    QTest::mousePress(tabs_, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    MoveMouse(1, 2);
    QTest::mouseRelease(tabs_, Qt::LeftButton, Qt::NoModifier, QPoint(1, 2));
    tabs_->resize(1, 1);
    tabs_->grab();
    EXPECT_EQ(tabs_->CurrentSheet(), sheets_[0]);
    EXPECT_EQ(Beam()->Count(), 3);
}

TEST_F(TabWindowTest, AnEmptyTabWindowPaintsAndDropsScrollMessages) {
    Build(0);
    tabs_->grab();
    ASSERT_NE(Beam(), nullptr);
    EXPECT_EQ(Beam()->Count(), 0);
    tabs_->ScrollBar(Qt::Vertical)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    platform::SendMessage(tabs_->Handle(), platform::WM_TAB_CHOSEN, 0);
    EXPECT_EQ(platform::SendMessage(tabs_->Handle(), platform::WM_TAB_CAN_CHANGE, 0), 1);
    platform::SendMessage(tabs_->Handle(), platform::WM_TAB_RENAME_REQUEST, 0);
    EXPECT_EQ(tabs_->Editor(), nullptr);
    EXPECT_EQ(tabs_->CurrentSheet(), nullptr);
}

// A rename request waiting behind the choice of the sheet on show (a
// double-click) keeps that choice from taking the focus.
TEST_F(TabWindowTest, AWaitingRenameRequestKeepsTheChoiceFromRefocusing) {
    Build(2);
    Beam()->setFocus();
    platform::PostMessage(tabs_->Handle(), platform::WM_TAB_CHOSEN, 0);
    platform::PostMessage(tabs_->Handle(), platform::WM_TAB_RENAME_REQUEST, 0);
    DeliverPosted();
    EXPECT_TRUE(Beam()->hasFocus());
    platform::PostMessage(tabs_->Handle(), platform::WM_TAB_CHOSEN, 0);
    DeliverPosted();
    EXPECT_TRUE(sheets_[0]->hasFocus());
}

TEST_F(TabWindowTest, ASheetThatDoesNotAllowRenamingGetsNoEditor) {
    Build(2);
    DoubleClickTab(0);
    EXPECT_EQ(tabs_->Editor(), nullptr);
    EXPECT_EQ(sheets_[0]->MessagesNumbered(platform::WM_SHEET_CAN_RENAME).size(), 1u);
}

TEST_F(TabWindowTest, EnterInTheEditorDoesNotReachTheDialogsDefaultButton) {
    QDialog dialog;
    dialog.resize(440, 360);
    auto* button = new QPushButton(QStringLiteral("OK"), &dialog);
    button->setDefault(true);
    QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
    tabs_ = new CGXTabWnd(&dialog);
    tabs_->setGeometry(10, 40, 400, 300);
    RecordingWidget* sheet = AddSheet(QStringLiteral("Sheet"));
    sheet->Answer(platform::WM_SHEET_CAN_RENAME, 1);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    DoubleClickTab(0);
    ASSERT_NE(tabs_->Editor(), nullptr);
    QTest::keyClick(tabs_->Editor(), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(tabs_->Editor(), nullptr);
}

} // namespace
} // namespace controls
