// The codec's in-memory picture, held the way a Windows BMP stores it: rows
// padded to 4 bytes, bottom row first, a blue-green-red colour map for 1, 2,
// 4 and 8 bits per pixel, blue-green-red pixels for 24 bits.
#pragma once

#include <cstdint>
#include <memory>

namespace jpeg {

// One colour map entry, in the byte order of a BMP colour table.
struct PaletteColour {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
};
static_assert(sizeof(PaletteColour) == 3, "colour map entries are 3 bytes");

class RasterImage {
public:
    RasterImage() = default;
    RasterImage(const RasterImage&) = delete;
    RasterImage& operator=(const RasterImage&) = delete;
    virtual ~RasterImage();

    // Frees the old blocks and empties the image, then sizes it for the bit
    // count (1, 2, 4, 8 or 24) with every byte zeroed. Any other bit count
    // throws EInvalidBitCount and leaves the image empty. A size whose bytes
    // cannot be held in memory throws std::bad_alloc, also leaving it empty.
    void Allocate(std::uint32_t colourCount, std::uint32_t bitCount, std::uint32_t width,
                  std::uint32_t height);

    // Throws ESubscriptOutOfRange when index >= ColourCount().
    PaletteColour& PaletteEntry(std::uint32_t index);
    const PaletteColour& PaletteEntry(std::uint32_t index) const;

    // Row 0 is the picture's top row. Throws ESubscriptOutOfRange outside the
    // image or for a palette index at or past ColourCount(), and
    // EInvalidBitCount for an image never sized.
    void PixelRgb(std::uint32_t row, std::uint32_t column, std::uint8_t& red, std::uint8_t& green,
                  std::uint8_t& blue) const;

    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    std::uint32_t BitCount() const { return bitCount_; }
    std::uint32_t RowWidth() const { return rowWidth_; }
    std::uint32_t ColourCount() const { return colourCount_; }

    // Height() × RowWidth() bytes, stored row 0 (the bottom row) first;
    // null while the image is empty.
    std::uint8_t* ImageData() { return pixelData_.get(); }
    const std::uint8_t* ImageData() const { return pixelData_.get(); }

    // Bytes per stored row for a bit count and width, padded to 4 bytes;
    // 0 when the bit count is not one of 1, 2, 4, 8 or 24.
    static std::uint64_t ComputeRowWidth(std::uint32_t bitCount, std::uint32_t width);

private:
    void Clear();
    std::uint32_t PaletteIndex(const std::uint8_t* storedRow, std::uint32_t column) const;

    std::uint32_t rowWidth_ = 0;
    std::uint32_t bitCount_ = 0;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    // calloc'ed, so a large block is zeroed without touching every page.
    struct FreeBlock {
        void operator()(void* block) const;
    };
    std::unique_ptr<std::uint8_t[], FreeBlock> pixelData_;
    std::uint32_t colourCount_ = 0;
    std::unique_ptr<PaletteColour[]> colourMap_;
};

} // namespace jpeg
