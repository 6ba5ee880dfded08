#include "jpeg/raster_image.h"

#include "jpeg/errors.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace jpeg {

namespace {

bool IsPaletteBitCount(std::uint32_t bitCount) {
    return bitCount == 1 || bitCount == 2 || bitCount == 4 || bitCount == 8;
}

} // namespace

void RasterImage::FreeBlock::operator()(void* block) const {
    std::free(block);
}

RasterImage::~RasterImage() = default;

std::uint64_t RasterImage::ComputeRowWidth(std::uint32_t bitCount, std::uint32_t width) {
    std::uint64_t dataBytes = 0;
    if (IsPaletteBitCount(bitCount)) {
        dataBytes = (std::uint64_t{width} * bitCount + 7) / 8;
    } else if (bitCount == 24) {
        dataBytes = std::uint64_t{width} * 3;
    } else {
        return 0;
    }
    return (dataBytes + 3) & ~std::uint64_t{3};
}

void RasterImage::Clear() {
    pixelData_.reset();
    colourMap_.reset();
    rowWidth_ = 0;
    bitCount_ = 0;
    width_ = 0;
    height_ = 0;
    colourCount_ = 0;
}

void RasterImage::Allocate(std::uint32_t colourCount, std::uint32_t bitCount, std::uint32_t width,
                           std::uint32_t height) {
    Clear();
    if (!IsPaletteBitCount(bitCount) && bitCount != 24) {
        throw EInvalidBitCount();
    }
    const std::uint64_t rowWidth = ComputeRowWidth(bitCount, width);
    // Both products are computed in 64 bits: width × 24 and rows × row width
    // can pass 2^32 long before they pass the address space.
    if (rowWidth > std::numeric_limits<std::uint32_t>::max() ||
        (height != 0 && rowWidth > std::numeric_limits<std::size_t>::max() / height)) {
        throw std::bad_alloc();
    }
    const std::size_t pixelBytes = static_cast<std::size_t>(rowWidth) * height;
    std::unique_ptr<std::uint8_t[], FreeBlock> pixels(
        static_cast<std::uint8_t*>(std::calloc(pixelBytes == 0 ? 1 : pixelBytes, 1)));
    if (!pixels) {
        throw std::bad_alloc();
    }
    std::unique_ptr<PaletteColour[]> colourMap;
    if (IsPaletteBitCount(bitCount)) {
        colourMap = std::make_unique<PaletteColour[]>(colourCount);
    }
    pixelData_ = std::move(pixels);
    colourMap_ = std::move(colourMap);
    rowWidth_ = static_cast<std::uint32_t>(rowWidth);
    bitCount_ = bitCount;
    width_ = width;
    height_ = height;
    colourCount_ = colourCount;
}

PaletteColour& RasterImage::PaletteEntry(std::uint32_t index) {
    if (index >= colourCount_ || !colourMap_) {
        throw ESubscriptOutOfRange();
    }
    return colourMap_[index];
}

const PaletteColour& RasterImage::PaletteEntry(std::uint32_t index) const {
    return const_cast<RasterImage*>(this)->PaletteEntry(index);
}

std::uint32_t RasterImage::PaletteIndex(const std::uint8_t* storedRow, std::uint32_t column) const {
    switch (bitCount_) {
    case 1:
        return (storedRow[column / 8] >> (7 - column % 8)) & 0x01;
    case 2:
        return (storedRow[column / 4] >> (6 - 2 * (column % 4))) & 0x03;
    case 4:
        return (column % 2 == 0) ? storedRow[column / 2] >> 4 : storedRow[column / 2] & 0x0F;
    default:
        return storedRow[column];
    }
}

void RasterImage::PixelRgb(std::uint32_t row, std::uint32_t column, std::uint8_t& red,
                           std::uint8_t& green, std::uint8_t& blue) const {
    if (row >= height_ || column >= width_) {
        throw ESubscriptOutOfRange();
    }
    const std::uint8_t* storedRow =
        pixelData_.get() + static_cast<std::size_t>(height_ - 1 - row) * rowWidth_;
    if (bitCount_ == 24) {
        const std::uint8_t* pixel = storedRow + std::size_t{3} * column;
        blue = pixel[0];
        green = pixel[1];
        red = pixel[2];
        return;
    }
    if (!IsPaletteBitCount(bitCount_)) {
        throw EInvalidBitCount();
    }
    // An image sized by hand may have fewer colours than its pixels can name.
    const PaletteColour& colour = PaletteEntry(PaletteIndex(storedRow, column));
    red = colour.red;
    green = colour.green;
    blue = colour.blue;
}

} // namespace jpeg
