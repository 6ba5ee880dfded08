// True frame numbers of a video stream: the presentation time of every frame,
// read from one pass over the file's packets without decoding, so that a
// frame's time can be turned into its number in the file and back.
#pragma once

#include "media/pacing_clock.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <vector>

namespace media {

// The presentation times of every frame of a video stream, in order: frame 0
// is the first frame of the file. Immutable once built; thread-safe to read.
class FrameIndex {
public:
    FrameIndex() = default;
    // times: each frame's presentation time, in any order and from any origin.
    explicit FrameIndex(std::vector<StreamTime> times);

    std::size_t Count() const { return times_.size(); }

    // The number of the frame shown at time, counted from the first frame (at
    // 0, as MediaStream reports frame times): the nearest frame, when time is
    // within half the gap to that frame's nearer neighbour. None otherwise, or
    // when the index is empty; a lone frame matches its own time only.
    std::optional<std::int64_t> NumberOf(StreamTime time) const;

    // The time of frame number, counted from the first frame; none out of range.
    std::optional<StreamTime> TimeOf(std::int64_t number) const;

private:
    std::vector<StreamTime> times_; // ascending, the first at 0
};

// How a packet's picture is coded. Interlaced video may code each field as a
// picture of its own; the decoder joins a field and the opposite field coded
// right after it into one frame.
enum class PictureCoding { Frame, TopField, BottomField };

// What one video packet said about its picture.
struct PacketTimes {
    std::optional<StreamTime> presentation;
    std::optional<StreamTime> decoding;
    std::optional<StreamTime> length;
    PictureCoding coding = PictureCoding::Frame;
};

// The presentation times of the frames the packets decode to, in decoding
// order: a pair of fields is one frame, at its first field's time. A packet
// without a time is placed as a decoder places it; reorderDelay is the
// decoder's reordering delay in frames, frameDuration the length of a frame
// without a length of its own.
std::vector<StreamTime> FrameTimes(const std::vector<PacketTimes>& packets, int reorderDelay,
                                   StreamTime frameDuration);

// Reads every packet of stream videoIndex of the file at path without
// decoding (the other streams are discarded by the demuxer) and indexes its
// frames. videoIndex numbers the streams as a context opened on the same file
// with avformat_find_stream_info does. None when the file cannot be opened,
// when the stream is not a video stream, or when stop was requested.
std::optional<FrameIndex> BuildFrameIndex(const std::filesystem::path& path, int videoIndex,
                                          std::stop_token stop = {});

} // namespace media
