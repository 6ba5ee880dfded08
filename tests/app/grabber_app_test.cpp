// Start-up, the run loop and shutdown of the application object.
#include "app/video_view.h"
#include "app_fixture.h"
#include "controls/about_dialog.h"
#include "controls/control_classes.h"
#include "res/resource_ids.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QSlider>
#include <QTimer>

#include <chrono>
#include <cstring>
#include <functional>

namespace app_test {
namespace {

using platform::MessageIcon;

TEST_F(AppTest, StartUpRegistersClassesAndShowsTheFrameBeforeThePlaybackObjects) {
    std::vector<QString> seenAtPresenter;
    CGrabberApp::Options options = SilentOptions();
    options.allocatePresenter = [&] {
        for (const char* name : {"CGXTabBeam", "CGXTabWnd", "GXWND", "GxMdiFrame", "GXEDIT"})
            if (controls::IsWindowClassRegistered(QString::fromLatin1(name)))
                seenAtPresenter.push_back(QString::fromLatin1(name));
        CMainFrame* frame = app_->MainFrame();
        EXPECT_TRUE(frame != nullptr && frame->isVisible());
        EXPECT_TRUE(frame != nullptr && frame->Slider() != nullptr);
        EXPECT_EQ(gSource, nullptr);
        return new CGameApp();
    };
    ASSERT_TRUE(Start(std::move(options)));
    EXPECT_EQ(seenAtPresenter.size(), 5u);
    ASSERT_NE(gPresenter, nullptr);
    ASSERT_NE(gSource, nullptr);
    EXPECT_EQ(gPresenter->Window(), Frame().View());
    EXPECT_EQ(gPresenter->Width(), 360);
    EXPECT_EQ(gPresenter->Height(), 240);
    EXPECT_FALSE(gSource->IsOpen());
    EXPECT_TRUE(dialogs_.Messages().empty());
    EXPECT_TRUE(dialogs_.FileDialogs().empty()) << "the command line opens nothing";
}

struct StartFailure {
    const char* name;
    std::function<void(CGrabberApp::Options&)> arrange;
    const char* text;
    friend void PrintTo(const StartFailure& c, std::ostream* out) { *out << c.name; }
};

class StartFailureTest : public AppTest, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailureTest, ShowsOneFatalMessageAndEndsWithNothingLeft) {
    CGrabberApp::Options options = SilentOptions();
    GetParam().arrange(options);
    app_ = std::make_unique<CGrabberApp>(std::move(options));
    EXPECT_EQ(app_->Main(), 1);
    const std::vector<platform::ShownMessage> shown = dialogs_.Messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QString::fromUtf8(GetParam().text));
    EXPECT_EQ(shown[0].caption, QStringLiteral("FATAL ERROR"));
    EXPECT_EQ(shown[0].icon, MessageIcon::kError);
    EXPECT_EQ(gPresenter, nullptr);
    EXPECT_EQ(gSource, nullptr);
    EXPECT_EQ(app_->MainFrame(), nullptr);
    // A second shutdown has nothing left to free.
    app_->ExitInstance();
    EXPECT_EQ(dialogs_.Messages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, StartFailureTest,
    ::testing::Values(
        StartFailure{"PresenterAllocation",
                     [](CGrabberApp::Options& options) {
                         options.allocatePresenter = [] {
                             return nullptr;
                         };
                     },
                     "Out of memory creating CGameApp object!\nReboot your system and try again!"},
        StartFailure{"PresenterSetUp",
                     [](CGrabberApp::Options&) {
                         platform::DisplayFaults::Fail(platform::DisplayStep::kCreateDevice);
                     },
                     "Could not create legacy DirectDraw object!"},
        StartFailure{"PresenterPrimarySurface",
                     [](CGrabberApp::Options&) {
                         platform::DisplayFaults::Fail(
                             platform::DisplayStep::kCreatePrimarySurface);
                     },
                     "Could not create primary surface!"},
        StartFailure{"SourceAllocation",
                     [](CGrabberApp::Options& options) {
                         options.allocateSource = [](const playback::VideoSourceOptions&) {
                             return static_cast<CDShow*>(nullptr);
                         };
                     },
                     "Out of memory creating CDShow object!\nReboot your system and try again!"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, SourceAllocationFailureKeepsThePresenterForShutdown) {
    CGrabberApp::Options options = SilentOptions();
    options.allocateSource = [](const playback::VideoSourceOptions&) {
        return static_cast<CDShow*>(nullptr);
    };
    EXPECT_FALSE(Start(std::move(options)));
    EXPECT_NE(gPresenter, nullptr);
    EXPECT_EQ(gSource, nullptr);
    app_->ExitInstance();
    EXPECT_EQ(gPresenter, nullptr);
}

// How the frame is ended while the run loop runs.
enum class Ending { FileExit, CloseBox };

class RunLoopEndTest : public AppTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(RunLoopEndTest, EndsTheLoopAndReleasesBothPlaybackObjects) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(DataPath("index.mpg"));
    ASSERT_TRUE(gSource->IsOpen());
    QTimer::singleShot(300, [this] {
        if (GetParam() == Ending::FileExit)
            Trigger(res::ID_APP_EXIT);
        else
            Frame().close();
    });
    EXPECT_EQ(app_->Run(), 0);
    EXPECT_EQ(gPresenter, nullptr);
    EXPECT_EQ(gSource, nullptr);
    EXPECT_EQ(app_->MainFrame(), nullptr);
    EXPECT_EQ(app_->ExitInstance(), 0);
}

INSTANTIATE_TEST_SUITE_P(Endings, RunLoopEndTest,
                         ::testing::Values(Ending::FileExit, Ending::CloseBox),
                         [](const auto& info) {
                             return info.param == Ending::FileExit ? "FileExit" : "CloseBox";
                         });

// The index clip's frames spell their number in white blocks; frame 0 is all
// black, so white in the view means that later frames were presented.
bool ViewShowsWhite(CMainFrame& frame) {
    const QImage picture = frame.View()->grab().toImage();
    for (int y = 0; y < picture.height(); y += 4)
        for (int x = 0; x < picture.width(); x += 4)
            if (qGray(picture.pixel(x, y)) > 200)
                return true;
    return false;
}

TEST_F(AppTest, RunLoopPlaysTheOpenFileIntoTheView) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(DataPath("index.mpg"));
    bool sawWhite = false;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!sawWhite && ViewShowsWhite(Frame()))
            sawWhite = true;
    });
    poll.start();
    QTimer::singleShot(1500, [this] { Trigger(res::ID_APP_EXIT); });
    app_->Run();
    EXPECT_TRUE(sawWhite);
}

// Fills the presenter's off-screen surface with one colour (blue, green, red bytes).
void FillOffscreen(std::uint32_t colour) {
    int size = 0;
    std::uint8_t* bits = gPresenter->LockFrame(&size);
    ASSERT_NE(bits, nullptr);
    for (int i = 0; i + 4 <= size; i += 4)
        std::memcpy(bits + i, &colour, 4);
    ASSERT_TRUE(gPresenter->UnlockFrame());
}

std::uint32_t OffscreenPixel(int x, int y) {
    int size = 0;
    std::uint8_t* bits = gPresenter->LockFrame(&size);
    EXPECT_NE(bits, nullptr);
    std::uint32_t pixel = 0;
    if (bits != nullptr)
        std::memcpy(&pixel, bits + y * gPresenter->Offscreen()->Pitch() + x * 4, 4);
    gPresenter->UnlockFrame();
    return pixel & 0x00FFFFFF;
}

// While paused or while a capture batch drives the source, an idle turn
// neither fetches a frame into the off-screen surface nor touches the stream.
TEST_F(AppTest, PausedOrNotRenderingTheTurnLeavesTheSurfaceAlone) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(DataPath("index.mpg"));
    ASSERT_TRUE(gSource->IsOpen());
    FillOffscreen(0x00A1B2C3);
    ASSERT_TRUE(gSource->PauseToggle());
    EXPECT_EQ(UpdateFrame(), 1);
    EXPECT_EQ(OffscreenPixel(180, 120), 0xA1B2C3u);
    ASSERT_TRUE(gSource->PauseToggle());
    gSource->SetRenderEnabled(false);
    EXPECT_EQ(UpdateFrame(), 0);
    EXPECT_EQ(OffscreenPixel(180, 120), 0xA1B2C3u);
    gSource->SetRenderEnabled(true);
    // Rendering again fetches a frame of the clip (its first frame is black).
    UpdateFrame();
    EXPECT_NE(OffscreenPixel(180, 120), 0xA1B2C3u);
}

// The end of the stream is no end of playing: the next turns start it again.
TEST_F(AppTest, AStreamThatEndsStartsAgainFromTheBeginning) {
    ASSERT_TRUE(Start());
    OpenThroughMenu(DataPath("index.mpg"));
    ASSERT_TRUE(gSource->IsOpen());
    ASSERT_EQ(gSource->SeekMs(1700), 1700);
    int lastMs = gSource->GetPositionMs();
    bool restarted = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!restarted && std::chrono::steady_clock::now() < deadline) {
        UpdateFrame();
        ASSERT_TRUE(gSource->IsPlaying());
        const int ms = gSource->GetPositionMs();
        restarted = ms < 500 && ms < lastMs;
        lastMs = ms;
    }
    EXPECT_TRUE(restarted);
    EXPECT_TRUE(gSource->IsOpen());
}

// With no file open the idle turns still present the off-screen surface, so
// the view shows whatever last reached it.
TEST_F(AppTest, WithNoFileTheLoopPresentsTheOffscreenSurface) {
    ASSERT_TRUE(Start());
    FillOffscreen(0x00306090);
    QRgb shown = 0;
    // Looked at until it shows, as a slow (instrumented) start-up may take a while.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        shown = Frame().View()->grab().toImage().pixel(20, 20) & 0x00FFFFFF;
        if (shown == 0x306090u || std::chrono::steady_clock::now() > deadline) {
            look.stop();
            Trigger(res::ID_APP_EXIT);
        }
    });
    look.start(100);
    EXPECT_EQ(app_->Run(), 0);
    EXPECT_EQ(shown, 0x306090u);
}

TEST_F(AppTest, AboutBoxShowsIconVersionAndOk) {
    ASSERT_TRUE(Start());
    QString shownTitle;
    QStringList shownTexts;
    QTimer::singleShot(0, [&] {
        auto* about =
            qobject_cast<controls::CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        shownTitle = about->windowTitle();
        for (QLabel* label : about->findChildren<QLabel*>())
            shownTexts << (label->pixmap().isNull() ? label->text() : QStringLiteral("<icon>"));
        QWidget* ok =
            controls::FindControl(about->findChild<QDialogButtonBox*>(), res::IDOK);
        ASSERT_NE(ok, nullptr);
        static_cast<QAbstractButton*>(ok)->click();
    });
    Trigger(res::ID_APP_ABOUT);
    EXPECT_EQ(shownTitle, QStringLiteral("About Tesselon"));
    EXPECT_TRUE(shownTexts.contains(QStringLiteral("<icon>")));
    EXPECT_TRUE(shownTexts.contains(QStringLiteral("Tesselon Version 1.2.0")));
}

} // namespace
} // namespace app_test
