#include "images/bmp_image_builder.h"

#include "image_buffers.h"
#include "jpeg/bmp_reader.h"
#include "jpeg/raster_image.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>

namespace images {
namespace {

using testing::Bgr;
using testing::DistinctBuffer;
using testing::PixelAt;

int stepCount = 0;
void CountStep() {
    ++stepCount;
}

std::uint32_t Read32(const std::uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (std::uint32_t{at[3]} << 24);
}

struct HeaderCase {
    std::uint16_t width;
    std::uint16_t height;
    std::uint32_t rowSize;
    std::uint32_t pixelBytes;
    std::uint32_t fileSize;
    int steps;
};

void PrintTo(const HeaderCase& c, std::ostream* out) {
    *out << c.width << "x" << c.height;
}

class BmpHeader : public ::testing::TestWithParam<HeaderCase> {};

// The three sizes the system saves: header bytes, block size and steps.
TEST_P(BmpHeader, MatchesTheFixedLayout) {
    const HeaderCase& c = GetParam();
    const auto pixels = DistinctBuffer(c.width, c.height);
    stepCount = 0;
    const BmpImage bmp = BuildBmpImage(c.width, c.height, pixels.data(), CountStep, 4);
    ASSERT_TRUE(bmp);
    ASSERT_EQ(bmp.size, c.fileSize);
    EXPECT_EQ(stepCount, c.steps);
    EXPECT_EQ(BmpRowSize(c.width), c.rowSize);

    std::array<std::uint8_t, 54> expected{};
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            expected[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    expected[0] = 0x42;
    expected[1] = 0x4D;
    put32(2, c.fileSize);
    put32(10, 54);
    put32(14, 40);
    put32(18, c.width);
    put32(22, c.height);
    expected[26] = 1;
    expected[28] = 24;
    put32(34, c.pixelBytes);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(bmp.block[i], expected[i]) << "header byte " << i;
    }
    // The first stored byte is the blue byte of the bottom-left pixel.
    EXPECT_EQ(bmp.block[54], PixelAt(pixels, c.width, 0, c.height - 1).blue);
}

INSTANTIATE_TEST_SUITE_P(SystemSizes, BmpHeader,
                         ::testing::Values(HeaderCase{360, 240, 1080, 259200, 259254, 3},
                                           HeaderCase{360, 256, 1080, 276480, 276534, 4},
                                           HeaderCase{752, 512, 2256, 1155072, 1155126, 4}));

// Each stored row, bottom-up, holds blue, green, red of the source row and
// zeroed padding; checked byte by byte against the source buffer.
void ExpectRowsMatchSource(const BmpImage& bmp, const std::vector<std::uint8_t>& pixels,
                           std::uint32_t width, std::uint32_t height) {
    const std::uint32_t rowSize = BmpRowSize(width);
    ASSERT_EQ(bmp.size, 54 + std::size_t{rowSize} * height);
    for (std::uint32_t stored = 0; stored < height; ++stored) {
        const std::uint8_t* row = bmp.block.get() + 54 + std::size_t{stored} * rowSize;
        const std::uint32_t y = height - 1 - stored;
        for (std::uint32_t x = 0; x < width; ++x) {
            const Bgr source = PixelAt(pixels, width, x, y);
            ASSERT_EQ(row[3 * x], source.blue) << x << "," << y;
            ASSERT_EQ(row[3 * x + 1], source.green) << x << "," << y;
            ASSERT_EQ(row[3 * x + 2], source.red) << x << "," << y;
        }
        for (std::uint32_t padding = width * 3; padding < rowSize; ++padding) {
            ASSERT_EQ(row[padding], 0) << "padding byte " << padding << " of stored row " << stored;
        }
    }
}

struct Size {
    std::uint16_t width;
    std::uint16_t height;
};

void PrintTo(const Size& size, std::ostream* out) {
    *out << size.width << "x" << size.height;
}

class BmpPixels : public ::testing::TestWithParam<Size> {};

TEST_P(BmpPixels, StoresRowsBottomUpInBlueGreenRed) {
    const auto [width, height] = GetParam();
    const auto pixels = DistinctBuffer(width, height);
    const BmpImage bmp = BuildBmpImage(width, height, pixels.data(), nullptr, 4);
    ASSERT_TRUE(bmp);
    ExpectRowsMatchSource(bmp, pixels, width, height);
}

// The reader of the codec sees the same picture: pixel (x, y) of the buffer
// is PixelRgb (y, x) of the image it reads.
TEST_P(BmpPixels, ReadsBackThroughBmpReader) {
    const auto [width, height] = GetParam();
    const auto pixels = DistinctBuffer(width, height);
    const BmpImage bmp = BuildBmpImage(width, height, pixels.data(), nullptr, 4);
    ASSERT_TRUE(bmp);
    std::istringstream stream(
        std::string(reinterpret_cast<const char*>(bmp.block.get()), bmp.size));
    jpeg::BmpReader reader;
    jpeg::RasterImage image;
    reader.Read(stream, image);
    ASSERT_EQ(image.Width(), width);
    ASSERT_EQ(image.Height(), height);
    ASSERT_EQ(image.BitCount(), 24u);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t red = 0, green = 0, blue = 0;
            image.PixelRgb(y, x, red, green, blue);
            const Bgr source = PixelAt(pixels, width, x, y);
            ASSERT_EQ(blue, source.blue) << x << "," << y;
            ASSERT_EQ(green, source.green) << x << "," << y;
            ASSERT_EQ(red, source.red) << x << "," << y;
        }
    }
}

// Awkward sizes, and 361 whose rows of 1083 bytes get one byte of padding;
// widths 5 to 10 on both sides of the four-pixel steps and their last store.
INSTANTIATE_TEST_SUITE_P(AwkwardSizes, BmpPixels,
                         ::testing::Values(Size{1, 1}, Size{6, 5}, Size{17, 9}, Size{47, 33},
                                           Size{2, 3}, Size{361, 4}, Size{362, 2}, Size{5, 2},
                                           Size{7, 2}, Size{8, 2}, Size{9, 2}, Size{10, 2},
                                           Size{360, 3}));

TEST(BmpImageBuilder, Width361GetsRowsOf1084BytesEndingInZero) {
    const auto pixels = DistinctBuffer(361, 240);
    const BmpImage bmp = BuildBmpImage(361, 240, pixels.data(), nullptr, 4);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(BmpRowSize(361), 1084u);
    EXPECT_EQ(bmp.size, 54u + 1084u * 240u);
    EXPECT_EQ(Read32(bmp.block.get() + 34), 1084u * 240u);
    for (std::uint32_t stored = 0; stored < 240; ++stored) {
        ASSERT_EQ(bmp.block[54 + stored * 1084 + 1083], 0) << "stored row " << stored;
    }
}

// A width whose row size overflows 16-bit arithmetic (65535 × 3 + 3 = 196608).
TEST(BmpImageBuilder, WidestRowKeepsItsFullSize) {
    const auto pixels = DistinctBuffer(65535, 2);
    const BmpImage bmp = BuildBmpImage(65535, 2, pixels.data(), nullptr, 4);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(BmpRowSize(65535), 196608u);
    EXPECT_EQ(Read32(bmp.block.get() + 2), 54u + 2 * 196608u);
    ExpectRowsMatchSource(bmp, pixels, 65535, 2);
}

TEST(BmpImageBuilder, NothingToBuildGivesNoBlock) {
    const auto pixels = DistinctBuffer(4, 4);
    stepCount = 0;
    for (const Size size : {Size{0, 4}, Size{4, 0}, Size{0, 0}}) {
        const BmpImage bmp = BuildBmpImage(size.width, size.height, pixels.data(), CountStep, 4);
        EXPECT_FALSE(bmp);
        EXPECT_EQ(bmp.size, 0u);
    }
    EXPECT_FALSE(BuildBmpImage(4, 4, nullptr, CountStep, 4));
    EXPECT_EQ(stepCount, 0);
}

struct StepCase {
    std::uint16_t height;
    unsigned steps;
    int expectedCalls;
};

void PrintTo(const StepCase& c, std::ostream* out) {
    *out << c.height << " rows, " << c.steps << " steps";
}

class BmpSteps : public ::testing::TestWithParam<StepCase> {};

// The step function runs after each source row that is a multiple of
// height ÷ (steps − 1); below that many rows the interval is 0 and no step
// is made rather than dividing by zero.
TEST_P(BmpSteps, CallsTheStepFunctionAtEveryInterval) {
    const StepCase& c = GetParam();
    const auto pixels = DistinctBuffer(3, c.height);
    stepCount = 0;
    const BmpImage bmp = BuildBmpImage(3, c.height, pixels.data(), CountStep, c.steps);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(stepCount, c.expectedCalls);
}

INSTANTIATE_TEST_SUITE_P(Heights, BmpSteps,
                         ::testing::Values(StepCase{240, 4, 3}, // rows 160, 80, 0
                                           StepCase{256, 4, 4}, // rows 255, 170, 85, 0
                                           StepCase{512, 4, 4}, // rows 510, 340, 170, 0
                                           StepCase{1, 4, 0}, StepCase{2, 4, 0},
                                           StepCase{3, 4, 3},  // every row
                                           StepCase{7, 4, 4},  // rows 6, 4, 2, 0
                                           StepCase{10, 2, 1}, // row 0 only
                                           StepCase{10, 1, 0}, StepCase{10, 0, 0}));

} // namespace
} // namespace images
