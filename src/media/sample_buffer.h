// Room for resampled sound that libswresample may write into: aligned, with
// slack after the end, since its SIMD code stores whole vectors. Owned by the
// audio decoder thread.
#pragma once

#include "media/ffmpeg_handles.h"

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavutil/mem.h>
}

namespace media {

class SampleBuffer {
public:
    static constexpr std::size_t kPadding = 64;

    // False when the block could not be allocated.
    bool Reserve(std::size_t bytes) {
        if (bytes <= capacity_ && block_)
            return true;
        block_.reset(static_cast<std::uint8_t*>(av_malloc(bytes + kPadding)));
        capacity_ = block_ ? bytes : 0;
        return block_ != nullptr;
    }
    std::uint8_t* Data() { return block_.get(); }

private:
    AvMemoryPtr block_;
    std::size_t capacity_ = 0;
};

} // namespace media
