// What a capture batch needs of the window that runs it, and no more: where
// its workers report, the commands it turns off while it runs, the video's
// size for its images window and the size to capture at, the position to show again afterwards, and the
// close that it put off. The main frame fills it in with its own operations,
// so that the batch neither includes nor calls into the frame's code.
//
// User-interface thread only; the workers use only the message target.
#pragma once

#include "images/save_preferences.h"
#include "platform/messages.h"

#include <QSize>

#include <functional>

struct CaptureHost {
    // The receiver of messages 1001 to 1003 and of the close posted after a
    // batch that a close waited for.
    platform::ReceiverHandle messageTarget;
    // Off while the batch runs: the commands, the toolbar and the slider.
    std::function<void(bool enabled)> enableCommands;
    // The video's own size, for the images window's aspect.
    std::function<QSize()> videoSize;
    // The video's file name, for the header of a contact sheet.
    std::function<QString()> videoName;
    // The size the frames are captured at: 360 × 240, or the video's own.
    std::function<QSize()> captureSize;
    // The save directory and label the images window starts with, and what
    // it leaves them as.
    std::function<images::SavePreferences()> savePreferences;
    std::function<void(const images::SavePreferences&)> keepSavePreferences;
    // The slider and the position pane show where the stream is now.
    std::function<void()> followStream;
    // The close requested during the batch goes ahead now.
    std::function<void()> closeWindow;
};
