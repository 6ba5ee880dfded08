#include "playback/frame_capture.h"

#include "playback/presenter.h"
#include "playback/video_source.h"

namespace playback {

CapturedFrame CopyShownFrame(CGameApp& presenter, CDShow& source) {
    CapturedFrame frame;
    presenter.CopyFrame(&frame.buffer, &frame.size);
    frame.timeMs = source.GetPositionMs();
    frame.time = source.ShownTime();
    frame.number = source.ShownFrameNumber();
    frame.traits = source.ShownFrameTraits();
    return frame;
}

CapturedFrame CaptureFrame(CGameApp& presenter, CDShow& source, std::stop_token stop) {
    return CaptureFrame(presenter, source, CaptureTarget{}, stop);
}

CapturedFrame CaptureFrame(CGameApp& presenter, CDShow& source, const CaptureTarget& target,
                           std::stop_token stop) {
    CapturedFrame frame = CopyShownFrame(presenter, source);
    source.Render(presenter.Offscreen(), target.rect, FetchWait::UntilNextFrame, stop);
    if (!source.IsPlaying() && !stop.stop_requested()) {
        source.Play();
        source.Render(presenter.Offscreen(), target.rect, FetchWait::UntilNextFrame, stop);
    }
    if (target.present)
        presenter.BlitToWindow();
    return frame;
}

} // namespace playback
