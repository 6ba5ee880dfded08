// Opening an images dialog with 100 views and switching its tab, beside a
// plain QTabWidget with the same 100 image views as pages, in the same run.
// The "ratio" counters are our time over QTabWidget's.
//
// Each iteration ends when the newly shown view has been painted, so the
// times include laying out and painting, not only making widgets.
#include "images/image_view.h"
#include "images/images_dialog.h"
#include "platform/dialogs.h"
#include "res/strings.h"
#include "support/paint_counter.h"

#include <QApplication>
#include <QTabWidget>
#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace {

using images::CImagesDlg;
using images::ImageList;
using images::ImageView;
using testing_support::PaintCounter;
using Clock = std::chrono::steady_clock;

constexpr int kCount = 100;

double peerOpenSeconds = 0;
double peerSwitchSeconds = 0;

// 100 captured images, each a colour of its own.
constexpr picture::Shape kShape{360, 240, 16};

struct Batch {
    std::vector<picture::Picture> pictures;
    QStringList names;

    Batch() {
        for (int i = 0; i < kCount; ++i) {
            picture::Picture image = picture::Picture::Allocate(kShape);
            for (std::size_t byte = 0; byte < image.Bytes(); ++byte)
                image.Pixels()[byte] = static_cast<std::uint8_t>(i * 7 + byte % 4 * 50);
            pictures.push_back(std::move(image));
            names.append(QString::number(i * 40));
        }
    }
};

Batch& TheBatch() {
    static Batch batch;
    return batch;
}

bool PaintedAfter(PaintCounter& counter, int before) {
    for (int pass = 0; pass < 100000 && counter.paints <= before; ++pass)
        QCoreApplication::processEvents();
    return counter.paints > before;
}

// QTabWidget with the same views as pages.
struct PlainTabs {
    ImageList list{kCount, 360, 240, TheBatch().names, kShape};
    std::unique_ptr<QTabWidget> tabs;
    std::vector<ImageView*> views;

    PlainTabs() {
        for (auto& image : TheBatch().pictures)
            (void)list.AddImage(image);
        list.StampBandIfNeeded();
        tabs = std::make_unique<QTabWidget>();
        for (int i = 0; i < kCount; ++i) {
            views.push_back(new ImageView(list, i));
            tabs->addTab(views.back(), list.Name(i));
        }
        tabs->resize(380, 300);
    }
};

std::unique_ptr<CImagesDlg> MakeDialog() {
    auto dialog = std::make_unique<CImagesDlg>(kCount, 360, 240, TheBatch().names, kShape);
    for (auto& image : TheBatch().pictures)
        (void)dialog->AddImage(image);
    return dialog;
}

void Report(benchmark::State& state, double seconds, double& peerSeconds, bool peer) {
    const double perIteration = seconds / double(state.iterations());
    state.counters["ms"] = perIteration * 1000;
    if (peer)
        peerSeconds = perIteration;
    else if (peerSeconds > 0)
        state.counters["ratio_to_qtabwidget"] = perIteration / peerSeconds;
}

void BM_Open_QTabWidget(benchmark::State& state) {
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        PlainTabs plain;
        PaintCounter counter;
        plain.views[0]->installEventFilter(&counter);
        plain.tabs->show();
        if (!PaintedAfter(counter, 0))
            state.SkipWithError("the first page was never painted");
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    Report(state, seconds, peerOpenSeconds, true);
}

void BM_Open_ImagesDialog(benchmark::State& state) {
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        std::unique_ptr<CImagesDlg> dialog = MakeDialog();
        dialog->show(); // the views are made as the dialog shows
        PaintCounter counter;
        dialog->Views(0)[0]->installEventFilter(&counter);
        if (!PaintedAfter(counter, 0))
            state.SkipWithError("the first view was never painted");
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    Report(state, seconds, peerOpenSeconds, false);
}

// Seconds spent showing tab after tab (every 37th, round the 100) until each
// new view has been painted.
double TimeSwitches(benchmark::State& state, const std::vector<ImageView*>& views,
                    const std::function<void(int)>& select) {
    PaintCounter counter;
    for (ImageView* view : views)
        view->installEventFilter(&counter);
    double seconds = 0;
    int next = 1;
    for (auto _ : state) {
        const int before = counter.paints;
        const auto start = Clock::now();
        select(next);
        if (!PaintedAfter(counter, before))
            state.SkipWithError("the view was never painted");
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        next = (next + 37) % kCount;
    }
    return seconds;
}

void BM_Switch_QTabWidget(benchmark::State& state) {
    PlainTabs plain;
    plain.tabs->show();
    QCoreApplication::processEvents();
    const double seconds =
        TimeSwitches(state, plain.views, [&](int index) { plain.tabs->setCurrentIndex(index); });
    Report(state, seconds, peerSwitchSeconds, true);
}

void BM_Switch_ImagesDialog(benchmark::State& state) {
    std::unique_ptr<CImagesDlg> dialog = MakeDialog();
    dialog->show();
    QCoreApplication::processEvents();
    const double seconds =
        TimeSwitches(state, dialog->Views(0), [&](int index) { dialog->SelectImage(index); });
    Report(state, seconds, peerSwitchSeconds, false);
}

} // namespace

BENCHMARK(BM_Open_QTabWidget)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Open_ImagesDialog)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Switch_QTabWidget)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Switch_ImagesDialog)->Unit(benchmark::kMillisecond)->MinTime(1.0);

int main(int argc, char** argv) {
    qputenv("QT_QPA_UPDATE_IDLE_TIME", "0");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    platform::InstallStringTable(&res::SharedTableString);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
