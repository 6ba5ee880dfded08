// The main frame: menus, bars, opening and closing files, the aspect rule and
// the one-second timer.
#include "app/frame_commands.h"
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

#include <algorithm>
#include <set>

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
    // The Linux desktop's keys for the File and Help commands, the player's
    // keys for Control; the Part's accelerators (Edit) are not applied.
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
        CommandCase{57634, "&Copy", true, "Copy the selection and put it on the Clipboard",
                    "Ctrl+C"},
        CommandCase{57637, "&Paste\tCtrl+V", false, "Insert Clipboard contents"},
        CommandCase{59392, "&Toolbar", true, "Show or hide the toolbar"},
        CommandCase{59393, "&Status Bar", true, "Show or hide the status bar"},
        CommandCase{32774, "&Images", true, ""}, CommandCase{32781, "I&mages x 4", true, ""},
        CommandCase{32782, "&Pause", true, "Pause or resume playback", "Space"},
        CommandCase{32783, "&Next frame", true, "Pause and show the next frame", "."},
        CommandCase{32784, "P&revious frame", true, "Pause and show the previous frame", ","},
        CommandCase{32785, "Back 5 seconds", true, "Go back five seconds", "Left"},
        CommandCase{32786, "Forward 5 seconds", true, "Go forward five seconds", "Right"},
        CommandCase{32787, "Go to &start", true, "Go to the first frame", "Home"},
        CommandCase{32788, "&Snapshot", true, "Save the frame on show into the save directory",
                    "S"},
        CommandCase{32796, "&Go to...", true, "Pause on a frame given by its number or its time",
                    "Ctrl+G"},
        CommandCase{32789, "&360 \u00D7 240", true, "Capture frames at 360 \u00D7 240"},
        CommandCase{32790, "&Video's own size", true, "Capture frames at the video's own size"},
        CommandCase{32791, "Image &format...", true,
                    "Choose the format and quality of saved images"},
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
              QStringList({"&File", "&Edit", "&View", "&Control", "&Options", "&Help"}));

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
    EXPECT_EQ(controls::ControlId(bar), 59392);
    EXPECT_EQ(controls::ControlId(Frame().statusBar()), 59393);
    EXPECT_EQ(controls::ControlId(Frame().View()), 59648);
    EXPECT_EQ(controls::ControlId(Frame().Slider()), 1005);

    // Before a file: "00" in both panes, 45 pixels of text each, slider first.
    for (QLabel* pane : {Frame().PositionPane(), Frame().DurationPane()}) {
        EXPECT_EQ(pane->text(), QStringLiteral("00"));
        EXPECT_EQ(pane->contentsRect().width(), 45);
        EXPECT_LE(pane->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")), 45)
            << "the longest time is not clipped";
    }
    EXPECT_EQ(controls::ControlId(Frame().PositionPane()), 59143);
    EXPECT_EQ(controls::ControlId(Frame().DurationPane()), 59142);
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
    ASSERT_EQ(menus.size(), 6);
    const std::vector<QStringList> expected{
        {"&Open", "&Close", "Recent &videos", "E&xit"},
        {"&Undo\tCtrl+Z", "Cu&t\tCtrl+X", "&Copy", "&Paste\tCtrl+V"},
        {"&Toolbar", "&Status Bar"},
        {"&Images", "I&mages x 4", "&Snapshot", "&Pause", "&Next frame", "P&revious frame",
         "Back 5 seconds", "Forward 5 seconds", "Go to &start", "&Go to..."},
        {"Capture &size", "Image &format..."},
        {"&About Tesselon..."}};
    for (int i = 0; i < 6; ++i) {
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
    // What the filter offers is open_filter_test's.
    EXPECT_EQ(shown.options.filter, CMainFrame::kOpenFilter);
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

const FrameCommand& RowOf(int id) {
    const auto rows = CMainFrame::Commands();
    const auto row = std::ranges::find(rows, id, &FrameCommand::id);
    EXPECT_NE(row, rows.end()) << id;
    return row != rows.end() ? *row : rows.front();
}

// The table's rule, for every row: off while the flag is 0 when the row
// follows it, otherwise as the row says.
TEST_F(AppTest, CommandsFollowTheCommandsEnabledFlag) {
    gCommandsEnabled = 0; // as a frame closed during a batch leaves it
    ASSERT_TRUE(Start());
    EXPECT_EQ(gCommandsEnabled, 1);
    for (bool enabled : {false, true, false}) {
        Frame().SetCommandsEnabled(enabled);
        EXPECT_EQ(gCommandsEnabled, enabled ? 1 : 0);
        for (const FrameCommand& command : CMainFrame::Commands()) {
            const bool expected =
                command.enabling == CommandEnabling::kAlways ||
                (command.enabling == CommandEnabling::kWithCommandsFlag && enabled);
            EXPECT_EQ(Frame().Action(command.id)->isEnabled(), expected)
                << command.id << (enabled ? " on" : " off");
        }
        EXPECT_EQ(Frame().ToolBar()->isEnabled(), enabled);
        EXPECT_EQ(Frame().Slider()->isEnabled(), enabled);
    }
}

// A wrong row would pass the rule above: these commands' rows are named.
TEST(FrameCommandTable, NamedCommandsFollowTheFlagOrNot) {
    for (auto [id, enabling] :
         {std::pair{res::ID_FILE_OPEN, CommandEnabling::kWithCommandsFlag},
          std::pair{res::ID_APP_EXIT, CommandEnabling::kWithCommandsFlag},
          std::pair{res::ID_CONTROL_IMAGES4, CommandEnabling::kWithCommandsFlag},
          std::pair{res::ID_CONTROL_PREVIOUS_FRAME, CommandEnabling::kWithCommandsFlag},
          std::pair{res::ID_CONTROL_GO_TO_START, CommandEnabling::kWithCommandsFlag},
          std::pair{res::ID_APP_ABOUT, CommandEnabling::kAlways},
          std::pair{res::ID_VIEW_STATUS_BAR, CommandEnabling::kAlways},
          std::pair{res::ID_EDIT_COPY, CommandEnabling::kWithCommandsFlag},
          std::pair{res::ID_EDIT_PASTE, CommandEnabling::kNever}})
        EXPECT_EQ(RowOf(id).enabling, enabling) << id;
}

QMenu* MenuOf(CMainFrame& frame, FrameMenu menu) {
    const auto titles = FrameMenuTitles();
    const auto title = std::ranges::find(titles, menu, &FrameMenuTitle::menu);
    if (title == titles.end())
        return nullptr;
    return frame.menuBar()->actions().value(title - titles.begin())->menu();
}

// Each row is one action, shown where its row says: its menu, the toolbar
// with its picture, the frame's own keys.
TEST_F(AppTest, EachRowIsOneActionWhereItsRowPutsIt) {
    ASSERT_TRUE(Start());
    std::set<int> ids;
    for (const FrameCommand& command : CMainFrame::Commands()) {
        EXPECT_TRUE(ids.insert(command.id).second) << command.id << " twice";
        QAction* action = Frame().Action(command.id);
        ASSERT_NE(action, nullptr) << command.id;
        QMenu* menu = MenuOf(Frame(), command.menu);
        ASSERT_NE(menu, nullptr) << command.id;
        if (command.submenu != nullptr) {
            const QList<QAction*> items = menu->actions();
            const auto submenu = std::ranges::find_if(items, [&](QAction* item) {
                return item->text() == QString::fromUtf8(command.submenu);
            });
            ASSERT_NE(submenu, items.end()) << command.id;
            menu = (*submenu)->menu();
        }
        EXPECT_TRUE(menu->actions().contains(action)) << command.id;
        const bool onToolbar = command.toolbarGroup != 0;
        EXPECT_EQ(Frame().ToolBar()->actions().contains(action), onToolbar) << command.id;
        EXPECT_EQ(!action->icon().isNull(), command.icon != res::ToolbarIcon::kNone) << command.id;
        EXPECT_EQ(action->isCheckable(), command.check != CommandCheck::kNone) << command.id;
        // One key at most: a standard key that adds another is no row's.
        EXPECT_EQ(action->shortcuts(), KeysOf(command)) << command.id;
        EXPECT_LE(action->shortcuts().size(), 1) << command.id;
        EXPECT_EQ(Frame().actions().contains(action), !action->shortcuts().isEmpty()) << command.id;
    }
}

TEST_F(AppTest, ToolbarButtonsShowTheirPromptsToolTip) {
    ASSERT_TRUE(Start());
    QStringList tips;
    for (QAction* action : Frame().ToolBar()->actions())
        if (!action->isSeparator())
            tips << action->toolTip();
    EXPECT_EQ(tips, QStringList({"Open", "Images", "Images x 4", "Previous frame (,)",
                                 "Pause (Space)", "Next frame (.)", "About"}));
}

TEST_F(AppTest, ViewCommandsAndPauseStartCheckedAsTheirRowsSay) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Frame().Action(res::ID_VIEW_TOOLBAR)->isChecked());
    EXPECT_TRUE(Frame().Action(res::ID_VIEW_STATUS_BAR)->isChecked());
    EXPECT_TRUE(Frame().Action(res::ID_CONTROL_PAUSE)->isCheckable());
    EXPECT_FALSE(Frame().Action(res::ID_CONTROL_PAUSE)->isChecked());
}

} // namespace
} // namespace app_test
