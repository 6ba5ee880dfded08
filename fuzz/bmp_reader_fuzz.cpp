// libFuzzer target for the BMP reader, the program's only parser of untrusted
// bytes. Every input must end in a codec exception or a picture whose every
// pixel can be read back; anything else (a crash, a sanitizer report, a
// foreign exception, a progress report out of order) is a finding.
#include "jpeg/bmp_reader.h"
#include "jpeg/errors.h"
#include "jpeg/raster_image.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

namespace {

using namespace jpeg;

// Pictures up to 1 GiB are accepted, but zeroing and freeing one under the
// address sanitizer takes half a second: inputs that declare an accepted
// picture above this size are skipped so the run keeps its pace. Larger
// declared sizes still reach the reader, which must refuse them.
constexpr std::uint64_t kMaximumFuzzedPixelBytes = std::uint64_t{8} << 20;

struct ProgressCheck {
    std::int32_t lastPercent = -1;
    std::int32_t abortAtPercent = -1;
};

ProgressCheck gProgress;

void CheckProgress(RasterCoder&, std::uint32_t userValue, std::int32_t pass, std::int32_t passCount,
                   std::int32_t percent, std::uint8_t& abortFlag) {
    if (userValue != 0x5EED || pass != 1 || passCount != 1 || abortFlag != 0 || percent < 0 ||
        percent > 100 || percent < gProgress.lastPercent) {
        __builtin_trap();
    }
    gProgress.lastPercent = percent;
    if (percent == gProgress.abortAtPercent) {
        abortFlag = 1;
    }
}

std::uint32_t Little(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// The pixel bytes the headers declare, read the way the file format lays
// them out; 0 when the input is too short to tell.
std::uint64_t DeclaredPixelBytes(const std::uint8_t* data, std::size_t size) {
    if (size < 30) {
        return 0;
    }
    const bool core = Little(data + 14, 4) == 12;
    const std::uint32_t width = core ? Little(data + 18, 2) : Little(data + 18, 4);
    std::int64_t height =
        core ? Little(data + 20, 2) : static_cast<std::int32_t>(Little(data + 22, 4));
    height = height < 0 ? -height : height;
    const std::uint32_t bitCount = core ? Little(data + 24, 2) : Little(data + 28, 2);
    return RasterImage::ComputeRowWidth(bitCount, width) * static_cast<std::uint64_t>(height);
}

// Reading back every pixel of a large picture under the sanitizers takes
// seconds; pictures of up to this many pixels are read back whole.
constexpr std::uint64_t kMaximumPixelsToWalk = std::uint64_t{1} << 18;

void WalkPixels(const RasterImage& image) {
    if (std::uint64_t{image.Width()} * image.Height() > kMaximumPixelsToWalk) {
        return;
    }
    unsigned checksum = 0;
    for (std::uint32_t row = 0; row < image.Height(); ++row) {
        for (std::uint32_t column = 0; column < image.Width(); ++column) {
            std::uint8_t red = 0, green = 0, blue = 0;
            image.PixelRgb(row, column, red, green, blue);
            checksum += red + green + blue;
        }
    }
    // Keeps the reads from being optimised away.
    asm volatile("" : : "r"(checksum));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint64_t declared = DeclaredPixelBytes(data, size);
    if (declared > kMaximumFuzzedPixelBytes && declared <= BmpReader::kMaximumPixelBytes) {
        return -1; // not added to the corpus
    }
    std::istringstream stream(std::string(reinterpret_cast<const char*>(data), size));
    BmpReader reader;
    reader.SetProgressFunction(CheckProgress, 0x5EED);
    // Abort some reads part-way, chosen by the input's length so that the
    // same input always takes the same path.
    gProgress = ProgressCheck{-1, size % 7 == 0 ? static_cast<std::int32_t>(size % 101) : -1};
    RasterImage image;
    bool complete = false;
    try {
        reader.Read(stream, image);
        complete = true;
    } catch (const EGraphicsException&) {
    } catch (const EGraphicsAbort&) {
    }
    if (complete && (image.Width() > BmpReader::kMaximumDimension ||
                     image.Height() > BmpReader::kMaximumDimension)) {
        __builtin_trap();
    }
    // A picture that failed part-way must still be whole enough to read.
    WalkPixels(image);
    return 0;
}
