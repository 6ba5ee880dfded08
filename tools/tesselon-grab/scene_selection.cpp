#include "scene_selection.h"

#include "frame_reach.h"
#include "interruption.h"
#include "scene_measure.h"

#include "media/grey_scan.h"
#include "playback/frame_capture.h"

#include <cmath>

namespace grab {

namespace {

media::StreamTime SecondsToStreamTime(double seconds) {
    return static_cast<media::StreamTime>(
        std::llround(seconds * static_cast<double>(media::kStreamUnitsPerSecond)));
}

// Shows the frame at time exactly: the scan and the source time frames alike.
bool Show(CDShow& source, media::StreamTime time, platform::Surface* target,
          platform::Rect rect) {
    const media::StepResult result = Reach(source, time, target, rect);
    return result == media::StepResult::Frame && source.ShownTime() == time;
}

} // namespace

SceneChooser::SceneChooser(const Settings& settings)
    : settings_(settings)
    , start_(playback::MillisecondsToStreamTime(settings.startMs))
    , minGap_(SecondsToStreamTime(settings.minGapSeconds)) {}

bool SceneChooser::Offer(media::StreamTime time, double score) {
    if (time < start_ || Full())
        return false;
    if (picks_.empty()) {
        picks_.push_back({time, 0});
        return true;
    }
    if (!(score > settings_.sceneThreshold.value_or(kDefaultSceneThreshold)) ||
        time - picks_.back().time < minGap_)
        return false;
    picks_.push_back({time, score});
    return true;
}

bool SceneChooser::Full() const {
    return settings_.countGiven && static_cast<int>(picks_.size()) >= settings_.count;
}

bool TakeScenes(const std::filesystem::path& video, const Settings& settings,
                playback::Canvas& canvas, CDShow& source, const TakeFrame& take,
                std::string& error) {
    SceneChooser chooser(settings);
    SceneMeasure measure;
    const media::StreamTime start = playback::MillisecondsToStreamTime(settings.startMs);
    error = media::ScanGreyFrames(video, kSceneGreyWidth, [&](const media::GreyFrame& frame) {
        // Frames before the start are not measured: the first one after it
        // is taken whatever it shows.
        if (frame.time >= start)
            chooser.Offer(frame.time, measure.Next({frame.pixels, frame.width, frame.height}));
        return !chooser.Full() && InterruptingSignal() == 0;
    });
    const std::vector<ScenePick> picks = std::move(chooser).Picks();
    for (const ScenePick& pick : picks) {
        if (InterruptingSignal() != 0)
            break;
        if (Show(source, pick.time, canvas.Surface(), canvas.Rect()))
            take(playback::CopyShownFrame(canvas, source), {"", pick.score, std::nullopt});
        else if (error.empty())
            error = "a frame its scan found could not be shown again, at " +
                    std::to_string(playback::StreamTimeToMilliseconds(pick.time)) + " ms";
    }
    return !picks.empty();
}

} // namespace grab
