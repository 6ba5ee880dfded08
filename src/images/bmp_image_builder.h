// Turns a 32-bit image buffer into a complete Windows BMP file image in
// memory: 24 bits per pixel, rows bottom-up, no colour table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace images {

// File header (14 bytes) and BITMAPINFOHEADER (40 bytes).
inline constexpr std::uint32_t kBmpHeaderSize = 54;

// The saving workers always build with this many steps.
inline constexpr unsigned kBmpProgressSteps = 4;

// Called once at each step of the building; no arguments, no result.
using BmpStepFunction = void (*)();

// A BMP file image in one heap block, owned. Empty (no block, size 0) when it
// could not be built.
struct BmpImage {
    std::unique_ptr<std::uint8_t[]> block;
    // 54 + the pixel data size.
    std::size_t size = 0;

    explicit operator bool() const { return block != nullptr; }
    std::span<const std::uint8_t> Bytes() const { return {block.get(), size}; }
};

// Bytes per stored row: three per pixel, padded to a multiple of 4. Computed
// in 32 bits, so every 16-bit width fits.
constexpr std::uint32_t BmpRowSize(std::uint32_t width) {
    return (width * 3 + 3) & ~3u;
}

// Builds the BMP of `height` rows of `width` pixels (4 bytes each: blue,
// green, red, unused; top row first; stride width × 4). Rows are written from
// the last source row up; after source row i the step function (when not
// null) is called if i is a multiple of height ÷ (steps − 1). When that
// interval is 0 (fewer than `steps − 1` rows, or steps below 2) no step is
// made. Returns an empty image when width or height is 0, when pixels is
// null, when the file would not fit the 32-bit size field, or when the block
// cannot be allocated.
BmpImage BuildBmpImage(std::uint16_t width, std::uint16_t height, const std::uint8_t* pixels,
                       BmpStepFunction step, unsigned steps);

} // namespace images
