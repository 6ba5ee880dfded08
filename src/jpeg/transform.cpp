#include "jpeg/transform.h"

#include "jpeg/errors.h"
#include "jpeg/raster_image.h"
#include "jpeg/tables.h"

#include <algorithm>
#include <cmath>

namespace tesselon::jpeg {

namespace {

// The DCT matrix C of A.3.3 and its transpose, each constant computed as the
// definition writes it, so every machine gets the same bits.
struct DctMatrix {
    double c[8][8];
    double transposed[8][8];

    DctMatrix() {
        const double pi = std::acos(-1.0);
        for (int j = 0; j < 8; ++j) {
            c[0][j] = 1.0 / std::sqrt(8.0);
        }
        for (int i = 1; i < 8; ++i) {
            for (int j = 0; j < 8; ++j) {
                c[i][j] = 0.5 * std::cos((2 * j + 1) * i * pi / 16);
            }
        }
        for (int i = 0; i < 8; ++i) {
            for (int j = 0; j < 8; ++j) {
                transposed[j][i] = c[i][j];
            }
        }
    }
};

// Built on the first transform; the static's guard makes that thread-safe.
const DctMatrix& Matrix() {
    static const DctMatrix matrix;
    return matrix;
}

// Halves away from zero: d + 0.5 or d − 0.5, truncated toward zero.
std::int16_t RoundCoefficient(double quotient) {
    return static_cast<std::int16_t>(quotient >= 0 ? static_cast<std::int32_t>(quotient + 0.5)
                                                   : static_cast<std::int32_t>(quotient - 0.5));
}

int ClampSample(int value) {
    return std::clamp(value, 0, 255);
}

} // namespace

void BuildQuantTables(std::uint32_t quality, QuantTable& luminance, QuantTable& chrominance) {
    if (quality < 1 || quality > 100) {
        throw EJpegValueOutOfRange();
    }
    // A signed difference: qualities above 50 give negative powers.
    const int difference = 50 - static_cast<int>(quality);
    const double scale = std::pow(2.0, difference * 6 * 0.02);
    const auto scaled = [scale](std::uint8_t base) {
        const auto value = static_cast<std::uint32_t>(base * scale);
        return static_cast<std::uint16_t>(std::clamp<std::uint32_t>(value, 1, 255));
    };
    for (std::size_t zigzag = 0; zigzag < 64; ++zigzag) {
        const std::size_t natural = kZigzagToNatural[zigzag];
        luminance[zigzag] = scaled(kLuminanceQuantization[natural]);
        chrominance[zigzag] = scaled(kChrominanceQuantization[natural]);
    }
}

// 12-bit fixed-point weights; 2048 rounds, 526336 = 128 × 4096 + 2048 adds
// the chrominance offset of 128 as well.
std::uint8_t ToY(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>(
        ClampSample((1224 * red + 2404 * green + 466 * blue + 2048) >> 12));
}

std::uint8_t ToCb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>(
        ClampSample((2048 * blue - 1357 * green - 690 * red + 526336) >> 12));
}

std::uint8_t ToCr(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>(
        ClampSample((2048 * red - 1714 * green - 333 * blue + 526336) >> 12));
}

void TransformBlockReference(const SampleBlock& samples, const QuantTable& table,
                             CoefficientUnit& destination) {
    const DctMatrix& matrix = Matrix();
    double s[8][8];
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            s[x][y] = samples[8 * x + y] - 128.0;
        }
    }
    double t[8][8];
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 8; ++k) {
                sum += matrix.c[i][k] * s[k][j];
            }
            t[i][j] = sum;
        }
    }
    for (int u = 0; u < 8; ++u) {
        for (int v = 0; v < 8; ++v) {
            double sum = 0.0;
            for (int k = 0; k < 8; ++k) {
                sum += t[u][k] * matrix.transposed[k][v];
            }
            const int natural = 8 * u + v;
            destination[natural] = RoundCoefficient(sum / table[kNaturalToZigzag[natural]]);
        }
    }
}

void TransformBlock(const SampleBlock& samples, const QuantTable& table,
                    CoefficientUnit& destination) {
    TransformBlockReference(samples, table, destination);
}

void SampleComponent(JpegComponent& component, ColourChannel channel, const RasterImage& image,
                     std::uint32_t maximumHorizontal, std::uint32_t maximumVertical,
                     const PercentReporter& report) {
    (void)component;
    (void)channel;
    (void)image;
    (void)maximumHorizontal;
    (void)maximumVertical;
    (void)report;
}

} // namespace tesselon::jpeg
