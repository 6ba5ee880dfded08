// presenter-demo [--frames N]: a resizable window whose 360 × 240 off-screen
// surface gets a moving test pattern on each idle turn, presented stretched at
// about 60 frames per second. With --frames it quits after N frames and
// prints the rate it reached.
#include "platform/run_loop.h"
#include "playback/frame_capture.h"
#include "playback/presenter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kWidth = playback::kCaptureRect.Width();
constexpr int kHeight = playback::kCaptureRect.Height();
constexpr qint64 kFrameNanoseconds = 16'666'667;

// Closing the window ends the run loop.
class DemoWindow final : public QWidget {
protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        platform::PostQuitMessage(0);
    }
};

// Diagonal colour bands that move one pixel a frame, and a white square that
// bounces, so tearing, stretching and dropped frames are easy to see.
void DrawPattern(std::uint8_t* bits, int frame) {
    const int boxX = std::abs((frame * 3) % (2 * (kWidth - 40)) - (kWidth - 40));
    const int boxY = std::abs((frame * 2) % (2 * (kHeight - 40)) - (kHeight - 40));
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(bits + y * kWidth * 4);
        for (int x = 0; x < kWidth; ++x) {
            const int band = ((x + y + frame) / 20) % 6;
            static constexpr std::uint32_t kColours[6] = {0xC00000, 0xC0C000, 0x00C000,
                                                          0x00C0C0, 0x0000C0, 0xC000C0};
            const bool inBox = x >= boxX && x < boxX + 40 && y >= boxY && y < boxY + 40;
            row[x] = inBox ? 0xFFFFFF : kColours[band];
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    long frameLimit = 0;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--frames") == 0)
            frameLimit = std::stol(argv[i + 1]);

    DemoWindow window;
    window.setWindowTitle(QStringLiteral("Presenter demo"));
    window.resize(kWidth * 2, kHeight * 2);
    window.show();

    CGameApp presenter;
    int frame = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 nextFrameDue = 0;
    const bool ready = presenter.Init(kWidth, kHeight, 32, &window, [&]() -> int {
        if (clock.nsecsElapsed() < nextFrameDue) {
            platform::ReportIdle(); // the pacing timer wakes the loop
            return 0;
        }
        nextFrameDue += kFrameNanoseconds;
        int size = 0;
        if (std::uint8_t* bits = presenter.LockFrame(&size)) {
            DrawPattern(bits, frame);
            presenter.UnlockFrame();
        }
        ++frame;
        if (frameLimit > 0 && frame >= frameLimit)
            platform::PostQuitMessage(0);
        return presenter.BlitToWindow();
    });
    if (!ready) {
        presenter.Release();
        return 1;
    }
    QTimer pacing;
    pacing.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pacing, &QTimer::timeout, [] {});
    pacing.start(4);

    const int code = presenter.RunMessageLoop();
    if (frameLimit > 0)
        std::printf("%d frames in %.2f s\n", frame, clock.nsecsElapsed() / 1e9);
    presenter.Release();
    return code;
}
