// FFmpeg timestamps as stream times (100 ns units), shared by the demuxing,
// decoding and probing code.
#pragma once

#include "media/pacing_clock.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

namespace media {

inline constexpr AVRational kStreamTimeBase{1, static_cast<int>(kStreamUnitsPerSecond)};

// Rounds down so that a frame's time never reads later than it is.
inline StreamTime ToStreamTime(std::int64_t timestamp, AVRational timeBase) {
    return av_rescale_q_rnd(timestamp, timeBase, kStreamTimeBase, AV_ROUND_DOWN);
}

// One frame of the video stream, from its frame rate; 25 fps when unknown.
inline StreamTime FrameDurationOf(AVFormatContext& format, AVStream& video) {
    const AVRational rate = av_guess_frame_rate(&format, &video, nullptr);
    return rate.num > 0 && rate.den > 0 ? av_rescale_q(1, av_inv_q(rate), kStreamTimeBase)
                                        : kStreamUnitsPerSecond / 25;
}

} // namespace media
