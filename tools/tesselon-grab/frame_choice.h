// How a selection hands over the frames it takes: each with what the
// selection knew of it, for the report.
#pragma once

#include "playback/frame_capture.h"

#include <functional>
#include <optional>
#include <string>

namespace grab {

struct Choice {
    std::string requested; // what was asked for: "frame 250", "time 1.5"; "" otherwise
    std::optional<double> sceneScore;
    std::optional<double> sharpness;
    // The frame's place among the pictures, its {i} and its row in the report,
    // when a selection reads frames in another order than it lists them.
    std::optional<int> place = std::nullopt;
};

using TakeFrame = std::function<void(playback::CapturedFrame, Choice)>;

} // namespace grab
