#include "jpeg/bmp_reader.h"
#include "jpeg/errors.h"
#include "jpeg/raster_image.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

namespace jpeg {
namespace {

// ---------------------------------------------------------------------------
// Building BMP streams in the test, from the file format's own layout.

enum class HeaderKind { Core, Info, Info108 };

struct Bgr {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
};

struct BmpLayout {
    HeaderKind header = HeaderKind::Info;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t colourEntries = 0; // entries written to the colour table
    std::vector<Bgr> palette;        // the first entries; the rest are zero
    std::string pixelData;
    std::uint32_t gapBytes = 0;               // between the colour table and pixels
    std::optional<std::uint32_t> pixelOffset; // default: where the pixels start
};

void Put16(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8 & 0xFF));
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::string BuildBmp(const BmpLayout& layout) {
    std::string header;
    if (layout.header == HeaderKind::Core) {
        Put32(header, 12);
        Put16(header, static_cast<std::uint32_t>(layout.width));
        Put16(header, static_cast<std::uint32_t>(layout.height));
        Put16(header, 1);
        Put16(header, layout.bitCount);
    } else {
        const std::uint32_t size = layout.header == HeaderKind::Info ? 40 : 108;
        Put32(header, size);
        Put32(header, static_cast<std::uint32_t>(layout.width));
        Put32(header, static_cast<std::uint32_t>(layout.height));
        Put16(header, 1);
        Put16(header, layout.bitCount);
        Put32(header, layout.compression);
        Put32(header, static_cast<std::uint32_t>(layout.pixelData.size()));
        Put32(header, 2835);
        Put32(header, 2835);
        Put32(header, layout.colourEntries);
        Put32(header, 0);
        // Fields of the larger header that the reader must skip.
        header.append(size - 40, '\xEE');
    }
    const std::size_t entryBytes = layout.header == HeaderKind::Core ? 3 : 4;
    std::string table;
    for (std::uint32_t index = 0; index < layout.colourEntries; ++index) {
        const Bgr colour = index < layout.palette.size() ? layout.palette[index] : Bgr{};
        table.push_back(static_cast<char>(colour.blue));
        table.push_back(static_cast<char>(colour.green));
        table.push_back(static_cast<char>(colour.red));
        if (entryBytes == 4) {
            table.push_back('\x5A'); // the ignored fourth byte
        }
    }
    const std::uint32_t offset =
        static_cast<std::uint32_t>(14 + header.size() + table.size()) + layout.gapBytes;
    std::string file = "BM";
    Put32(file, static_cast<std::uint32_t>(offset + layout.pixelData.size()));
    Put32(file, 0);
    Put32(file, layout.pixelOffset.value_or(offset));
    file += header + table + std::string(layout.gapBytes, '\x77') + layout.pixelData;
    return file;
}

// A picture as rows of values from the top: palette indices, or 0xRRGGBB.
using Picture = std::vector<std::vector<std::uint32_t>>;

// Runs of repeated values with random lengths, so that run-length coding has
// both runs and literal stretches to work with.
Picture MakePicture(std::uint32_t width, std::uint32_t height, std::uint32_t bitCount,
                    std::uint32_t seed) {
    std::mt19937 random(seed);
    const std::uint32_t valueMask = bitCount == 24 ? 0xFFFFFF : (1u << bitCount) - 1;
    Picture picture(height, std::vector<std::uint32_t>(width));
    for (auto& row : picture) {
        std::uint32_t x = 0;
        while (x < width) {
            const std::uint32_t value = random() & valueMask;
            const std::uint32_t length = random() % 3 == 0 ? 1 + random() % 7 : 1;
            for (std::uint32_t k = 0; k < length && x < width; ++k) {
                row[x++] = value;
            }
        }
    }
    return picture;
}

std::vector<Bgr> MakePalette(std::uint32_t entries) {
    std::vector<Bgr> palette(entries);
    for (std::uint32_t index = 0; index < entries; ++index) {
        palette[index] =
            Bgr{static_cast<std::uint8_t>(index * 3 + 1), static_cast<std::uint8_t>(200 - index),
                static_cast<std::uint8_t>(index ^ 0x55)};
    }
    return palette;
}

enum class RowOrder { BottomUp, TopDown };

// Uncompressed rows, each padded to 4 bytes.
std::string PackRows(const Picture& picture, std::uint32_t bitCount, RowOrder order) {
    std::string data;
    for (std::size_t i = 0; i < picture.size(); ++i) {
        const auto& row = order == RowOrder::TopDown ? picture[i] : picture[picture.size() - 1 - i];
        std::string bytes;
        if (bitCount == 24) {
            for (std::uint32_t rgb : row) {
                bytes.push_back(static_cast<char>(rgb & 0xFF));
                bytes.push_back(static_cast<char>(rgb >> 8 & 0xFF));
                bytes.push_back(static_cast<char>(rgb >> 16 & 0xFF));
            }
        } else {
            std::uint32_t accumulator = 0;
            std::uint32_t bits = 0;
            for (std::uint32_t value : row) {
                accumulator = accumulator << bitCount | value;
                bits += bitCount;
                if (bits == 8) {
                    bytes.push_back(static_cast<char>(accumulator));
                    accumulator = bits = 0;
                }
            }
            if (bits > 0) {
                bytes.push_back(static_cast<char>(accumulator << (8 - bits)));
            }
        }
        bytes.append((4 - bytes.size() % 4) % 4, '\0');
        data += bytes;
    }
    return data;
}

// Run-length records, bottom row first: runs for repeated values (for 4 bits
// a run of one value repeats it in both nibbles), absolute runs for literal
// stretches of three or more pixels, end of line between rows.
std::string EncodeRunLength(const Picture& picture, std::uint32_t bitCount) {
    const bool fourBit = bitCount == 4;
    std::string data;
    auto run = [&](std::size_t count, std::uint32_t value) {
        data.push_back(static_cast<char>(count));
        data.push_back(static_cast<char>(fourBit ? value << 4 | value : value));
    };
    for (std::size_t i = picture.size(); i-- > 0;) {
        const auto& row = picture[i];
        std::size_t x = 0;
        while (x < row.size()) {
            std::size_t repeat = 1;
            while (x + repeat < row.size() && row[x + repeat] == row[x] && repeat < 255) {
                ++repeat;
            }
            if (repeat >= 2) {
                run(repeat, row[x]);
                x += repeat;
                continue;
            }
            std::size_t literal = 1;
            while (x + literal < row.size() && literal < 255 &&
                   (x + literal + 1 >= row.size() || row[x + literal] != row[x + literal + 1])) {
                ++literal;
            }
            if (literal < 3) {
                run(1, row[x]);
                ++x;
                continue;
            }
            data.push_back('\0');
            data.push_back(static_cast<char>(literal));
            std::string bytes;
            for (std::size_t k = 0; k < literal; ++k) {
                if (!fourBit) {
                    bytes.push_back(static_cast<char>(row[x + k]));
                } else if (k % 2 == 0) {
                    bytes.push_back(static_cast<char>(row[x + k] << 4));
                } else {
                    bytes.back() = static_cast<char>(bytes.back() | row[x + k]);
                }
            }
            bytes.append(bytes.size() % 2, '\0');
            data += bytes;
            x += literal;
        }
        data += i > 0 ? std::string("\0\0", 2) : std::string("\0\1", 2);
    }
    return data;
}

void ExpectPicture(const RasterImage& image, const Picture& picture, std::uint32_t bitCount,
                   const std::vector<Bgr>& palette) {
    ASSERT_EQ(image.Height(), picture.size());
    for (std::uint32_t row = 0; row < picture.size(); ++row) {
        ASSERT_EQ(image.Width(), picture[row].size());
        for (std::uint32_t x = 0; x < picture[row].size(); ++x) {
            const std::uint32_t value = picture[row][x];
            Bgr expected;
            if (bitCount == 24) {
                expected =
                    Bgr{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                        static_cast<std::uint8_t>(value >> 16)};
            } else {
                expected = palette[value];
            }
            std::uint8_t red = 0, green = 0, blue = 0;
            image.PixelRgb(row, x, red, green, blue);
            ASSERT_EQ(blue, expected.blue) << "row " << row << " column " << x;
            ASSERT_EQ(green, expected.green) << "row " << row << " column " << x;
            ASSERT_EQ(red, expected.red) << "row " << row << " column " << x;
        }
    }
}

void ReadBmp(const std::string& bytes, RasterImage& image, BmpReader& reader) {
    std::istringstream stream(bytes);
    reader.Read(stream, image);
}

void ReadBmp(const std::string& bytes, RasterImage& image) {
    BmpReader reader;
    ReadBmp(bytes, image, reader);
}

// ---------------------------------------------------------------------------
// Every supported variant, read back pixel for pixel.

struct VariantCase {
    std::uint16_t bitCount;
    std::uint32_t compression;
    HeaderKind header;
    RowOrder order;
    std::uint32_t width;
    std::uint32_t height;
};

std::string VariantName(const testing::TestParamInfo<VariantCase>& info) {
    const VariantCase& c = info.param;
    const char* headers[] = {"Core", "Info", "Info108"};
    const char* compressions[] = {"", "Rle8", "Rle4"};
    return std::to_string(c.bitCount) + "Bit" + compressions[c.compression] +
           headers[static_cast<int>(c.header)] + (c.order == RowOrder::TopDown ? "TopDown" : "") +
           std::to_string(c.width) + "x" + std::to_string(c.height);
}

void PrintTo(const VariantCase& c, std::ostream* out) {
    *out << c.bitCount << " bits, compression " << c.compression << ", " << c.width << "x"
         << c.height;
}

class VariantReadTest : public testing::TestWithParam<VariantCase> {};

TEST_P(VariantReadTest, ReadsEveryPixel) {
    const VariantCase& c = GetParam();
    const Picture picture = MakePicture(c.width, c.height, c.bitCount, c.width * 131 + c.height);
    BmpLayout layout;
    layout.header = c.header;
    layout.bitCount = c.bitCount;
    layout.compression = c.compression;
    layout.width = static_cast<std::int32_t>(c.width);
    layout.height = static_cast<std::int32_t>(c.height) * (c.order == RowOrder::TopDown ? -1 : 1);
    layout.colourEntries = c.bitCount == 24 ? 0 : 1u << c.bitCount;
    layout.palette = MakePalette(layout.colourEntries);
    layout.pixelData = c.compression == 0 ? PackRows(picture, c.bitCount, c.order)
                                          : EncodeRunLength(picture, c.bitCount);
    RasterImage image;
    ReadBmp(BuildBmp(layout), image);
    EXPECT_EQ(image.BitCount(), c.bitCount);
    EXPECT_EQ(image.ColourCount(), layout.colourEntries);
    ExpectPicture(image, picture, c.bitCount, layout.palette);
}

std::vector<VariantCase> AllVariants() {
    std::vector<VariantCase> cases;
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1}, {6, 5}, {17, 9}, {47, 33}};
    for (std::uint16_t bits : {1, 4, 8, 24}) {
        for (auto [width, height] : sizes) {
            cases.push_back({bits, 0, HeaderKind::Core, RowOrder::BottomUp, width, height});
            cases.push_back({bits, 0, HeaderKind::Info, RowOrder::BottomUp, width, height});
            cases.push_back({bits, 0, HeaderKind::Info, RowOrder::TopDown, width, height});
            cases.push_back({bits, 0, HeaderKind::Info108, RowOrder::BottomUp, width, height});
        }
    }
    for (auto [width, height] : sizes) {
        cases.push_back({8, 1, HeaderKind::Info, RowOrder::BottomUp, width, height});
        cases.push_back({4, 2, HeaderKind::Info, RowOrder::BottomUp, width, height});
    }
    cases.push_back({8, 1, HeaderKind::Info, RowOrder::BottomUp, 300, 2}); // runs past 255
    cases.push_back({4, 2, HeaderKind::Info, RowOrder::BottomUp, 300, 2});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Variants, VariantReadTest, testing::ValuesIn(AllVariants()), VariantName);

// ---------------------------------------------------------------------------
// Header and offset rules.

BmpLayout EightBitLayout(std::uint32_t width, std::uint32_t height) {
    BmpLayout layout;
    layout.bitCount = 8;
    layout.width = static_cast<std::int32_t>(width);
    layout.height = static_cast<std::int32_t>(height);
    layout.colourEntries = 256;
    layout.palette = MakePalette(256);
    return layout;
}

TEST(BmpHeaderTest, CoreHeaderReadsThreeByteEntriesFromByte26) {
    BmpLayout layout = EightBitLayout(2, 1);
    layout.header = HeaderKind::Core;
    layout.pixelData = std::string("\xFF\x01\0\0", 4);
    const std::string bytes = BuildBmp(layout);
    ASSERT_EQ(bytes.size(), 26u + 768 + 4);
    EXPECT_EQ(bytes.substr(26, 3), "\x01\xC8\x55"); // entry 0 as blue, green, red
    RasterImage image;
    ReadBmp(bytes, image);
    ExpectPicture(image, {{255, 1}}, 8, layout.palette);
}

TEST(BmpHeaderTest, GapBeforeThePixelDataIsSkipped) {
    BmpLayout layout = EightBitLayout(3, 1);
    layout.gapBytes = 9;
    layout.pixelData = std::string("\x04\x05\x06\0", 4);
    RasterImage image;
    ReadBmp(BuildBmp(layout), image);
    ExpectPicture(image, {{4, 5, 6}}, 8, layout.palette);
}

// The reader always takes 2^bits entries; a table cut short by the
// colours-used field runs into the pixel data.
TEST(BmpHeaderTest, SixteenUsedColoursForEightBitsIsCorrupt) {
    BmpLayout layout = EightBitLayout(4, 1);
    layout.colourEntries = 16;
    layout.pixelData = std::string(4, '\x01');
    RasterImage image;
    EXPECT_THROW(ReadBmp(BuildBmp(layout), image), EBmpCorruptFile);
}

TEST(BmpHeaderTest, FailureBeforeSizingLeavesTheImageAlone) {
    RasterImage image;
    image.Allocate(0, 24, 3, 2);
    image.ImageData()[5] = 42;
    BmpLayout layout = EightBitLayout(4, 1);
    layout.bitCount = 16;
    EXPECT_THROW(ReadBmp(BuildBmp(layout), image), EBmpNotSupported);
    EXPECT_EQ(image.Width(), 3u);
    EXPECT_EQ(image.BitCount(), 24u);
    EXPECT_EQ(image.ImageData()[5], 42);
}

TEST(BmpHeaderTest, FailureAfterSizingKeepsTheRowsReadSoFar) {
    BmpLayout layout = EightBitLayout(4, 3);
    layout.pixelData = std::string("\x09\x09\x09\x09\x08\x08", 6); // row 1 is cut short
    RasterImage image;
    EXPECT_THROW(ReadBmp(BuildBmp(layout), image), EBmpFileReadError);
    ASSERT_EQ(image.Height(), 3u);
    EXPECT_EQ(image.ImageData()[0], 9);
    EXPECT_EQ(image.ImageData()[2 * image.RowWidth()], 0);
}

TEST(BmpHeaderTest, TruncatedTrueColourDataLeavesBlackPixels) {
    BmpLayout layout;
    layout.width = 2;
    layout.height = 2;
    layout.pixelData = std::string("\x10\x20\x30\x40", 4); // one pixel and a byte
    RasterImage image;
    ReadBmp(BuildBmp(layout), image);
    ExpectPicture(image, {{0, 0}, {0x302010, 0x000040}}, 24, {});
}

// A stream that ends among the skipped bytes of a larger header is read on
// like any other short stream: a true-colour picture keeps black pixels.
TEST(BmpHeaderTest, TrueColourStreamEndingInsideALargerHeaderIsBlack) {
    BmpLayout layout;
    layout.header = HeaderKind::Info108;
    layout.width = 2;
    layout.height = 1;
    layout.pixelData = std::string("\x10\x20\x30\x40\x50\x60\0\0", 8);
    const std::string bytes = BuildBmp(layout).substr(0, 14 + 40 + 20);
    RasterImage image;
    ReadBmp(bytes, image);
    ExpectPicture(image, {{0, 0}}, 24, {});
}

// ---------------------------------------------------------------------------
// Run-length records.

struct RunLengthCase {
    const char* name;
    std::uint16_t bitCount;
    std::uint32_t width;
    std::uint32_t height;
    std::string records;
    Picture expected; // palette indices, top row first
};

void PrintTo(const RunLengthCase& c, std::ostream* out) {
    *out << c.name;
}

class RunLengthRecordTest : public testing::TestWithParam<RunLengthCase> {};

TEST_P(RunLengthRecordTest, DecodesTheRecords) {
    const RunLengthCase& c = GetParam();
    BmpLayout layout;
    layout.bitCount = c.bitCount;
    layout.compression = c.bitCount == 8 ? 1 : 2;
    layout.width = static_cast<std::int32_t>(c.width);
    layout.height = static_cast<std::int32_t>(c.height);
    layout.colourEntries = 1u << c.bitCount;
    layout.palette = MakePalette(layout.colourEntries);
    layout.pixelData = c.records;
    RasterImage image;
    ReadBmp(BuildBmp(layout), image);
    ExpectPicture(image, c.expected, c.bitCount, layout.palette);
}

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) {
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Records, RunLengthRecordTest,
    testing::Values(
        RunLengthCase{"EightBitRunsAndEndOfLine",
                      8,
                      5,
                      2,
                      Bytes({0x03, 0x07, 0x00, 0x00, 0x02, 0x05, 0x00, 0x01}),
                      {{5, 5, 0, 0, 0}, {7, 7, 7, 0, 0}}},
        // Delta right 2 and up 1, then a run; skipped pixels stay 0.
        RunLengthCase{"EightBitDelta",
                      8,
                      4,
                      3,
                      Bytes({0x01, 0x09, 0x00, 0x02, 0x02, 0x01, 0x01, 0x08, 0x00, 0x01}),
                      {{0, 0, 0, 0}, {0, 0, 0, 8}, {9, 0, 0, 0}}},
        // An odd absolute run is followed by one padding byte.
        RunLengthCase{"EightBitOddAbsoluteRunPadding",
                      8,
                      4,
                      1,
                      Bytes({0x00, 0x03, 0x0A, 0x0B, 0x0C, 0xEE, 0x01, 0x0D, 0x00, 0x01}),
                      {{10, 11, 12, 13}}},
        RunLengthCase{"EightBitEvenAbsoluteRunNoPadding",
                      8,
                      5,
                      1,
                      Bytes({0x00, 0x04, 0x0A, 0x0B, 0x0C, 0x0D, 0x01, 0x0E, 0x00, 0x01}),
                      {{10, 11, 12, 13, 14}}},
        // A 4-bit run alternates the nibbles of its value.
        RunLengthCase{"FourBitRunAlternatesNibbles",
                      4,
                      6,
                      1,
                      Bytes({0x05, 0xAB, 0x01, 0xC0, 0x00, 0x01}),
                      {{10, 11, 10, 11, 10, 12}}},
        // Starting at an odd column ORs into the low nibble.
        RunLengthCase{"FourBitRunAtOddColumn",
                      4,
                      4,
                      1,
                      Bytes({0x01, 0x30, 0x03, 0x56, 0x00, 0x01}),
                      {{3, 5, 6, 5}}},
        // Absolute runs of 3 and 4 pixels take 2 bytes (no padding); 5 and 6
        // take 3 bytes and one padding byte.
        RunLengthCase{"FourBitAbsoluteThree",
                      4,
                      4,
                      1,
                      Bytes({0x00, 0x03, 0x12, 0x30, 0x01, 0x44, 0x00, 0x01}),
                      {{1, 2, 3, 4}}},
        RunLengthCase{"FourBitAbsoluteFour",
                      4,
                      5,
                      1,
                      Bytes({0x00, 0x04, 0x12, 0x34, 0x01, 0x55, 0x00, 0x01}),
                      {{1, 2, 3, 4, 5}}},
        RunLengthCase{"FourBitAbsoluteFivePadded",
                      4,
                      6,
                      1,
                      Bytes({0x00, 0x05, 0x12, 0x34, 0x50, 0xEE, 0x01, 0x66, 0x00, 0x01}),
                      {{1, 2, 3, 4, 5, 6}}},
        RunLengthCase{"FourBitAbsoluteSixPadded",
                      4,
                      7,
                      1,
                      Bytes({0x00, 0x06, 0x12, 0x34, 0x56, 0xEE, 0x01, 0x77, 0x00, 0x01}),
                      {{1, 2, 3, 4, 5, 6, 7}}},
        // Records after the end of bitmap are never read.
        RunLengthCase{
            "StopsAtEndOfBitmap", 8, 2, 1, Bytes({0x02, 0x03, 0x00, 0x01, 0x05, 0x04}), {{3, 3}}},
        // With height 0 nothing can be written, and nothing divides by it.
        RunLengthCase{"EmptyBitmap", 8, 3, 0, Bytes({0x00, 0x01}), {}}),
    [](const testing::TestParamInfo<RunLengthCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Every failure, with its exact type and message.

struct FailureCase {
    const char* name;
    std::string bytes;
    const std::type_info* type;
    const char* message;
};

const char kReadError[] = "Error reading BMP input file";
const char kNotBmp[] = "Not a Windows Bitmap stream";
const char kCorrupt[] = "Corrupt Windows Bitmap stream";
const char kNotSupported[] = "Unsupported Bitmap Format";

FailureCase ReadError(const char* name, std::string bytes) {
    return {name, std::move(bytes), &typeid(EBmpFileReadError), kReadError};
}
FailureCase Corrupt(const char* name, std::string bytes) {
    return {name, std::move(bytes), &typeid(EBmpCorruptFile), kCorrupt};
}
FailureCase NotSupported(const char* name, std::string bytes) {
    return {name, std::move(bytes), &typeid(EBmpNotSupported), kNotSupported};
}

std::string Layout(std::uint16_t bitCount, std::uint32_t compression, std::int32_t width,
                   std::int32_t height, std::string pixelData = {}) {
    BmpLayout layout;
    layout.bitCount = bitCount;
    layout.compression = compression;
    layout.width = width;
    layout.height = height;
    layout.colourEntries = bitCount <= 8 ? 1u << bitCount : 0;
    layout.pixelData = std::move(pixelData);
    return BuildBmp(layout);
}

std::string WithHeaderSize(std::uint32_t size) {
    std::string bytes = Layout(24, 0, 1, 1, std::string(4, '\0'));
    bytes.replace(14, 4, std::string{static_cast<char>(size), 0, 0, 0});
    return bytes;
}

std::string Rle8(std::int32_t width, std::int32_t height, std::initializer_list<int> records) {
    return Layout(8, 1, width, height, Bytes(records));
}

std::vector<FailureCase> FailureCases() {
    std::string badSignature = Layout(24, 0, 1, 1, std::string(4, '\0'));
    badSignature[1] = 'N';
    BmpLayout offsetInsideTable = EightBitLayout(1, 1);
    offsetInsideTable.pixelData = std::string(4, '\0');
    offsetInsideTable.pixelOffset = 54 + 1023;
    const std::string complete = Layout(4, 0, 4, 1, std::string(4, '\0'));
    return {
        ReadError("ThirteenByteFileHeader", std::string("BM\0\0\0\0\0\0\0\0\0\0\0", 13)),
        ReadError("EmptyStream", ""),
        {"SignatureNotBM", badSignature, &typeid(EBmpNotABmpFile), kNotBmp},
        Corrupt("HeaderSize0", WithHeaderSize(0)),
        Corrupt("HeaderSize11", WithHeaderSize(11)),
        Corrupt("HeaderSize39", WithHeaderSize(39)),
        NotSupported("TwoBits", Layout(2, 0, 4, 1, std::string(4, '\0'))),
        NotSupported("SixteenBits", Layout(16, 0, 2, 1, std::string(4, '\0'))),
        NotSupported("ThirtyTwoBits", Layout(32, 0, 1, 1, std::string(4, '\0'))),
        NotSupported("RunLength8WithFourBits", Layout(4, 1, 2, 1, Bytes({0, 1}))),
        NotSupported("RunLength4WithEightBits", Layout(8, 2, 2, 1, Bytes({0, 1}))),
        NotSupported("RunLengthWith24Bits", Layout(24, 1, 2, 1, Bytes({0, 1}))),
        NotSupported("BitFieldsCompression", Layout(24, 3, 1, 1, std::string(4, '\0'))),
        NotSupported("RunLengthTopDown", Rle8(2, -2, {0x02, 0x01, 0x00, 0x01})),
        NotSupported("Width65536", Layout(24, 0, 65536, 1)),
        NotSupported("NegativeWidth", Layout(24, 0, -1, 1)),
        NotSupported("Height65536", Layout(24, 0, 1, 65536)),
        NotSupported("HeightMinus65536", Layout(24, 0, 1, -65536)),
        NotSupported("HeightIntMin", Layout(24, 0, 1, INT_MIN)),
        NotSupported("RunLengthHeightIntMin", Rle8(1, INT_MIN, {0x00, 0x01})),
        // 65535 × 65535 at 8 bits is 4 GiB; 20000 × 20000 at 24 bits is 1.2 GB.
        NotSupported("EightBitFourGiB", Layout(8, 0, 65535, 65535)),
        NotSupported("TrueColourOverOneGiB", Layout(24, 0, 20000, 20000)),
        Corrupt("OffsetInsideColourTable", BuildBmp(offsetInsideTable)),
        ReadError("PackedRowShort", Layout(8, 0, 4, 2, std::string(7, '\x01'))),
        ReadError("OneBitRowMissing", Layout(1, 0, 9, 1)),
        ReadError("InfoHeaderCutShort", complete.substr(0, 30)),
        // Skipped header bytes the stream lacks still count as consumed, so
        // the pixel data offset check sees them.
        Corrupt("LargerHeaderPastThePixelOffset", WithHeaderSize(200)),
        NotSupported("SixteenBitsWithLargerHeaderCutShort",
                     [] {
                         BmpLayout layout;
                         layout.header = HeaderKind::Info108;
                         layout.bitCount = 16;
                         layout.width = 1;
                         layout.height = 1;
                         return BuildBmp(layout).substr(0, 14 + 40 + 10);
                     }()),
        ReadError("ColourTableCutShort", complete.substr(0, 54 + 63)),
        Corrupt("RunLengthNoData", Rle8(2, 1, {})),
        Corrupt("RunLengthNoEndOfBitmap", Rle8(2, 1, {0x02, 0x04})),
        Corrupt("RunLengthPastRightEdge", Rle8(3, 1, {0x04, 0x01, 0x00, 0x01})),
        Corrupt("AbsoluteRunPastRightEdge",
                Rle8(3, 1, {0x01, 0x01, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x00, 0x01})),
        Corrupt("RunAfterTooManyEndOfLines",
                Rle8(2, 2, {0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x01})),
        Corrupt("RunAfterDeltaAboveTheTop", Rle8(2, 2, {0x00, 0x02, 0x00, 0x05, 0x01, 0x01})),
        Corrupt("RunAfterDeltaPastRightEdge", Rle8(2, 2, {0x00, 0x02, 0x02, 0x00, 0x01, 0x01})),
        Corrupt("AbsoluteRunCutShort", Rle8(4, 1, {0x00, 0x04, 0x01, 0x02})),
        Corrupt("DeltaCutShort", Rle8(4, 1, {0x00, 0x02, 0x01})),
        Corrupt("HalfARecord", Rle8(4, 1, {0x01})),
        Corrupt("RunInEmptyBitmap", Rle8(2, 0, {0x01, 0x01, 0x00, 0x01})),
        Corrupt("RunLength4PastRightEdge", Layout(4, 2, 3, 1, Bytes({0x04, 0x11, 0x00, 0x01}))),
    };
}

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class BmpFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(BmpFailureTest, ThrowsTheFixedException) {
    const FailureCase& c = GetParam();
    RasterImage image;
    try {
        ReadBmp(c.bytes, image);
        FAIL() << "no exception";
    } catch (const EGraphicsException& error) {
        EXPECT_EQ(typeid(error), *c.type) << typeid(error).name();
        EXPECT_STREQ(error.what(), c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(Failures, BmpFailureTest, testing::ValuesIn(FailureCases()),
                         [](const testing::TestParamInfo<FailureCase>& info) {
                             return info.param.name;
                         });

// ---------------------------------------------------------------------------
// Progress reports and abort.

struct ProgressCall {
    const RasterCoder* coder;
    std::uint32_t userValue;
    std::int32_t pass;
    std::int32_t passCount;
    std::int32_t percent;
    std::uint8_t flagOnEntry;
};

std::vector<ProgressCall> gProgressCalls;
std::size_t gAbortAtCall = SIZE_MAX;

void RecordProgress(RasterCoder& coder, std::uint32_t userValue, std::int32_t pass,
                    std::int32_t passCount, std::int32_t percent, std::uint8_t& abortFlag) {
    gProgressCalls.push_back({&coder, userValue, pass, passCount, percent, abortFlag});
    if (gProgressCalls.size() == gAbortAtCall) {
        abortFlag = 1;
    }
}

class BmpProgressTest : public testing::Test {
protected:
    void SetUp() override {
        gProgressCalls.clear();
        gAbortAtCall = SIZE_MAX;
        reader_.SetProgressFunction(RecordProgress, 0xC0FFEE);
    }

    std::vector<std::int32_t> Percents() const {
        std::vector<std::int32_t> percents;
        for (const ProgressCall& call : gProgressCalls) {
            EXPECT_EQ(call.coder, &reader_);
            EXPECT_EQ(call.userValue, 0xC0FFEEu);
            EXPECT_EQ(call.pass, 1);
            EXPECT_EQ(call.passCount, 1);
            EXPECT_EQ(call.flagOnEntry, 0);
            percents.push_back(call.percent);
        }
        return percents;
    }

    BmpReader reader_;
    RasterImage image_;
};

// The BMP that the saving path builds for a 360 × 240 frame.
TEST_F(BmpProgressTest, FrameSizedBitmapReportsEveryRow) {
    const Picture picture = MakePicture(360, 240, 24, 7);
    BmpLayout layout;
    layout.width = 360;
    layout.height = 240;
    layout.pixelData = PackRows(picture, 24, RowOrder::BottomUp);
    const std::string bytes = BuildBmp(layout);
    ASSERT_EQ(bytes.size(), 259254u);
    ReadBmp(bytes, image_, reader_);
    EXPECT_EQ(image_.RowWidth(), 1080u);
    EXPECT_EQ(0, bytes.compare(54, 1080, reinterpret_cast<const char*>(image_.ImageData()), 1080));
    std::vector<std::int32_t> expected = {0};
    for (int row = 0; row < 240; ++row) {
        expected.push_back(row * 100 / 240);
    }
    expected.push_back(100);
    EXPECT_EQ(Percents(), expected);
}

TEST_F(BmpProgressTest, RunLengthReportsTheRowsDone) {
    ReadBmp(Rle8(5, 2, {0x03, 0x07, 0x00, 0x00, 0x02, 0x05, 0x00, 0x01}), image_, reader_);
    EXPECT_EQ(Percents(), (std::vector<std::int32_t>{0, 0, 0, 50, 50, 100}));
}

// End-of-line records past the top would take the percentage above 100.
TEST_F(BmpProgressTest, RunLengthPercentNeverPassesOneHundred) {
    ReadBmp(Rle8(1, 2, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}), image_, reader_);
    EXPECT_EQ(Percents(), (std::vector<std::int32_t>{0, 0, 50, 100, 100, 100}));
}

TEST_F(BmpProgressTest, AbortStopsTheReadPastEveryGraphicsHandler) {
    gAbortAtCall = 3;
    bool caughtAsGraphicsException = false;
    bool caughtAsAbort = false;
    try {
        try {
            ReadBmp(Layout(8, 0, 4, 5, std::string(20, '\x02')), image_, reader_);
        } catch (const EGraphicsException&) {
            caughtAsGraphicsException = true;
        }
    } catch (const EGraphicsAbort& abort) {
        caughtAsAbort = true;
        EXPECT_STREQ(abort.what(), "Abort");
    }
    EXPECT_FALSE(caughtAsGraphicsException);
    EXPECT_TRUE(caughtAsAbort);
    EXPECT_EQ(gProgressCalls.size(), 3u);
    // Row 0 was read before the report that stopped the read.
    EXPECT_EQ(image_.ImageData()[0], 2);
    EXPECT_EQ(image_.ImageData()[image_.RowWidth()], 0);
}

TEST_F(BmpProgressTest, AbortOnTheFinalReport) {
    gAbortAtCall = 7; // 0, five rows, then 100
    EXPECT_THROW(ReadBmp(Layout(8, 0, 4, 5, std::string(20, '\x02')), image_, reader_),
                 EGraphicsAbort);
    EXPECT_EQ(Percents().back(), 100);
}

TEST_F(BmpProgressTest, NoFunctionNoReports) {
    reader_.SetProgressFunction(nullptr, 0);
    ReadBmp(Layout(24, 0, 2, 2, std::string(16, '\0')), image_, reader_);
    EXPECT_TRUE(gProgressCalls.empty());
}

} // namespace
} // namespace jpeg
