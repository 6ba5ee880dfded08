#include "platform/resampler.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// The AVX2 code is compiled for its own functions and chosen at run time.
#if defined(__x86_64__) && defined(__SSE2__)
#define RESAMPLER_AVX2 1
#include <immintrin.h>
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

// The horizontal taps as the AVX2 pass reads them: destination pixels in
// groups of eight, two to a register, one per 128-bit lane. A short last group
// repeats the last pixel.
struct LaneColumns {
    std::size_t width = 0;
    int steps = 0; // taps per pixel ÷ 2
    // Per group, where each pixel's first tap starts in the row, in int16s.
    std::vector<std::int32_t> offsets;
    // Per group, step and pair of pixels: the first pixel's two weights for
    // the step, four times, then the second's.
    std::vector<std::int32_t> weights;
};

LaneColumns LaidOutInLanes(const AxisFilter& columns) {
    LaneColumns lanes;
    lanes.width = columns.taps.size();
    lanes.steps = columns.taps.front().count / 2;
    const std::size_t groups = (lanes.width + 7) / 8;
    lanes.offsets.reserve(groups * 8);
    lanes.weights.reserve(groups * std::size_t(lanes.steps) * 4 * 8);
    for (std::size_t group = 0; group < groups; ++group) {
        const auto tapsOf = [&](std::size_t k) -> const Taps& {
            return columns.taps[std::min(group * 8 + k, lanes.width - 1)];
        };
        for (std::size_t k = 0; k < 8; ++k)
            lanes.offsets.push_back(tapsOf(k).first * kChannels);
        for (int step = 0; step < lanes.steps; ++step) {
            for (std::size_t k = 0; k < 8; ++k) {
                const std::uint16_t* weights =
                    columns.weights.data() + tapsOf(k).weightOffset + 2 * step;
                const std::int32_t pair =
                    std::int32_t(std::uint32_t(weights[0]) | std::uint32_t(weights[1]) << 16);
                lanes.weights.insert(lanes.weights.end(), 4, pair);
            }
        }
    }
    return lanes;
}

// The horizontal filter in both layouts; `lanes` is left empty unless the
// passes need it.
struct Columns {
    AxisFilter filter;
    LaneColumns lanes;
};

#if defined(RESAMPLER_AVX2)
// ---- AVX2 passes ----
// The SSE2 sums again, twice as wide. The row pass does 32 bytes a step; the
// column pass two destination pixels a register, and interleaves each pair of
// taps with one byte shuffle where SSE2 takes two instructions.

bool HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

// Bytes [i, i + 32) of the destination row, as SumSixteenBytes does sixteen.
// In-lane unpacking leaves the low lanes with bytes i to i + 15 and the high
// ones with the rest.
[[gnu::target("avx2"), gnu::always_inline]] inline void
SumThirtyTwoBytes(const RowPairs& pairs, std::size_t i, std::int16_t* row) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i sums0 = _mm256_set1_epi32(std::int32_t(kRowRounding));
    __m256i sums1 = sums0;
    __m256i sums2 = sums0;
    __m256i sums3 = sums0;
    for (int pair = 0; pair < pairs.count; ++pair) {
        const __m256i first =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs.firsts[pair] + i));
        const __m256i second =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs.seconds[pair] + i));
        const __m256i low = _mm256_unpacklo_epi8(first, second);
        const __m256i high = _mm256_unpackhi_epi8(first, second);
        const __m256i weight = _mm256_broadcastsi128_si256(pairs.weights[pair]);
        sums0 = _mm256_add_epi32(sums0, _mm256_madd_epi16(_mm256_unpacklo_epi8(low, zero), weight));
        sums1 = _mm256_add_epi32(sums1, _mm256_madd_epi16(_mm256_unpackhi_epi8(low, zero), weight));
        sums2 =
            _mm256_add_epi32(sums2, _mm256_madd_epi16(_mm256_unpacklo_epi8(high, zero), weight));
        sums3 =
            _mm256_add_epi32(sums3, _mm256_madd_epi16(_mm256_unpackhi_epi8(high, zero), weight));
    }
    // Bytes 0-7 | 16-23 and 8-15 | 24-31.
    const __m256i words01 = _mm256_packs_epi32(_mm256_srai_epi32(sums0, kRowShift),
                                               _mm256_srai_epi32(sums1, kRowShift));
    const __m256i words23 = _mm256_packs_epi32(_mm256_srai_epi32(sums2, kRowShift),
                                               _mm256_srai_epi32(sums3, kRowShift));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + i),
                        _mm256_permute2x128_si256(words01, words23, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + i + 16),
                        _mm256_permute2x128_si256(words01, words23, 0x31));
}

[[gnu::target("avx2")]] void FilterRowsAvx2(const RowTaps& taps, std::size_t length,
                                            std::uint32_t* sums, std::int16_t* row) {
    if (taps.count == 1 || taps.count > kMostVectorRows || length < 32) {
        FilterRowsSse2(taps, length, sums, row);
        return;
    }
    const RowPairs pairs = PairRows(taps);
    std::size_t i = 0;
    for (; i + 32 <= length; i += 32)
        SumThirtyTwoBytes(pairs, i, row);
    // Every byte is summed on its own, so the tail can overlap bytes done.
    if (i < length)
        SumThirtyTwoBytes(pairs, length - 32, row);
}

// Two taps of two destination pixels, a and b, into their lanes of sums.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i
AddTwoTaps(__m256i sums, const std::int16_t* a, const std::int16_t* b, const std::int32_t* weights,
           __m256i interleave) {
    const __m256i pixels = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1);
    return _mm256_add_epi32(
        sums, _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, interleave),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights))));
}

[[gnu::target("avx2")]] void FilterColumnsAvx2(const std::int16_t* row, const Columns& columns,
                                               std::uint8_t* dest) {
    const LaneColumns& lanes = columns.lanes;
    // b0 g0 r0 x0 b1 g1 r1 x1 to b0 b1 g0 g1 r0 r1 x0 x1, in each lane.
    const __m256i interleave =
        _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9, 2, 3, 10,
                         11, 4, 5, 12, 13, 6, 7, 14, 15);
    // After packing, the low lanes hold pixels 0, 2, 4, 6 and the high 1, 3, 5, 7.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const std::int32_t* weights = lanes.weights.data();
    const std::int32_t* offsets = lanes.offsets.data();
    for (std::size_t x = 0; x < lanes.width; x += 8, offsets += 8) {
        __m256i sums0 = _mm256_set1_epi32(kOutputRounding);
        __m256i sums1 = sums0;
        __m256i sums2 = sums0;
        __m256i sums3 = sums0;
        for (int step = 0; step < lanes.steps; ++step, weights += 32) {
            const std::int16_t* taps = row + 2 * step * kChannels;
            sums0 = AddTwoTaps(sums0, taps + offsets[0], taps + offsets[1], weights, interleave);
            sums1 =
                AddTwoTaps(sums1, taps + offsets[2], taps + offsets[3], weights + 8, interleave);
            sums2 =
                AddTwoTaps(sums2, taps + offsets[4], taps + offsets[5], weights + 16, interleave);
            sums3 =
                AddTwoTaps(sums3, taps + offsets[6], taps + offsets[7], weights + 24, interleave);
        }
        const __m256i words01 = _mm256_packs_epi32(_mm256_srai_epi32(sums0, kOutputShift),
                                                   _mm256_srai_epi32(sums1, kOutputShift));
        const __m256i words23 = _mm256_packs_epi32(_mm256_srai_epi32(sums2, kOutputShift),
                                                   _mm256_srai_epi32(sums3, kOutputShift));
        const __m256i bytes =
            _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words01, words23), order);
        std::uint8_t* out = dest + x * kChannels;
        if (x + 8 <= lanes.width) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
        } else {
            alignas(32) std::uint8_t last[8 * kChannels];
            _mm256_store_si256(reinterpret_cast<__m256i*>(last), bytes);
            std::memcpy(out, last, (lanes.width - x) * kChannels);
        }
    }
}
#endif

#if defined(__SSE2__)
void FilterColumnsSse2Of(const std::int16_t* row, const Columns& columns, std::uint8_t* dest) {
    FilterColumnsSse2(row, columns.filter, dest);
}
#endif

void FilterColumnsPortableOf(const std::int16_t* row, const Columns& columns, std::uint8_t* dest) {
    FilterColumnsPortable(row, columns.filter, dest);
}

struct Passes {
    void (*filterRows)(const RowTaps&, std::size_t, std::uint32_t*, std::int16_t*);
    void (*filterColumns)(const std::int16_t*, const Columns&, std::uint8_t*);
    bool inLanes = false; // the column pass reads Columns::lanes
};

Passes PassesFor(ResampleCode code) {
    if (!ResampleCodeSupported(code))
        code = ResampleCode::kPortable;
#if defined(RESAMPLER_AVX2)
    if (code == ResampleCode::kAvx2 || (code == ResampleCode::kFastest && HasAvx2()))
        return Passes{FilterRowsAvx2, FilterColumnsAvx2, true};
#endif
#if defined(__SSE2__)
    if (code == ResampleCode::kSse2 || code == ResampleCode::kFastest)
        return Passes{FilterRowsSse2, FilterColumnsSse2Of};
#endif
    return Passes{FilterRowsPortable, FilterColumnsPortableOf};
}

void CopyRows(const PixelArea& dest, const ConstPixelArea& source) {
    for (int y = 0; y < dest.height; ++y)
        std::memcpy(dest.bits + std::size_t(y) * std::size_t(dest.pitch),
                    source.bits + std::size_t(y) * std::size_t(source.pitch),
                    std::size_t(dest.width) * kChannels);
}

} // namespace

bool ResampleCodeSupported(ResampleCode code) {
    switch (code) {
    case ResampleCode::kFastest:
    case ResampleCode::kPortable:
        return true;
    case ResampleCode::kAvx2:
#if defined(RESAMPLER_AVX2)
        return HasAvx2();
#else
        return false;
#endif
    case ResampleCode::kSse2:
#if defined(__SSE2__)
        return true;
#else
        return false;
#endif
    }
    return false;
}

void ResampleSmooth(const PixelArea& dest, const ConstPixelArea& source, ResampleCode code) {
    if (dest.width == source.width && dest.height == source.height) {
        CopyRows(dest, source);
        return;
    }
    const Passes passes = PassesFor(code);
    const AxisFilter rows = FilterFor(dest.height, source.height);
    Columns columns{WithCommonEvenCount(FilterFor(dest.width, source.width), source.width), {}};
    if (passes.inLanes)
        columns.lanes = LaidOutInLanes(columns.filter);
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
