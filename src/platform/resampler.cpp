#include "platform/resampler.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {
namespace {

// Weights are fractions of one unit of 2^14.
constexpr int kWeightBits = 14;
constexpr std::int64_t kWeightUnit = std::int64_t{1} << kWeightBits;

// Between the passes each channel keeps 7 bits of fraction: at most 255 × 128
// = 32640, so row values and weights both fit signed 16 bits, and the
// horizontal pass can multiply and add pairs of them in one step. The
// vertical pass's rounding costs at most 1/256 of a level.
constexpr int kRowFractionBits = 7;
constexpr int kRowShift = kWeightBits - kRowFractionBits;
constexpr std::uint32_t kRowRounding = 1u << (kRowShift - 1);
constexpr int kOutputShift = kWeightBits + kRowFractionBits;
constexpr std::int32_t kOutputRounding = 1 << (kOutputShift - 1);

constexpr int kChannels = 4;

// The source pixels that make one destination pixel along an axis.
struct Taps {
    int first = 0;
    int count = 0;
    int weightOffset = 0; // into AxisFilter::weights
};

// One Taps per destination index; the weights of each sum to exactly one unit.
struct AxisFilter {
    std::vector<Taps> taps;
    std::vector<std::uint16_t> weights;

    void AddSingle(int index) {
        taps.push_back(Taps{index, 1, int(weights.size())});
        weights.push_back(std::uint16_t(kWeightUnit));
    }
    void AddPair(int index, std::int64_t nextWeight) {
        taps.push_back(Taps{index, 2, int(weights.size())});
        weights.push_back(std::uint16_t(kWeightUnit - nextWeight));
        weights.push_back(std::uint16_t(nextWeight));
    }
};

std::int64_t RoundedQuotient(std::int64_t numerator, std::int64_t denominator) {
    return (numerator + denominator / 2) / denominator;
}

// Measured in 1/D of a source pixel (D the destination length), destination
// pixel i covers [i × S, (i + 1) × S) and source pixel j covers [j × D,
// (j + 1) × D): every overlap is a whole number. Each weight is the rounded
// running total of the coverage minus what earlier taps got, so the weights
// sum to exactly one unit. On an axis of equal lengths this is a copy.
AxisFilter AreaAverageFilter(int destLength, int sourceLength) {
    const std::int64_t dest = destLength;
    const std::int64_t source = sourceLength;
    AxisFilter filter;
    filter.taps.reserve(std::size_t(destLength));
    for (std::int64_t i = 0; i < dest; ++i) {
        const std::int64_t start = i * source;
        const std::int64_t end = start + source;
        const std::int64_t first = start / dest;
        const std::int64_t last = (end - 1) / dest;
        filter.taps.push_back(Taps{int(first), int(last - first + 1), int(filter.weights.size())});
        std::int64_t covered = 0;
        std::int64_t given = 0;
        for (std::int64_t j = first; j <= last; ++j) {
            covered += std::min((j + 1) * dest, end) - std::max(j * dest, start);
            const std::int64_t total = RoundedQuotient(covered * kWeightUnit, source);
            filter.weights.push_back(std::uint16_t(total - given));
            given = total;
        }
    }
    return filter;
}

// Destination pixel i's centre lies at ((2i + 1) × S − D) ÷ 2D in source
// coordinates where source pixel j's centre is at j. Beyond the first and the
// last centre the edge pixel is held.
AxisFilter LinearFilter(int destLength, int sourceLength) {
    const std::int64_t dest = destLength;
    const std::int64_t source = sourceLength;
    AxisFilter filter;
    filter.taps.reserve(std::size_t(destLength));
    for (std::int64_t i = 0; i < dest; ++i) {
        const std::int64_t position = (2 * i + 1) * source - dest;
        if (position <= 0) {
            filter.AddSingle(0);
            continue;
        }
        const int index = int(position / (2 * dest));
        const std::int64_t nextWeight =
            RoundedQuotient(position % (2 * dest) * kWeightUnit, 2 * dest);
        if (index >= sourceLength - 1)
            filter.AddSingle(sourceLength - 1);
        else if (nextWeight == 0)
            filter.AddSingle(index);
        else if (nextWeight == kWeightUnit)
            filter.AddSingle(index + 1);
        else
            filter.AddPair(index, nextWeight);
    }
    return filter;
}

AxisFilter FilterFor(int destLength, int sourceLength) {
    return destLength > sourceLength ? LinearFilter(destLength, sourceLength)
                                     : AreaAverageFilter(destLength, sourceLength);
}

// Gives every destination index the same even number of taps, padding with
// zero weights (before the taps at the far edge, after them elsewhere). The
// horizontal pass then takes the taps two at a time with one trip count along
// the whole row. An odd count of all the source pixels reaches one pixel past
// them, which the row buffer holds as a zero.
AxisFilter WithCommonEvenCount(const AxisFilter& filter, int sourceLength) {
    int count = 2;
    for (const Taps& taps : filter.taps)
        count = std::max(count, taps.count + taps.count % 2);
    AxisFilter padded;
    padded.taps.reserve(filter.taps.size());
    padded.weights.reserve(filter.taps.size() * std::size_t(count));
    for (const Taps& taps : filter.taps) {
        const int first = std::min(taps.first, sourceLength + 1 - count);
        const int before = taps.first - first;
        padded.taps.push_back(Taps{first, count, int(padded.weights.size())});
        padded.weights.insert(padded.weights.end(), std::size_t(before), 0);
        const std::uint16_t* weights = filter.weights.data() + taps.weightOffset;
        padded.weights.insert(padded.weights.end(), weights, weights + taps.count);
        padded.weights.insert(padded.weights.end(), std::size_t(count - taps.count - before), 0);
    }
    return padded;
}

// A destination row's taps, as the vertical pass gets them.
struct RowTaps {
    const std::uint8_t* first = nullptr; // the first source row
    int pitch = 0;
    int count = 0;
    const std::uint16_t* weights = nullptr;

    const std::uint8_t* Row(int k) const { return first + std::size_t(k) * std::size_t(pitch); }
};

// ---- portable passes ----
// Plain loops over restrict pointers, written for the compiler to vectorise.

void MultiplyRow(const std::uint8_t* __restrict source, std::uint32_t weight,
                 std::uint32_t* __restrict sums, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        sums[i] = source[i] * weight;
}

void AddRow(const std::uint8_t* __restrict source, std::uint32_t weight,
            std::uint32_t* __restrict sums, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        sums[i] += source[i] * weight;
}

void AddRowAndRound(const std::uint8_t* __restrict source, std::uint32_t weight,
                    const std::uint32_t* __restrict sums, std::int16_t* __restrict row,
                    std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        row[i] = std::int16_t((sums[i] + source[i] * weight + kRowRounding) >> kRowShift);
}

// A single tap has the whole unit: the row is the source, scaled.
void ScaleRow(const std::uint8_t* __restrict source, std::int16_t* __restrict row,
              std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        row[i] = std::int16_t(source[i] << kRowFractionBits);
}

// The vertical pass: the weighted sum of the source rows of one destination
// row, across `length` bytes, with kRowFractionBits of fraction.
void FilterRowsPortable(const RowTaps& taps, std::size_t length, std::uint32_t* sums,
                        std::int16_t* row) {
    if (taps.count == 1) {
        ScaleRow(taps.Row(0), row, length);
        return;
    }
    MultiplyRow(taps.Row(0), taps.weights[0], sums, length);
    for (int k = 1; k < taps.count - 1; ++k)
        AddRow(taps.Row(k), taps.weights[k], sums, length);
    AddRowAndRound(taps.Row(taps.count - 1), taps.weights[taps.count - 1], sums, row, length);
}

std::uint8_t ToByte(std::int32_t sum) {
    return std::uint8_t(sum >> kOutputShift);
}

// The horizontal pass over one row of the vertical pass's output.
void FilterColumnsPortable(const std::int16_t* row, const AxisFilter& columns, std::uint8_t* dest) {
    for (std::size_t x = 0; x < columns.taps.size(); ++x) {
        const Taps& taps = columns.taps[x];
        const std::int16_t* pixel = row + std::size_t(taps.first) * kChannels;
        const std::uint16_t* weights = columns.weights.data() + taps.weightOffset;
        // Separate locals, so that the sums stay in registers.
        std::int32_t blue = kOutputRounding;
        std::int32_t green = kOutputRounding;
        std::int32_t red = kOutputRounding;
        std::int32_t unused = kOutputRounding;
        for (int k = 0; k < taps.count; ++k, pixel += kChannels) {
            const std::int32_t weight = weights[k];
            blue += pixel[0] * weight;
            green += pixel[1] * weight;
            red += pixel[2] * weight;
            unused += pixel[3] * weight;
        }
        std::uint8_t* out = dest + x * kChannels;
        out[0] = ToByte(blue);
        out[1] = ToByte(green);
        out[2] = ToByte(red);
        out[3] = ToByte(unused);
    }
}

#if defined(__SSE2__)
// ---- SSE2 passes ----
// The same sums, two taps at a time: values and weights interleaved in pairs
// of 16-bit numbers, which one instruction multiplies and adds into 32 bits.

// Two adjacent weights in one load (the target is little-endian).
__m128i AdjacentWeights(const std::uint16_t* weights) {
    std::int32_t pair;
    std::memcpy(&pair, weights, sizeof pair);
    return _mm_set1_epi32(pair);
}

__m128i WeightPair(std::uint16_t first, std::uint16_t second) {
    return _mm_set1_epi32(std::int32_t(std::uint32_t(first) | std::uint32_t(second) << 16));
}

// Destination rows made of more source rows than this (shrinking by more
// than 32 to 1) take the portable pass.
constexpr int kMostVectorRows = 32;

// The source rows of one destination row two at a time, with their weights
// side by side; an odd last row is paired with itself at weight 0.
struct RowPairs {
    int count = 0;
    const std::uint8_t* firsts[kMostVectorRows / 2];
    const std::uint8_t* seconds[kMostVectorRows / 2];
    __m128i weights[kMostVectorRows / 2];
};

RowPairs PairRows(const RowTaps& taps) {
    RowPairs pairs;
    pairs.count = (taps.count + 1) / 2;
    for (int pair = 0; pair < pairs.count; ++pair) {
        const int k = 2 * pair;
        const bool odd = k + 1 == taps.count;
        pairs.firsts[pair] = taps.Row(k);
        pairs.seconds[pair] = odd ? taps.Row(k) : taps.Row(k + 1);
        pairs.weights[pair] = WeightPair(taps.weights[k], odd ? 0 : taps.weights[k + 1]);
    }
    return pairs;
}

// Bytes [i, i + 16) of the destination row, summed in registers: sums0 holds
// bytes i to i + 3, sums1 the next four, and so on.
void SumSixteenBytes(const RowPairs& pairs, std::size_t i, std::int16_t* row) {
    const __m128i zero = _mm_setzero_si128();
    __m128i sums0 = _mm_set1_epi32(std::int32_t(kRowRounding));
    __m128i sums1 = sums0;
    __m128i sums2 = sums0;
    __m128i sums3 = sums0;
    for (int pair = 0; pair < pairs.count; ++pair) {
        const __m128i first =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs.firsts[pair] + i));
        const __m128i second =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs.seconds[pair] + i));
        const __m128i low = _mm_unpacklo_epi8(first, second);
        const __m128i high = _mm_unpackhi_epi8(first, second);
        const __m128i weight = pairs.weights[pair];
        sums0 = _mm_add_epi32(sums0, _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), weight));
        sums1 = _mm_add_epi32(sums1, _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), weight));
        sums2 = _mm_add_epi32(sums2, _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), weight));
        sums3 = _mm_add_epi32(sums3, _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), weight));
    }
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(row + i),
        _mm_packs_epi32(_mm_srai_epi32(sums0, kRowShift), _mm_srai_epi32(sums1, kRowShift)));
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(row + i + 8),
        _mm_packs_epi32(_mm_srai_epi32(sums2, kRowShift), _mm_srai_epi32(sums3, kRowShift)));
}

void FilterRowsSse2(const RowTaps& taps, std::size_t length, std::uint32_t* sums,
                    std::int16_t* row) {
    if (taps.count == 1 || taps.count > kMostVectorRows) {
        FilterRowsPortable(taps, length, sums, row);
        return;
    }
    const RowPairs pairs = PairRows(taps);
    std::size_t i = 0;
    for (; i + 16 <= length; i += 16)
        SumSixteenBytes(pairs, i, row);
    // The last few bytes one at a time.
    for (; i < length; ++i) {
        std::uint32_t sum = kRowRounding;
        for (int k = 0; k < taps.count; ++k)
            sum += taps.Row(k)[i] * std::uint32_t(taps.weights[k]);
        row[i] = std::int16_t(sum >> kRowShift);
    }
}

// Each pair of pixels is interleaved channel by channel (b0 b1 g0 g1 r0 r1
// x0 x1) and multiplied and added with the pair of weights.
void FilterColumnsSse2(const std::int16_t* row, const AxisFilter& columns, std::uint8_t* dest) {
    for (std::size_t x = 0; x < columns.taps.size(); ++x) {
        const Taps& taps = columns.taps[x];
        const std::int16_t* pixels = row + std::size_t(taps.first) * kChannels;
        const std::uint16_t* weights = columns.weights.data() + taps.weightOffset;
        __m128i sums = _mm_set1_epi32(kOutputRounding);
        for (int k = 0; k < taps.count; k += 2) {
            const __m128i pair =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + k * kChannels));
            const __m128i interleaved = _mm_unpacklo_epi16(pair, _mm_srli_si128(pair, 8));
            sums = _mm_add_epi32(sums, _mm_madd_epi16(interleaved, AdjacentWeights(weights + k)));
        }
        const __m128i values = _mm_srai_epi32(sums, kOutputShift);
        const __m128i words = _mm_packs_epi32(values, values);
        const std::int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
        std::memcpy(dest + x * kChannels, &bytes, sizeof bytes);
    }
}
#endif

struct Passes {
    void (*filterRows)(const RowTaps&, std::size_t, std::uint32_t*, std::int16_t*);
    void (*filterColumns)(const std::int16_t*, const AxisFilter&, std::uint8_t*);
};

Passes PassesFor(ResampleCode code) {
#if defined(__SSE2__)
    if (code == ResampleCode::kFastest)
        return Passes{FilterRowsSse2, FilterColumnsSse2};
#endif
    static_cast<void>(code);
    return Passes{FilterRowsPortable, FilterColumnsPortable};
}

void CopyRows(const PixelArea& dest, const ConstPixelArea& source) {
    for (int y = 0; y < dest.height; ++y)
        std::memcpy(dest.bits + std::size_t(y) * std::size_t(dest.pitch),
                    source.bits + std::size_t(y) * std::size_t(source.pitch),
                    std::size_t(dest.width) * kChannels);
}

} // namespace

void ResampleSmooth(const PixelArea& dest, const ConstPixelArea& source, ResampleCode code) {
    if (dest.width == source.width && dest.height == source.height) {
        CopyRows(dest, source);
        return;
    }
    const Passes passes = PassesFor(code);
    const AxisFilter rows = FilterFor(dest.height, source.height);
    const AxisFilter columns =
        WithCommonEvenCount(FilterFor(dest.width, source.width), source.width);
    const std::size_t rowLength = std::size_t(source.width) * kChannels;
    std::vector<std::uint32_t> sums(rowLength);
    // One pixel more than the source row, always zero, for the padded taps.
    std::vector<std::int16_t> row(rowLength + kChannels);
    for (int y = 0; y < dest.height; ++y) {
        const Taps& taps = rows.taps[std::size_t(y)];
        const RowTaps rowTaps{source.bits + std::size_t(taps.first) * std::size_t(source.pitch),
                              source.pitch, taps.count, rows.weights.data() + taps.weightOffset};
        passes.filterRows(rowTaps, rowLength, sums.data(), row.data());
        passes.filterColumns(row.data(), columns,
                             dest.bits + std::size_t(y) * std::size_t(dest.pitch));
    }
}

} // namespace platform
