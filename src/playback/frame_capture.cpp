#include "playback/frame_capture.h"

#include "playback/presenter.h"
#include "playback/video_source.h"

namespace playback {

CapturedFrame CaptureFrame(CGameApp& presenter, CDShow& source, std::stop_token stop) {
    CapturedFrame frame;
    presenter.CopyFrame(&frame.buffer, &frame.size);
    frame.timeMs = source.GetPositionMs();
    source.Render(presenter.Offscreen(), kCaptureRect, FetchWait::UntilNextFrame, stop);
    if (!source.IsPlaying() && !stop.stop_requested()) {
        source.Play();
        source.Render(presenter.Offscreen(), kCaptureRect, FetchWait::UntilNextFrame, stop);
    }
    presenter.BlitToWindow();
    return frame;
}

} // namespace playback
