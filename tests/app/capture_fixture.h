// Test support: a capture batch run in the program, and what its images
// window was given.
#pragma once

#include "app/capture_batch.h"
#include "app_fixture.h"
#include "images/image_list.h"
#include "images/images_window.h"
#include "platform/run_loop.h"

#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

namespace app_test {

using images::ImagesWindow;

struct Seen {
    bool windowShown = false;
    bool fourViews = false;
    QStringList names;
    std::vector<int> frames;
    std::vector<int> sizes;
    std::vector<picture::Shape> shapes;
    // The brightest byte of each picture's frame rows.
    std::vector<int> brightest;
};

class CaptureBatchTest : public AppTest {
protected:
    // Starts the program on `clip` (frames taken as fast as they decode
    // unless paced), and records what the images window is given.
    void StartOn(const char* clip, bool paced = false) { StartOnPath(DataPath(clip), paced); }
    void StartOnPath(const QString& clip, bool paced = false, QString settingsFile = {}) {
        CGrabberApp::Options options = SilentOptions();
        if (!paced)
            options.source.timeSource = std::make_shared<media::FreeRunningTimeSource>();
        options.settingsFile = std::move(settingsFile);
        ASSERT_TRUE(Start(std::move(options)));
        OpenThroughMenu(clip);
        ASSERT_TRUE(gSource->IsPlaying());
        Frame().Batch().SetImagesWindowRunner([this](ImagesWindow& window) {
            seen_.windowShown = true;
            seen_.fourViews = window.List().ViewCount() == 4;
            for (int i = 0; i < window.List().Count(); ++i) {
                seen_.names.append(window.List().Name(i));
                const picture::Picture* shown = window.List().PictureAt(i);
                seen_.frames.push_back(shown ? FrameIndex(shown->Pixels(), shown->Stride(),
                                                          shown->Width(), shown->Height())
                                             : -1);
                seen_.sizes.push_back(shown ? static_cast<int>(shown->Bytes()) : 0);
                if (shown) {
                    seen_.shapes.push_back(shown->GetShape());
                    seen_.brightest.push_back(*std::max_element(
                        shown->Pixels(), shown->Pixels() + std::size_t(shown->Stride()) *
                                                               std::size_t(shown->Height())));
                }
            }
            if (onWindow_)
                onWindow_(window);
            return 0;
        });
    }

    // Runs the program's loop: `begin` once the clip has played to 200 ms (the
    // frame on screen is then a frame of the clip), then until the batch is
    // over (or the frame has closed).
    void RunBatch(const std::function<void()>& begin) {
        QTimer start;
        QObject::connect(&start, &QTimer::timeout, [&] {
            if (gSource->GetPositionMs() >= 200) {
                start.stop();
                begin();
            }
        });
        start.start(1);
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [this] {
            if (app_->MainFrame() == nullptr || !Frame().Batch().Running())
                platform::PostQuitMessage(0);
        });
        QObject::connect(&start, &QTimer::timeout, [&] {
            if (!start.isActive())
                watch.start(10);
        });
        gPresenter->RunMessageLoop();
    }

    // Calls `act` on the user-interface thread when the progress dialog's
    // title becomes `title` (while the worker waits for the title to be set).
    void When(const QString& title, std::function<void()> act) {
        QTimer::singleShot(0, [this, title, act = std::move(act)] {
            ASSERT_NE(gCaptureProgressDlg, nullptr);
            QObject::connect(gCaptureProgressDlg, &QWidget::windowTitleChanged,
                             [title, act](const QString& now) {
                                 if (now == title)
                                     act();
                             });
        });
    }

    Seen seen_;
    std::function<void(ImagesWindow&)> onWindow_;
};

} // namespace app_test
