#include "picture/likeness.h"

#include "picture/sharpness.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace picture {

GreyCopy MakeGreyCopy(const Picture& picture) {
    GreyCopy grey{};
    const int width = picture.Width();
    const int height = picture.Height();
    if (picture.IsNull() || height == 0)
        return grey;
    constexpr int side = kGreyCopySide;
    std::vector<int> cellOfColumn(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        cellOfColumn[std::size_t(x)] = int(std::int64_t(x) * side / width);
    // A cell holds at most 512 × 512 pixels of a 16384-pixel side: its sum
    // of levels fits 32 bits.
    std::array<std::uint32_t, side * side> sums{};
    std::array<std::uint32_t, side * side> counts{};
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = picture.Row(y);
        const std::size_t cellRow = std::size_t(std::int64_t(y) * side / height) * side;
        for (int x = 0; x < width; ++x) {
            const std::size_t cell = cellRow + std::size_t(cellOfColumn[std::size_t(x)]);
            sums[cell] += std::uint32_t(Luma(row + 4 * x));
            ++counts[cell];
        }
    }
    for (std::size_t cell = 0; cell < grey.size(); ++cell)
        grey[cell] = counts[cell] ? float(sums[cell]) / float(counts[cell]) : 0.0f;
    return grey;
}

double MeanDifference(const GreyCopy& one, const GreyCopy& other) {
    double total = 0;
    for (std::size_t cell = 0; cell < one.size(); ++cell)
        total += std::fabs(double(one[cell]) - double(other[cell]));
    return total / double(one.size());
}

} // namespace picture
