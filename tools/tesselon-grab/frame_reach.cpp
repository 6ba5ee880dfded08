#include "frame_reach.h"

namespace grab {

namespace {

// Decoding on beats a seek over this much: a seek decodes from the keyframe.
constexpr media::StreamTime kStepSpan = media::kStreamUnitsPerSecond;

} // namespace

media::StepResult Reach(CDShow& source, media::StreamTime time, platform::Surface* target,
                        platform::Rect rect) {
    const media::StreamTime shown = source.ShownTime();
    if (time <= shown || time - shown > kStepSpan)
        return source.ShowFrameAt(time, target, rect);
    media::StepResult result;
    do
        result = source.StepForward(target, rect);
    while (result == media::StepResult::Frame && source.ShownTime() < time);
    return result;
}

} // namespace grab
