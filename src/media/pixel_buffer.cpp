#include "media/pixel_buffer.h"

#include <limits>

extern "C" {
#include <libavutil/mem.h>
}

namespace media {

bool PixelBuffer::Reserve(int width, int height) {
    width_ = height_ = pitch_ = 0;
    constexpr std::size_t kLargest = std::numeric_limits<int>::max() / 4 - kRowAlignment;
    if (width <= 0 || height <= 0 || static_cast<std::size_t>(width) > kLargest)
        return false;
    const std::size_t pitch =
        (static_cast<std::size_t>(width) * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    if (static_cast<std::size_t>(height) > (std::numeric_limits<std::size_t>::max() - kPadding) / pitch)
        return false;
    const std::size_t size = pitch * static_cast<std::size_t>(height) + kPadding;
    if (size > capacity_) {
        block_.reset(static_cast<std::uint8_t*>(av_malloc(size)));
        capacity_ = block_ ? size : 0;
        if (!block_)
            return false;
    }
    pitch_ = static_cast<int>(pitch);
    width_ = width;
    height_ = height;
    return true;
}

} // namespace media
