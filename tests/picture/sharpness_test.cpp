#include "picture/likeness.h"
#include "picture/sharpness.h"

#include <gtest/gtest.h>

#include <functional>

namespace picture {
namespace {

// A picture whose frame pixel (x, y) is grey level `grey(x, y)`, and whose
// band rows are white and black stripes.
Picture Painted(int width, int height, int bandRows, const std::function<int(int, int)>& grey) {
    Picture made = Picture::Allocate(width, height, bandRows);
    for (int y = 0; y < made.Rows(); ++y) {
        for (int x = 0; x < width; ++x) {
            const int level = y < height ? grey(x, y) : ((x + y) % 2) * 255;
            std::uint8_t* pixel = made.Row(y) + 4 * x;
            pixel[0] = pixel[1] = pixel[2] = static_cast<std::uint8_t>(level);
            pixel[3] = 0;
        }
    }
    return made;
}

int Checker(int x, int y) {
    return ((x / 4 + y / 4) % 2) * 255;
}

// A 3 × 3 box blur of the checkerboard, worked out apart from it.
int BlurredChecker(int x, int y) {
    int total = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            total += Checker(std::max(0, x + dx), std::max(0, y + dy));
    return total / 9;
}

struct FlatCase {
    const char* name;
    int width;
    int height;
    int bandRows;
};

void PrintTo(const FlatCase& c, std::ostream* out) {
    *out << c.name;
}

class FlatPicture : public ::testing::TestWithParam<FlatCase> {};

// Whatever the band under it holds, a flat frame has no edges; so has a
// frame too small for a pixel with four neighbours.
TEST_P(FlatPicture, ScoresZero) {
    const FlatCase c = GetParam();
    const Picture flat = Painted(c.width, c.height, c.bandRows, [](int, int) { return 200; });
    EXPECT_EQ(Sharpness(flat), 0.0);
    const Picture busy = Painted(c.width, c.height, c.bandRows, Checker);
    if (c.width < 3 || c.height < 3) {
        EXPECT_EQ(Sharpness(busy), 0.0);
    } else {
        EXPECT_GT(Sharpness(busy), 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlatPicture,
                         ::testing::Values(FlatCase{"OnePixel", 1, 1, 0},
                                           FlatCase{"TwoRows", 17, 2, 16},
                                           FlatCase{"Awkward", 47, 33, 0},
                                           FlatCase{"WithBand", 17, 9, 16}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Sharpness, OneBrightPixelScoresTheVarianceOfItsLaplacian) {
    const Picture dot = Painted(5, 5, 16, [](int x, int y) { return x == 2 && y == 2 ? 255 : 0; });
    // The 3 × 3 interior: 4 × 255 at the dot, -255 at its four neighbours,
    // 0 at the corners; the mean is 0.
    const double expected = (1020.0 * 1020.0 + 4 * 255.0 * 255.0) / 9;
    EXPECT_DOUBLE_EQ(Sharpness(dot), expected);
}

TEST(Sharpness, ACheckerboardIsSharperThanItsBlur) {
    const Picture sharp = Painted(47, 33, 0, Checker);
    const Picture blurred = Painted(47, 33, 0, BlurredChecker);
    EXPECT_GT(Sharpness(sharp), 4 * Sharpness(blurred));
    EXPECT_GT(Sharpness(blurred), 0.0);
}

TEST(Sharpness, WeighsColoursAsLuma) {
    // Pure blue steps weigh 29/256 of grey ones: a blue checkerboard is far
    // less sharp than a grey one, a green one more than a blue one.
    auto channel = [](int index) {
        Picture made = Painted(17, 9, 0, [](int, int) { return 0; });
        for (int y = 0; y < made.Height(); ++y)
            for (int x = 0; x < made.Width(); ++x)
                made.Row(y)[4 * x + index] = static_cast<std::uint8_t>(Checker(x, y));
        return Sharpness(made);
    };
    const double grey = Sharpness(Painted(17, 9, 0, Checker));
    EXPECT_LT(channel(0), channel(2));
    EXPECT_LT(channel(2), channel(1));
    EXPECT_LT(channel(1), grey);
}

TEST(Sharpness, ASurfaceScoresAsItsPicture) {
    const Picture sharp = Painted(47, 33, 16, Checker);
    EXPECT_EQ(Sharpness(sharp.Pixels(), sharp.Width(), sharp.Height(), sharp.Stride()),
              Sharpness(sharp));
}

struct LikenessCase {
    const char* name;
    std::function<int(int, int)> after;
    bool nearDuplicate;
};

class Likeness : public ::testing::TestWithParam<LikenessCase> {};

// Against a picture of a gradient, 64 × 48 with a band.
TEST_P(Likeness, NearDuplicatesDifferByUnderOneLevel) {
    const auto before = [](int x, int y) { return 40 + x + y; };
    const LikenessCase& c = GetParam();
    const GreyCopy one = MakeGreyCopy(Painted(64, 48, 16, before));
    const GreyCopy other = MakeGreyCopy(Painted(64, 48, 16, c.after));
    EXPECT_EQ(NearDuplicate(other, one), c.nearDuplicate) << MeanDifference(other, one);
    EXPECT_DOUBLE_EQ(MeanDifference(other, one), MeanDifference(one, other));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, Likeness,
    ::testing::Values(
        LikenessCase{"Same", [](int x, int y) { return 40 + x + y; }, true},
        // Coding noise: every pixel a level off, up or down.
        LikenessCase{"Noise", [](int x, int y) { return 40 + x + y + ((x * 7 + y * 3) % 3) - 1; },
                     true},
        LikenessCase{"BrighterByTwo", [](int x, int y) { return 42 + x + y; }, false},
        // A square of an eighth of the side turned white.
        LikenessCase{"ASquareChanged",
                     [](int x, int y) { return x < 8 && y < 6 ? 255 : 40 + x + y; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Likeness, OnlyTheFrameRowsCount) {
    Picture one = Painted(40, 30, 16, Checker);
    Picture other = Painted(40, 30, 16, Checker);
    std::fill(other.Band(), other.Band() + std::size_t(other.Stride()) * 16, std::uint8_t(255));
    EXPECT_EQ(MeanDifference(MakeGreyCopy(one), MakeGreyCopy(other)), 0.0);
    EXPECT_EQ(Sharpness(one), Sharpness(other));
}

} // namespace
} // namespace picture
