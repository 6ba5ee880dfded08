// --best-of N: of every N consecutive frames (with --interval, of every
// interval), the sharpest, by picture::Sharpness. Every frame of a group is
// decoded and measured where it is drawn; only the sharpest so far is
// copied, so one candidate picture is held at a time.
#pragma once

#include "frame_choice.h"
#include "grab_options.h"

#include "playback/canvas.h"

class CDShow;

namespace grab {

// Takes the sharpest frame of each group from the start to the end of the
// video (or --count groups), handing each over with its score; a last group
// cut short by the end counts too. False when no frame lies at the start.
bool TakeBestOf(const Settings& settings, playback::Canvas& canvas, CDShow& source,
                const TakeFrame& take);

} // namespace grab
