// From pixels to quantized coefficients: the quantization tables for a
// quality, the colour conversion, the per-component sampling pass and the
// forward DCT with quantization of one 8 × 8 block.
#pragma once

#include "jpeg/jpeg_component.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>

namespace jpeg {

class RasterImage;

// 64 samples, row-major.
using SampleBlock = std::array<std::uint8_t, 64>;

// Which colour function a component pass uses: component 1 is Y, 2 is Cb, 3 is Cr.
enum class ColourChannel { Y, Cb, Cr };

// Progress of a sampling pass: called with the percent done (0 to 100) after
// every row of data units; returns true to stop, and the pass then throws
// EJpegAbort "JPEG Aborted". An empty function means no reporting. The writer
// plugs in its progress function with its current pass and pass count, e.g.
//   [this](std::int32_t percent) { return ReportProgress(currentPass_, passCount_, percent); }
using PercentReporter = std::function<bool(std::int32_t percent)>;

// Scales Tables K.1 (into `luminance`) and K.2 (into `chrominance`) by
// 2^((50 − quality) × 6 × 0.02), truncated, kept within 1 to 255, stored in
// zigzag order. A quality below 1 or above 100 throws EJpegValueOutOfRange
// and leaves both tables unchanged.
void BuildQuantTables(std::uint32_t quality, QuantTable& luminance, QuantTable& chrominance);

// Integer colour conversion with 12-bit weights, clamped to 0 to 255; inline,
// as the sampling pass converts every pixel. 2048 rounds, and 526336 =
// 128 × 4096 + 2048 adds the chrominance offset of 128 as well.
inline std::uint8_t ToY(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>(
        std::clamp((1224 * red + 2404 * green + 466 * blue + 2048) >> 12, 0, 255));
}

inline std::uint8_t ToCb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>(
        std::clamp((2048 * blue - 1357 * green - 690 * red + 526336) >> 12, 0, 255));
}

inline std::uint8_t ToCr(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>(
        std::clamp((2048 * red - 1714 * green - 333 * blue + 526336) >> 12, 0, 255));
}

// ToY, ToCb or ToCr, chosen at compile time.
template <ColourChannel Channel>
inline std::uint8_t ToChannel(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    if constexpr (Channel == ColourChannel::Y) {
        return ToY(red, green, blue);
    } else if constexpr (Channel == ColourChannel::Cb) {
        return ToCb(red, green, blue);
    } else {
        return ToCr(red, green, blue);
    }
}

// Sizes the component's coefficient array for the image and the maximum
// factors (⌈width × H ÷ (8 × Hm)⌉ columns, ⌈height × V ÷ (8 × Vm)⌉ rows),
// records the ratios Hm ÷ H and Vm ÷ V, and fills every unit in unit order:
// full-resolution blocks when the component has the maximum factors, blocks
// averaged over ratio × ratio pixels (rounded up) otherwise. Blocks reaching
// past the image repeat its last row and column. Uses the component's
// quantization table, which must be set. A maximum factor below the
// component's own throws EJpegValueOutOfRange. Reports progress after each
// row of data units (no final 100).
void SampleComponent(JpegComponent& component, ColourChannel channel, const RasterImage& image,
                     std::uint32_t maximumHorizontal, std::uint32_t maximumVertical,
                     const PercentReporter& report);

// SampleComponent in two steps, so that bands of rows can be filled on
// several threads: PrepareSampling checks, records the ratios and sizes the
// array; SampleUnitRows then fills the units of rows [firstRow, endRow)
// without reporting. Disjoint row ranges of one component may be filled at
// the same time.
void PrepareSampling(JpegComponent& component, const RasterImage& image,
                     std::uint32_t maximumHorizontal, std::uint32_t maximumVertical);
void SampleUnitRows(JpegComponent& component, ColourChannel channel, const RasterImage& image,
                    std::uint32_t firstRow, std::uint32_t endRow);

// A quantization table made ready for TransformBlock: each entry and its
// reciprocal as doubles, in natural order. Build it once per table; every
// entry of the table must be at least 1.
struct Quantizer {
    explicit Quantizer(const QuantTable& table);

    alignas(64) std::array<double, 64> divisors;
    alignas(64) std::array<double, 64> reciprocals;
};

// Forward DCT (the matrix form F = C × S × Cᵀ of A.3.3 on samples − 128, each
// product summed over k = 0..7 in increasing order in double precision) and
// quantization by the zigzag-ordered table, halves rounded away from zero.
// Every value is identical to TransformBlockReference; only faster.
void TransformBlock(const SampleBlock& samples, const Quantizer& quantizer,
                    CoefficientUnit& destination);
// The same for one block: prepares the table on every call.
void TransformBlock(const SampleBlock& samples, const QuantTable& table,
                    CoefficientUnit& destination);

// The vector widths TransformBlock can run at; every path gives the same
// values. TransformBlock takes the widest one the processor supports.
enum class TransformPath { Portable, Avx2, Avx512 };
bool TransformPathSupported(TransformPath path);
// TransformBlock at a chosen width (the portable path when unsupported).
void TransformBlockUsing(TransformPath path, const SampleBlock& samples, const QuantTable& table,
                         CoefficientUnit& destination);

// The quantization step alone, at a chosen width: DCT coefficients in natural
// order divided by the table's entries, halves away from zero. Identical to
// QuantizeReference for every |coefficient| up to 1024 (the DCT's range).
void QuantizeUsing(TransformPath path, const std::array<double, 64>& coefficients,
                   const QuantTable& table, CoefficientUnit& destination);
// The plain form: each coefficient divided by its entry, then rounded.
void QuantizeReference(const std::array<double, 64>& coefficients, const QuantTable& table,
                       CoefficientUnit& destination);

// The plain form of TransformBlock, written as the definition reads; kept to
// prove the fast form equal to it.
void TransformBlockReference(const SampleBlock& samples, const QuantTable& table,
                             CoefficientUnit& destination);

} // namespace jpeg
