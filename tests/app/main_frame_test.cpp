// The main frame: menus, bars, opening and closing files, the aspect rule and
// the one-second timer.
#include "app/status_texts.h"
#include "app/video_view.h"
#include "app_fixture.h"
#include "controls/control_classes.h"
#include "res/resource_ids.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>

namespace app_test {
namespace {

struct CommandCase {
    int id;
    const char* text;
    bool enabled;
    const char* prompt;
    const char* shortcut = "";
    // GoogleTest would print the bytes, padding included.
    friend void PrintTo(const CommandCase& c, std::ostream* out) { *out << c.id; }
};

class MenuCommandTest : public AppTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(MenuCommandTest, HasItsTextEnablingAndPrompt) {
    ASSERT_TRUE(Start());
    QAction* action = Frame().Action(GetParam().id);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QString::fromUtf8(GetParam().text));
    EXPECT_EQ(action->isEnabled(), GetParam().enabled);
    EXPECT_EQ(action->statusTip(), QString::fromUtf8(GetParam().prompt));
    // The Linux desktop's keys for the File and Help commands; the Part's
    // accelerators (Edit) are not applied.
    EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromUtf8(GetParam().shortcut)));
}

INSTANTIATE_TEST_SUITE_P(
    Menu128, MenuCommandTest,
    ::testing::Values(
        CommandCase{57601, "&Open", true, "Open a video file", "Ctrl+O"},
        CommandCase{57602, "&Close", true, "Close the video file", "Ctrl+W"},
        CommandCase{57665, "E&xit", true, "Quit the application; prompts to save documents",
                    "Ctrl+Q"},
        CommandCase{57643, "&Undo\tCtrl+Z", false, "Undo the last action"},
        CommandCase{57635, "Cu&t\tCtrl+X", false, "Cut the selection and put it on the Clipboard"},
        CommandCase{57634, "&Copy\tCtrl+C", false,
                    "Copy the selection and put it on the Clipboard"},
        CommandCase{57637, "&Paste\tCtrl+V", false, "Insert Clipboard contents"},
        CommandCase{59392, "&Toolbar", true, "Show or hide the toolbar"},
        CommandCase{59393, "&Status Bar", true, "Show or hide the status bar"},
        CommandCase{32774, "&Images", true, ""}, CommandCase{32781, "I&mages x 4", true, ""},
        CommandCase{57664, "&About Tesselon...", true,
                    "Display program information, version number and copyright", "F1"}),
    [](const auto& info) { return "Command" + std::to_string(info.param.id); });

QStringList Titles(const QList<QAction*>& actions) {
    QStringList titles;
    for (QAction* action : actions)
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return titles;
}

TEST_F(AppTest, FrameHasMenusToolbarAndStatusBarInOrder) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(Frame().windowTitle(), QStringLiteral("Tesselon"));
    EXPECT_FALSE(Frame().windowIcon().isNull());
    EXPECT_EQ(Titles(Frame().menuBar()->actions()),
              QStringList({"&File", "&Edit", "&View", "&Control", "&Help"}));

    QToolBar* bar = Frame().ToolBar();
    EXPECT_EQ(Titles(bar->actions()),
              QStringList({"&Open", "-", "&Images", "I&mages x 4", "-", "P&revious frame", "&Pause",
                           "&Next frame", "-", "&About Tesselon..."}));
    EXPECT_EQ(bar->iconSize(), QSize(16, 15));
    for (QAction* action : bar->actions()) {
        if (action->isSeparator())
            continue;
        EXPECT_EQ(action->icon().pixmap(QSize(16, 15)).size(), QSize(16, 15));
    }
    EXPECT_EQ(tesselon::controls::ControlId(bar), 59392);
    EXPECT_EQ(tesselon::controls::ControlId(Frame().statusBar()), 59393);
    EXPECT_EQ(tesselon::controls::ControlId(Frame().View()), 59648);
    EXPECT_EQ(tesselon::controls::ControlId(Frame().Slider()), 1005);

    // Before a file: "00" in both panes, 45 pixels of text each, slider first.
    for (QLabel* pane : {Frame().PositionPane(), Frame().DurationPane()}) {
        EXPECT_EQ(pane->text(), QStringLiteral("00"));
        EXPECT_EQ(pane->contentsRect().width(), 45);
        EXPECT_LE(pane->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")), 45)
            << "the longest time is not clipped";
    }
    EXPECT_EQ(tesselon::controls::ControlId(Frame().PositionPane()), 59143);
    EXPECT_EQ(tesselon::controls::ControlId(Frame().DurationPane()), 59142);
    EXPECT_LT(Frame().Slider()->mapTo(&Frame(), QPoint()).x(),
              Frame().PositionPane()->mapTo(&Frame(), QPoint()).x());
    EXPECT_LT(Frame().PositionPane()->mapTo(&Frame(), QPoint()).x(),
              Frame().DurationPane()->mapTo(&Frame(), QPoint()).x());

    // The view, not the whole client area, starts at 360 x 240.
    EXPECT_EQ(Frame().View()->size(), QSize(360, 240));
    EXPECT_EQ(Frame().VideoRect(), QRect(QPoint(0, 0), Frame().ClientSize()));
    EXPECT_FLOAT_EQ(Frame().Aspect(), 1.5f);
    EXPECT_EQ(gMainWnd, Frame().Handle());
}

QStringList ItemTitles(QMenu* menu) {
    QStringList titles;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            titles << action->text();
    return titles;
}

TEST_F(AppTest, EachMenuHoldsItsCommandsInOrder) {
    ASSERT_TRUE(Start());
    const QList<QAction*> menus = Frame().menuBar()->actions();
    ASSERT_EQ(menus.size(), 5);
    const std::vector<QStringList> expected{
        {"&Open", "&Close", "E&xit"},
        {"&Undo\tCtrl+Z", "Cu&t\tCtrl+X", "&Copy\tCtrl+C", "&Paste\tCtrl+V"},
        {"&Toolbar", "&Status Bar"},
        {"&Images", "I&mages x 4", "&Pause", "&Next frame", "P&revious frame", "Back 5 seconds",
         "Forward 5 seconds", "Go to &start"},
        {"&About Tesselon..."}};
    for (int i = 0; i < 5; ++i) {
        ASSERT_NE(menus[i]->menu(), nullptr) << i;
        EXPECT_EQ(ItemTitles(menus[i]->menu()), expected[std::size_t(i)]) << i;
    }
}

TEST_F(AppTest, ViewMenuHidesAndShowsTheBarsWithTheSlider) {
    ASSERT_TRUE(Start());
    const QSize client = Frame().ClientSize();
    Trigger(res::ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(Frame().statusBar()->isVisible());
    EXPECT_FALSE(Frame().Slider()->isVisible()) << "the slider is a child of the status bar";
    Trigger(res::ID_VIEW_TOOLBAR);
    EXPECT_FALSE(Frame().ToolBar()->isVisible());
    test_support::PumpPending();
    // The picture keeps its size; the frame loses the bars' rows.
    EXPECT_EQ(Frame().View()->size(), QSize(360, 240));
    EXPECT_LT(Frame().ClientSize().height(), client.height());
    Trigger(res::ID_VIEW_STATUS_BAR);
    Trigger(res::ID_VIEW_TOOLBAR);
    test_support::PumpPending();
    EXPECT_TRUE(Frame().Slider()->isVisible());
    EXPECT_TRUE(Frame().ToolBar()->isVisible());
    EXPECT_TRUE(Frame().Action(res::ID_VIEW_TOOLBAR)->isChecked());
    EXPECT_EQ(Frame().View()->size(), QSize(360, 240));
    EXPECT_EQ(Frame().ClientSize(), client);
}

TEST_F(AppTest, OpeningAClipGivesTheClientAreaItsSizeAndStartsPlaying) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(AppDataPath("cif_352x288.mpg"));
    ASSERT_EQ(dialogs_.FileDialogs().size(), 1u);
    const platform::ShownFileDialog shown = dialogs_.FileDialogs()[0];
    EXPECT_EQ(shown.kind, platform::FileDialogKind::kOpen);
    EXPECT_EQ(
        shown.options.filter,
        QStringLiteral("Video files|*.mpeg;*.mpg;*.m1v;*.mp2;*.mpe;*.vob;*.ts;*.m2ts;*.mts;"
                       "*.asf;*.asx;*.wmv;*.avi;*.rm;*.rmvb;*.mp4;*.m4v;*.mov;*.3gp;*.mkv;"
                       "*.webm;*.flv;*.ogv;*.ogg|"
                       "Movie File (MPEG) (*,mpeg,*.mpg,*.m1v,*.mp2)|*.mpeg;*.mpg;*.m1v;*.mp2|"
                       "Active Streaming Format (*.asf)|*.asf|"
                       "Active Streaming Redirector (*.asx)|*.asx|"
                       "Audio Video Interleave Format (*.avi)|*.avi|"
                       "RealAudio/RealVideo (*.rm)|*.rm|Wave Audio (*.wav)|*.wav|"
                       "All Files (*.*)|*.*||"));
    EXPECT_EQ(shown.options.defaultExtension, QStringLiteral("mpg"));
    EXPECT_EQ(shown.options.owner, nullptr);

    ASSERT_TRUE(gSource->IsOpen());
    EXPECT_TRUE(gSource->IsPlaying());
    EXPECT_TRUE(Frame().IsTimerRunning());
    EXPECT_EQ(Frame().Path(), AppDataPath("cif_352x288.mpg"));
    EXPECT_EQ(Frame().VideoWidth(), 352);
    EXPECT_EQ(Frame().VideoHeight(), 288);
    EXPECT_NEAR(Frame().Aspect(), 1.2222f, 1e-4);
    // The view takes the video's own size; the client area holds it and the bars.
    EXPECT_EQ(Frame().View()->size(), QSize(352, 288));
    EXPECT_EQ(Frame().ClientSize(), QSize(352, 288) + Frame().ViewMargin());
    EXPECT_EQ(Frame().VideoRect(), QRect(QPoint(0, 0), Frame().ClientSize()));
    test_support::PumpPending();
    EXPECT_EQ(Frame().menuBar()->geometry().bottom() + 1,
              Frame().height() - Frame().ClientSize().height());
    EXPECT_EQ(Frame().statusBar()->geometry().bottom() + 1, Frame().height());
    EXPECT_EQ(Frame().DurationSeconds(), 2);
    EXPECT_EQ(Frame().DurationPane()->text(), QStringLiteral("02"));
    EXPECT_EQ(Frame().PositionPane()->text(), QStringLiteral("00"));
    EXPECT_EQ(Frame().Slider()->minimum(), 0);
    EXPECT_EQ(Frame().Slider()->maximum(), 2);
    EXPECT_EQ(Frame().Slider()->pageStep(), 0);
    EXPECT_EQ(Frame().Slider()->value(), 0);
}

TEST_F(AppTest, LongClipShowsItsWholeSecondsAndATenthAsPage) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(DataPath("long_59_9s.mp4"));
    ASSERT_TRUE(gSource->IsOpen());
    EXPECT_EQ(Frame().DurationPane()->text(), QStringLiteral("59"));
    EXPECT_EQ(Frame().Slider()->maximum(), 59);
    EXPECT_EQ(Frame().Slider()->pageStep(), 5);
    // 64 × 48 is below the frame's smallest size: the view keeps the aspect.
    const QSize view = Frame().View()->size();
    EXPECT_GT(view.width(), 64);
    EXPECT_NEAR(view.height(), view.width() * 48.0 / 64.0, 1.0);
}

TEST_F(AppTest, DraggingKeepsTheVideoAspect) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(AppDataPath("cif_352x288.mpg"));
    ASSERT_TRUE(gSource->IsOpen());
    DragViewTo(QSize(500, 300));
    EXPECT_EQ(Frame().View()->size(), QSize(500, 409));
    EXPECT_EQ(Frame().VideoRect(), QRect(QPoint(0, 0), Frame().ClientSize()));
    EXPECT_EQ(Frame().ClientSize(), QSize(500, 409) + Frame().ViewMargin());
}

TEST_F(AppTest, TooTallDragWidensToTheDefaultAspect) {
    ASSERT_TRUE(Start());
    const QPoint topLeft = Frame().frameGeometry().topLeft();
    DragViewTo(QSize(300, 400));
    EXPECT_EQ(Frame().View()->size(), QSize(600, 400));
    EXPECT_EQ(Frame().frameGeometry().topLeft(), topLeft);
}

TEST_F(AppTest, MinimisingChangesNothing) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(AppDataPath("cif_352x288.mpg"));
    const QSize size = Frame().size();
    const QRect videoRect = Frame().VideoRect();
    Frame().OnSize(CMainFrame::SizeType::Minimized, 0, 0);
    EXPECT_EQ(Frame().size(), size);
    EXPECT_EQ(Frame().VideoRect(), videoRect);
}

struct TimerCase {
    int slider;
    int position;
    int expectedSlider;
    int expectedPosition;
};

class TimerTest : public AppTest, public ::testing::WithParamInterface<TimerCase> {};

// The source reports the seek position until a frame is fetched, and no frame
// is fetched here (the run loop does not run), so a seek sets the position.
TEST_P(TimerTest, FollowsTheStreamOrSeeksToTheSlider) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(DataPath("long_59_9s.mp4"));
    ASSERT_TRUE(gSource->IsOpen());
    ASSERT_EQ(gSource->SeekSeconds(GetParam().position), GetParam().position);
    Frame().Slider()->setValue(GetParam().slider);
    Frame().OnTimer();
    EXPECT_EQ(Frame().Slider()->value(), GetParam().expectedSlider);
    EXPECT_EQ(Frame().PositionSeconds(), GetParam().expectedPosition);
    EXPECT_EQ(gSource->GetPositionSeconds(), GetParam().expectedPosition);
    EXPECT_EQ(Frame().PositionPane()->text(), FormatTime(GetParam().expectedPosition));
}

INSTANTIATE_TEST_SUITE_P(Ticks, TimerTest,
                         ::testing::Values(
                             // Up to two seconds behind: the slider follows.
                             TimerCase{12, 13, 13, 13}, TimerCase{12, 14, 14, 14},
                             TimerCase{13, 13, 13, 13},
                             // Three or more behind, or ahead: the stream seeks.
                             TimerCase{10, 13, 10, 10}, TimerCase{20, 13, 20, 20},
                             // At position 0 the slider returns to 0 whatever the user did.
                             TimerCase{59, 0, 0, 0}, TimerCase{5, 0, 0, 0}, TimerCase{0, 0, 0, 0}),
                         [](const auto& info) {
                             return "Slider" + std::to_string(info.param.slider) + "Position" +
                                    std::to_string(info.param.position);
                         });

// A stream that learns its length while playing reports more at a later tick
// than when it opened. Reopening the source on a longer clip behind the
// frame's back gives the frame that moment with the real source.
TEST_F(AppTest, TimerFollowsAGrowingDurationInsteadOfSeekingBack) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(AppDataPath("cif_352x288.mpg"));
    ASSERT_EQ(Frame().Slider()->maximum(), 2);
    ASSERT_TRUE(gSource->Open(DataPath("long_59_9s.mp4").toStdString(), gPresenter->Device()));
    ASSERT_TRUE(gSource->Play());
    for (int second = 1; second <= 6; ++second) {
        gSource->SeekSeconds(second);
        Frame().OnTimer();
        EXPECT_EQ(gSource->GetPositionSeconds(), second);
        EXPECT_EQ(Frame().Slider()->value(), second);
    }
    EXPECT_EQ(Frame().Slider()->maximum(), 59);
    EXPECT_EQ(Frame().Slider()->pageStep(), 5);
    EXPECT_EQ(Frame().DurationSeconds(), 59);
    EXPECT_EQ(Frame().DurationPane()->text(), QStringLiteral("59"));
}

TEST_F(AppTest, TimerDoesNothingWhileNotPlaying) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(DataPath("long_59_9s.mp4"));
    gSource->SeekSeconds(13);
    gSource->Stop();
    Frame().Slider()->setValue(30);
    Frame().OnTimer();
    EXPECT_EQ(Frame().Slider()->value(), 30);
    EXPECT_EQ(gSource->GetPositionSeconds(), 13);
}

TEST_F(AppTest, CancellingTheOpenDialogKeepsTheFilePlaying) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(DataPath("index.mpg"));
    ASSERT_TRUE(gSource->IsOpen());
    OpenThroughMenu(std::nullopt);
    EXPECT_EQ(dialogs_.FileDialogs().size(), 2u);
    EXPECT_TRUE(gSource->IsOpen());
    EXPECT_TRUE(gSource->IsPlaying());
    EXPECT_TRUE(Frame().IsTimerRunning());
    EXPECT_EQ(Frame().Path(), DataPath("index.mpg"));
}

TEST_F(AppTest, FailedOpenClosesThePreviousFileAndShowsTheSourceMessage) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(AppDataPath("cif_352x288.mpg"));
    ASSERT_TRUE(gSource->IsOpen());
    const QSize client = Frame().ClientSize();
    OpenThroughMenu(DataPath("not_a_video.mpg"));
    ASSERT_EQ(dialogs_.Messages().size(), 1u);
    EXPECT_EQ(dialogs_.Messages()[0].text, QStringLiteral("Could not open file!"));
    EXPECT_EQ(dialogs_.Messages()[0].caption, QStringLiteral("FATAL ERROR"));
    EXPECT_FALSE(gSource->IsOpen());
    EXPECT_FALSE(Frame().IsTimerRunning());
    EXPECT_EQ(Frame().DurationPane()->text(), QStringLiteral("02"));
    EXPECT_EQ(Frame().Slider()->maximum(), 2);
    EXPECT_EQ(Frame().ClientSize(), client);

    // A good file opens afterwards.
    OpenThroughMenu(DataPath("long_59_9s.mp4"));
    EXPECT_TRUE(gSource->IsOpen());
    EXPECT_EQ(Frame().DurationPane()->text(), QStringLiteral("59"));
}

TEST_F(AppTest, CloseKeepsTheSizeTextsAndSlider) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(DataPath("long_59_9s.mp4"));
    gSource->SeekSeconds(13);
    Frame().Slider()->setValue(12);
    Frame().OnTimer();
    const QSize client = Frame().ClientSize();
    Trigger(res::ID_FILE_CLOSE);
    EXPECT_FALSE(gSource->IsOpen());
    EXPECT_FALSE(Frame().IsTimerRunning());
    EXPECT_TRUE(Frame().Path().isEmpty());
    EXPECT_EQ(Frame().ClientSize(), client);
    EXPECT_EQ(Frame().PositionPane()->text(), QStringLiteral("13"));
    EXPECT_EQ(Frame().DurationPane()->text(), QStringLiteral("59"));
    EXPECT_EQ(Frame().Slider()->value(), 13);
    EXPECT_EQ(Frame().Slider()->maximum(), 59);
    // Closing again, with nothing open, is harmless.
    Trigger(res::ID_FILE_CLOSE);
    EXPECT_FALSE(gSource->IsOpen());
}

TEST_F(AppTest, CommandsFollowTheCommandsEnabledFlag) {
    gCommandsEnabled = 0; // as a frame closed during a batch leaves it
    ASSERT_TRUE(Start());
    EXPECT_EQ(gCommandsEnabled, 1);
    Frame().SetCommandsEnabled(false);
    EXPECT_EQ(gCommandsEnabled, 0);
    for (int id : {res::ID_FILE_OPEN, res::ID_FILE_CLOSE, res::ID_APP_EXIT, res::ID_CONTROL_IMAGES,
                   res::ID_CONTROL_IMAGES4, res::ID_CONTROL_PAUSE, res::ID_CONTROL_NEXT_FRAME,
                   res::ID_CONTROL_PREVIOUS_FRAME, res::ID_CONTROL_BACK_5S,
                   res::ID_CONTROL_FORWARD_5S, res::ID_CONTROL_GO_TO_START})
        EXPECT_FALSE(Frame().Action(id)->isEnabled()) << id;
    EXPECT_FALSE(Frame().ToolBar()->isEnabled());
    EXPECT_FALSE(Frame().Slider()->isEnabled());
    EXPECT_TRUE(Frame().Action(res::ID_APP_ABOUT)->isEnabled());
    EXPECT_TRUE(Frame().Action(res::ID_VIEW_STATUS_BAR)->isEnabled());
    Frame().SetCommandsEnabled(true);
    EXPECT_EQ(gCommandsEnabled, 1);
    EXPECT_TRUE(Frame().Action(res::ID_FILE_OPEN)->isEnabled());
    EXPECT_TRUE(Frame().Action(res::ID_CONTROL_IMAGES4)->isEnabled());
    EXPECT_TRUE(Frame().ToolBar()->isEnabled());
    EXPECT_TRUE(Frame().Slider()->isEnabled());
}

} // namespace
} // namespace app_test
