// --scenes: the first frame of each shot of a video, found by the scene
// measure (scene_measure.h) on small grey copies of every frame, then taken
// at full size from the source.
#pragma once

#include "frame_choice.h"
#include "grab_options.h"

#include "playback/canvas.h"
#include "playback/video_source.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace grab {

// The grey copies' width: enough to tell one shot from another, and small
// enough that measuring costs little beside decoding.
inline constexpr int kSceneGreyWidth = 64;

// A frame chosen for its scene score, by time.
struct ScenePick {
    media::StreamTime time = 0;
    double score = 0;
};

// Chooses among frames scored one after another: the first frame at or
// after the start (score 0: nothing before it to differ from), then each
// whose score exceeds the threshold, unless it lies within --min-gap of the
// last frame chosen. Stops choosing at an explicit --count.
class SceneChooser {
public:
    explicit SceneChooser(const Settings& settings);

    // Scores the frame and says whether it is chosen; Full once no more may be.
    bool Offer(media::StreamTime time, double score);
    bool Full() const;
    std::vector<ScenePick> Picks() && { return std::move(picks_); }

private:
    const Settings& settings_;
    const media::StreamTime start_;
    const media::StreamTime minGap_;
    std::vector<ScenePick> picks_;
};

// The frames of video (the file source has open) that begin its shots, each
// handed to take with its score. False when no frame lies at or after the
// start; why the video could not be scanned goes into error.
bool TakeScenes(const std::filesystem::path& video, const Settings& settings,
                playback::Canvas& canvas, CDShow& source, const TakeFrame& take,
                std::string& error);

} // namespace grab
