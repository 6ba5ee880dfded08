#include "jpeg/errors.h"
#include "jpeg/raster_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

namespace jpeg {
namespace {

struct GeometryCase {
    std::uint32_t colourCount;
    std::uint32_t bitCount;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t expectedRowWidth;
};

class AllocateGeometryTest : public testing::TestWithParam<GeometryCase> {};

TEST_P(AllocateGeometryTest, SizesPadsAndZeroes) {
    const GeometryCase& geometry = GetParam();
    RasterImage image;
    // A first, different picture shows that Allocate starts afresh.
    image.Allocate(256, 8, 7, 7);
    std::fill_n(image.ImageData(), 7 * image.RowWidth(), 0xAB);
    image.PaletteEntry(3).red = 9;

    image.Allocate(geometry.colourCount, geometry.bitCount, geometry.width, geometry.height);
    EXPECT_EQ(image.RowWidth(), geometry.expectedRowWidth);
    EXPECT_EQ(image.BitCount(), geometry.bitCount);
    EXPECT_EQ(image.Width(), geometry.width);
    EXPECT_EQ(image.Height(), geometry.height);
    EXPECT_EQ(image.ColourCount(), geometry.colourCount);
    const std::uint8_t* data = image.ImageData();
    const std::size_t bytes = std::size_t{geometry.height} * geometry.expectedRowWidth;
    EXPECT_TRUE(std::all_of(data, data + bytes, [](std::uint8_t byte) { return byte == 0; }));
    for (std::uint32_t index = 0; index < geometry.colourCount; ++index) {
        const PaletteColour& colour = image.PaletteEntry(index);
        EXPECT_EQ(colour.blue | colour.green | colour.red, 0) << "entry " << index;
    }
    EXPECT_THROW(image.PaletteEntry(geometry.colourCount), ESubscriptOutOfRange);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, AllocateGeometryTest,
    testing::Values(GeometryCase{0, 24, 360, 240, 1080}, GeometryCase{2, 1, 10, 3, 4},
                    GeometryCase{16, 4, 5, 1, 4}, GeometryCase{4, 2, 17, 9, 8}, // 34 bits: 5 bytes
                    GeometryCase{2, 1, 33, 2, 8},                               // 33 bits: 5 bytes
                    GeometryCase{256, 8, 6, 5, 8}, GeometryCase{0, 24, 1, 1, 4},
                    GeometryCase{0, 24, 47, 33, 144}, GeometryCase{16, 4, 0, 3, 0},
                    GeometryCase{0, 24, 9, 0, 28}));

// Packs value v at column x with the bit order of a BMP row, written out here
// independently of the image's own reading code.
void StorePixel(std::uint8_t* row, std::uint32_t bitCount, std::uint32_t x, std::uint32_t v) {
    const std::uint32_t perByte = 8 / bitCount;
    const std::uint32_t shift = 8 - bitCount * (x % perByte + 1);
    row[x / perByte] = static_cast<std::uint8_t>(row[x / perByte] | v << shift);
}

class PalettePackingTest : public testing::TestWithParam<std::uint32_t> {};

TEST_P(PalettePackingTest, PixelRgbLooksUpEveryPackedIndex) {
    const std::uint32_t bitCount = GetParam();
    const std::uint32_t colours = 1u << bitCount;
    const std::uint32_t width = 17;
    const std::uint32_t height = 3;
    RasterImage image;
    image.Allocate(colours, bitCount, width, height);
    for (std::uint32_t index = 0; index < colours; ++index) {
        image.PaletteEntry(index) =
            PaletteColour{static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(255 - index),
                          static_cast<std::uint8_t>(index * 7 + 1)};
    }
    auto valueAt = [&](std::uint32_t row, std::uint32_t x) {
        return (row * 5 + x * 3) % colours;
    };
    for (std::uint32_t row = 0; row < height; ++row) {
        std::uint8_t* stored = image.ImageData() + (height - 1 - row) * image.RowWidth();
        for (std::uint32_t x = 0; x < width; ++x) {
            StorePixel(stored, bitCount, x, valueAt(row, x));
        }
    }
    for (std::uint32_t row = 0; row < height; ++row) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t red = 0, green = 0, blue = 0;
            image.PixelRgb(row, x, red, green, blue);
            const std::uint32_t v = valueAt(row, x);
            EXPECT_EQ(blue, v) << row << "," << x;
            EXPECT_EQ(green, 255 - v) << row << "," << x;
            EXPECT_EQ(red, static_cast<std::uint8_t>(v * 7 + 1)) << row << "," << x;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BitCounts, PalettePackingTest, testing::Values(1u, 2u, 4u, 8u));

TEST(RasterImageTest, FourBitPixelFourSitsInTheHighNibbleOfByteTwo) {
    RasterImage image;
    image.Allocate(16, 4, 5, 1);
    image.PaletteEntry(0xC).green = 77;
    image.ImageData()[2] = 0xC0;
    std::uint8_t red = 0, green = 0, blue = 0;
    image.PixelRgb(0, 4, red, green, blue);
    EXPECT_EQ(green, 77);
}

TEST(RasterImageTest, TrueColourRowZeroIsTheLastStoredRow) {
    RasterImage image;
    image.Allocate(0, 24, 6, 5);
    std::uint8_t* lastStored = image.ImageData() + 4 * image.RowWidth();
    lastStored[0] = 10;                // blue
    lastStored[1] = 20;                // green
    lastStored[2] = 30;                // red
    image.ImageData()[3 * 5 + 2] = 99; // red of stored row 0, column 5
    std::uint8_t red = 0, green = 0, blue = 0;
    image.PixelRgb(0, 0, red, green, blue);
    EXPECT_EQ(red, 30);
    EXPECT_EQ(green, 20);
    EXPECT_EQ(blue, 10);
    image.PixelRgb(4, 5, red, green, blue);
    EXPECT_EQ(red, 99);
    EXPECT_THROW(image.PaletteEntry(0), ESubscriptOutOfRange);
}

TEST(RasterImageTest, PixelRgbRefusesCoordinatesOutsideTheImage) {
    RasterImage image;
    image.Allocate(0, 24, 6, 5);
    std::uint8_t red = 0, green = 0, blue = 0;
    EXPECT_THROW(image.PixelRgb(5, 0, red, green, blue), ESubscriptOutOfRange);
    EXPECT_THROW(image.PixelRgb(0, 6, red, green, blue), ESubscriptOutOfRange);
    EXPECT_NO_THROW(image.PixelRgb(4, 5, red, green, blue));
}

// A hand-sized map with fewer colours than the pixels can name must not be
// read past its end.
TEST(RasterImageTest, PaletteIndexPastTheColourCountIsRefused) {
    RasterImage image;
    image.Allocate(3, 2, 4, 1);
    image.ImageData()[0] = 0b00'01'10'11;
    std::uint8_t red = 0, green = 0, blue = 0;
    EXPECT_NO_THROW(image.PixelRgb(0, 2, red, green, blue));
    EXPECT_THROW(image.PixelRgb(0, 3, red, green, blue), ESubscriptOutOfRange);
}

class InvalidBitCountTest : public testing::TestWithParam<std::uint32_t> {};

TEST_P(InvalidBitCountTest, LeavesAnEmptyImage) {
    RasterImage image;
    image.Allocate(0, 24, 4, 4);
    EXPECT_THROW(image.Allocate(0, GetParam(), 4, 4), EInvalidBitCount);
    EXPECT_EQ(image.BitCount(), 0u);
    EXPECT_EQ(image.Width(), 0u);
    EXPECT_EQ(image.Height(), 0u);
    EXPECT_EQ(image.ImageData(), nullptr);
    std::uint8_t red = 0, green = 0, blue = 0;
    EXPECT_THROW(image.PixelRgb(0, 0, red, green, blue), ESubscriptOutOfRange);
}

INSTANTIATE_TEST_SUITE_P(BitCounts, InvalidBitCountTest, testing::Values(0u, 3u, 16u, 32u));

TEST(RasterImageTest, RowWidthBeyondThirtyTwoBitsFailsCleanly) {
    RasterImage image;
    EXPECT_THROW(image.Allocate(0, 24, 0xFFFFFFFFu, 1), std::bad_alloc);
    EXPECT_EQ(image.Width(), 0u);
    EXPECT_EQ(image.ImageData(), nullptr);
}

} // namespace
} // namespace jpeg
