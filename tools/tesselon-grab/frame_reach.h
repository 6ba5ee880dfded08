// How the selections move the source to the next frame they want.
#pragma once

#include "playback/video_source.h"

namespace grab {

// Shows the first frame at or after `time`: by decoding on when it lies less
// than a second ahead of the frame shown, else by seeking (to the keyframe
// before it, then decoding forward).
media::StepResult Reach(CDShow& source, media::StreamTime time, platform::Surface* target,
                        platform::Rect rect);

} // namespace grab
