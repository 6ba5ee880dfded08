#include "picture/sharpness.h"

#include <cstring>
#include <utility>
#include <vector>

namespace picture {

namespace {

// Pixels summed in 32 bits before the sum moves to 64: a squared Laplacian
// is at most (4 × 255)², so 2048 of them stay under 2^31.
constexpr int kChunk = 2048;

} // namespace

void LumaRow(const std::uint8_t* pixels, int width, std::uint16_t* luma) {
    // A whole pixel at a time, so the loop vectorises.
    for (int x = 0; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, pixels + 4 * x, 4);
        luma[x] = static_cast<std::uint16_t>(
            (29 * (pixel & 0xFF) + 150 * (pixel >> 8 & 0xFF) + 77 * (pixel >> 16 & 0xFF) + 128) >>
            8);
    }
}

double Sharpness(const std::uint8_t* pixels, int width, int height, int stride) {
    if (pixels == nullptr || width < 3 || height < 3)
        return 0;
    // Three rows of luma at a time: each row is converted once, in one pass
    // over the picture.
    std::vector<std::uint16_t> rows(3 * std::size_t(width));
    std::uint16_t* above = rows.data();
    std::uint16_t* centre = above + width;
    std::uint16_t* below = centre + width;
    LumaRow(pixels, width, above);
    LumaRow(pixels + stride, width, centre);
    std::int64_t sum = 0;
    std::int64_t squares = 0;
    for (int y = 1; y + 1 < height; ++y) {
        LumaRow(pixels + std::size_t(y + 1) * std::size_t(stride), width, below);
        for (int start = 1; start + 1 < width; start += kChunk) {
            const int end = std::min(width - 1, start + kChunk);
            std::int32_t chunkSum = 0;
            std::int32_t chunkSquares = 0;
            for (int x = start; x < end; ++x) {
                const std::int32_t laplacian =
                    4 * centre[x] - centre[x - 1] - centre[x + 1] - above[x] - below[x];
                chunkSum += laplacian;
                chunkSquares += laplacian * laplacian;
            }
            sum += chunkSum;
            squares += chunkSquares;
        }
        std::swap(above, centre);
        std::swap(centre, below);
    }
    const double count = double(width - 2) * double(height - 2);
    const double mean = double(sum) / count;
    return double(squares) / count - mean * mean;
}

double Sharpness(const Picture& picture) {
    return Sharpness(picture.Pixels(), picture.Width(), picture.Height(), picture.Stride());
}

} // namespace picture
