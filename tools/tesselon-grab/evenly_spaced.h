// Frames spread evenly over a video, for a contact sheet without another
// choice of frames.
#pragma once

#include "frame_choice.h"
#include "grab_options.h"

#include "media/media_stream.h"
#include "playback/canvas.h"
#include "playback/video_source.h"

#include <cstdint>
#include <vector>

namespace grab {

// The times of N = `count` frames spread over the `span` after `start`:
// start + (i + 0.5) × span ÷ N for i = 0 to N − 1, the middles of N equal
// parts, so that neither the first frame nor the last is favoured.
std::vector<media::StreamTime> EvenTimes(media::StreamTime start, media::StreamTime span,
                                         int count);

// The first frame at or after each of settings.count even times from
// --start to the end of the video; a frame that is the first after several
// times is taken once. A video whose duration is not known gives its first
// frames instead. False when no frame lies at or after the start.
bool TakeEvenlySpaced(const Settings& settings, playback::Canvas& canvas, CDShow& source,
                      const TakeFrame& take);

} // namespace grab
