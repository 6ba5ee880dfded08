// Test support: the application started in-process on the offscreen
// platform, silent, with scripted dialogs, and helpers to drive its frame.
#pragma once

#include "app/grabber_app.h"
#include "app/main_frame.h"
#include "app/playback_objects.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "platform/surface.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QString>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace app_test {

inline QString DataPath(const char* name) {
    return QStringLiteral(TESSELON_TEST_DATA "/") + QString::fromUtf8(name);
}

inline QString AppDataPath(const char* name) {
    return QStringLiteral(TESSELON_APP_TEST_DATA "/") + QString::fromUtf8(name);
}

inline CGrabberApp::Options SilentOptions() {
    CGrabberApp::Options options;
    options.source.audio = media::AudioMode::Silent;
    return options;
}

// The frame number of an index frame (176 × 144, a grid of 44 × 48 blocks,
// white for 1) in an image buffer, 360 × 240 unless given.
inline int FrameIndex(const std::uint8_t* buffer, int pitch = 360 * 4, int width = 360,
                      int height = 240) {
    if (buffer == nullptr)
        return -1;
    int index = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const int x = ((bit % 4) * 44 + 22) * width / 176;
        const int y = ((bit / 4) * 48 + 24) * height / 144;
        if (buffer[y * pitch + x * 4 + 1] > 128)
            index |= 1 << bit;
    }
    return index;
}

// The frame the presenter's off-screen surface holds now (read directly, as
// the presenter copies frames only while its loop runs).
inline int FrameOnScreen() {
    int size = 0;
    const std::uint8_t* bits = gPresenter->LockFrame(&size);
    const int index = FrameIndex(bits, size / gPresenter->Height());
    gPresenter->UnlockFrame();
    return index;
}

class AppTest : public ::testing::Test {
protected:
    void TearDown() override {
        app_.reset();
        platform::DisplayFaults::Clear();
        EXPECT_EQ(gPresenter, nullptr);
        EXPECT_EQ(gSource, nullptr);
    }

    // Starts the application; false when start-up failed.
    bool Start(CGrabberApp::Options options = SilentOptions()) {
        app_ = std::make_unique<CGrabberApp>(std::move(options));
        return app_->InitInstance();
    }

    CMainFrame& Frame() { return *app_->MainFrame(); }

    void Trigger(int commandId) {
        QAction* action = Frame().Action(commandId);
        ASSERT_NE(action, nullptr) << commandId;
        action->trigger();
    }

    // File, Open with the dialog answering `path` (nothing: cancelled).
    void OpenThroughMenu(std::optional<QString> path) {
        dialogs_.AnswerFile(std::move(path));
        Trigger(res::ID_FILE_OPEN);
    }

    // Resizes the frame so that its client area is `client`, as a drag would.
    void DragClientTo(QSize client) {
        const int menu = Frame().height() - Frame().ClientSize().height();
        Frame().resize(client.width(), client.height() + menu);
        test_support::PumpPending();
    }

    // Resizes the frame so that its view's picture area would be `view`
    // with the bars as they are.
    void DragViewTo(QSize view) { DragClientTo(view + Frame().ViewMargin()); }

    platform::ScriptedDialogs dialogs_;
    std::unique_ptr<CGrabberApp> app_;
};

} // namespace app_test
