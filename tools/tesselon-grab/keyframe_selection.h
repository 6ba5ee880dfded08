// --keyframes: the keyframes of a video and nothing else, decoded without the
// pictures between them, as FFmpeg's `-skip_frame nokey` decodes.
#pragma once

#include "frame_choice.h"
#include "grab_options.h"

#include "playback/canvas.h"
#include "playback/video_source.h"

namespace grab {

// The keyframes at or after the start, in order, to the end of the video or
// as many as an explicit --count allows, each handed to take. The source must
// be opened with keyframesOnly, so that each step decodes the next keyframe
// alone. A picture the decoder does not call a keyframe (a codec that decodes
// everything whatever it is asked) is stepped over. False when no frame lies
// at or after the start.
bool TakeKeyframes(const Settings& settings, playback::Canvas& canvas, CDShow& source,
                   const TakeFrame& take);

} // namespace grab
