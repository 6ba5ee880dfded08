#include "best_of.h"

#include "interruption.h"

#include "picture/sharpness.h"
#include "playback/frame_capture.h"
#include "playback/video_source.h"

#include <cstdio>
#include <optional>

namespace grab {

namespace {

// The sharpness of the frame now drawn in the canvas, read in place.
double ShownSharpness(playback::Canvas& canvas) {
    int bytes = 0;
    const std::uint8_t* pixels = canvas.Lock(&bytes);
    if (pixels == nullptr)
        return 0;
    const double sharpness =
        picture::Sharpness(pixels, canvas.Width(), canvas.Height(), canvas.Width() * 4);
    canvas.Unlock();
    return sharpness;
}

std::string Seconds(media::StreamTime time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", double(time) / media::kStreamUnitsPerSecond);
    return text;
}

// One group of frames and the sharpest of them so far.
class Group {
public:
    Group(const Settings& settings, std::int64_t key) : settings_(settings), key_(key) {}

    std::int64_t Key() const { return key_; }

    // Measures the shown frame; copies it when it is the sharpest yet.
    void Consider(playback::Canvas& canvas, CDShow& source) {
        if (!firstNumber_)
            firstNumber_ = source.ShownFrameNumber();
        lastNumber_ = source.ShownFrameNumber();
        const double sharpness = ShownSharpness(canvas);
        if (best_ && sharpness <= sharpness_)
            return;
        // The old candidate goes before the new copy is made.
        best_.reset();
        best_ = playback::CopyShownFrame(canvas, source);
        sharpness_ = sharpness;
    }

    void Hand(const TakeFrame& take) {
        if (best_)
            take(std::move(*best_), {Requested(), std::nullopt, sharpness_});
        best_.reset();
    }

private:
    // "best of frames 4-7", or "best of 1.500-3.000 s" for an interval.
    std::string Requested() const {
        if (settings_.interval)
            return "best of " + Seconds(key_ * *settings_.interval) + "-" +
                   Seconds((key_ + 1) * *settings_.interval) + " s";
        if (firstNumber_ && lastNumber_)
            return "best of frames " + std::to_string(*firstNumber_) + "-" +
                   std::to_string(*lastNumber_);
        return "best of " + std::to_string(settings_.bestOf) + " frames";
    }

    const Settings& settings_;
    const std::int64_t key_;
    std::optional<playback::CapturedFrame> best_;
    double sharpness_ = 0;
    std::optional<std::int64_t> firstNumber_;
    std::optional<std::int64_t> lastNumber_;
};

// The group of the shown frame: its place from the start ÷ N, or the
// interval its time lies in.
std::int64_t GroupKey(const Settings& settings, CDShow& source, std::int64_t place) {
    return settings.interval ? source.ShownTime() / *settings.interval : place / settings.bestOf;
}

} // namespace

bool TakeBestOf(const Settings& settings, playback::Canvas& canvas, CDShow& source,
                const TakeFrame& take) {
    platform::Surface* target = canvas.Surface();
    const platform::Rect rect = canvas.Rect();
    media::StepResult result =
        source.ShowFrameAt(playback::MillisecondsToStreamTime(settings.startMs), target, rect);
    if (result == media::StepResult::AtEnd)
        return false;
    std::optional<Group> group;
    int taken = 0;
    for (std::int64_t place = 0; result == media::StepResult::Frame; ++place) {
        if (InterruptingSignal() != 0)
            return true; // a group cut short is not handed over
        const std::int64_t key = GroupKey(settings, source, place);
        if (group && group->Key() != key) {
            group->Hand(take);
            if (++taken == settings.count && settings.countGiven)
                return true;
            group.reset();
        }
        if (!group)
            group.emplace(settings, key);
        group->Consider(canvas, source);
        result = source.StepForward(target, rect);
    }
    if (group)
        group->Hand(take);
    return true;
}

} // namespace grab
