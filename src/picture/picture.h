// Picture: one captured picture as every reader and writer of one takes it:
// Width() × Rows() pixels of 4 bytes (blue, green, red, unused), rows Stride()
// bytes apart, top row first. The first Height() rows are the frame; the
// BandRows() rows under it are the label band.
//
// The picture owns its pixels, which come from malloc() (a capture batch of
// large pictures gives them back one by one as it frees them). Movable, not
// copyable; a default or moved-from picture is null. Any thread; one picture
// is not shared between threads without a hand-over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

namespace picture {

// The largest side of a picture or a video frame: the decoder's limit, and
// far more than any display surface needs.
inline constexpr int kMaxSide = 16384;
inline constexpr int kBytesPerPixel = 4;

// A picture's size: frame width and rows, and the band rows under them.
struct Shape {
    int width = 0;
    int height = 0;
    int bandRows = 0;

    int Rows() const { return height + bandRows; }
    int Stride() const { return width * kBytesPerPixel; }
    std::size_t Bytes() const { return std::size_t(Stride()) * std::size_t(Rows()); }
    bool operator==(const Shape&) const = default;
};

class Picture {
public:
    Picture() = default;
    Picture(Picture&& other) noexcept { *this = std::move(other); }
    Picture& operator=(Picture&& other) noexcept {
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        bandRows_ = std::exchange(other.bandRows_, 0);
        stride_ = std::exchange(other.stride_, 0);
        pixels_ = std::move(other.pixels_);
        return *this;
    }

    // A picture of width × height frame rows and bandRows band rows, the
    // frame rows uninitialised and the band rows zeroed. Null when a side is
    // out of range (width 1 to kMaxSide; height and band rows 0 to kMaxSide,
    // not both 0) or the memory cannot be had.
    static Picture Allocate(int width, int height, int bandRows);
    static Picture Allocate(Shape shape) {
        return Allocate(shape.width, shape.height, shape.bandRows);
    }

    bool IsNull() const { return pixels_ == nullptr; }
    explicit operator bool() const { return !IsNull(); }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BandRows() const { return bandRows_; }
    int Rows() const { return height_ + bandRows_; }
    int Stride() const { return stride_; }
    std::size_t Bytes() const { return std::size_t(stride_) * std::size_t(Rows()); }

    std::uint8_t* Pixels() { return pixels_.get(); }
    const std::uint8_t* Pixels() const { return pixels_.get(); }
    std::uint8_t* Row(int row) { return Pixels() + std::size_t(row) * std::size_t(stride_); }
    const std::uint8_t* Row(int row) const {
        return Pixels() + std::size_t(row) * std::size_t(stride_);
    }
    // The first band row.
    std::uint8_t* Band() { return Row(height_); }

    Shape GetShape() const { return {width_, height_, bandRows_}; }

    // Gives the pixels back at once.
    void Reset() { *this = Picture(); }

private:
    struct Free {
        void operator()(std::uint8_t* pixels) const { std::free(pixels); }
    };

    int width_ = 0;
    int height_ = 0;
    int bandRows_ = 0;
    int stride_ = 0;
    std::unique_ptr<std::uint8_t, Free> pixels_;
};

} // namespace picture
