// Frame by frame in the program: the keys and the toolbar pause, step and
// jump; the status bar and the slider's tooltip name the paused frame; the
// keys do nothing while the commands are off.
#include "app/status_texts.h"
#include "app_fixture.h"

#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <chrono>

namespace app_test {
namespace {

constexpr std::int64_t kFrame25 = 400'000;

class FrameSteppingTest : public AppTest {
protected:
    void StartOn(const char* clip) {
        ASSERT_TRUE(Start());
        Frame().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
        OpenThroughMenu(DataPath(clip));
        ASSERT_TRUE(gSource->IsPlaying());
    }
    // Idle turns of the program's loop until the clip has played to ms.
    void PlayTo(int ms) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (gSource->GetPositionMs() < ms && std::chrono::steady_clock::now() < give_up)
            UpdateFrame();
        ASSERT_GE(gSource->GetPositionMs(), ms);
    }
    void Key(int key) { QTest::keyClick(&Frame(), static_cast<Qt::Key>(key)); }
    QAction* Pause() { return Frame().Action(res::ID_CONTROL_PAUSE); }
};

TEST_F(FrameSteppingTest, KeysAndToolbarPauseAndStepAndTheStatusBarNamesTheFrame) {
    StartOn("index_mpeg4.avi");
    PlayTo(400);
    Key(Qt::Key_Space);
    ASSERT_TRUE(gSource->IsPaused());
    EXPECT_TRUE(Pause()->isChecked());
    const int paused = FrameOnScreen();
    ASSERT_GE(paused, 10);
    EXPECT_TRUE(Frame().FrameLabel()->isVisible());

    Key(Qt::Key_Period);
    EXPECT_EQ(FrameOnScreen(), paused + 1);
    Key(Qt::Key_Comma);
    Key(Qt::Key_Comma);
    EXPECT_EQ(FrameOnScreen(), paused - 1);
    auto* next = qobject_cast<QToolButton*>(
        Frame().ToolBar()->widgetForAction(Frame().Action(res::ID_CONTROL_NEXT_FRAME)));
    ASSERT_NE(next, nullptr);
    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(FrameOnScreen(), paused);
    EXPECT_TRUE(gSource->IsPaused());

    // Once the frames are counted, the label and the tooltip give the number.
    ASSERT_TRUE(QTest::qWaitFor([] { return gSource->ShownFrameNumber().has_value(); }, 5000));
    Key(Qt::Key_Comma);
    const QString expected = FormatShownFrame(paused - 1, (paused - 1) * kFrame25);
    EXPECT_EQ(Frame().FrameLabel()->text(), expected);
    EXPECT_EQ(Frame().Slider()->toolTip(), expected);
    EXPECT_EQ(Frame().Slider()->value(), 0);

    Key(Qt::Key_Space);
    EXPECT_FALSE(gSource->IsPaused());
    EXPECT_TRUE(gSource->IsPlaying());
    EXPECT_FALSE(Pause()->isChecked());
    EXPECT_FALSE(Frame().FrameLabel()->isVisible());
    EXPECT_TRUE(Frame().Slider()->toolTip().isEmpty());
}

TEST_F(FrameSteppingTest, JumpsKeepPausedOrPlayingAsTheyFindIt) {
    StartOn("long_59_9s.mp4"); // ten frames a second
    PlayTo(100);
    Key(Qt::Key_Space);
    Key(Qt::Key_Home);
    EXPECT_EQ(gSource->ShownTime(), 0);
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    EXPECT_EQ(gSource->ShownTime(), 100'000'000);
    EXPECT_EQ(Frame().Slider()->value(), 10);
    EXPECT_EQ(Frame().PositionPane()->text(), "10");
    Key(Qt::Key_Left);
    EXPECT_EQ(gSource->ShownTime(), 50'000'000);
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    EXPECT_EQ(gSource->ShownTime(), 0); // not before the start
    EXPECT_TRUE(gSource->IsPaused());

    // While playing a jump plays on from there.
    Key(Qt::Key_Space);
    Key(Qt::Key_Right);
    EXPECT_TRUE(gSource->IsPlaying());
    PlayTo(5000);
    EXPECT_LT(gSource->GetPositionMs(), 8000);
}

TEST_F(FrameSteppingTest, KeysDoNothingWhileTheCommandsAreOff) {
    StartOn("index_mpeg4.avi");
    PlayTo(200);
    Frame().SetCommandsEnabled(false); // as a capture batch does
    for (int key : {Qt::Key_Space, Qt::Key_Period, Qt::Key_Comma, Qt::Key_Home})
        Key(key);
    EXPECT_FALSE(gSource->IsPaused());
    EXPECT_GE(gSource->GetPositionMs(), 200);
    Frame().SetCommandsEnabled(true);
    Key(Qt::Key_Period);
    EXPECT_TRUE(gSource->IsPaused());
}

} // namespace
} // namespace app_test
