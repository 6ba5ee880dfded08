#include "jpeg/colour_rows.h"
#include "jpeg/errors.h"
#include "jpeg/raster_image.h"
#include "jpeg/tables.h"
#include "jpeg/transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace jpeg {
namespace {

// ---- Quantization tables --------------------------------------------------

struct QualityCase {
    std::uint32_t quality;
    std::vector<std::uint16_t> luminanceBegin;
    std::vector<std::uint16_t> luminanceEnd;
    std::vector<std::uint16_t> chrominanceBegin;
    std::uint16_t chrominanceRest; // every later chrominance entry; 0: not checked
};

class QuantTables : public testing::TestWithParam<QualityCase> {};

TEST_P(QuantTables, ScaleTheAnnexKTables) {
    QuantTable luminance{};
    QuantTable chrominance{};
    BuildQuantTables(GetParam().quality, luminance, chrominance);
    const auto& c = GetParam();
    EXPECT_TRUE(std::equal(c.luminanceBegin.begin(), c.luminanceBegin.end(), luminance.begin()));
    EXPECT_TRUE(std::equal(c.luminanceEnd.rbegin(), c.luminanceEnd.rend(), luminance.rbegin()));
    EXPECT_TRUE(
        std::equal(c.chrominanceBegin.begin(), c.chrominanceBegin.end(), chrominance.begin()));
    if (c.chrominanceRest != 0) {
        for (std::size_t i = c.chrominanceBegin.size(); i < 64; ++i) {
            EXPECT_EQ(chrominance[i], c.chrominanceRest) << "entry " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transform, QuantTables,
    testing::Values(
        QualityCase{50, {16, 11, 12, 14, 12, 10, 16, 14}, {}, {17, 18, 18, 24, 21, 24, 47, 26}, 0},
        QualityCase{75,
                    {2, 1, 1, 1, 1, 1, 2, 1, 1, 1, 2, 2, 2, 2, 3, 5},
                    {12, 15, 11, 12, 12, 12},
                    {2, 2, 2, 3, 2, 3, 5, 3, 3, 5, 12, 8, 7, 8, 12, 12},
                    12},
        QualityCase{100, std::vector<std::uint16_t>(64, 1), {}, {1}, 1},
        QualityCase{1, std::vector<std::uint16_t>(64, 255), {}, {255}, 255}));

TEST(QuantTables, EntriesStayInRangeAndFallAsQualityRises) {
    QuantTable previousLuminance{};
    QuantTable previousChrominance{};
    BuildQuantTables(1, previousLuminance, previousChrominance);
    for (std::uint32_t quality = 2; quality <= 100; ++quality) {
        QuantTable luminance{};
        QuantTable chrominance{};
        BuildQuantTables(quality, luminance, chrominance);
        for (int i = 0; i < 64; ++i) {
            ASSERT_GE(luminance[i], 1);
            ASSERT_LE(luminance[i], previousLuminance[i]) << "quality " << quality;
            ASSERT_LE(chrominance[i], previousChrominance[i]) << "quality " << quality;
        }
        previousLuminance = luminance;
        previousChrominance = chrominance;
    }
}

TEST(QuantTables, QualityOutsideOneToHundredIsRefused) {
    for (const std::uint32_t quality : {0u, 101u, 0xFFFFFFFFu}) {
        QuantTable luminance{};
        QuantTable chrominance{};
        luminance.fill(7);
        EXPECT_THROW(BuildQuantTables(quality, luminance, chrominance), EJpegValueOutOfRange);
        EXPECT_EQ(luminance[0], 7);
        EXPECT_EQ(chrominance[0], 0);
    }
}

// ---- Colour ----------------------------------------------------------------

struct ColourCase {
    std::uint8_t red, green, blue;
    int y, cb, cr;
};

class ColourValues : public testing::TestWithParam<ColourCase> {};

TEST_P(ColourValues, ConvertAndClamp) {
    const ColourCase& c = GetParam();
    EXPECT_EQ(ToY(c.red, c.green, c.blue), c.y);
    EXPECT_EQ(ToCb(c.red, c.green, c.blue), c.cb);
    EXPECT_EQ(ToCr(c.red, c.green, c.blue), c.cr);
}

INSTANTIATE_TEST_SUITE_P(Transform, ColourValues,
                         testing::Values(ColourCase{128, 128, 128, 128, 128, 128},
                                         ColourCase{255, 255, 255, 255, 128, 128},
                                         ColourCase{0, 0, 0, 0, 128, 128},
                                         ColourCase{255, 0, 0, 76, 85, 255},
                                         ColourCase{0, 255, 0, 150, 44, 21},
                                         ColourCase{0, 0, 255, 29, 255, 107}));

TEST(ColourValues, StayWithinOneOfTheExactWeights) {
    std::mt19937 random(99);
    const auto clamped = [](double value) {
        return std::clamp(value, 0.0, 255.0);
    };
    for (int i = 0; i < 100000; ++i) {
        const auto r = static_cast<std::uint8_t>(random());
        const auto g = static_cast<std::uint8_t>(random());
        const auto b = static_cast<std::uint8_t>(random());
        ASSERT_NEAR(ToY(r, g, b), clamped(0.299 * r + 0.587 * g + 0.114 * b), 1.0);
        ASSERT_NEAR(ToCb(r, g, b), clamped(-0.168736 * r - 0.331264 * g + 0.5 * b + 128), 1.0);
        ASSERT_NEAR(ToCr(r, g, b), clamped(0.5 * r - 0.418688 * g - 0.081312 * b + 128), 1.0);
    }
}

// ---- Transform -------------------------------------------------------------

QuantTable Flat(std::uint16_t value) {
    QuantTable table;
    table.fill(value);
    return table;
}

SampleBlock RandomBlock(std::mt19937& random) {
    SampleBlock block;
    switch (random() % 4) {
    case 0: // extremes only
        for (auto& sample : block) {
            sample = random() % 2 ? 255 : 0;
        }
        break;
    case 1: // smooth, as in photographs
    {
        const int base = static_cast<int>(random() % 200);
        const int dx = static_cast<int>(random() % 7);
        const int dy = static_cast<int>(random() % 7);
        for (int i = 0; i < 64; ++i) {
            block[i] = static_cast<std::uint8_t>(base + dx * (i % 8) + dy * (i / 8));
        }
        break;
    }
    default:
        for (auto& sample : block) {
            sample = static_cast<std::uint8_t>(random());
        }
    }
    return block;
}

QuantTable RandomTable(std::mt19937& random) {
    QuantTable table;
    QuantTable unused;
    switch (random() % 3) {
    case 0:
        BuildQuantTables(1 + random() % 100, table, unused);
        break;
    case 1:
        BuildQuantTables(1 + random() % 100, unused, table);
        break;
    default:
        for (auto& entry : table) {
            entry = static_cast<std::uint16_t>(1 + random() % 255);
        }
    }
    return table;
}

class TransformPaths : public testing::TestWithParam<TransformPath> {};

std::string PathName(const testing::TestParamInfo<TransformPath>& info) {
    switch (info.param) {
    case TransformPath::Avx2:
        return "Avx2";
    case TransformPath::Avx512:
        return "Avx512";
    default:
        return "Portable";
    }
}

TEST_P(TransformPaths, EqualThePlainFormOnRandomBlocks) {
    if (!TransformPathSupported(GetParam())) {
        GTEST_SKIP() << "this processor lacks the instructions";
    }
    std::mt19937 random(31337);
    for (int i = 0; i < 100000; ++i) {
        const SampleBlock block = RandomBlock(random);
        const QuantTable table = i % 4 == 0 ? Flat(1) : RandomTable(random);
        CoefficientUnit fast;
        CoefficientUnit plain;
        TransformBlockUsing(GetParam(), block, table, fast);
        TransformBlockReference(block, table, plain);
        ASSERT_EQ(fast, plain) << "block " << i;
        if (i % 64 == 0) {
            TransformBlock(block, table, fast);
            ASSERT_EQ(fast, plain) << "block " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TransformBlock, TransformPaths,
                         testing::Values(TransformPath::Portable, TransformPath::Avx2,
                                         TransformPath::Avx512),
                         PathName);

// ---- Whole-row colour conversion ----------------------------------------------

std::uint8_t ExpectedSample(ColourChannel channel, const std::uint8_t* pixel) {
    switch (channel) {
    case ColourChannel::Y:
        return ToY(pixel[2], pixel[1], pixel[0]);
    case ColourChannel::Cb:
        return ToCb(pixel[2], pixel[1], pixel[0]);
    case ColourChannel::Cr:
        break;
    }
    return ToCr(pixel[2], pixel[1], pixel[0]);
}

void ExpectRowConverted(TransformPath path, ColourChannel channel,
                        const std::vector<std::uint8_t>& pixels, std::size_t count) {
    // One guard byte past the row must stay as it is.
    std::vector<std::uint8_t> samples(count + 1, 0xA5);
    ConvertRowUsing(path, channel, pixels.data(), samples.data(), count);
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(samples[i], ExpectedSample(channel, &pixels[3 * i]))
            << "pixel " << i << " of " << count;
    }
    EXPECT_EQ(samples[count], 0xA5) << count;
}

class ConvertRowPaths : public testing::TestWithParam<TransformPath> {};

// Every length up to a few groups of 16, so each tail length is met, on
// random pixels and on every corner of the colour cube (where the clamp acts:
// pure blue gives a Cb of 256 before it).
TEST_P(ConvertRowPaths, EqualTheFunctionsOfEachPixel) {
    if (!TransformPathSupported(GetParam())) {
        GTEST_SKIP() << "not supported on this processor";
    }
    std::mt19937 random(99);
    std::vector<std::uint8_t> pixels(3 * 70);
    for (std::uint8_t& byte : pixels) {
        byte = static_cast<std::uint8_t>(random());
    }
    std::vector<std::uint8_t> corners;
    for (int corner = 0; corner < 64; ++corner) {
        for (int channel = 0; channel < 3; ++channel) {
            const int level = (corner >> (2 * channel)) & 3;
            corners.push_back(static_cast<std::uint8_t>(level == 3 ? 255 : level * 64));
        }
    }
    for (const ColourChannel channel : {ColourChannel::Y, ColourChannel::Cb, ColourChannel::Cr}) {
        for (std::size_t count = 0; count <= 70; ++count) {
            ExpectRowConverted(GetParam(), channel, pixels, count);
        }
        ExpectRowConverted(GetParam(), channel, corners, 64);
    }
}

INSTANTIATE_TEST_SUITE_P(ColourRows, ConvertRowPaths,
                         testing::Values(TransformPath::Portable, TransformPath::Avx2,
                                         TransformPath::Avx512),
                         PathName);

// ---- Quantization ------------------------------------------------------------

// Coefficients on a rounding boundary, (m + 0.5) × divisor (exact in double),
// and three units in the last place either side of each, for every
// half-integer within the DCT's range of ±1024.
std::vector<double> BoundaryCoefficients(std::uint16_t divisor) {
    std::vector<double> values;
    for (int m = -1025; m <= 1024; ++m) {
        const double boundary = (m + 0.5) * divisor;
        if (std::fabs(boundary) > 1024.0) {
            continue;
        }
        values.push_back(boundary);
        double below = boundary;
        double above = boundary;
        for (int step = 0; step < 3; ++step) {
            below = std::nextafter(below, -2048.0);
            above = std::nextafter(above, 2048.0);
            values.push_back(below);
            values.push_back(above);
        }
    }
    return values;
}

// Quantizes `values` 64 at a time with the path and with the plain form.
testing::AssertionResult PathEqualsPlain(TransformPath path, const std::vector<double>& values,
                                         const QuantTable& table) {
    for (std::size_t start = 0; start < values.size(); start += 64) {
        std::array<double, 64> coefficients{};
        std::copy_n(values.begin() + static_cast<std::ptrdiff_t>(start),
                    std::min<std::size_t>(64, values.size() - start), coefficients.begin());
        CoefficientUnit fast;
        CoefficientUnit plain;
        QuantizeUsing(path, coefficients, table, fast);
        QuantizeReference(coefficients, table, plain);
        for (int p = 0; p < 64; ++p) {
            if (fast[p] != plain[p]) {
                return testing::AssertionFailure()
                       << std::hexfloat << coefficients[p] << " ÷ " << table[kNaturalToZigzag[p]]
                       << " gives " << fast[p] << ", the plain form " << plain[p];
            }
        }
    }
    return testing::AssertionSuccess();
}

class QuantizePaths : public testing::TestWithParam<TransformPath> {};

TEST_P(QuantizePaths, EqualThePlainFormAtEveryRoundingBoundary) {
    if (!TransformPathSupported(GetParam())) {
        GTEST_SKIP() << "this processor lacks the instructions";
    }
    for (std::uint16_t divisor = 1; divisor <= 255; ++divisor) {
        ASSERT_TRUE(PathEqualsPlain(GetParam(), BoundaryCoefficients(divisor), Flat(divisor)));
    }
}

TEST_P(QuantizePaths, EqualThePlainFormOnRandomCoefficients) {
    if (!TransformPathSupported(GetParam())) {
        GTEST_SKIP() << "this processor lacks the instructions";
    }
    std::mt19937 random(4242);
    std::uniform_real_distribution<double> range(-1024.0, 1024.0);
    for (int i = 0; i < 20000; ++i) {
        const QuantTable table = RandomTable(random);
        // Mostly ordinary values, with a boundary value in some lanes.
        std::vector<double> values(64);
        for (int p = 0; p < 64; ++p) {
            const std::uint16_t divisor = table[kNaturalToZigzag[p]];
            const int half = static_cast<int>(random() % (2048 / divisor + 1)) - 1024 / divisor;
            values[p] = random() % 8 == 0 ? (half + 0.5) * divisor : range(random);
        }
        ASSERT_TRUE(PathEqualsPlain(GetParam(), values, table)) << "block " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Quantize, QuantizePaths,
                         testing::Values(TransformPath::Portable, TransformPath::Avx2,
                                         TransformPath::Avx512),
                         PathName);

struct RoundingCase {
    double coefficient;
    std::uint16_t divisor;
    std::int16_t expected;
};

class Rounding : public testing::TestWithParam<RoundingCase> {};

// d = coefficient ÷ divisor, then d + 0.5 or d − 0.5 truncated: halves go away
// from zero, and so does the double just below one half, whose d + 0.5
// rounds to 1.
TEST_P(Rounding, HalvesGoAwayFromZero) {
    std::array<double, 64> coefficients{};
    coefficients[0] = GetParam().coefficient;
    QuantTable table = Flat(1);
    table[0] = GetParam().divisor;
    CoefficientUnit unit;
    QuantizeReference(coefficients, table, unit);
    EXPECT_EQ(unit[0], GetParam().expected) << "plain form";
    for (const TransformPath path :
         {TransformPath::Portable, TransformPath::Avx2, TransformPath::Avx512}) {
        QuantizeUsing(path, coefficients, table, unit);
        EXPECT_EQ(unit[0], GetParam().expected) << "path " << static_cast<int>(path);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Quantize, Rounding,
    testing::Values(RoundingCase{4.5, 9, 1}, RoundingCase{-4.5, 9, -1},
                    RoundingCase{std::nextafter(0.5, 0.0), 1, 1},
                    RoundingCase{-std::nextafter(0.5, 0.0), 1, -1},
                    RoundingCase{std::nextafter(2.0, 0.0), 4, 1},
                    RoundingCase{std::nextafter(64.0, 0.0), 128, 1},
                    RoundingCase{std::nextafter(0.25, 0.0), 1, 0},
                    RoundingCase{std::nextafter(1.5, 0.0), 1, 1}, RoundingCase{1.5, 1, 2},
                    RoundingCase{std::nextafter(1.5, 2.0), 1, 2}, RoundingCase{-2.5, 1, -3},
                    RoundingCase{7.5, 3, 3}, RoundingCase{std::nextafter(7.5, 0.0), 3, 2},
                    RoundingCase{std::nextafter(7.5, 8.0), 3, 3},
                    RoundingCase{-std::nextafter(1020.0, 0.0), 8, -127},
                    RoundingCase{1020.0, 8, 128}, RoundingCase{-1024.0, 1, -1024}));

// The DCT written out as a double sum in long double: an independent check of
// the matrix, its orientation and the quantizer's zigzag lookup.
std::vector<long double> ExactDct(const SampleBlock& block) {
    static const auto c = [] {
        const long double pi = std::acos(-1.0L);
        std::vector<long double> matrix(64);
        for (int i = 0; i < 8; ++i) {
            for (int j = 0; j < 8; ++j) {
                matrix[8 * i + j] =
                    i == 0 ? 1.0L / std::sqrt(8.0L) : 0.5L * std::cos((2 * j + 1) * i * pi / 16);
            }
        }
        return matrix;
    }();
    std::vector<long double> f(64);
    for (int u = 0; u < 8; ++u) {
        for (int v = 0; v < 8; ++v) {
            for (int x = 0; x < 8; ++x) {
                for (int y = 0; y < 8; ++y) {
                    f[8 * u + v] += c[8 * u + x] * (block[8 * x + y] - 128.0L) * c[8 * v + y];
                }
            }
        }
    }
    return f;
}

TEST(TransformBlock, AgreesWithTheDoubleSumWithinRounding) {
    std::mt19937 random(5);
    for (int i = 0; i < 2000; ++i) {
        const SampleBlock block = RandomBlock(random);
        const QuantTable table = RandomTable(random);
        CoefficientUnit unit;
        TransformBlock(block, table, unit);
        const std::vector<long double> exact = ExactDct(block);
        for (int p = 0; p < 64; ++p) {
            const long double quotient = exact[p] / table[kNaturalToZigzag[p]];
            ASSERT_LE(std::fabs(unit[p] - quotient), 0.5L + 1e-9L)
                << "block " << i << " position " << p;
        }
    }
}

TEST(TransformBlock, ColumnGradientOnlyHasHorizontalFrequencies) {
    SampleBlock block;
    for (int i = 0; i < 64; ++i) {
        block[i] = static_cast<std::uint8_t>(100 + 10 * (i % 8)); // varies along a row
    }
    CoefficientUnit unit;
    TransformBlock(block, Flat(1), unit);
    EXPECT_NE(unit[1], 0); // u = 0, v = 1
    for (int p = 8; p < 64; ++p) {
        EXPECT_EQ(unit[p], 0) << "position " << p;
    }
}

struct FlatCase {
    std::uint8_t sample;
    std::uint16_t quantizer;
    std::int16_t dc;
};

class FlatBlocks : public testing::TestWithParam<FlatCase> {};

TEST_P(FlatBlocks, HaveOnlyARoundedDc) {
    SampleBlock block;
    block.fill(GetParam().sample);
    QuantTable table = Flat(1);
    table[0] = GetParam().quantizer;
    CoefficientUnit unit;
    TransformBlock(block, table, unit);
    EXPECT_EQ(unit[0], GetParam().dc);
    EXPECT_TRUE(std::all_of(unit.begin() + 1, unit.end(), [](std::int16_t c) { return c == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Transform, FlatBlocks,
                         testing::Values(FlatCase{128, 1, 0}, FlatCase{255, 2, 508},
                                         FlatCase{255, 1, 1016}, FlatCase{0, 1, -1024},
                                         FlatCase{0, 3, -341}, FlatCase{0, 5, -205},
                                         FlatCase{255, 10, 102}, FlatCase{129, 255, 0}));

TEST(TransformBlock, ExtremeBlocksStayWithinBaselineSizes) {
    std::mt19937 random(11);
    const QuantTable table = Flat(1);
    for (int i = 0; i < 50000; ++i) {
        SampleBlock block;
        for (auto& sample : block) {
            sample = random() % 2 ? 255 : 0;
        }
        CoefficientUnit unit;
        TransformBlock(block, table, unit);
        ASSERT_GE(unit[0], -1024);
        ASSERT_LE(unit[0], 1016);
        for (int p = 1; p < 64; ++p) {
            ASSERT_LE(std::abs(unit[p]), 1023);
        }
    }
}

// ---- Sampling --------------------------------------------------------------

void SetPixel(RasterImage& image, std::uint32_t row, std::uint32_t column, std::uint8_t red,
              std::uint8_t green, std::uint8_t blue) {
    std::uint8_t* pixel = image.ImageData() +
                          static_cast<std::size_t>(image.Height() - 1 - row) * image.RowWidth() +
                          3 * column;
    pixel[0] = blue;
    pixel[1] = green;
    pixel[2] = red;
}

// A 24-bit image of grey levels, so that Y samples equal the levels.
void FillGrey(RasterImage& image, std::uint32_t width, std::uint32_t height,
              const std::function<std::uint8_t(std::uint32_t, std::uint32_t)>& level) {
    image.Allocate(0, 24, width, height);
    for (std::uint32_t row = 0; row < height; ++row) {
        for (std::uint32_t column = 0; column < width; ++column) {
            const std::uint8_t value = level(row, column);
            SetPixel(image, row, column, value, value, value);
        }
    }
}

class Sampling : public testing::Test {
protected:
    Sampling() {
        table_ = Flat(1);
        component_.SetTables(&table_, nullptr, nullptr);
    }

    CoefficientUnit Expected(const std::function<std::uint8_t(int j, int k)>& sample) {
        SampleBlock block;
        for (int j = 0; j < 8; ++j) {
            for (int k = 0; k < 8; ++k) {
                block[8 * j + k] = sample(j, k);
            }
        }
        CoefficientUnit unit;
        TransformBlockReference(block, table_, unit);
        return unit;
    }

    QuantTable table_;
    JpegComponent component_;
    RasterImage image_;
};

std::uint8_t Level(std::uint32_t row, std::uint32_t column) {
    return static_cast<std::uint8_t>(7 * row + 13 * column + (row * column) % 5);
}

TEST_F(Sampling, ColumnsPastTheImageRepeatTheLastColumn) {
    FillGrey(image_, 20, 8, Level);
    SampleComponent(component_, ColourChannel::Y, image_, 1, 1, {});
    ASSERT_EQ(component_.DataUnitColumns(), 3u);
    EXPECT_EQ(component_.Unit(0, 2),
              Expected([](int j, int k) { return Level(j, 16 + std::min(k, 3)); }));
}

TEST_F(Sampling, RowsPastTheImageRepeatTheLastRow) {
    FillGrey(image_, 11, 3, Level);
    SampleComponent(component_, ColourChannel::Y, image_, 1, 1, {});
    ASSERT_EQ(component_.DataUnitRows(), 1u);
    EXPECT_EQ(component_.Unit(0, 1),
              Expected([](int j, int k) { return Level(std::min(j, 2), 8 + std::min(k, 2)); }));
}

TEST_F(Sampling, HalvedColumnsAverageRoundingUp) {
    // Columns alternate 10 and 11; their mean 10.5 rounds up to 11.
    FillGrey(image_, 17, 8, [](std::uint32_t, std::uint32_t column) {
        return static_cast<std::uint8_t>(column == 16 ? 40 : 10 + column % 2);
    });
    component_.SetHorizontalSampling(1);
    SampleComponent(component_, ColourChannel::Y, image_, 2, 1, {});
    ASSERT_EQ(component_.DataUnitColumns(), 2u);
    EXPECT_EQ(component_.HorizontalRatio(), 2u);
    EXPECT_EQ(component_.Unit(0, 0), Expected([](int, int) { return 11; }));
    // Only image column 16 lies in the second unit; it fills the row.
    EXPECT_EQ(component_.Unit(0, 1), Expected([](int, int) { return 40; }));
}

TEST_F(Sampling, AveragedRectanglesPastTheImageCopyLeftThenAbove) {
    // 6 × 5 image, 2 × 2 averaging: samples (j, k) with j ≥ 3 or k ≥ 3 hold no
    // pixel; the first of each such row copies the one above, the rest copy left.
    FillGrey(image_, 6, 5, [](std::uint32_t row, std::uint32_t column) {
        return static_cast<std::uint8_t>(20 * row + 3 * column);
    });
    component_.SetHorizontalSampling(1);
    component_.SetVerticalSampling(1);
    SampleComponent(component_, ColourChannel::Y, image_, 2, 2, {});
    const auto mean = [](int j, int k) {
        int sum = 0;
        int count = 0;
        for (int y = 2 * j; y < 2 * j + 2 && y < 5; ++y) {
            for (int x = 2 * k; x < 2 * k + 2 && x < 6; ++x) {
                sum += 20 * y + 3 * x;
                ++count;
            }
        }
        return static_cast<std::uint8_t>((sum + count - 1) / count);
    };
    EXPECT_EQ(component_.Unit(0, 0),
              Expected([&](int j, int k) { return j < 3 ? mean(j, std::min(k, 2)) : mean(2, 0); }));
}

struct GridCase {
    std::uint32_t width, height, horizontal, vertical, maximumHorizontal, maximumVertical;
    std::uint32_t rows, columns, verticalRatio, horizontalRatio;
};

class SamplingGrid : public testing::TestWithParam<GridCase> {};

TEST_P(SamplingGrid, CoversTheImage) {
    const GridCase& c = GetParam();
    RasterImage image;
    FillGrey(image, c.width, c.height, Level);
    const QuantTable table = Flat(2);
    JpegComponent component;
    component.SetTables(&table, nullptr, nullptr);
    component.SetHorizontalSampling(c.horizontal);
    component.SetVerticalSampling(c.vertical);
    SampleComponent(component, ColourChannel::Y, image, c.maximumHorizontal, c.maximumVertical, {});
    EXPECT_EQ(component.DataUnitRows(), c.rows);
    EXPECT_EQ(component.DataUnitColumns(), c.columns);
    EXPECT_EQ(component.VerticalRatio(), c.verticalRatio);
    EXPECT_EQ(component.HorizontalRatio(), c.horizontalRatio);
}

INSTANTIATE_TEST_SUITE_P(Transform, SamplingGrid,
                         testing::Values(GridCase{1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                                         GridCase{6, 5, 1, 1, 1, 1, 1, 1, 1, 1},
                                         GridCase{17, 9, 1, 1, 1, 1, 2, 3, 1, 1},
                                         GridCase{47, 33, 1, 1, 2, 2, 3, 3, 2, 2},
                                         GridCase{47, 33, 1, 1, 3, 1, 5, 2, 1, 3},
                                         GridCase{47, 33, 2, 1, 4, 4, 2, 3, 4, 2},
                                         GridCase{360, 240, 1, 1, 1, 1, 30, 45, 1, 1}));

TEST_F(Sampling, PaletteImageGivesTheSameUnitsAsItsTrueColourCopy) {
    std::mt19937 random(3);
    RasterImage palette;
    palette.Allocate(256, 8, 23, 19);
    for (std::uint32_t i = 0; i < 256; ++i) {
        palette.PaletteEntry(i) = {static_cast<std::uint8_t>(random()),
                                   static_cast<std::uint8_t>(random()),
                                   static_cast<std::uint8_t>(random())};
    }
    image_.Allocate(0, 24, 23, 19);
    for (std::uint32_t row = 0; row < 19; ++row) {
        for (std::uint32_t column = 0; column < 23; ++column) {
            const auto index = static_cast<std::uint8_t>(random());
            palette.ImageData()[(18 - row) * palette.RowWidth() + column] = index;
            const PaletteColour& colour = palette.PaletteEntry(index);
            SetPixel(image_, row, column, colour.red, colour.green, colour.blue);
        }
    }
    for (const ColourChannel channel : {ColourChannel::Y, ColourChannel::Cb, ColourChannel::Cr}) {
        JpegComponent fromPalette;
        fromPalette.SetTables(&table_, nullptr, nullptr);
        SampleComponent(fromPalette, channel, palette, 1, 1, {});
        SampleComponent(component_, channel, image_, 1, 1, {});
        for (std::uint32_t row = 0; row < 3; ++row) {
            for (std::uint32_t column = 0; column < 3; ++column) {
                ASSERT_EQ(fromPalette.Unit(row, column), component_.Unit(row, column));
            }
        }
    }
}

TEST_F(Sampling, GreyImageGivesZeroUnitsInEveryChannel) {
    FillGrey(image_, 19, 9, [](std::uint32_t, std::uint32_t) { return 128; });
    for (const ColourChannel channel : {ColourChannel::Y, ColourChannel::Cb, ColourChannel::Cr}) {
        SampleComponent(component_, channel, image_, 1, 1, {});
        for (std::uint32_t column = 0; column < 3; ++column) {
            EXPECT_EQ(component_.Unit(1, column), CoefficientUnit{});
        }
    }
}

TEST_F(Sampling, ReportsAfterEveryRowOfUnits) {
    FillGrey(image_, 8, 240, Level);
    std::vector<std::int32_t> reports;
    SampleComponent(component_, ColourChannel::Y, image_, 1, 1, [&](std::int32_t percent) {
        reports.push_back(percent);
        return false;
    });
    // 30 rows: step 25600 ÷ 30 = 853, so 3 after the first row and 99 at the end.
    ASSERT_EQ(reports.size(), 30u);
    EXPECT_EQ(reports.front(), 3);
    EXPECT_EQ(reports.back(), 99);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
}

TEST_F(Sampling, StopsWhenTheReportAsksTo) {
    FillGrey(image_, 8, 240, Level);
    int calls = 0;
    try {
        SampleComponent(component_, ColourChannel::Y, image_, 1, 1,
                        [&](std::int32_t) { return ++calls == 2; });
        FAIL() << "no abort";
    } catch (const EJpegAbort& abort) {
        EXPECT_STREQ(abort.what(), "JPEG Aborted");
    }
    EXPECT_EQ(calls, 2);
}

TEST_F(Sampling, RefusesFactorsAboveTheMaximumAndAMissingTable) {
    FillGrey(image_, 8, 8, Level);
    component_.SetHorizontalSampling(2);
    EXPECT_THROW(SampleComponent(component_, ColourChannel::Y, image_, 1, 1, {}),
                 EJpegValueOutOfRange);
    JpegComponent unwired;
    EXPECT_THROW(SampleComponent(unwired, ColourChannel::Y, image_, 1, 1, {}), EJpegFatal);
}

TEST(JpegComponent, FactorsOutsideOneToFourAreRefused) {
    JpegComponent component;
    for (std::uint32_t factor = 1; factor <= 4; ++factor) {
        component.SetHorizontalSampling(factor);
        component.SetVerticalSampling(5 - factor);
        EXPECT_EQ(component.HorizontalFactor(), factor);
        EXPECT_EQ(component.VerticalFactor(), 5 - factor);
    }
    EXPECT_THROW(component.SetHorizontalSampling(0), EJpegValueOutOfRange);
    EXPECT_THROW(component.SetVerticalSampling(5), EJpegValueOutOfRange);
    EXPECT_EQ(component.HorizontalFactor(), 4u);
    EXPECT_EQ(component.VerticalFactor(), 1u);
}

} // namespace
} // namespace jpeg
