// Presents per second of the 360 × 240 off-screen surface into 1280 × 720 and
// 1920 × 1080 widgets, against a widget that paints a QImage stretched by
// itself (the same painting without the surface service); and the processor
// time of five idle seconds of the presenter's run loop, presenting a still
// picture on each idle turn, against QEventLoop::exec(). And the smooth
// blit's filtering alone, shrinking video sizes to the surface: the fastest
// code this processor has against SSE2. And the cost of presenting one new
// 1920 × 1080 frame into 1280 × 720 and 1920 × 1080 windows: at the frame's
// own resolution (the presenter now), against the canvas stretched to the
// window (the presenter before) and against Qt painting the frame smoothly
// scaled on every paint.
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.
#include "platform/resampler.h"
#include "platform/run_loop.h"
#include "playback/presenter.h"
#include "support/paint_counter.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <vector>

namespace {

constexpr int kSurfaceWidth = 360;
constexpr int kSurfaceHeight = 240;

std::map<int, double> peerCpuPerPresent; // by widget width
double peerIdleCpuFraction = 0;

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double WallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

using testing_support::PaintCounter;

// Shows the widget and waits until its window can be painted.
void ShowExposed(QWidget& widget) {
    widget.show();
    for (int pass = 0;
         pass < 1000 && !(widget.windowHandle() && widget.windowHandle()->isExposed()); ++pass)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

class ImageWidget final : public QWidget {
public:
    QImage image{kSurfaceWidth, kSurfaceHeight, QImage::Format_RGB32};

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(rect(), image);
    }
};

// Processes events until the widget has been painted once more.
bool PumpUntilPainted(const PaintCounter& counter, int before) {
    for (int pass = 0; pass < 10000; ++pass) {
        if (counter.paints > before)
            return true;
        QCoreApplication::processEvents();
    }
    return false;
}

// Rates per second of processor time (the cost of presenting) and per second
// of wall time (what this machine, shared with other work, delivered).
void ReportPresents(benchmark::State& state, double cpuSeconds, double wallSeconds, int paints,
                    bool peer) {
    if (paints < int(state.iterations()))
        state.SkipWithError("not every present was painted");
    const double cpuPerPresent = cpuSeconds / double(state.iterations());
    state.counters["presents_per_cpu_second"] = 1.0 / cpuPerPresent;
    state.counters["paints_per_present"] = double(paints) / double(state.iterations());
    state.counters["presents_per_wall_second"] = double(state.iterations()) / wallSeconds;
    const int width = int(state.range(0));
    if (peer)
        peerCpuPerPresent[width] = cpuPerPresent;
    else if (peerCpuPerPresent[width] > 0)
        state.counters["cost_ratio_to_plain_qt"] = cpuPerPresent / peerCpuPerPresent[width];
}

void BM_Present_PlainQt(benchmark::State& state) {
    ImageWidget widget;
    widget.setAttribute(Qt::WA_OpaquePaintEvent);
    widget.resize(int(state.range(0)), int(state.range(1)));
    ShowExposed(widget);
    widget.image.fill(0xFF666666);
    PaintCounter counter;
    widget.installEventFilter(&counter);
    std::uint8_t value = 0;
    const double cpuStart = ThreadCpuSeconds();
    const double wallStart = WallSeconds();
    for (auto _ : state) {
        widget.image.bits()[0] = ++value;
        const int before = counter.paints;
        widget.update();
        if (!PumpUntilPainted(counter, before))
            break;
    }
    ReportPresents(state, ThreadCpuSeconds() - cpuStart, WallSeconds() - wallStart, counter.paints,
                   true);
}

void BM_Present_Presenter(benchmark::State& state) {
    QWidget window;
    window.resize(int(state.range(0)), int(state.range(1)));
    ShowExposed(window);
    CGameApp presenter;
    if (!presenter.Init(kSurfaceWidth, kSurfaceHeight, 32, &window, [] { return 0; })) {
        state.SkipWithError("Init failed");
        return;
    }
    QTimer::singleShot(0, [] { platform::PostQuitMessage(0); });
    presenter.RunMessageLoop(); // one turn: the presenter becomes active
    int size = 0;
    std::uint8_t* bits = presenter.LockFrame(&size);
    std::memset(bits, 0x66, std::size_t(size));
    presenter.UnlockFrame();
    PaintCounter counter;
    window.installEventFilter(&counter); // runs before the presenter's painting filter
    std::uint8_t value = 0;
    const double cpuStart = ThreadCpuSeconds();
    const double wallStart = WallSeconds();
    for (auto _ : state) {
        // A changed pixel makes every present carry a new picture.
        bits = presenter.LockFrame(&size);
        bits[0] = ++value;
        presenter.UnlockFrame();
        const int before = counter.paints;
        if (presenter.BlitToWindow() != platform::DD_OK) {
            state.SkipWithError("blit failed");
            break;
        }
        if (!PumpUntilPainted(counter, before))
            break;
    }
    ReportPresents(state, ThreadCpuSeconds() - cpuStart, WallSeconds() - wallStart, counter.paints,
                   false);
    window.removeEventFilter(&counter);
    presenter.Release();
}

// Five idle seconds: the fraction of one core used. Our loop runs as the
// program's does with nothing to play: every idle turn presents the same
// still picture again and reports that it has nothing else to do.
double IdleCpuFraction(CGameApp* presenter) {
    const double cpuStart = ProcessCpuSeconds();
    const double wallStart = WallSeconds();
    if (presenter != nullptr) {
        QTimer::singleShot(5000, [] { platform::PostQuitMessage(0); });
        presenter->RunMessageLoop();
    } else {
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return (ProcessCpuSeconds() - cpuStart) / (WallSeconds() - wallStart);
}

void BM_Idle_QtEventLoop(benchmark::State& state) {
    for (auto _ : state)
        peerIdleCpuFraction = IdleCpuFraction(nullptr);
    state.counters["cpu_percent_of_a_core"] = peerIdleCpuFraction * 100;
}

void BM_Idle_RunLoop(benchmark::State& state) {
    QWidget window;
    window.resize(640, 480);
    ShowExposed(window);
    CGameApp presenter;
    const bool ready = presenter.Init(kSurfaceWidth, kSurfaceHeight, 32, &window, [&presenter] {
        const int result = presenter.BlitToWindow();
        platform::ReportIdle();
        return result;
    });
    if (!ready) {
        state.SkipWithError("Init failed");
        return;
    }
    double fraction = 0;
    for (auto _ : state)
        fraction = IdleCpuFraction(&presenter);
    state.counters["cpu_percent_of_a_core"] = fraction * 100;
    state.counters["cpu_percent_above_qt"] = (fraction - peerIdleCpuFraction) * 100;
    presenter.Release();
}

std::map<int, double> sse2CpuPerResample; // by source width

void ResampleToSurface(benchmark::State& state, platform::ResampleCode code) {
    const int width = int(state.range(0));
    const int height = int(state.range(1));
    std::vector<std::uint8_t> source(std::size_t(width) * std::size_t(height) * 4);
    std::mt19937 generator(1);
    for (std::uint8_t& byte : source)
        byte = std::uint8_t(generator());
    std::vector<std::uint8_t> dest(std::size_t(kSurfaceWidth) * kSurfaceHeight * 4);
    const platform::PixelArea destArea{dest.data(), kSurfaceWidth * 4, kSurfaceWidth,
                                       kSurfaceHeight};
    const platform::ConstPixelArea sourceArea{source.data(), width * 4, width, height};
    const double cpuStart = ThreadCpuSeconds();
    for (auto _ : state) {
        platform::ResampleSmooth(destArea, sourceArea, code);
        benchmark::DoNotOptimize(dest.data());
        benchmark::ClobberMemory();
    }
    const double cpuPerResample = (ThreadCpuSeconds() - cpuStart) / double(state.iterations());
    state.counters["avx2"] = platform::ResampleCodeSupported(platform::ResampleCode::kAvx2);
    if (code == platform::ResampleCode::kSse2)
        sse2CpuPerResample[width] = cpuPerResample;
    else if (sse2CpuPerResample[width] > 0)
        state.counters["speedup_over_sse2"] = sse2CpuPerResample[width] / cpuPerResample;
}

void BM_ResampleSmooth_Sse2(benchmark::State& state) {
    ResampleToSurface(state, platform::ResampleCode::kSse2);
}

void BM_ResampleSmooth_Fastest(benchmark::State& state) {
    ResampleToSurface(state, platform::ResampleCode::kFastest);
}

// ---- One new frame presented ----

constexpr int kFrameWidth = 1920;
constexpr int kFrameHeight = 1080;

enum class FramePath {
    kQtSmoothPaint, // the frame painted by QPainter with smoothing, scaled on every paint
    kCanvas,        // the 360 × 240 canvas stretched to the window, as presenting was
    kFullResolution // the presenter: the frame itself, scaled once
};

std::map<int, double> canvasCpuPerFrame; // by widget width
std::map<int, double> qtCpuPerFrame;

// A detailed frame: noise, which the canvas cannot carry.
void FillNoise(std::uint8_t* bits, std::size_t bytes) {
    std::mt19937 generator(7);
    for (std::size_t i = 0; i < bytes; ++i)
        bits[i] = std::uint8_t(generator());
}

// Marks the frame as a new one: a block that covers the canvas's first pixel
// whole takes the next value, so the canvas changes with the frame.
void MarkNewFrame(std::uint8_t* bits, int pitch, std::uint8_t value) {
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            bits[y * pitch + x * 4] = value;
}

class FrameWidget final : public QWidget {
public:
    QImage image{kFrameWidth, kFrameHeight, QImage::Format_RGB32};

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), image);
    }
};

void ReportFrames(benchmark::State& state, FramePath path, double cpuSeconds, double wallSeconds) {
    const double cpuPerFrame = cpuSeconds / double(state.iterations());
    state.counters["cpu_ms_per_frame"] = cpuPerFrame * 1e3;
    state.counters["wall_ms_per_frame"] = wallSeconds / double(state.iterations()) * 1e3;
    const int width = int(state.range(0));
    if (path == FramePath::kQtSmoothPaint)
        qtCpuPerFrame[width] = cpuPerFrame;
    if (path == FramePath::kCanvas)
        canvasCpuPerFrame[width] = cpuPerFrame;
    if (path == FramePath::kFullResolution && canvasCpuPerFrame[width] > 0)
        state.counters["cpu_ratio_to_canvas"] = cpuPerFrame / canvasCpuPerFrame[width];
    if (path != FramePath::kQtSmoothPaint && qtCpuPerFrame[width] > 0)
        state.counters["cpu_ratio_to_qt_smooth"] = cpuPerFrame / qtCpuPerFrame[width];
}

void BM_PresentFrame_QtSmoothPaint(benchmark::State& state) {
    FrameWidget widget;
    widget.setAttribute(Qt::WA_OpaquePaintEvent);
    widget.resize(int(state.range(0)), int(state.range(1)));
    ShowExposed(widget);
    FillNoise(widget.image.bits(), std::size_t(widget.image.sizeInBytes()));
    PaintCounter counter;
    widget.installEventFilter(&counter);
    std::uint8_t value = 0;
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double cpuStart = ProcessCpuSeconds();
        const double wallStart = WallSeconds();
        MarkNewFrame(widget.image.bits(), int(widget.image.bytesPerLine()), ++value);
        const int before = counter.paints;
        widget.update();
        if (!PumpUntilPainted(counter, before)) {
            state.SkipWithError("not painted");
            break;
        }
        cpu += ProcessCpuSeconds() - cpuStart;
        wall += WallSeconds() - wallStart;
    }
    ReportFrames(state, FramePath::kQtSmoothPaint, cpu, wall);
}

// The frame goes into the canvas as the video source puts it there (not
// timed: both presenter paths need it), then is presented and painted.
void PresentFrames(benchmark::State& state, FramePath path) {
    QWidget window;
    window.resize(int(state.range(0)), int(state.range(1)));
    ShowExposed(window);
    CGameApp presenter;
    if (!presenter.Init(kSurfaceWidth, kSurfaceHeight, 32, &window, [] { return 0; })) {
        state.SkipWithError("Init failed");
        return;
    }
    QTimer::singleShot(0, [] { platform::PostQuitMessage(0); });
    presenter.RunMessageLoop(); // one turn: the presenter becomes active
    std::shared_ptr<platform::Surface> sample;
    const platform::SurfaceDescription description{
        platform::DDSD_CAPS | platform::DDSD_WIDTH | platform::DDSD_HEIGHT, kFrameWidth,
        kFrameHeight, platform::DDSCAPS_OFFSCREENPLAIN};
    presenter.Device()->CreateSurface(description, &sample);
    platform::LockedSurface locked;
    sample->Lock(&locked, platform::DDLOCK_WAIT);
    FillNoise(locked.bits, std::size_t(locked.pitch) * std::size_t(locked.height));
    sample->Unlock();
    PaintCounter counter;
    window.installEventFilter(&counter);
    std::uint8_t value = 0;
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        sample->Lock(&locked, platform::DDLOCK_WAIT);
        MarkNewFrame(locked.bits, locked.pitch, ++value);
        sample->Unlock();
        presenter.Offscreen()->Blt(nullptr, sample.get(), nullptr,
                                   platform::DDBLT_WAIT | platform::kBltSmooth);
        const double cpuStart = ProcessCpuSeconds();
        const double wallStart = WallSeconds();
        const int before = counter.paints;
        // The canvas path is the presenting blit without the frame's origin.
        const platform::SurfaceResult result =
            path == FramePath::kCanvas ? presenter.Primary()->Blt(nullptr, presenter.Offscreen(),
                                                                  nullptr, platform::DDBLT_WAIT)
                                       : presenter.BlitToWindow();
        if (result != platform::DD_OK || !PumpUntilPainted(counter, before)) {
            state.SkipWithError("not presented");
            break;
        }
        cpu += ProcessCpuSeconds() - cpuStart;
        wall += WallSeconds() - wallStart;
    }
    ReportFrames(state, path, cpu, wall);
    window.removeEventFilter(&counter);
    presenter.Release();
}

void BM_PresentFrame_Canvas(benchmark::State& state) {
    PresentFrames(state, FramePath::kCanvas);
}

void BM_PresentFrame_FullResolution(benchmark::State& state) {
    PresentFrames(state, FramePath::kFullResolution);
}

} // namespace

BENCHMARK(BM_PresentFrame_QtSmoothPaint)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresentFrame_Canvas)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresentFrame_FullResolution)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleSmooth_Sse2)
    ->Args({640, 360})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResampleSmooth_Fastest)
    ->Args({640, 360})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Present_PlainQt)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Present_Presenter)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Idle_QtEventLoop)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Idle_RunLoop)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // Qt paints at most once per display refresh; unthrottled, every present
    // below is painted before the next one, so each costs one full paint.
    qputenv("QT_QPA_UPDATE_IDLE_TIME", "0");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
