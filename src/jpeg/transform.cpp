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

namespace {

// Eight doubles. Each lane is computed with the same multiplications and
// additions, in the same order, as the plain form computes that element, so
// the results are identical at any SIMD width the compiler chooses.
using Row = double __attribute__((vector_size(64)));
using RowMask = std::int64_t __attribute__((vector_size(64)));
using RowInteger = std::int32_t __attribute__((vector_size(32)));

struct DctRows {
    Row c[8][8];       // c[i][k]: C[i][k] in every lane
    Row transposed[8]; // transposed[k]: row k of Cᵀ, lane v holds C[v][k]

    DctRows() {
        const DctMatrix& matrix = Matrix();
        for (int i = 0; i < 8; ++i) {
            for (int k = 0; k < 8; ++k) {
                c[i][k] = Row{} + matrix.c[i][k];
                transposed[k][i] = matrix.transposed[k][i];
            }
        }
    }
};

const DctRows& Rows() {
    static const DctRows rows;
    return rows;
}

} // namespace

void TransformBlock(const SampleBlock& samples, const QuantTable& table,
                    CoefficientUnit& destination) {
    const DctRows& matrix = Rows();
    // Row x of S, lane y: sample − 128.
    Row s[8];
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            s[x][y] = samples[8 * x + y] - 128.0;
        }
    }
    // T = C × S, one row of T at a time: T[i][·] = Σk C[i][k] × S[k][·].
    Row t[8];
    for (int i = 0; i < 8; ++i) {
        Row sum = Row{} + 0.0;
        for (int k = 0; k < 8; ++k) {
            sum += matrix.c[i][k] * s[k];
        }
        t[i] = sum;
    }
    // F = T × Cᵀ: F[u][·] = Σk T[u][k] × Cᵀ[k][·].
    for (int u = 0; u < 8; ++u) {
        Row sum = Row{} + 0.0;
        for (int k = 0; k < 8; ++k) {
            sum += (Row{} + t[u][k]) * matrix.transposed[k];
        }
        Row quantizer;
        for (int v = 0; v < 8; ++v) {
            quantizer[v] = table[kNaturalToZigzag[8 * u + v]];
        }
        const Row quotient = sum / quantizer;
        const RowMask nonNegative = quotient >= 0.0;
        const Row half = nonNegative ? Row{} + 0.5 : Row{} - 0.5;
        const RowInteger rounded = __builtin_convertvector(quotient + half, RowInteger);
        for (int v = 0; v < 8; ++v) {
            destination[8 * u + v] = static_cast<std::int16_t>(rounded[v]);
        }
    }
}

namespace {

// Colour-converted samples of one image for one component pass. 24-bit rows
// are read in place; other depths go through PixelRgb and the colour map.
class ColourSource {
public:
    ColourSource(const RasterImage& image, ColourChannel channel)
        : image_(image)
        , channel_(channel) {}

    std::uint32_t Width() const { return image_.Width(); }
    std::uint32_t Height() const { return image_.Height(); }

    std::uint8_t At(std::uint32_t row, std::uint32_t column) const {
        std::uint8_t red;
        std::uint8_t green;
        std::uint8_t blue;
        if (image_.BitCount() == 24) {
            // The bottom row is stored first (the same bytes PixelRgb reads).
            const std::uint8_t* pixel =
                image_.ImageData() +
                static_cast<std::size_t>(image_.Height() - 1 - row) * image_.RowWidth() +
                static_cast<std::size_t>(column) * 3;
            blue = pixel[0];
            green = pixel[1];
            red = pixel[2];
        } else {
            image_.PixelRgb(row, column, red, green, blue);
        }
        switch (channel_) {
        case ColourChannel::Y:
            return ToY(red, green, blue);
        case ColourChannel::Cb:
            return ToCb(red, green, blue);
        case ColourChannel::Cr:
            break;
        }
        return ToCr(red, green, blue);
    }

private:
    const RasterImage& image_;
    ColourChannel channel_;
};

// Block (r, c) at full resolution: rows past the image repeat the row above,
// columns past it the column to the left.
void FillFullBlock(const ColourSource& source, std::uint64_t blockRow, std::uint64_t blockColumn,
                   SampleBlock& block) {
    for (std::uint32_t j = 0; j < 8; ++j) {
        const std::uint64_t y = 8 * blockRow + j;
        for (std::uint32_t k = 0; k < 8; ++k) {
            const std::uint64_t x = 8 * blockColumn + k;
            std::uint8_t& sample = block[8 * j + k];
            if (y >= source.Height()) {
                sample = block[8 * (j - 1) + k];
            } else if (x >= source.Width()) {
                sample = block[8 * j + k - 1];
            } else {
                sample = source.At(static_cast<std::uint32_t>(y), static_cast<std::uint32_t>(x));
            }
        }
    }
}

// Block (r, c) of a subsampled component: each sample is the mean, rounded
// up, of the pixels of its ratio × ratio rectangle that lie inside the image;
// a rectangle wholly outside repeats the sample to its left, else the one above.
void FillAveragedBlock(const ColourSource& source, std::uint64_t blockRow,
                       std::uint64_t blockColumn, std::uint32_t verticalRatio,
                       std::uint32_t horizontalRatio, SampleBlock& block) {
    for (std::uint32_t j = 0; j < 8; ++j) {
        const std::uint64_t top = verticalRatio * (8 * blockRow + j);
        for (std::uint32_t k = 0; k < 8; ++k) {
            const std::uint64_t left = horizontalRatio * (8 * blockColumn + k);
            std::uint32_t sum = 0;
            std::uint32_t count = 0;
            for (std::uint64_t y = top; y < top + verticalRatio && y < source.Height(); ++y) {
                for (std::uint64_t x = left; x < left + horizontalRatio && x < source.Width();
                     ++x) {
                    sum += source.At(static_cast<std::uint32_t>(y), static_cast<std::uint32_t>(x));
                    ++count;
                }
            }
            std::uint8_t& sample = block[8 * j + k];
            if (count > 0) {
                sample = static_cast<std::uint8_t>((sum + count - 1) / count);
            } else if (k > 0) {
                sample = block[8 * j + k - 1];
            } else {
                // j > 0 here: the first row and column of a block lie inside the image.
                sample = block[8 * (j - 1) + k];
            }
        }
    }
}

std::uint32_t CeilDivide(std::uint64_t numerator, std::uint64_t denominator) {
    return static_cast<std::uint32_t>((numerator + denominator - 1) / denominator);
}

} // namespace

void SampleComponent(JpegComponent& component, ColourChannel channel, const RasterImage& image,
                     std::uint32_t maximumHorizontal, std::uint32_t maximumVertical,
                     const PercentReporter& report) {
    const std::uint32_t horizontal = component.HorizontalFactor();
    const std::uint32_t vertical = component.VerticalFactor();
    // A ratio of 0 would leave samples with nothing to copy from.
    if (maximumHorizontal < horizontal || maximumVertical < vertical) {
        throw EJpegValueOutOfRange();
    }
    const QuantTable* table = component.QuantizationTable();
    if (table == nullptr || std::find(table->begin(), table->end(), 0) != table->end()) {
        throw EJpegFatal("INTERNAL ERROR - Invalid quantization table");
    }

    const std::uint32_t columns =
        CeilDivide(std::uint64_t{image.Width()} * horizontal, 8 * std::uint64_t{maximumHorizontal});
    const std::uint32_t rows =
        CeilDivide(std::uint64_t{image.Height()} * vertical, 8 * std::uint64_t{maximumVertical});
    const std::uint32_t verticalRatio = maximumVertical / vertical;
    const std::uint32_t horizontalRatio = maximumHorizontal / horizontal;
    component.SetRatios(verticalRatio, horizontalRatio);
    component.AllocateCoefficients(rows, columns);

    const bool fullResolution = horizontal == maximumHorizontal && vertical == maximumVertical;
    const ColourSource source(image, channel);
    // Percent in 1/256 steps: 25600 = 100 × 256.
    const std::uint32_t step = rows == 0 ? 0 : 25600 / rows;
    std::uint32_t accumulated = 0;
    SampleBlock block;
    for (std::uint32_t row = 0; row < rows; ++row) {
        for (std::uint32_t column = 0; column < columns; ++column) {
            if (fullResolution) {
                FillFullBlock(source, row, column, block);
            } else {
                FillAveragedBlock(source, row, column, verticalRatio, horizontalRatio, block);
            }
            TransformBlock(block, *table, component.Unit(row, column));
        }
        accumulated += step;
        if (report &&
            report(static_cast<std::int32_t>(std::min<std::uint32_t>(accumulated / 256, 100)))) {
            throw EJpegAbort();
        }
    }
}

} // namespace tesselon::jpeg
