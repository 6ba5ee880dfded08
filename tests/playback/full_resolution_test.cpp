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

// Losslessly, in the pictures' own RGB.
bool MakeClip(const std::string& input, const fs::path& clip) {
    return std::system(("ffmpeg -hide_banner -loglevel error -nostdin -y -framerate 25 " + input +
                        " -pix_fmt bgr0 -c:v ffv1 '" + clip.string() + "'")
                           .c_str()) == 0;
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
    if (a.size() != b.size())
        return 0;
    double squares = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int shift : {0, 8, 16}) {
                const int difference =
                    int((a.pixel(x, y) >> shift) & 0xFF) - int((b.pixel(x, y) >> shift) & 0xFF);
                squares += difference * difference;
            }
    const double mean = squares / (3.0 * a.width() * a.height());
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

QImage SmoothlyScaled(const QImage& picture, QSize size) {
    return picture.size() == size
               ? picture
               : picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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
        const fs::path& folder = folder_->Path();
        made_ = MakeClip("-loop 1 -i '" + (folder / "frame0.png").string() + "' -t 0.4",
                         folder / "still.mkv") &&
                MakeClip("-i '" + (folder / "frame%d.png").string() + "'", folder / "stepped.mkv");
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }

    void SetUp() override {
        if (!HaveFfmpeg())
            GTEST_SKIP() << "the ffmpeg command is missing";
        ASSERT_TRUE(made_) << "ffmpeg could not make the clips";
        ResizeView(QSize(kClipWidth, kClipHeight));
        window_.show();
        ASSERT_TRUE(presenter_.Init(360, 240, 32, &window_, [] {
            platform::PostQuitMessage(0);
            return 0;
        }));
        presenter_.RunMessageLoop(); // one turn: the presenter becomes active
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
    static inline bool made_ = false;

    platform::ScriptedDialogs dialogs_;
    QWidget window_;
    CGameApp presenter_;
    CDShow source_{{std::make_shared<media::FreeRunningTimeSource>(), media::AudioMode::Silent}};
};

std::string SizeName(const ::testing::TestParamInfo<QSize>& info) {
    return std::to_string(info.param.width()) + "x" + std::to_string(info.param.height());
}

// Against the picture, or its smooth scaling by Qt where the view's size differs.
class LargeViews : public FullResolution, public ::testing::WithParamInterface<QSize> {};

TEST_P(LargeViews, ShowThePictureAtItsOwnResolution) {
    ResizeView(GetParam());
    Open("still.mkv");
    RenderAndPresent();
    EXPECT_GE(Psnr(Shown(), SmoothlyScaled(DetailedPicture(0), GetParam())), 35);
}

INSTANTIATE_TEST_SUITE_P(Playback, LargeViews,
                         ::testing::Values(QSize(1280, 720), QSize(960, 540), QSize(400, 200),
                                           QSize(1600, 900)),
                         SizeName);

class SmallViews : public FullResolution, public ::testing::WithParamInterface<QSize> {};

TEST_P(SmallViews, ShowTheCanvasAsBefore) {
    ResizeView(GetParam());
    Open("still.mkv");
    RenderAndPresent();
    EXPECT_EQ(Shown(), CanvasStretchedTo(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Playback, SmallViews,
                         ::testing::Values(QSize(360, 240), QSize(320, 200), QSize(47, 33)),
                         SizeName);

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
    ::testing::Values(StepCase{"StepForwardTwiceAndBack",
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

} // namespace
