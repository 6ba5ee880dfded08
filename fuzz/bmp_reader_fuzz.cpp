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

using namespace tesselon::jpeg;

// Reading every pixel of the largest accepted pictures would stall the run.
constexpr std::uint64_t kMaximumBytesToWalk = std::uint64_t{4} << 20;

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

void WalkPixels(const RasterImage& image) {
    if (std::uint64_t{image.Height()} * image.RowWidth() > kMaximumBytesToWalk) {
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
