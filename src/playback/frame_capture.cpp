#include "playback/frame_capture.h"

#include "playback/canvas.h"
#include "playback/video_source.h"

namespace playback {

CapturedFrame CopyShownFrame(Canvas& canvas, CDShow& source) {
    CapturedFrame frame;
    frame.picture = canvas.CopyFrame(LabelBandRowsFor(canvas.Width()));
    frame.timeMs = source.GetPositionMs();
    frame.time = source.ShownTime();
    frame.number = source.ShownFrameNumber();
    frame.traits = source.ShownFrameTraits();
    return frame;
}

void RenderNextFrame(CDShow& source, Canvas& canvas, platform::Rect rect, std::stop_token stop) {
    source.Render(canvas.Surface(), rect, FetchWait::UntilNextFrame, stop);
    if (!source.IsPlaying() && !stop.stop_requested()) {
        source.Play();
        source.Render(canvas.Surface(), rect, FetchWait::UntilNextFrame, stop);
    }
}

CapturedFrame CaptureFrame(Canvas& canvas, CDShow& source, platform::Rect rect,
                           std::stop_token stop) {
    CapturedFrame frame = CopyShownFrame(canvas, source);
    RenderNextFrame(source, canvas, rect, stop);
    return frame;
}

} // namespace playback
