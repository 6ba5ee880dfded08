#include "jpeg/bmp_reader.h"

#include "jpeg/errors.h"
#include "jpeg/raster_image.h"

#include <algorithm>
#include <array>
#include <string>

namespace jpeg {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
// Bytes consumed before the colour table: file header, header size, header.
constexpr std::uint64_t kCoreHeaderEnd = kFileHeaderBytes + kCoreHeaderSize; // 26
constexpr std::uint64_t kInfoHeaderEnd = kFileHeaderBytes + kInfoHeaderSize; // 54

enum class Compression : std::uint32_t { None = 0, RunLength8 = 1, RunLength4 = 2 };

// Run-length escape codes that follow a zero count byte.
enum RunLengthEscape : std::uint8_t { kEndOfLine = 0, kEndOfBitmap = 1, kDelta = 2 };

std::uint16_t LittleEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

// Header fields must arrive whole: a short read is a read error, never a
// field made of stale bytes.
void ReadExactly(std::istream& stream, std::uint8_t* bytes, std::size_t count) {
    stream.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(stream.gcount()) < count) {
        throw EBmpFileReadError();
    }
}

bool AtEnd(std::istream& stream) {
    return stream.peek() == std::istream::traits_type::eof();
}

// Run-length data that stops early is a stream that ended before its
// end-of-bitmap record.
std::uint8_t ReadRunLengthByte(std::istream& stream) {
    const auto value = stream.get();
    if (value == std::istream::traits_type::eof()) {
        throw EBmpCorruptFile();
    }
    return static_cast<std::uint8_t>(value);
}

bool IsAcceptedVariant(std::uint32_t bitCount, std::uint32_t compression) {
    switch (static_cast<Compression>(compression)) {
    case Compression::None:
        return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24;
    case Compression::RunLength8:
        return bitCount == 8;
    case Compression::RunLength4:
        return bitCount == 4;
    }
    return false;
}

void SetNibble(std::uint8_t* storedRow, std::int64_t x, std::uint8_t value) {
    if (x % 2 == 0) {
        storedRow[x / 2] = static_cast<std::uint8_t>(value << 4);
    } else {
        storedRow[x / 2] |= value;
    }
}

} // namespace

struct BmpHeader {
    std::uint32_t pixelOffset = 0;
    std::uint32_t width = 0;
    std::int64_t signedHeight = 0;
    std::uint32_t bitCount = 0;
    Compression compression = Compression::None;
    bool coreHeader = false;
    std::uint64_t bytesConsumed = 0;

    std::uint32_t Rows() const {
        return static_cast<std::uint32_t>(signedHeight < 0 ? -signedHeight : signedHeight);
    }
    std::uint32_t ColourCount() const { return bitCount == 24 ? 0 : 1u << bitCount; }
    // File row i lands in stored row i, or counts down from the top row when
    // the height is negative.
    std::uint32_t StoredRow(std::uint32_t fileRow) const {
        return signedHeight < 0 ? Rows() - 1 - fileRow : fileRow;
    }
};

namespace {

BmpHeader ReadFileAndBitmapHeaders(std::istream& stream) {
    BmpHeader header;
    std::array<std::uint8_t, kFileHeaderBytes> fileHeader{};
    ReadExactly(stream, fileHeader.data(), fileHeader.size());
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') {
        throw EBmpNotABmpFile();
    }
    header.pixelOffset = LittleEndian32(&fileHeader[10]);

    std::array<std::uint8_t, kInfoHeaderSize> fields{};
    ReadExactly(stream, fields.data(), 4);
    const std::uint32_t headerSize = LittleEndian32(&fields[0]);
    if (headerSize == kCoreHeaderSize) {
        ReadExactly(stream, &fields[4], kCoreHeaderSize - 4);
        header.coreHeader = true;
        header.width = LittleEndian16(&fields[4]);
        header.signedHeight = LittleEndian16(&fields[6]);
        header.bitCount = LittleEndian16(&fields[10]);
        header.bytesConsumed = kCoreHeaderEnd;
        return header;
    }
    if (headerSize < kInfoHeaderSize) {
        throw EBmpCorruptFile();
    }
    ReadExactly(stream, &fields[4], kInfoHeaderSize - 4);
    header.width = LittleEndian32(&fields[4]);
    header.signedHeight = static_cast<std::int32_t>(LittleEndian32(&fields[8]));
    header.bitCount = LittleEndian16(&fields[14]);
    header.compression = static_cast<Compression>(LittleEndian32(&fields[16]));
    // Later header versions add fields this reader has no use for. They count
    // as consumed even when the stream ends among them: the checks of the
    // variant and of the pixel data offset, and the pixel data itself, then
    // decide, as they do for any stream that ends early.
    const std::streamsize extraBytes = headerSize - kInfoHeaderSize;
    stream.ignore(extraBytes);
    header.bytesConsumed = kInfoHeaderEnd + static_cast<std::uint64_t>(extraBytes);
    return header;
}

// Everything that would make the image impossible to hold is refused here,
// before the image is touched.
void CheckVariantAndSize(const BmpHeader& header) {
    const auto compression = static_cast<std::uint32_t>(header.compression);
    if (!IsAcceptedVariant(header.bitCount, compression)) {
        throw EBmpNotSupported();
    }
    // Run-length data is defined for bottom-up bitmaps only.
    if (header.compression != Compression::None && header.signedHeight < 0) {
        throw EBmpNotSupported();
    }
    // The height is kept in 64 bits, so INT32_MIN has a magnitude too.
    const std::int64_t rows = header.signedHeight < 0 ? -header.signedHeight : header.signedHeight;
    if (header.width > BmpReader::kMaximumDimension || rows > BmpReader::kMaximumDimension) {
        throw EBmpNotSupported();
    }
    const std::uint64_t pixelBytes = RasterImage::ComputeRowWidth(header.bitCount, header.width) *
                                     static_cast<std::uint64_t>(rows);
    if (pixelBytes > BmpReader::kMaximumPixelBytes) {
        throw EBmpNotSupported();
    }
}

// Entries the stream cannot deliver stay black; the offset check that
// follows, or the pixel data that is then missing too, reports the damage.
std::uint64_t ReadColourTable(std::istream& stream, const BmpHeader& header, RasterImage& image) {
    const std::size_t entryBytes = header.coreHeader ? 3 : 4;
    for (std::uint32_t index = 0; index < header.ColourCount(); ++index) {
        std::array<std::uint8_t, 4> entry{};
        stream.read(reinterpret_cast<char*>(entry.data()),
                    static_cast<std::streamsize>(entryBytes));
        PaletteColour& colour = image.PaletteEntry(index);
        colour.blue = entry[0];
        colour.green = entry[1];
        colour.red = entry[2];
    }
    return std::uint64_t{header.ColourCount()} * entryBytes;
}

} // namespace

BmpReader::~BmpReader() = default;

void BmpReader::Read(std::istream& stream, RasterImage& image) {
    BmpHeader header = ReadFileAndBitmapHeaders(stream);
    CheckVariantAndSize(header);
    image.Allocate(header.ColourCount(), header.bitCount, header.width, header.Rows());
    header.bytesConsumed += ReadColourTable(stream, header, image);

    if (header.bytesConsumed > header.pixelOffset) {
        throw EBmpCorruptFile();
    }
    // A gap that the stream cannot fill leaves no pixel data: each variant
    // then fails or keeps zeros as it does for any stream that ends early.
    stream.ignore(static_cast<std::streamsize>(header.pixelOffset - header.bytesConsumed));

    ReportReadProgress(0);
    switch (header.compression) {
    case Compression::None:
        if (header.bitCount == 24) {
            ReadTrueColourRows(stream, header, image);
        } else {
            ReadPackedRows(stream, header, image);
        }
        break;
    case Compression::RunLength8:
    case Compression::RunLength4:
        ReadRunLengthData(stream, header, image);
        break;
    }
    ReportReadProgress(100);
}

void BmpReader::ReadPackedRows(std::istream& stream, const BmpHeader& header, RasterImage& image) {
    const std::uint32_t rows = header.Rows();
    const std::uint64_t dataBytes = (std::uint64_t{header.bitCount} * header.width + 7) / 8;
    const std::uint64_t paddingBytes = ((dataBytes + 3) & ~std::uint64_t{3}) - dataBytes;
    for (std::uint32_t fileRow = 0; fileRow < rows; ++fileRow) {
        ReportReadProgress(std::int64_t{fileRow} * 100 / rows);
        std::uint8_t* storedRow =
            image.ImageData() + std::size_t{header.StoredRow(fileRow)} * image.RowWidth();
        stream.read(reinterpret_cast<char*>(storedRow), static_cast<std::streamsize>(dataBytes));
        if (static_cast<std::uint64_t>(stream.gcount()) < dataBytes) {
            throw EBmpFileReadError();
        }
        stream.ignore(static_cast<std::streamsize>(paddingBytes));
    }
}

// A stream that ends early is accepted here: the pixels that never arrived
// stay black. Once the stream has ended each read returns at once, so a
// large truncated bitmap costs one call per row.
void BmpReader::ReadTrueColourRows(std::istream& stream, const BmpHeader& header,
                                   RasterImage& image) {
    const std::uint32_t rows = header.Rows();
    const std::uint64_t dataBytes = std::uint64_t{header.width} * 3;
    const std::uint64_t paddingBytes = ((dataBytes + 3) & ~std::uint64_t{3}) - dataBytes;
    for (std::uint32_t fileRow = 0; fileRow < rows; ++fileRow) {
        ReportReadProgress(std::int64_t{fileRow} * 100 / rows);
        std::uint8_t* storedRow =
            image.ImageData() + std::size_t{header.StoredRow(fileRow)} * image.RowWidth();
        // Blue, green, red in the file is blue, green, red in the image.
        stream.read(reinterpret_cast<char*>(storedRow), static_cast<std::streamsize>(dataBytes));
        stream.ignore(static_cast<std::streamsize>(paddingBytes));
    }
}

// Run-length records of either size (the BMP format's BI_RLE8 and BI_RLE4).
// The position is column x and row y counted from the top; y starts at the
// bottom row and only moves up. Both stay in 64 bits so that no sequence of
// deltas can wrap them, and every run is checked against the image before a
// pixel is written.
void BmpReader::ReadRunLengthData(std::istream& stream, const BmpHeader& header,
                                  RasterImage& image) {
    const std::int64_t width = header.width;
    const std::int64_t height = header.Rows();
    const bool fourBit = header.compression == Compression::RunLength4;
    std::int64_t x = 0;
    std::int64_t y = height - 1;

    auto rowForRun = [&](std::int64_t count) {
        if (y < 0 || y >= height || x + count > width) {
            throw EBmpCorruptFile();
        }
        return image.ImageData() + static_cast<std::size_t>(height - 1 - y) * image.RowWidth();
    };
    auto writePixel = [&](std::uint8_t* storedRow, std::int64_t column, std::uint8_t value) {
        if (fourBit) {
            SetNibble(storedRow, column, value);
        } else {
            storedRow[column] = value;
        }
    };

    if (AtEnd(stream)) {
        throw EBmpCorruptFile();
    }
    bool endOfBitmap = false;
    while (!endOfBitmap) {
        // An empty bitmap has nothing left to read: report it as complete
        // rather than divide by its height.
        ReportReadProgress(height == 0 ? 100 : (height - 1 - y) * 100 / height);
        const std::uint8_t count = ReadRunLengthByte(stream);
        const std::uint8_t value = ReadRunLengthByte(stream);
        if (count > 0) {
            std::uint8_t* storedRow = rowForRun(count);
            for (int k = 0; k < count; ++k) {
                const std::uint8_t pixel =
                    fourBit ? (k % 2 == 0 ? value >> 4 : value & 0x0F) : value;
                writePixel(storedRow, x + k, pixel);
            }
            x += count;
        } else if (value == kEndOfLine) {
            y -= 1;
            x = 0;
        } else if (value == kEndOfBitmap) {
            endOfBitmap = true;
        } else if (value == kDelta) {
            x += ReadRunLengthByte(stream);
            y -= ReadRunLengthByte(stream);
        } else {
            std::uint8_t* storedRow = rowForRun(value);
            std::uint8_t packed = 0;
            for (int k = 0; k < value; ++k) {
                std::uint8_t pixel = 0;
                if (!fourBit) {
                    pixel = ReadRunLengthByte(stream);
                } else {
                    if (k % 2 == 0) {
                        packed = ReadRunLengthByte(stream);
                    }
                    pixel = k % 2 == 0 ? packed >> 4 : packed & 0x0F;
                }
                writePixel(storedRow, x + k, pixel);
            }
            x += value;
            // Absolute runs end on a 16-bit boundary.
            const bool oddByteCount = fourBit ? (value % 4 == 1 || value % 4 == 2) : value % 2 == 1;
            if (oddByteCount) {
                stream.ignore(1);
            }
        }
        if (!endOfBitmap && AtEnd(stream)) {
            throw EBmpCorruptFile();
        }
    }
}

void BmpReader::ReportReadProgress(std::int64_t percent) {
    // Deltas and end-of-line records past the top row would give more than 100.
    const auto clamped = static_cast<std::int32_t>(std::clamp<std::int64_t>(percent, 0, 100));
    if (ReportProgress(1, 1, clamped)) {
        throw EGraphicsAbort();
    }
}

} // namespace jpeg
