#include "images/bmp_image_builder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace tesselon::images {
namespace {

constexpr std::uint32_t kInfoHeaderSize = 40;

void PutUint16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutUint32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// BITMAPFILEHEADER followed by BITMAPINFOHEADER, little-endian; every field
// not set here (reserved words, compression, resolution, colour counts) is 0.
void WriteHeader(std::uint8_t* header, std::uint32_t width, std::uint32_t height,
                 std::uint32_t pixelBytes) {
    std::fill(header, header + kBmpHeaderSize, std::uint8_t{0});
    header[0] = 'B';
    header[1] = 'M';
    PutUint32(header + 2, kBmpHeaderSize + pixelBytes);
    PutUint32(header + 10, kBmpHeaderSize);
    PutUint32(header + 14, kInfoHeaderSize);
    PutUint32(header + 18, width);
    // A positive height marks the rows as stored bottom-up.
    PutUint32(header + 22, height);
    PutUint16(header + 26, 1);
    PutUint16(header + 28, 24);
    PutUint32(header + 34, pixelBytes);
}

// One source row of blue-green-red-unused pixels becomes one stored row of
// blue-green-red bytes with zeroed padding. Each pixel but the last is moved
// as four bytes; the fourth lands where the next pixel's first byte goes.
void ConvertRow(const std::uint8_t* source, std::uint8_t* target, std::uint32_t width,
                std::uint32_t rowSize) {
    for (std::uint32_t x = 1; x < width; ++x) {
        std::memcpy(target, source, 4);
        source += 4;
        target += 3;
    }
    target[0] = source[0];
    target[1] = source[1];
    target[2] = source[2];
    target += 3;
    std::fill(target, target + (rowSize - width * 3), std::uint8_t{0});
}

} // namespace

BmpImage BuildBmpImage(std::uint16_t width, std::uint16_t height, const std::uint8_t* pixels,
                       BmpStepFunction step, unsigned steps) {
    if (width == 0 || height == 0 || pixels == nullptr) {
        return {};
    }
    const std::uint32_t rowSize = BmpRowSize(width);
    const std::uint64_t pixelBytes = std::uint64_t{rowSize} * height;
    if (pixelBytes > std::numeric_limits<std::uint32_t>::max() - kBmpHeaderSize) {
        return {};
    }
    const std::size_t total = kBmpHeaderSize + static_cast<std::size_t>(pixelBytes);
    BmpImage image;
    image.block.reset(new (std::nothrow) std::uint8_t[total]);
    if (!image.block) {
        return {};
    }
    image.size = total;
    WriteHeader(image.block.get(), width, height, static_cast<std::uint32_t>(pixelBytes));

    const unsigned interval = steps >= 2 ? height / (steps - 1) : 0;
    const std::size_t sourceStride = std::size_t{width} * 4;
    std::uint8_t* target = image.block.get() + kBmpHeaderSize;
    for (std::uint32_t i = height; i-- > 0; target += rowSize) {
        ConvertRow(pixels + i * sourceStride, target, width, rowSize);
        if (step != nullptr && interval != 0 && i % interval == 0) {
            step();
        }
    }
    return image;
}

} // namespace tesselon::images
