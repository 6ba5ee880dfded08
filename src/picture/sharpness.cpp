#include "picture/sharpness.h"

#include <utility>
#include <vector>

namespace picture {

namespace {

void LumaRow(const std::uint8_t* pixels, int width, std::int32_t* luma) {
    for (int x = 0; x < width; ++x)
        luma[x] = Luma(pixels + 4 * x);
}

} // namespace

double Sharpness(const std::uint8_t* pixels, int width, int height, int stride) {
    if (pixels == nullptr || width < 3 || height < 3)
        return 0;
    // Three rows of luma at a time: each row is converted once, in one pass
    // over the picture.
    std::vector<std::int32_t> rows(3 * std::size_t(width));
    std::int32_t* above = rows.data();
    std::int32_t* centre = above + width;
    std::int32_t* below = centre + width;
    LumaRow(pixels, width, above);
    LumaRow(pixels + stride, width, centre);
    std::int64_t sum = 0;
    std::int64_t squares = 0;
    for (int y = 1; y + 1 < height; ++y) {
        LumaRow(pixels + std::size_t(y + 1) * std::size_t(stride), width, below);
        // One row's sums stay well inside 64 bits: |L| <= 4 × 255.
        std::int64_t rowSum = 0;
        std::int64_t rowSquares = 0;
        for (int x = 1; x + 1 < width; ++x) {
            const std::int32_t laplacian =
                4 * centre[x] - centre[x - 1] - centre[x + 1] - above[x] - below[x];
            rowSum += laplacian;
            rowSquares += std::int64_t(laplacian) * laplacian;
        }
        sum += rowSum;
        squares += rowSquares;
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
