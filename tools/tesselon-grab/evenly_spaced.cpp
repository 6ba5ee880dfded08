#include "evenly_spaced.h"

#include "interruption.h"

#include "playback/frame_capture.h"

#include <string>

namespace grab {

namespace {

// "1.5", "0.04", "12": seconds as a request is written.
std::string SecondsText(media::StreamTime time) {
    std::string text = std::to_string(time / media::kStreamUnitsPerSecond);
    std::string fraction = std::to_string(time % media::kStreamUnitsPerSecond);
    fraction.insert(0, 7 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    return fraction.empty() ? text : text + "." + fraction;
}

} // namespace

std::vector<media::StreamTime> EvenTimes(media::StreamTime start, media::StreamTime span,
                                         int count) {
    std::vector<media::StreamTime> times;
    // (2i + 1) × span ÷ 2N: exact in whole units, no drift over the parts.
    for (int i = 0; i < count; ++i)
        times.push_back(start + (2 * i + 1) * span / (2 * static_cast<media::StreamTime>(count)));
    return times;
}

bool TakeEvenlySpaced(const Settings& settings, playback::Canvas& canvas, CDShow& source,
                      const TakeFrame& take) {
    platform::Surface* target = canvas.Surface();
    const platform::Rect rect = canvas.Rect();
    const media::StreamTime start = playback::MillisecondsToStreamTime(settings.startMs);
    const std::optional<media::StreamTime> duration = source.Duration();
    // Without a duration (or with none left after the start) there is
    // nothing to spread over: the frames from the start follow each other.
    const media::StreamTime span = duration && *duration > start ? *duration - start : 0;
    if (source.ShowFrameAt(start, target, rect) == media::StepResult::AtEnd)
        return false;
    if (settings.provenance || settings.report)
        source.WaitForFrameNumbers();
    std::optional<media::StreamTime> lastTaken;
    for (const media::StreamTime time : EvenTimes(start, span, settings.count)) {
        if (InterruptingSignal() != 0)
            break;
        const media::StepResult result = span > 0 ? source.ShowFrameAt(time, target, rect)
                                        : lastTaken ? source.StepForward(target, rect)
                                                    : media::StepResult::Frame;
        if (result != media::StepResult::Frame)
            break; // past the last frame
        if (lastTaken && source.ShownTime() <= *lastTaken)
            continue; // the first frame after this time was taken for the one before
        lastTaken = source.ShownTime();
        Choice choice;
        choice.requested = "time " + SecondsText(time);
        take(playback::CopyShownFrame(canvas, source), std::move(choice));
    }
    return true;
}

} // namespace grab
