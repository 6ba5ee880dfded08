// A picture of 32-bit pixels (bytes blue, green, red, unused) that FFmpeg may
// write into. libswscale's SIMD code stores whole vectors: it expects rows that
// start on an aligned address and slack after the last row, so the rows here
// are aligned to kRowAlignment bytes and the block ends with kPadding spare
// bytes. Owned by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace media {

class PixelBuffer {
public:
    static constexpr int kRowAlignment = 64;
    static constexpr std::size_t kPadding = 64;

    PixelBuffer() = default;
    // A moved-from buffer is empty and owns no block.
    PixelBuffer(PixelBuffer&& other) noexcept;
    PixelBuffer& operator=(PixelBuffer&& other) noexcept;

    // Lays out width x height pixels, keeping the block when it is big
    // enough. False, leaving the buffer empty, for a size that is not
    // positive or whose block could not be allocated.
    bool Reserve(int width, int height);

    std::uint8_t* Row(int y) { return block_.get() + static_cast<std::ptrdiff_t>(y) * pitch_; }
    const std::uint8_t* Row(int y) const {
        return block_.get() + static_cast<std::ptrdiff_t>(y) * pitch_;
    }
    int Pitch() const { return pitch_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0; }
    // The bytes the block holds, whatever the size laid out.
    std::size_t Bytes() const { return capacity_; }
    // The block's size for width x height pixels.
    static std::size_t BytesFor(int width, int height);

private:
    struct Free {
        void operator()(std::uint8_t* block) const { std::free(block); }
    };
    std::unique_ptr<std::uint8_t[], Free> block_;
    std::size_t capacity_ = 0;
    int pitch_ = 0;
    int width_ = 0;
    int height_ = 0;
};

} // namespace media
