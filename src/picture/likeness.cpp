#include "picture/likeness.h"

#include "picture/sharpness.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace picture {

namespace {

constexpr int kSide = kGreyCopySide;

// The first pixel of each of the kSide cells along `length` pixels, and
// `length` after the last.
std::array<int, kSide + 1> CellStarts(int length) {
    std::array<int, kSide + 1> starts{};
    for (int cell = 0; cell <= kSide; ++cell)
        starts[std::size_t(cell)] = int((std::int64_t(cell) * length + kSide - 1) / kSide);
    return starts;
}

} // namespace

GreyCopy MakeGreyCopy(const Picture& picture) {
    GreyCopy grey{};
    const int width = picture.Width();
    const int height = picture.Height();
    if (picture.IsNull() || height == 0)
        return grey;
    const std::array<int, kSide + 1> columns = CellStarts(width);
    const std::array<int, kSide + 1> rows = CellStarts(height);
    std::vector<std::uint16_t> luma(std::size_t(width), 0);
    // Each column's levels over one row of cells: at most 512 rows of 255.
    std::vector<std::uint32_t> columnSums(std::size_t(width), 0);
    for (int cellRow = 0; cellRow < kSide; ++cellRow) {
        std::fill(columnSums.begin(), columnSums.end(), 0u);
        for (int y = rows[std::size_t(cellRow)]; y < rows[std::size_t(cellRow) + 1]; ++y) {
            LumaRow(picture.Row(y), width, luma.data());
            for (int x = 0; x < width; ++x)
                columnSums[std::size_t(x)] += luma[std::size_t(x)];
        }
        const int cellHeight = rows[std::size_t(cellRow) + 1] - rows[std::size_t(cellRow)];
        for (int cell = 0; cell < kSide; ++cell) {
            const int left = columns[std::size_t(cell)];
            const int right = columns[std::size_t(cell) + 1];
            std::uint64_t total = 0;
            for (int x = left; x < right; ++x)
                total += columnSums[std::size_t(x)];
            const std::uint64_t pixels = std::uint64_t(right - left) * std::uint64_t(cellHeight);
            grey[std::size_t(cellRow * kSide + cell)] =
                pixels ? float(double(total) / double(pixels)) : 0.0f;
        }
    }
    return grey;
}

double MeanDifference(const GreyCopy& one, const GreyCopy& other) {
    double total = 0;
    for (std::size_t cell = 0; cell < one.size(); ++cell)
        total += std::fabs(double(one[cell]) - double(other[cell]));
    return total / double(one.size());
}

} // namespace picture
