#include "keyframe_selection.h"

#include "interruption.h"

#include "playback/frame_capture.h"

namespace grab {

bool TakeKeyframes(const Settings& settings, playback::Canvas& canvas, CDShow& source,
                   const TakeFrame& take) {
    platform::Surface* target = canvas.Surface();
    const platform::Rect rect = canvas.Rect();
    media::StepResult result =
        source.ShowFrameAt(playback::MillisecondsToStreamTime(settings.startMs), target, rect);
    if (result == media::StepResult::AtEnd)
        return false;
    for (int taken = 0; result == media::StepResult::Frame && InterruptingSignal() == 0;
         result = source.StepForward(target, rect)) {
        // Only what the decoder itself calls a keyframe is a whole picture on
        // its own: an H.264 recovery point that needs the frames after it
        // is never shown by the decoder when they are skipped.
        if (const auto traits = source.ShownFrameTraits(); traits && !traits->keyFrame)
            continue;
        take(playback::CopyShownFrame(canvas, source), {"keyframe", std::nullopt, std::nullopt});
        if (++taken == settings.count && settings.countGiven)
            break;
    }
    return true;
}

} // namespace grab
