// Reads a Windows BMP file image from a byte stream into a RasterImage.
// Accepted: core (12-byte) and info (40-byte or larger) headers; 1, 4, 8 and
// 24 bits uncompressed (bottom-up or, with a negative height, top-down);
// 4-bit and 8-bit run-length data. Every failure is an exception of the
// EGraphicsException family, or EGraphicsAbort when the progress function
// asks to stop.
#pragma once

#include "jpeg/raster_coder.h"

#include <cstdint>
#include <istream>

namespace jpeg {

class RasterImage;
struct BmpHeader; // the fields of a stream's headers that the reader uses

// Not thread-safe; one reader reads one stream at a time.
class BmpReader : public RasterCoder {
public:
    BmpReader() = default;
    ~BmpReader() override;

    // Replaces the image's contents with the picture in the stream. Until the
    // headers have been checked the image is unchanged; after that a failure
    // leaves it holding what was read so far over zeroed rows. Bitmaps wider
    // or taller than 65535 pixels, or with more than 1 GiB of pixel data, are
    // refused with EBmpNotSupported before anything is allocated.
    virtual void Read(std::istream& stream, RasterImage& image);

    static constexpr std::uint32_t kMaximumDimension = 65535;
    static constexpr std::uint64_t kMaximumPixelBytes = std::uint64_t{1} << 30;

private:
    void ReadPackedRows(std::istream& stream, const BmpHeader& header, RasterImage& image);
    void ReadTrueColourRows(std::istream& stream, const BmpHeader& header, RasterImage& image);
    void ReadRunLengthData(std::istream& stream, const BmpHeader& header, RasterImage& image);
    // Reports pass 1 of 1; throws EGraphicsAbort when the function asks to stop.
    void ReportReadProgress(std::int64_t percent);
};

} // namespace jpeg
