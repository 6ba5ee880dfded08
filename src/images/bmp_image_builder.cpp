#include "images/bmp_image_builder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace images {
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
// blue-green-red bytes with zeroed padding, from pixel `first` on. Each pixel
// but the last is moved as four bytes; the fourth lands where the next
// pixel's first byte goes.
void ConvertRow(const std::uint8_t* source, std::uint8_t* target, std::uint32_t first,
                std::uint32_t width, std::uint32_t rowSize) {
    source += std::size_t{first} * 4;
    target += std::size_t{first} * 3;
    for (std::uint32_t x = first + 1; x < width; ++x) {
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

#if defined(__x86_64__) || defined(__i386__)
// Four pixels at a time: one byte shuffle drops their unused bytes. Each
// store writes 16 bytes of which 12 are kept; the next store or the row's
// last pixels overwrite the rest, so it stops while 16 bytes fit in the row.
[[gnu::target("ssse3")]] void ConvertRowSsse3(const std::uint8_t* source, std::uint8_t* target,
                                              std::uint32_t width, std::uint32_t rowSize) {
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::uint32_t x = 0;
    for (; x + 6 <= width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x * 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + x * 3),
                         _mm_shuffle_epi8(pixels, pack));
    }
    ConvertRow(source, target, x, width, rowSize);
}
#endif

using RowConverter = void (*)(const std::uint8_t*, std::uint8_t*, std::uint32_t, std::uint32_t);

RowConverter FastestRowConverter() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("ssse3"))
        return ConvertRowSsse3;
#endif
    return [](const std::uint8_t* source, std::uint8_t* target, std::uint32_t width,
              std::uint32_t rowSize) {
        ConvertRow(source, target, 0, width, rowSize);
    };
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
    static const RowConverter convertRow = FastestRowConverter();
    for (std::uint32_t i = height; i-- > 0; target += rowSize) {
        convertRow(pixels + i * sourceStride, target, width, rowSize);
        if (step != nullptr && interval != 0 && i % interval == 0) {
            step();
        }
    }
    return image;
}

} // namespace images
