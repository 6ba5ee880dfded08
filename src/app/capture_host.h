// What a capture batch needs of the window that runs it, and no more: where
// its workers report, the commands it turns off while it runs, the video's
// size for its images window, the position to show again afterwards, and the
// close that it put off. CMainFrame implements it, so that the batch does not
// depend on the frame.
//
// User-interface thread only; the workers use only the handle that
// MessageTarget gave.
#pragma once

#include "platform/messages.h"

class CaptureHost {
public:
    virtual ~CaptureHost() = default;

    // The receiver of messages 1001 to 1003 and of the close posted after a
    // batch that a close waited for.
    virtual platform::ReceiverHandle MessageTarget() const = 0;
    // Off while the batch runs: the commands, the toolbar and the slider.
    virtual void SetCommandsEnabled(bool enabled) = 0;
    virtual int VideoWidth() const = 0;
    virtual int VideoHeight() const = 0;
    // The slider and the position pane show where the stream is now.
    virtual void FollowStreamPosition() = 0;
    // The close requested during the batch goes ahead now.
    virtual void CloseAfterBatch() = 0;

protected:
    CaptureHost() = default;
    CaptureHost(const CaptureHost&) = default;
    CaptureHost& operator=(const CaptureHost&) = default;
};
