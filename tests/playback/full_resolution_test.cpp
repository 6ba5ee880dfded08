// The window shows the frame at its own resolution when it is larger than the
// 360 x 240 canvas: detailed 1280 x 720 pictures (noise, one-pixel lines,
// small text) are made into lossless clips with the ffmpeg command at test
// time, played or stepped through the presenter and the video source, and
// what the window paints is compared with the pictures themselves. Windows
// of the canvas's size or smaller show the canvas as they always did.
#include "playback/frame_capture.h"
#include "playback/presenter.h"
#include "playback/video_source.h"

#include "media/pacing_clock.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "platform/run_loop.h"
#include "support/temporary_folder.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using playback::kCaptureRect;

constexpr int kClipWidth = 1280;
constexpr int kClipHeight = 720;
constexpr int kSteppedFrames = 6;
constexpr double kFramesPerSecond = 25;

bool HaveFfmpeg() {
    return std::system("command -v ffmpeg > /dev/null 2>&1") == 0;
}

bool Ffmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -hide_banner -loglevel error -nostdin -y " + arguments).c_str()) ==
           0;
}

// Noise over a colour ramp, a grid of one-pixel lines and rows of small text:
// detail that a 360 x 240 stretch cannot carry. Each seed gives another picture.
QImage DetailedPicture(int seed) {
    QImage picture(kClipWidth, kClipHeight, QImage::Format_RGB32);
    std::mt19937 noise(static_cast<unsigned>(seed));
    for (int y = 0; y < kClipHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < kClipWidth; ++x) {
            const int grain = int(noise() % 64) - 32;
            row[x] = qRgb(std::clamp(x / 5 + grain, 0, 255), std::clamp(y / 3 + grain, 0, 255),
                          std::clamp(128 + grain + seed * 20, 0, 255));
        }
    }
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    for (int x = seed % 7; x < kClipWidth; x += 7)
        painter.drawLine(x, 0, x, kClipHeight / 2);
    for (int y = kClipHeight / 2 + seed % 5; y < kClipHeight; y += 5)
        painter.drawLine(0, y, kClipWidth / 2, y);
    painter.setPen(Qt::white);
    painter.setFont(QFont(QStringLiteral("Arial"), 7));
    for (int y = kClipHeight / 2 + 12; y < kClipHeight; y += 11)
        painter.drawText(kClipWidth / 2 + 4, y,
                         QStringLiteral("Frame %1 line %2: the quick brown fox").arg(seed).arg(y));
    return picture;
}

// Peak signal-to-noise ratio over the colour bytes of two pictures of one size.
double Psnr(const QImage& shown, const QImage& expected) {
    const QImage a = shown.convertToFormat(QImage::Format_RGB32);
    const QImage b = expected.convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(a.size(), b.size());
    if (a.size() != b.size())
        return 0;
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            for (int shift : {0, 8, 16}) {
                const double difference =
                    double((rowA[x] >> shift) & 0xFF) - double((rowB[x] >> shift) & 0xFF);
                squares += difference * difference;
            }
        }
    }
    const double mean = squares / (3.0 * a.width() * a.height());
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

QImage SmoothlyScaled(const QImage& picture, QSize size) {
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

class FullResolution : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!HaveFfmpeg())
            return;
        folder_ = new testing_support::TemporaryFolder("full-resolution");
        for (int seed = 0; seed < kSteppedFrames; ++seed)
            DetailedPicture(seed).save(QString::fromStdString(
                (folder_->Path() / ("frame" + std::to_string(seed) + ".png")).string()));
        const std::string frames = (folder_->Path() / "frame%d.png").string();
        stillMade_ = Ffmpeg("-loop 1 -framerate 25 -i '" +
                                          (folder_->Path() / "frame0.png").string() +
                                          "' -t 0.4 -pix_fmt bgr0 -c:v ffv1 '" +
                                          (folder_->Path() / "still.mkv").string() + "'");
        steppedMade_ = Ffmpeg("-framerate 25 -i '" + frames +
                                            "' -pix_fmt bgr0 -c:v ffv1 '" +
                                            (folder_->Path() / "stepped.mkv").string() + "'");
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }

    void SetUp() override {
        if (!HaveFfmpeg())
            GTEST_SKIP() << "the ffmpeg command is missing";
        ASSERT_TRUE(stillMade_ && steppedMade_) << "ffmpeg could not make the clips";
        ResizeView(QSize(kClipWidth, kClipHeight));
        window_.show();
        ASSERT_TRUE(presenter_.Init(360, 240, 32, &window_, [] {
            platform::PostQuitMessage(0);
            return 0;
        }));
        presenter_.RunMessageLoop(); // one turn: the presenter becomes active
    }
    void TearDown() override {
        source_.ReleaseAll();
        presenter_.Release();
    }

    void ResizeView(QSize size) {
        window_.resize(size);
        test_support::PumpPending();
    }

    void Open(const char* clip) {
        ASSERT_TRUE(source_.Open(folder_->Path() / clip, presenter_.Device()));
        ASSERT_TRUE(source_.Play());
    }

    // As the program's idle turn does: the next frame into the canvas, then
    // the canvas presented.
    void RenderAndPresent() {
        ASSERT_TRUE(source_.Render(presenter_.Offscreen(), kCaptureRect,
                                   playback::FetchWait::UntilNextFrame));
        ASSERT_EQ(presenter_.BlitToWindow(), platform::DD_OK);
    }

    QImage Shown() { return window_.grab().toImage(); }

    // The canvas drawn into the view as the window drew it before: Qt's
    // painting of the 360 x 240 picture without smoothing.
    QImage CanvasStretchedTo(QSize size) {
        picture::Picture copy = presenter_.CopyFrame();
        const QImage canvas(copy.Pixels(), 360, 240, 360 * 4, QImage::Format_RGB32);
        QImage drawn(size, QImage::Format_RGB32);
        QPainter painter(&drawn);
        painter.drawImage(QRect(QPoint(0, 0), size), canvas.convertToFormat(QImage::Format_RGB32));
        return drawn;
    }

    // The detailed picture of the frame on show, by its time.
    QImage PictureShown() {
        const double frame = double(source_.ShownTime()) * kFramesPerSecond / 1e7;
        return DetailedPicture(int(std::lround(frame)));
    }

    static inline testing_support::TemporaryFolder* folder_ = nullptr;
    static inline bool stillMade_ = false;
    static inline bool steppedMade_ = false;

    platform::ScriptedDialogs dialogs_;
    QWidget window_;
    CGameApp presenter_;
    CDShow source_{{std::make_shared<media::FreeRunningTimeSource>(), media::AudioMode::Silent}};
};

struct ViewCase {
    const char* name;
    QSize view;
    double leastPsnr; // against the picture scaled smoothly to the view
};

class ViewSizes : public FullResolution, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(ViewSizes, LargerThanTheCanvasShowsThePictureAtItsOwnResolution) {
    const ViewCase& view = GetParam();
    ResizeView(view.view);
    Open("still.mkv");
    RenderAndPresent();
    const QImage expected = view.view == QSize(kClipWidth, kClipHeight)
                                ? DetailedPicture(0)
                                : SmoothlyScaled(DetailedPicture(0), view.view);
    EXPECT_GE(Psnr(Shown(), expected), view.leastPsnr);
}

INSTANTIATE_TEST_SUITE_P(
    Playback, ViewSizes,
    ::testing::Values(ViewCase{"SameSize", {1280, 720}, 35},
                      ViewCase{"Shrunk", {960, 540}, 35},
                      ViewCase{"WiderOnly", {400, 200}, 35},
                      ViewCase{"Enlarged", {1600, 900}, 35}),
    [](const auto& info) { return std::string(info.param.name); });

class SmallViews : public FullResolution, public ::testing::WithParamInterface<QSize> {};

TEST_P(SmallViews, ShowTheCanvasAsBefore) {
    ResizeView(GetParam());
    Open("still.mkv");
    RenderAndPresent();
    EXPECT_EQ(Shown(), CanvasStretchedTo(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Playback, SmallViews,
                         ::testing::Values(QSize(360, 240), QSize(320, 200), QSize(47, 33)),
                         [](const auto& info) {
                             return std::to_string(info.param.width()) + "x" +
                                    std::to_string(info.param.height());
                         });

// Each case pauses on the first frame, then moves as the frame-by-frame
// commands do; the window must show the frame landed on in full detail.
struct StepCase {
    const char* name;
    std::function<void(CDShow&, CGameApp&)> move;
};

class PausedSteps : public FullResolution, public ::testing::WithParamInterface<StepCase> {};

TEST_P(PausedSteps, ShowTheFrameLandedOnInFullDetail) {
    Open("stepped.mkv");
    RenderAndPresent();
    ASSERT_TRUE(source_.PauseToggle());
    GetParam().move(source_, presenter_);
    presenter_.BlitToWindow();
    ASSERT_GT(source_.ShownTime(), 0) << "the move left the first frame on show";
    EXPECT_GE(Psnr(Shown(), PictureShown()), 35);
}

INSTANTIATE_TEST_SUITE_P(
    Playback, PausedSteps,
    ::testing::Values(
        StepCase{"StepForward",
                 [](CDShow& source, CGameApp& presenter) {
                     source.StepForward(presenter.Offscreen(), kCaptureRect);
                 }},
        StepCase{"StepForwardTwiceAndBack",
                 [](CDShow& source, CGameApp& presenter) {
                     source.StepForward(presenter.Offscreen(), kCaptureRect);
                     source.StepForward(presenter.Offscreen(), kCaptureRect);
                     source.StepForward(presenter.Offscreen(), kCaptureRect);
                     source.StepBack(presenter.Offscreen(), kCaptureRect);
                 }},
        StepCase{"ShowFrameAt",
                 [](CDShow& source, CGameApp& presenter) {
                     source.ShowFrameAt(playback::MillisecondsToStreamTime(160),
                                        presenter.Offscreen(), kCaptureRect);
                 }},
        StepCase{"CanvasCopiedAfterTheStep",
                 [](CDShow& source, CGameApp& presenter) {
                     source.StepForward(presenter.Offscreen(), kCaptureRect);
                     presenter.CopyFrame(); // a capture only reads the canvas
                 }},
        StepCase{"PresentingSurfaceLostThenRestored",
                 [](CDShow& source, CGameApp& presenter) {
                     source.StepForward(presenter.Offscreen(), kCaptureRect);
                     presenter.Primary()->MarkLost();
                     presenter.BlitToWindow(); // finds the loss and restores
                 }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FullResolution, APausedWindowResizedIsFilledFromTheFrameAgain) {
    ResizeView(QSize(360, 240));
    Open("stepped.mkv");
    RenderAndPresent();
    ASSERT_TRUE(source_.PauseToggle());
    source_.StepForward(presenter_.Offscreen(), kCaptureRect);
    presenter_.BlitToWindow();
    for (const QSize size : {QSize(1280, 720), QSize(1000, 600)}) {
        ResizeView(size); // paused: nothing is presented again
        EXPECT_GE(Psnr(Shown(), SmoothlyScaled(PictureShown(), size)), 30) << size.width();
    }
}

TEST_F(FullResolution, ACanvasWrittenDirectlyIsShownInsteadOfTheOldFrame) {
    Open("still.mkv");
    RenderAndPresent();
    int size = 0;
    std::uint8_t* bits = presenter_.LockFrame(&size);
    ASSERT_NE(bits, nullptr);
    std::fill(bits, bits + size, std::uint8_t{0x40});
    presenter_.UnlockFrame();
    presenter_.BlitToWindow();
    EXPECT_EQ(Shown().pixel(640, 360) & 0xFFFFFF, 0x404040u);
}

} // namespace
