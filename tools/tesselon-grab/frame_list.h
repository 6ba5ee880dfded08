// --list: the frames a grab would take, one JSON object a line, for other
// programs; written instead of the pictures, whatever chose the frames.
#pragma once

#include "grab_report.h"

#include <string>

namespace grab {

// {"video": "a.mp4", "frame": 250, "time": "10", "ms": 10000, "keyFrame": true,
// "requested": "frame 250", "score": 0.42}, without a line end. frame and
// keyFrame are null when not known; requested and score are left out when
// the selection did not set them (score: the scene score, else the sharpness).
std::string ListLine(const std::string& video, const FrameRecord& frame);

} // namespace grab
