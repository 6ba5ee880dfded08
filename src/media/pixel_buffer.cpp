#include "media/pixel_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <sys/mman.h>
#include <utility>

namespace media {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t size, std::size_t unit) {
    return (size + unit - 1) / unit * unit;
}

// Large pictures go on huge pages where the kernel offers them: a fresh
// 1280 x 720 picture otherwise costs some 900 page faults when first written,
// which playback pays for every frame until the frame cache is full.
std::uint8_t* Allocate(std::size_t size) {
    if (size < kHugePage) {
        return static_cast<std::uint8_t*>(std::aligned_alloc(
            PixelBuffer::kRowAlignment, RoundUp(size, PixelBuffer::kRowAlignment)));
    }
    const std::size_t rounded = RoundUp(size, kHugePage);
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block != nullptr)
        madvise(block, rounded, MADV_HUGEPAGE);
    return static_cast<std::uint8_t*>(block);
}

} // namespace

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
        block_.reset(Allocate(size));
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
