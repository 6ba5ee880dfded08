#include "picture/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace picture {
namespace {

struct ShapeCase {
    int width;
    int height;
    int bandRows;
    bool made;
};

void PrintTo(const ShapeCase& c, std::ostream* out) {
    *out << c.width << "x" << c.height << "+" << c.bandRows;
}

class Allocation : public ::testing::TestWithParam<ShapeCase> {};

// Sides past the limit, or a picture of no rows, are refused before any
// memory is asked for; every picture made has zeroed band rows.
TEST_P(Allocation, MakesOnlySizesInRangeWithAZeroedBand) {
    const ShapeCase c = GetParam();
    const Picture made = Picture::Allocate(c.width, c.height, c.bandRows);
    ASSERT_EQ(!made.IsNull(), c.made);
    if (!c.made) {
        EXPECT_EQ(made.Bytes(), 0u);
        return;
    }
    EXPECT_EQ(made.Stride(), c.width * 4);
    EXPECT_EQ(made.Rows(), c.height + c.bandRows);
    EXPECT_EQ(made.Bytes(), std::size_t(c.width) * 4 * std::size_t(c.height + c.bandRows));
    const std::uint8_t* band = made.Row(c.height);
    EXPECT_TRUE(std::all_of(band, band + std::size_t(made.Stride()) * c.bandRows,
                            [](std::uint8_t byte) { return byte == 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    Picture, Allocation,
    ::testing::Values(ShapeCase{360, 240, 16, true}, ShapeCase{1, 1, 0, true},
                      ShapeCase{17, 9, 16, true}, ShapeCase{47, 0, 16, true},
                      ShapeCase{kMaxSide, 1, 0, true}, ShapeCase{0, 240, 16, false},
                      ShapeCase{kMaxSide + 1, 1, 0, false}, ShapeCase{1, kMaxSide + 1, 0, false},
                      ShapeCase{1, 1, kMaxSide + 1, false}, ShapeCase{6, 0, 0, false},
                      ShapeCase{6, -1, 16, false}, ShapeCase{6, 5, -1, false}));

TEST(Picture, MovesItsPixelsAndLeavesANullBehind) {
    Picture first = Picture::Allocate(6, 5, 2);
    ASSERT_TRUE(first);
    first.Row(4)[23] = 0x5A;
    const std::uint8_t* pixels = first.Pixels();
    Picture second = std::move(first);
    EXPECT_TRUE(first.IsNull());
    EXPECT_EQ(second.Pixels(), pixels);
    EXPECT_EQ(second.Row(4)[23], 0x5A);
    EXPECT_EQ(second.GetShape(), (Shape{6, 5, 2}));
    second.Reset();
    EXPECT_TRUE(second.IsNull());
    EXPECT_EQ(second.GetShape(), Shape{});
}

} // namespace
} // namespace picture
