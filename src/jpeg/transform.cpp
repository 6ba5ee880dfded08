#include "jpeg/transform.h"

#include "jpeg/colour_rows.h"
#include "jpeg/errors.h"
#include "jpeg/raster_image.h"
#include "jpeg/tables.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace jpeg {

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

void QuantizeReference(const std::array<double, 64>& coefficients, const QuantTable& table,
                       CoefficientUnit& destination) {
    for (int natural = 0; natural < 64; ++natural) {
        destination[natural] =
            RoundCoefficient(coefficients[natural] / table[kNaturalToZigzag[natural]]);
    }
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
    std::array<double, 64> coefficients;
    for (int u = 0; u < 8; ++u) {
        for (int v = 0; v < 8; ++v) {
            double sum = 0.0;
            for (int k = 0; k < 8; ++k) {
                sum += t[u][k] * matrix.transposed[k][v];
            }
            coefficients[8 * u + v] = sum;
        }
    }
    QuantizeReference(coefficients, table, destination);
}

Quantizer::Quantizer(const QuantTable& table) {
    for (std::size_t natural = 0; natural < 64; ++natural) {
        divisors[natural] = table[kNaturalToZigzag[natural]];
        reciprocals[natural] = 1.0 / divisors[natural];
    }
}

namespace {

// The helpers that take or return vectors are always inlined, so no call
// passes one and the vector ABI of the target does not matter.
#pragma GCC diagnostic ignored "-Wpsabi"

// Eight doubles. Each lane is computed with the same multiplications and
// additions, in the same order, as the plain form computes that element, so
// the results are identical at any SIMD width the compiler chooses.
using Row = double __attribute__((vector_size(64)));
using RowInteger = std::int32_t __attribute__((vector_size(32)));
using RowBits = std::uint64_t __attribute__((vector_size(64)));

[[gnu::always_inline]] inline Row Splat(double value) {
    return Row{value, value, value, value, value, value, value, value};
}

// Row `row` (0 to 7) of a natural-order array of 64 doubles.
[[gnu::always_inline]] inline Row LoadRow(const std::array<double, 64>& values, int row) {
    Row loaded;
    std::memcpy(&loaded, &values[8 * row], sizeof loaded);
    return loaded;
}

[[gnu::always_inline]] inline void StoreRow(RowInteger values, CoefficientUnit& destination,
                                            int row) {
    for (int v = 0; v < 8; ++v) {
        destination[8 * row + v] = static_cast<std::int16_t>(values[v]);
    }
}

[[gnu::always_inline]] inline bool AnyNonzero(RowInteger values) {
    std::int32_t any = 0;
    for (int v = 0; v < 8; ++v) {
        any |= values[v];
    }
    return any != 0;
}

struct DctRows {
    Row c[8][8];       // c[i][k]: C[i][k] in every lane
    Row transposed[8]; // transposed[k]: row k of Cᵀ, lane v holds C[v][k]

    DctRows() {
        const DctMatrix& matrix = Matrix();
        for (int i = 0; i < 8; ++i) {
            for (int k = 0; k < 8; ++k) {
                c[i][k] = Splat(matrix.c[i][k]);
                transposed[k][i] = matrix.transposed[k][i];
            }
        }
    }
};

const DctRows& Rows() {
    static const DctRows rows;
    return rows;
}

// 0.5 with the sign of each lane, by bit operations (a lane-wise comparison
// of eight doubles is not lowered to vector code at every width). It differs
// from `value >= 0 ? 0.5 : −0.5` only for −0, and there both give
// −0 ± 0.5, which truncates to 0 whichever side of it a margin moves it.
[[gnu::always_inline]] inline Row HalfWithSignOf(Row value) {
    RowBits bits;
    std::memcpy(&bits, &value, sizeof bits);
    constexpr std::uint64_t kSignBit = 0x8000000000000000;
    constexpr std::uint64_t kHalf = 0x3FE0000000000000; // 0.5
    const RowBits half = (bits & kSignBit) | kHalf;
    Row result;
    std::memcpy(&result, &half, sizeof result);
    return result;
}

// RoundCoefficient(coefficient ÷ divisor) in every lane: the division, then
// d + 0.5 or d − 0.5 truncated toward zero.
[[gnu::always_inline]] inline RowInteger DivideAndRound(Row coefficients, Row divisors) {
    const Row quotient = coefficients / divisors;
    return __builtin_convertvector(quotient + HalfWithSignOf(quotient), RowInteger);
}

// How far from a rounding boundary a quotient estimate must lie for the
// division to be skipped.
constexpr double kBoundaryMargin = 0x1p-24;

// The rows of F, quantized: DivideAndRound in every lane, dividing only when
// the answer is in doubt. |F| ≤ 1024 (each row of C is a unit vector and
// |sample − 128| ≤ 128), so the estimate F × (1/q) lies within three rounding
// errors, below 2⁻⁴⁰, of the correctly rounded quotient d = F ÷ q. Where
// estimate ± 0.5 truncates to the same integer from the margin below as from
// the margin above, d ± 0.5 truncates to it as well, after its own rounding
// too; where the estimate and d differ in sign both are below 2⁻⁴⁰ and every
// truncation gives 0. A block with a lane at or next to a rounding boundary
// (a d that may round onto a half-integer from below it, say) is divided.
[[gnu::always_inline]] inline void
Quantize(const Row (&coefficients)[8], const Quantizer& quantizer, CoefficientUnit& destination) {
    RowInteger rounded[8];
    RowInteger uncertain{};
#pragma GCC unroll 8
    for (int u = 0; u < 8; ++u) {
        const Row estimate = coefficients[u] * LoadRow(quantizer.reciprocals, u);
        const Row shifted = estimate + HalfWithSignOf(estimate);
        rounded[u] = __builtin_convertvector(shifted - kBoundaryMargin, RowInteger);
        uncertain |= rounded[u] ^ __builtin_convertvector(shifted + kBoundaryMargin, RowInteger);
    }
    if (AnyNonzero(uncertain)) [[unlikely]] {
        for (int u = 0; u < 8; ++u) {
            rounded[u] = DivideAndRound(coefficients[u], LoadRow(quantizer.divisors, u));
        }
    }
#pragma GCC unroll 8
    for (int u = 0; u < 8; ++u) {
        StoreRow(rounded[u], destination, u);
    }
}

// Row x of S, lane y: sample − 128, exactly. Each byte is moved into the low
// bits of the double 2⁵², whose last place is worth 1, making 2⁵² + sample;
// subtracting 2⁵² + 128 then leaves sample − 128.
[[gnu::always_inline]] inline Row CentredSamples(const SampleBlock& samples, int x) {
    static_assert(std::endian::native == std::endian::little);
    std::uint64_t packed;
    std::memcpy(&packed, &samples[8 * x], sizeof packed);
    const RowBits lanes = RowBits{} + packed;
    const RowBits bytes = (lanes >> RowBits{0, 8, 16, 24, 32, 40, 48, 56}) & 0xFF;
    constexpr std::uint64_t kTwoToThe52 = 0x4330000000000000;
    const RowBits biased = bytes | kTwoToThe52;
    Row values;
    std::memcpy(&values, &biased, sizeof values);
    return values - (0x1p52 + 128.0);
}

// The body of every path. Inlined into each target-specific function below,
// so each is compiled for its own vector width.
[[gnu::always_inline]] inline void TransformKernel(const SampleBlock& samples,
                                                   const Quantizer& quantizer,
                                                   CoefficientUnit& destination) {
    const DctRows& rows = Rows();
    Row s[8];
#pragma GCC unroll 8
    for (int x = 0; x < 8; ++x) {
        s[x] = CentredSamples(samples, x);
    }
    // T = C × S, one row of T at a time: T[i][·] = Σk C[i][k] × S[k][·].
    // Each sum starts from its first product rather than from 0.0 + it: the
    // two differ only in the sign of a zero, which no later step can turn into
    // a different quantized value.
    Row t[8];
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) {
        Row sum = rows.c[i][0] * s[0];
#pragma GCC unroll 7
        for (int k = 1; k < 8; ++k) {
            sum += rows.c[i][k] * s[k];
        }
        t[i] = sum;
    }
    // F = T × Cᵀ: F[u][·] = Σk T[u][k] × Cᵀ[k][·].
    Row f[8];
#pragma GCC unroll 8
    for (int u = 0; u < 8; ++u) {
        Row sum = Splat(t[u][0]) * rows.transposed[0];
#pragma GCC unroll 7
        for (int k = 1; k < 8; ++k) {
            sum += Splat(t[u][k]) * rows.transposed[k];
        }
        f[u] = sum;
    }
    Quantize(f, quantizer, destination);
}

// The quantization step alone, as the kernel does it.
[[gnu::always_inline]] inline void QuantizeKernel(const std::array<double, 64>& coefficients,
                                                  const Quantizer& quantizer,
                                                  CoefficientUnit& destination) {
    Row f[8];
    for (int u = 0; u < 8; ++u) {
        f[u] = LoadRow(coefficients, u);
    }
    Quantize(f, quantizer, destination);
}

// One function of each kind per path, each compiled for its own width.
struct PathFunctions {
    void (*transform)(const SampleBlock&, const Quantizer&, CoefficientUnit&);
    void (*quantize)(const std::array<double, 64>&, const Quantizer&, CoefficientUnit&);
};

#if defined(__x86_64__)
[[gnu::target("avx2")]] void TransformAvx2(const SampleBlock& samples, const Quantizer& quantizer,
                                           CoefficientUnit& destination) {
    TransformKernel(samples, quantizer, destination);
}

[[gnu::target("avx2")]] void QuantizeAvx2(const std::array<double, 64>& coefficients,
                                          const Quantizer& quantizer,
                                          CoefficientUnit& destination) {
    QuantizeKernel(coefficients, quantizer, destination);
}

[[gnu::target("avx512f")]] void TransformAvx512(const SampleBlock& samples,
                                                const Quantizer& quantizer,
                                                CoefficientUnit& destination) {
    TransformKernel(samples, quantizer, destination);
}

[[gnu::target("avx512f")]] void QuantizeAvx512(const std::array<double, 64>& coefficients,
                                               const Quantizer& quantizer,
                                               CoefficientUnit& destination) {
    QuantizeKernel(coefficients, quantizer, destination);
}
#endif

void TransformPortable(const SampleBlock& samples, const Quantizer& quantizer,
                       CoefficientUnit& destination) {
    TransformKernel(samples, quantizer, destination);
}

void QuantizePortable(const std::array<double, 64>& coefficients, const Quantizer& quantizer,
                      CoefficientUnit& destination) {
    QuantizeKernel(coefficients, quantizer, destination);
}

PathFunctions FunctionsOf(TransformPath path) {
    switch (path) {
#if defined(__x86_64__)
    case TransformPath::Avx2:
        return {TransformAvx2, QuantizeAvx2};
    case TransformPath::Avx512:
        return {TransformAvx512, QuantizeAvx512};
#endif
    default:
        return {TransformPortable, QuantizePortable};
    }
}

TransformPath WidestPath() {
    for (const TransformPath path : {TransformPath::Avx512, TransformPath::Avx2}) {
        if (TransformPathSupported(path)) {
            return path;
        }
    }
    return TransformPath::Portable;
}

// The functions of `path`, or of the portable path when unsupported.
PathFunctions SupportedFunctionsOf(TransformPath path) {
    return FunctionsOf(TransformPathSupported(path) ? path : TransformPath::Portable);
}

} // namespace

bool TransformPathSupported(TransformPath path) {
    switch (path) {
#if defined(__x86_64__)
    case TransformPath::Avx2:
        return __builtin_cpu_supports("avx2");
    case TransformPath::Avx512:
        return __builtin_cpu_supports("avx512f");
#endif
    case TransformPath::Portable:
        return true;
    default:
        return false;
    }
}

void TransformBlockUsing(TransformPath path, const SampleBlock& samples, const QuantTable& table,
                         CoefficientUnit& destination) {
    SupportedFunctionsOf(path).transform(samples, Quantizer(table), destination);
}

void QuantizeUsing(TransformPath path, const std::array<double, 64>& coefficients,
                   const QuantTable& table, CoefficientUnit& destination) {
    SupportedFunctionsOf(path).quantize(coefficients, Quantizer(table), destination);
}

void TransformBlock(const SampleBlock& samples, const Quantizer& quantizer,
                    CoefficientUnit& destination) {
    static const auto widest = FunctionsOf(WidestPath()).transform;
    widest(samples, quantizer, destination);
}

void TransformBlock(const SampleBlock& samples, const QuantTable& table,
                    CoefficientUnit& destination) {
    TransformBlock(samples, Quantizer(table), destination);
}

namespace {

// Colour-converted samples of one image for one component pass. 24-bit rows
// are read in place (the bytes PixelRgb reads); other depths go through
// PixelRgb and the colour map.
template <ColourChannel Channel> class ColourSource {
public:
    explicit ColourSource(const RasterImage& image)
        : image_(image) {}

    std::uint32_t Width() const { return image_.Width(); }
    std::uint32_t Height() const { return image_.Height(); }
    bool TrueColour() const { return image_.BitCount() == 24; }

    // 24-bit images only: the pixels of picture row `row` (0 = top), blue,
    // green, red each; the bottom row is stored first.
    const std::uint8_t* RowPixels(std::uint64_t row) const {
        return image_.ImageData() + (image_.Height() - 1 - row) * image_.RowWidth();
    }

    std::uint8_t At(std::uint64_t row, std::uint64_t column) const {
        if (TrueColour()) {
            const std::uint8_t* pixel = RowPixels(row) + column * 3;
            return ToChannel<Channel>(pixel[2], pixel[1], pixel[0]);
        }
        std::uint8_t red;
        std::uint8_t green;
        std::uint8_t blue;
        image_.PixelRgb(static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(column), red,
                        green, blue);
        return ToChannel<Channel>(red, green, blue);
    }

private:
    const RasterImage& image_;
};

// One row of full-resolution blocks, converted: 8 rows of `columns` × 8
// samples. Rows past the image repeat the last row, columns past it the last
// column, as the blocks that reach past the image do.
template <ColourChannel Channel> class SampleBand {
public:
    SampleBand(const ColourSource<Channel>& source, std::uint32_t columns)
        : source_(source)
        , stride_(std::size_t{columns} * 8)
        , samples_(8 * stride_) {}

    void Fill(std::uint64_t blockRow) {
        const std::uint64_t width = source_.Width();
        for (std::uint32_t j = 0; j < 8; ++j) {
            std::uint8_t* row = &samples_[j * stride_];
            const std::uint64_t y = 8 * blockRow + j;
            if (y >= source_.Height()) {
                std::copy_n(row - stride_, stride_, row);
                continue;
            }
            if (source_.TrueColour()) {
                ConvertRow(Channel, source_.RowPixels(y), row, width);
            } else {
                for (std::uint64_t x = 0; x < width; ++x) {
                    row[x] = source_.At(y, x);
                }
            }
            std::fill(row + width, row + stride_, row[width - 1]);
        }
    }

    void CopyBlock(std::uint32_t blockColumn, SampleBlock& block) const {
        for (std::uint32_t j = 0; j < 8; ++j) {
            std::memcpy(&block[8 * j], &samples_[j * stride_ + 8 * std::size_t{blockColumn}], 8);
        }
    }

private:
    const ColourSource<Channel>& source_;
    std::size_t stride_;
    std::vector<std::uint8_t> samples_;
};

// Block (r, c) of a subsampled component: each sample is the mean, rounded
// up, of the pixels of its ratio × ratio rectangle that lie inside the image;
// a rectangle wholly outside repeats the sample to its left, else the one above.
template <ColourChannel Channel>
void FillAveragedBlock(const ColourSource<Channel>& source, std::uint64_t blockRow,
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
                    sum += source.At(y, x);
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

// Fills the units of rows [firstRow, endRow) of the sized component, calling
// `rowDone` with the number of rows done after each row.
template <ColourChannel Channel, typename RowDone>
void FillUnits(JpegComponent& component, const RasterImage& image, std::uint32_t firstRow,
               std::uint32_t endRow, const RowDone& rowDone) {
    const bool fullResolution = component.HorizontalRatio() == 1 && component.VerticalRatio() == 1;
    const Quantizer quantizer(*component.QuantizationTable());
    const ColourSource<Channel> source(image);
    SampleBlock block;
    SampleBand<Channel> band(source, fullResolution ? component.DataUnitColumns() : 0);
    for (std::uint32_t row = firstRow; row < endRow; ++row) {
        if (fullResolution) {
            band.Fill(row);
        }
        for (std::uint32_t column = 0; column < component.DataUnitColumns(); ++column) {
            if (fullResolution) {
                band.CopyBlock(column, block);
            } else {
                FillAveragedBlock(source, row, column, component.VerticalRatio(),
                                  component.HorizontalRatio(), block);
            }
            TransformBlock(block, quantizer, component.Unit(row, column));
        }
        rowDone(row + 1 - firstRow);
    }
}

template <typename RowDone>
void FillUnitsOf(ColourChannel channel, JpegComponent& component, const RasterImage& image,
                 std::uint32_t firstRow, std::uint32_t endRow, const RowDone& rowDone) {
    switch (channel) {
    case ColourChannel::Y:
        FillUnits<ColourChannel::Y>(component, image, firstRow, endRow, rowDone);
        break;
    case ColourChannel::Cb:
        FillUnits<ColourChannel::Cb>(component, image, firstRow, endRow, rowDone);
        break;
    case ColourChannel::Cr:
        FillUnits<ColourChannel::Cr>(component, image, firstRow, endRow, rowDone);
        break;
    }
}

std::uint32_t CeilDivide(std::uint64_t numerator, std::uint64_t denominator) {
    return static_cast<std::uint32_t>((numerator + denominator - 1) / denominator);
}

} // namespace

void PrepareSampling(JpegComponent& component, const RasterImage& image,
                     std::uint32_t maximumHorizontal, std::uint32_t maximumVertical) {
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

    component.SetRatios(maximumVertical / vertical, maximumHorizontal / horizontal);
    component.AllocateCoefficients(
        CeilDivide(std::uint64_t{image.Height()} * vertical, 8 * std::uint64_t{maximumVertical}),
        CeilDivide(std::uint64_t{image.Width()} * horizontal,
                   8 * std::uint64_t{maximumHorizontal}));
}

void SampleUnitRows(JpegComponent& component, ColourChannel channel, const RasterImage& image,
                    std::uint32_t firstRow, std::uint32_t endRow) {
    FillUnitsOf(channel, component, image, firstRow, endRow, [](std::uint32_t) {});
}

void SampleComponent(JpegComponent& component, ColourChannel channel, const RasterImage& image,
                     std::uint32_t maximumHorizontal, std::uint32_t maximumVertical,
                     const PercentReporter& report) {
    PrepareSampling(component, image, maximumHorizontal, maximumVertical);
    const std::uint32_t rows = component.DataUnitRows();
    // Percent in 1/256 steps: 25600 = 100 × 256.
    const std::uint32_t step = rows == 0 ? 0 : 25600 / rows;
    FillUnitsOf(channel, component, image, 0, rows, [&](std::uint32_t rowsDone) {
        const std::uint32_t percent = std::min<std::uint32_t>(rowsDone * step / 256, 100);
        if (report && report(static_cast<std::int32_t>(percent))) {
            throw EJpegAbort();
        }
    });
}

} // namespace jpeg
