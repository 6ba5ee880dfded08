// The main frame's view keeps the video's shape, with the bars shown or
// hidden, and the frame stays within the screen's room.
#include "app/video_view.h"
#include "app_fixture.h"
#include "support/temporary_folder.h"

#include <QMenuBar>
#include <QScreen>

#include <cmath>
#include <cstdlib>
#include <string>

namespace app_test {
namespace {

// The view fills the area between the bars, without black bars beside it,
// and its height differs from width ÷ aspect by at most a pixel.
void ExpectVideoShape(const CMainFrame& frame, const char* when) {
    const QSize view = frame.View()->size();
    EXPECT_EQ(view, frame.centralWidget()->contentsRect().size()) << when;
    const double wanted = view.width() * double(frame.VideoHeight()) / frame.VideoWidth();
    EXPECT_LE(std::abs(view.height() - wanted), 1.0)
        << when << ": view " << view.width() << " x " << view.height() << " for "
        << frame.VideoWidth() << " x " << frame.VideoHeight();
}

void ExpectOnScreen(const CMainFrame& frame, const char* when) {
    const QRect room = frame.screen()->availableGeometry();
    EXPECT_TRUE(room.contains(frame.frameGeometry()))
        << when << ": frame " << frame.frameGeometry().width() << " x "
        << frame.frameGeometry().height() << " on " << room.width() << " x " << room.height();
}

struct BarsCase {
    const char* clip;
    bool toolbar;
    bool statusBar;
    friend void PrintTo(const BarsCase& c, std::ostream* out) {
        *out << c.clip << (c.toolbar ? " toolbar" : "") << (c.statusBar ? " status" : "");
    }
};

class ViewAspectTest : public AppTest, public ::testing::WithParamInterface<BarsCase> {
protected:
    // Hides the bars the case hides, or shows them again.
    void ToggleHiddenBars() {
        if (!GetParam().toolbar)
            Trigger(res::ID_VIEW_TOOLBAR);
        if (!GetParam().statusBar)
            Trigger(res::ID_VIEW_STATUS_BAR);
    }
};

TEST_P(ViewAspectTest, HoldsAfterOpeningAndEveryResize) {
    ASSERT_TRUE(Start());
    ToggleHiddenBars();
    test_support::PumpPending();
    ExpectVideoShape(Frame(), "bars set");
    OpenThroughMenu(AppDataPath(GetParam().clip));
    ASSERT_TRUE(gSource->IsOpen());
    test_support::PumpPending();
    ExpectVideoShape(Frame(), "opened");
    ExpectOnScreen(Frame(), "opened");
    for (const QSize drag : {QSize(500, 300), QSize(300, 500), QSize(1000, 300), QSize(250, 700),
                             QSize(411, 233), QSize(5000, 5000)}) {
        DragClientTo(drag);
        ExpectVideoShape(Frame(), "dragged");
        ExpectOnScreen(Frame(), "dragged");
    }
    // The bars come back: the picture keeps its shape and size.
    const QSize view = Frame().View()->size();
    ToggleHiddenBars();
    test_support::PumpPending();
    ExpectVideoShape(Frame(), "bars back");
    if (!GetParam().toolbar || !GetParam().statusBar) {
        const QSize now = Frame().View()->size();
        EXPECT_LE(std::abs(now.width() - view.width()), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, ViewAspectTest,
                         ::testing::Values(BarsCase{"cif_352x288.mpg", true, true},
                                           BarsCase{"cif_352x288.mpg", false, true},
                                           BarsCase{"cif_352x288.mpg", true, false},
                                           BarsCase{"cif_352x288.mpg", false, false},
                                           BarsCase{"hd_1280x720.mpg", true, true},
                                           BarsCase{"hd_1280x720.mpg", false, false}),
                         [](const auto& info) {
                             return std::string(info.param.clip[0] == 'c' ? "Cif" : "Hd") +
                                    (info.param.toolbar ? "Toolbar" : "NoToolbar") +
                                    (info.param.statusBar ? "StatusBar" : "NoStatusBar");
                         });

TEST_F(AppTest, AVideoLargerThanTheScreenOpensAsLargeAsTheRoomAllows) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(AppDataPath("hd_1280x720.mpg"));
    ASSERT_TRUE(gSource->IsOpen());
    const QRect room = Frame().screen()->availableGeometry();
    ASSERT_LT(room.width(), 1280 + Frame().ViewMargin().width()) << "the screen has room for it";
    ExpectVideoShape(Frame(), "opened");
    ExpectOnScreen(Frame(), "opened");
    // One side of the screen's room is used up.
    const QSize frame = Frame().frameGeometry().size();
    EXPECT_TRUE(frame.width() >= room.width() - 1 || frame.height() >= room.height() - 1)
        << frame.width() << " x " << frame.height();
}

TEST_F(AppTest, WindowNearTheScreenEdgeMovesBackWhenItsShortSideGrows) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(AppDataPath("cif_352x288.mpg"));
    const QRect room = Frame().screen()->availableGeometry();
    Frame().move(room.right() - Frame().frameGeometry().width() + 1,
                 room.bottom() - Frame().frameGeometry().height() + 1);
    test_support::PumpPending();
    DragViewTo(QSize(500, 200));
    ExpectVideoShape(Frame(), "grown");
    ExpectOnScreen(Frame(), "grown");
}

TEST_F(AppTest, TinyDragKeepsTheMenuBarWholeAndAPictureInAspect) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(AppDataPath("hd_1280x720.mpg"));
    DragClientTo(QSize(10, 10));
    const QMenuBar* menu = Frame().menuBar();
    EXPECT_GE(Frame().width(), menu->sizeHint().width()) << "every menu title shows";
    EXPECT_EQ(menu->height(), menu->sizeHint().height()) << "one row of menus";
    EXPECT_GE(Frame().View()->height(), CMainFrame::kMinimumViewSide);
    ExpectVideoShape(Frame(), "tiny");
}

// The shape players show: an anamorphic PAL clip (720 x 576 stored, pixels
// 64:45 wide) at 16:9, and a clip tagged as turned a quarter turn on its side.
TEST_F(AppTest, PicturesOpenInTheShapePlayersShow) {
    if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "the ffmpeg command is missing";
    const struct {
        const char* name;
        const char* source;
        const char* tag;
        QSize shown;
    } cases[] = {
        {"pal_16x9.mp4", "color=gray:s=720x576:r=25:d=0.2,setsar=64/45", "", {1024, 576}},
        {"sideways.mp4",
         "color=gray:s=320x180:r=25:d=0.2",
         "-metadata:s:v:0 rotate=90",
         {180, 320}},
    };
    ASSERT_TRUE(Start());
    testing_support::TemporaryFolder folder;
    for (const auto& c : cases) {
        // The tag goes on as the clip is copied: an encode drops it.
        const std::string upright = (folder.Path() / "upright.mp4").string();
        const std::string clip = (folder.Path() / c.name).string();
        const std::string ffmpeg = "ffmpeg -hide_banner -loglevel error -nostdin -y ";
        ASSERT_EQ(std::system((ffmpeg + "-f lavfi -i " + c.source +
                               ",format=yuv420p -c:v libx264 -preset ultrafast '" + upright + "'")
                                  .c_str()),
                  0)
            << c.name;
        ASSERT_EQ(
            std::system(
                (ffmpeg + "-i '" + upright + "' -c copy " + c.tag + " '" + clip + "'").c_str()),
            0)
            << c.name;
        OpenThroughMenu(QString::fromStdString(clip));
        ASSERT_TRUE(gSource->IsOpen()) << c.name;
        test_support::PumpPending();
        EXPECT_EQ(QSize(Frame().VideoWidth(), Frame().VideoHeight()), c.shown) << c.name;
        const QSize view = Frame().View()->size();
        const double shape = double(view.width()) / view.height();
        const double wanted = double(c.shown.width()) / c.shown.height();
        EXPECT_NEAR(shape / wanted, 1.0, 0.01)
            << c.name << ": view " << view.width() << " x " << view.height();
        ExpectOnScreen(Frame(), c.name);
    }
}

struct LetterboxCase {
    QSize room;
    float aspect;
    QRect view;
};

class ViewRectTest : public ::testing::TestWithParam<LetterboxCase> {};

TEST_P(ViewRectTest, CentresThePictureInAspectOrFillsARoomThatHasIt) {
    EXPECT_EQ(VideoViewEdge::ViewRectIn(GetParam().room, GetParam().aspect), GetParam().view);
}

INSTANTIATE_TEST_SUITE_P(Rooms, ViewRectTest,
                         ::testing::Values(
                             // A maximised frame: black bars left and right, or above and below.
                             LetterboxCase{{800, 400}, 1.5f, {100, 0, 600, 400}},
                             LetterboxCase{{300, 400}, 1.5f, {0, 100, 300, 200}},
                             // The rule's truncation leaves a pixel: the view still fills the room.
                             LetterboxCase{{352, 288}, 352.0f / 288.0f, {0, 0, 352, 288}},
                             LetterboxCase{{500, 409}, 352.0f / 288.0f, {0, 0, 500, 409}},
                             LetterboxCase{{1279, 720}, 1280.0f / 720.0f, {0, 0, 1279, 720}},
                             // No aspect yet, or nothing to show.
                             LetterboxCase{{800, 400}, 0.0f, {0, 0, 800, 400}},
                             LetterboxCase{{0, 0}, 1.5f, {0, 0, 0, 0}}));

} // namespace
} // namespace app_test
