// What a decoded frame says of itself beyond its picture: its exact time and
// how it was coded, as a report of where each saved picture came from needs.
#pragma once

#include <cstdint>

namespace media {

struct FrameTraits {
    // The frame's timestamp in the stream's time base, counted from the
    // video's first frame: exact where the stream time in 100 ns units is not.
    std::int64_t timestamp = 0;
    bool keyFrame = false;
    // FFmpeg's picture type letter: 'I', 'P', 'B', 'S', 'i' (SI), 'p' (SP),
    // 'b' (BI), or '?' when the decoder does not say.
    char pictureType = '?';
    // Made one whole picture from its two fields by the deinterlacer.
    bool deinterlaced = false;
};

} // namespace media
