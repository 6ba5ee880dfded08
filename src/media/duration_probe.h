// The length of a video whose container does not state it: elementary streams
// (MPEG-1/2 video, H.264) and files written without an index, whose duration
// FFmpeg leaves unknown or guesses from a bit rate that a variable-rate file
// does not keep. The file is opened a second time and the times of its last
// packets are read; where the demuxer counts time only from the point it began
// reading, every packet is read from the start instead. Packets are demuxed,
// never decoded.
//
// Any thread. The caller's context is looked at, never read from or seeked.
#pragma once

#include "media/pacing_clock.h"

#include <cstdint>
#include <filesystem>
#include <optional>

struct AVFormatContext;

namespace media {

struct DurationProbeLimits {
    // The end of the file read first; each retreat reads four times as much,
    // up to largestTailBytes, while no video packet is found in it.
    std::int64_t tailBytes = std::int64_t{4} << 20;
    std::int64_t largestTailBytes = std::int64_t{64} << 20;
    // The largest file read from start to end when the end alone cannot tell.
    // A quarter gigabyte demuxes in under a second from the page cache and in
    // a few seconds from a spinning disk: the longest wait worth an exact
    // slider on opening a file.
    std::int64_t wholeFileBytes = std::int64_t{256} << 20;
};

// True when opened's duration is missing or only estimated from the bit rate.
bool DurationNeedsProbe(const AVFormatContext& opened);

// How long the video of the file at path lasts, from its first time to the end
// of its last frame. opened is the caller's context on the same file, after
// avformat_find_stream_info; its best video stream is the one measured.
// Nothing when opened's own duration can be trusted (DurationNeedsProbe is
// false), when the file has no video, or when the file does not tell.
std::optional<StreamTime> ProbeDuration(const std::filesystem::path& path, AVFormatContext& opened,
                                        const DurationProbeLimits& limits = {});

} // namespace media
