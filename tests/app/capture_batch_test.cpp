// The capture batch, end to end in the running program: the index clips show
// their frame numbers, so every captured buffer says which frame it holds.
#include "app/capture_batch.h"

#include "capture_fixture.h"
#include "images/image_list.h"
#include "images/images_window.h"
#include "images/progress_dialog.h"
#include "platform/progress_bar.h"
#include "platform/run_loop.h"
#include "platform/surface.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace app_test {
namespace {

namespace fs = std::filesystem;
using images::ImagesWindow;


TEST_F(CaptureBatchTest, HundredConsecutiveFramesFromTheOneOnScreenLoopingWithoutARepeat) {
    StartOn("index.mp4"); // 50 frames, 40 ms apart
    int first = -1;
    bool disabledDuring = false;
    RunBatch([&] {
        first = FrameOnScreen();
        Trigger(res::ID_CONTROL_IMAGES);
        When("Copying image 10 ...", [&] {
            disabledDuring = !Frame().Action(res::ID_CONTROL_IMAGES)->isEnabled() &&
                             !Frame().Action(res::ID_FILE_OPEN)->isEnabled() &&
                             !Frame().ToolBar()->isEnabled() && !Frame().Slider()->isEnabled();
            // A drag far ahead must not become a seek while the worker owns
            // the source: the frames below would no longer follow each other.
            Frame().Slider()->setValue(Frame().Slider()->maximum());
            Frame().OnTimer();
        });
    });
    ASSERT_TRUE(seen_.windowShown);
    EXPECT_FALSE(seen_.fourViews);
    ASSERT_EQ(seen_.frames.size(), 100u);
    ASSERT_GE(first, 0);
    std::map<int, int> taken; // how often each frame was taken before
    for (int i = 0; i < 100; ++i) {
        const int frame = (first + i) % 50;
        EXPECT_EQ(seen_.frames[std::size_t(i)], frame) << i;
        EXPECT_EQ(seen_.sizes[std::size_t(i)], 368640); // 360 × 256 pixels of 4 bytes
        // Named by the frame's time; a time taken before gets "_2", "_3".
        const int before = taken[frame]++;
        const QString time = QString::number(frame * 40);
        EXPECT_EQ(seen_.names[i], before == 0 ? time : time + "_" + QString::number(before + 1))
            << i;
    }
    EXPECT_EQ(taken[first], 2); // the batch went through the end of the clip
    EXPECT_TRUE(disabledDuring);
    // Afterwards the program plays on with its commands back.
    EXPECT_EQ(gCaptureProgressDlg, nullptr);
    EXPECT_TRUE(gSource->RenderEnabled());
    EXPECT_TRUE(gSource->IsPlaying());
    EXPECT_TRUE(Frame().Action(res::ID_CONTROL_IMAGES4)->isEnabled());
    EXPECT_TRUE(Frame().ToolBar()->isEnabled());
}

TEST_F(CaptureBatchTest, FourViewsNameTheFramesZeroZeroToNinetyNine) {
    StartOn("index.mpg");
    RunBatch([&] { Trigger(res::ID_CONTROL_IMAGES4); });
    ASSERT_TRUE(seen_.fourViews);
    ASSERT_EQ(seen_.names.size(), 100);
    EXPECT_EQ(seen_.names.front(), "00");
    EXPECT_EQ(seen_.names[7], "07");
    EXPECT_EQ(seen_.names.back(), "99");
}

TEST_F(CaptureBatchTest, CancelAfterThirtyFramesFreesThoseAndResumesWhereItPaused) {
    StartOn("index.mp4", /*paced=*/true); // so that the position read below has not run far
    QStringList titles;
    int finalBar = -1;
    std::int32_t pausedAt = -1;
    // Read as the batch hands the commands back, just after it resumed: later
    // the clip plays on, and a loaded machine may let it wrap round.
    std::int32_t resumedAt = -1;
    RunBatch([&] {
        Trigger(res::ID_CONTROL_IMAGES);
        QObject::connect(Frame().Action(res::ID_CONTROL_IMAGES), &QAction::changed, [&] {
            if (pausedAt >= 0 && resumedAt < 0 &&
                Frame().Action(res::ID_CONTROL_IMAGES)->isEnabled())
                resumedAt = gSource->GetPositionMs();
        });
        QTimer::singleShot(0, [&] {
            QObject::connect(
                gCaptureProgressDlg, &QWidget::windowTitleChanged, [&](const QString& title) {
                    titles.append(title);
                    finalBar = gCaptureProgressDlg->Bar()->Position();
                    if (title == "Copying image 29 ...")
                        QTest::mouseClick(gCaptureProgressDlg->CancelButton(), Qt::LeftButton);
                    if (title.startsWith("Freeing") && pausedAt < 0)
                        pausedAt = gSource->SavedPositionMs();
                });
            QObject::connect(gCaptureProgressDlg->Bar(), &QProgressBar::valueChanged,
                             [&](int value) { finalBar = value; });
        });
    });
    EXPECT_FALSE(seen_.windowShown);
    EXPECT_EQ(titles.filter("Copying").size(), 30);
    const QStringList freeing = titles.filter("Freeing");
    ASSERT_EQ(freeing.size(), 30);
    EXPECT_EQ(freeing.front(), "Freeing image 00 ...");
    EXPECT_EQ(freeing.back(), "Freeing image 29 ...");
    EXPECT_EQ(finalBar, 100); // stepped for every slot, freed or empty
    ASSERT_GE(pausedAt, 0);
    // Playing again from the paused position.
    EXPECT_TRUE(gSource->IsPlaying());
    EXPECT_FALSE(gSource->IsPaused());
    EXPECT_GE(resumedAt, pausedAt);
    EXPECT_LE(resumedAt, pausedAt + 500);
    EXPECT_TRUE(Frame().Action(res::ID_CONTROL_IMAGES)->isEnabled());
}

TEST_F(CaptureBatchTest, OutOfMemoryWhileCopyingStopsFreesWhatWasTakenAndSaysSo) {
    StartOn("index.mp4", /*paced=*/true);
    QStringList titles;
    RunBatch([&] {
        Trigger(res::ID_CONTROL_IMAGES);
        QTimer::singleShot(0, [&] {
            QObject::connect(
                gCaptureProgressDlg, &QWidget::windowTitleChanged, [&](const QString& title) {
                    titles.append(title);
                    // The copy of frame 30 finds no memory.
                    if (title == "Copying image 29 ...")
                        platform::DisplayFaults::Fail(platform::DisplayStep::kCopyFrame);
                });
        });
    });
    platform::DisplayFaults::Clear();
    EXPECT_FALSE(seen_.windowShown) << "no images window with holes";
    EXPECT_EQ(titles.filter("Copying").size(), 30);
    EXPECT_EQ(titles.filter("Freeing").size(), 30);
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(Frame().Batch().List().pictures[std::size_t(i)].IsNull()) << i;
    const auto messages = dialogs_.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Not enough memory to copy image 30. The images copied were "
                                "freed; playback goes on.");
    EXPECT_TRUE(gSource->IsPlaying());
    EXPECT_TRUE(Frame().Action(res::ID_CONTROL_IMAGES)->isEnabled());
}

TEST_F(CaptureBatchTest, PlaybackGoesOnWhereTheBatchLeftOff) {
    StartOn("long_59_9s.mp4"); // 10 fps: a batch spans 10 s
    // The slider stood still through the batch; the timer's next turn must not
    // take that for a drag back to where the batch began. That turn is taken
    // as playback resumes (the batch's commands come back right after): the
    // free-running clock here plays seconds of the clip in a few milliseconds,
    // where the real clock plays one second between two turns.
    std::int32_t resumedAt = -1;
    std::int32_t afterTimer = -1;
    int sliderAfterTimer = -1;
    QObject::connect(Frame().Action(res::ID_CONTROL_IMAGES), &QAction::enabledChanged,
                     [&](bool enabled) {
                         if (!enabled || resumedAt >= 0 || !gSource->IsPlaying())
                             return;
                         resumedAt = gSource->GetPositionMs();
                         Frame().OnTimer();
                         afterTimer = gSource->GetPositionMs();
                         sliderAfterTimer = Frame().Slider()->value();
                     });
    RunBatch([&] { Trigger(res::ID_CONTROL_IMAGES); });
    ASSERT_TRUE(seen_.windowShown);
    ASSERT_TRUE(gSource->IsPlaying());
    ASSERT_GE(resumedAt, 9000);
    EXPECT_GE(afterTimer, resumedAt);
    EXPECT_EQ(sliderAfterTimer, resumedAt / 1000);
}

TEST_F(CaptureBatchTest, CancelEndsTheWaitForTheNextFrameAtOnce) {
    StartOn("index_1fps.mp4", /*paced=*/true);
    std::chrono::steady_clock::time_point pressed;
    std::chrono::milliseconds tookToPause{-1};
    RunBatch([&] {
        Trigger(res::ID_CONTROL_IMAGES);
        When("Copying image 00 ...", [&] {
            // The worker now waits about a second for frame 1.
            QTimer::singleShot(200, [&] {
                pressed = std::chrono::steady_clock::now();
                gCaptureProgressDlg->OnCancel();
            });
        });
        QTimer* poll = new QTimer(app_.get());
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            if (pressed.time_since_epoch().count() != 0 && gSource->IsPaused() &&
                tookToPause.count() < 0) {
                tookToPause = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - pressed);
                poll->stop();
            }
        });
        poll->start(1);
    });
    ASSERT_GE(tookToPause.count(), 0);
    // Well under the second the worker would otherwise have waited.
    EXPECT_LT(tookToPause.count(), 500);
    RecordProperty("cancel_ms", static_cast<int>(tookToPause.count()));
    EXPECT_FALSE(seen_.windowShown);
}

TEST_F(CaptureBatchTest, ClosingTheMainWindowDuringCaptureEndsTheProgramAfterFreeing) {
    StartOn("index.mp4");
    QStringList titles;
    QTimer::singleShot(0, [&] {
        Trigger(res::ID_CONTROL_IMAGES);
        QTimer::singleShot(0, [&] {
            QObject::connect(gCaptureProgressDlg, &QWidget::windowTitleChanged,
                             [&](const QString& title) {
                                 titles.append(title);
                                 if (title == "Copying image 05 ...")
                                     Frame().close();
                             });
        });
    });
    EXPECT_EQ(app_->Run(), 0);
    EXPECT_EQ(app_->MainFrame(), nullptr);
    EXPECT_FALSE(seen_.windowShown);
    EXPECT_TRUE(titles.contains("Closing, wait ..."));
    EXPECT_FALSE(titles.filter("Freeing").isEmpty());
}

TEST_F(CaptureBatchTest, APausedStreamIsCapturedFromThePausedFrameAndLeftPausedThere) {
    StartOn("index.mp4");
    int paused = -1;
    std::int32_t pausedMs = -1;
    RunBatch([&] {
        // Paused, then moved to another frame: the batch starts at the one
        // shown. From the start, whatever frame the loop had reached, so
        // that the steps never meet the end of the clip.
        Trigger(res::ID_CONTROL_PAUSE);
        for (int step :
             {res::ID_CONTROL_GO_TO_START, res::ID_CONTROL_NEXT_FRAME, res::ID_CONTROL_NEXT_FRAME,
              res::ID_CONTROL_NEXT_FRAME, res::ID_CONTROL_PREVIOUS_FRAME})
            Trigger(step);
        pausedMs = gSource->SavedPositionMs();
        paused = FrameOnScreen();
        ASSERT_EQ(paused, 2);
        Trigger(res::ID_CONTROL_IMAGES);
    });
    ASSERT_EQ(seen_.frames.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(seen_.frames[std::size_t(i)], (paused + i) % 50) << i;
    EXPECT_TRUE(gSource->IsPaused());
    EXPECT_TRUE(Frame().Action(res::ID_CONTROL_PAUSE)->isChecked());
    EXPECT_EQ(gSource->SavedPositionMs(), pausedMs);
    EXPECT_EQ(FrameOnScreen(), paused);
    // Stepping goes on from there.
    Trigger(res::ID_CONTROL_PREVIOUS_FRAME);
    EXPECT_EQ(FrameOnScreen(), paused - 1);
}

#ifdef TESSELON_GRAB
TEST_F(CaptureBatchTest, TheProgramAndTesselonGrabWriteTheSameFiles) {
    const fs::path folder =
        fs::temp_directory_path() / ("capture-vs-grab-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "program");
    const fs::path previous = fs::current_path();
    fs::current_path(folder / "program"); // the images window saves here
    StartOn("index.mp4");
    int first = -1;
    onWindow_ = [](ImagesWindow& window) {
        window.show();
        window.List().SetLabel(false, window.List().LabelText()); // 240 rows, as the tool writes
        window.Command(res::ID_IMAGES_SAVE_ALL)->trigger();
        while (window.SavingProgress() != nullptr ||
               !window.Command(res::ID_IMAGES_SAVE_ALL)->isEnabled())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    RunBatch([&] {
        first = FrameOnScreen();
        Trigger(res::ID_CONTROL_IMAGES);
    });
    fs::current_path(previous);
    const std::string command = std::string(TESSELON_GRAB) + " --start " +
                                std::to_string(first * 40 / 1000.0) + " --count 100 '" +
                                DataPath("index.mp4").toStdString() + "' '" +
                                (folder / "tool").string() + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder / "tool"))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names.size(), 100u);
    for (const std::string& name : names) {
        const auto bytes = [](const fs::path& path) {
            std::ifstream in(path, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        ASSERT_TRUE(fs::exists(folder / "program" / name)) << name;
        EXPECT_EQ(bytes(folder / "program" / name), bytes(folder / "tool" / name)) << name;
    }
    fs::remove_all(folder);
}
#endif

} // namespace
} // namespace app_test
