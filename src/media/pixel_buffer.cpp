#include "media/pixel_buffer.h"

#include <algorithm>
#include <limits>
#include <utility>

extern "C" {
#include <libavutil/mem.h>
}

namespace media {

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept {
    *this = std::move(other);
}

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept {
    block_ = std::move(other.block_);
    capacity_ = std::exchange(other.capacity_, 0);
    pitch_ = std::exchange(other.pitch_, 0);
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    return *this;
}

std::size_t PixelBuffer::BytesFor(int width, int height) {
    const std::size_t pitch =
        (static_cast<std::size_t>(std::max(width, 0)) * 4 + kRowAlignment - 1) / kRowAlignment *
        kRowAlignment;
    return pitch * static_cast<std::size_t>(std::max(height, 0)) + kPadding;
}

bool PixelBuffer::Reserve(int width, int height) {
    width_ = height_ = pitch_ = 0;
    constexpr std::size_t kLargest = std::numeric_limits<int>::max() / 4 - kRowAlignment;
    if (width <= 0 || height <= 0 || static_cast<std::size_t>(width) > kLargest)
        return false;
    const std::size_t pitch =
        (static_cast<std::size_t>(width) * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    if (static_cast<std::size_t>(height) >
        (std::numeric_limits<std::size_t>::max() - kPadding) / pitch)
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
