#include "jpeg/huffman.h"

#include "jpeg/errors.h"

#include <algorithm>
#include <bitset>
#include <numeric>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace jpeg {

namespace {

// A code size can reach 256 with 257 symbols, so lengths are held up to
// there before they are limited to 16 bits.
constexpr std::uint32_t kLongestPossibleCode = HuffmanCodeTable::kSymbolCount;
using LengthCounts = std::array<std::uint32_t, kLongestPossibleCode + 1>;

// Figure K.3: moves codes longer than 16 bits up the tree, two at a time.
void LimitCodeLengths(LengthCounts& lengthCounts) {
    for (std::uint32_t length = kLongestPossibleCode; length > 16; --length) {
        while (lengthCounts[length] > 0) {
            std::uint32_t shorter = length - 2;
            while (shorter > 0 && lengthCounts[shorter] == 0) {
                --shorter;
            }
            if (shorter == 0) {
                throw EJpegFatal("INTERNAL ERROR - Invalid Huffman Range");
            }
            lengthCounts[length] -= 2;
            lengthCounts[length - 1] += 1;
            lengthCounts[shorter + 1] += 2;
            lengthCounts[shorter] -= 1;
        }
    }
}

} // namespace

std::uint64_t NonzeroCoefficients(const CoefficientUnit& unit) {
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    // Sixteen coefficients at a time: packed to bytes with saturation, which
    // keeps zero and nonzero apart, compared with 0, and one bit taken from each.
    const __m128i zero = _mm_setzero_si128();
    for (std::uint32_t group = 0; group < 4; ++group) {
        const auto* first = reinterpret_cast<const __m128i*>(unit.data() + 16 * group);
        const __m128i bytes = _mm_packs_epi16(_mm_loadu_si128(first), _mm_loadu_si128(first + 1));
        const auto zeros =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
        mask |= std::uint64_t{~zeros & 0xFFFF} << (16 * group);
    }
#else
    for (std::uint32_t natural = 0; natural < 64; ++natural) {
        mask |= std::uint64_t{unit[natural] != 0} << natural;
    }
#endif
    return mask;
}

void HuffmanCodeTable::ResetCounts() {
    counts_.fill(0);
    counts_[kReservedSymbol] = 1;
    built_ = false;
}

void HuffmanCodeTable::AddCounts(const std::array<std::uint32_t, kSymbolCount>& counts) {
    if (built_) {
        RefuseCount();
    }
    for (std::uint32_t symbol = 0; symbol < kSymbolCount; ++symbol) {
        counts_[symbol] += counts[symbol];
    }
}

void HuffmanCodeTable::RefuseCount() const {
    if (built_) {
        throw EJpegFatal("INTERNAL ERROR - Huffman Code sizes already found");
    }
    throw EJpegIndexOutOfRange();
}

HuffmanCode HuffmanCodeTable::LookupCode(std::uint32_t symbol) const {
    if (symbol >= kSymbolCount) {
        throw EJpegIndexOutOfRange();
    }
    if (codeLengths_[symbol] == 0) {
        throw EJpegFatal("INTERNAL ERROR - Missing Huffman Code");
    }
    return {codes_[symbol], codeLengths_[symbol]};
}

std::uint32_t HuffmanCodeTable::ValueCount() const {
    return std::accumulate(lengthCounts_.begin(), lengthCounts_.end(), std::uint32_t{0});
}

std::uint32_t HuffmanCodeTable::TableBodySize() const {
    return 17 + ValueCount();
}

void HuffmanCodeTable::WriteTableBody(BitOutput& output) const {
    for (const std::uint8_t count : lengthCounts_) {
        output.WriteByte(count);
    }
    for (const std::uint8_t value : Values()) {
        output.WriteByte(value);
    }
}

// Figure K.1. The merge works on a copy of the counts, widened so that the
// sums cannot wrap. Only symbols with a nonzero count take part, so the search
// walks a list of those, kept in symbol order.
void HuffmanCodeTable::FindCodeSizes(std::array<std::uint32_t, kSymbolCount + 1>& codeSizes) {
    constexpr std::int32_t kNone = -1;
    std::array<std::uint64_t, kSymbolCount + 1> frequencies;
    std::copy(counts_.begin(), counts_.end(), frequencies.begin());
    std::array<std::int32_t, kSymbolCount + 1> next;
    next.fill(kNone);
    codeSizes.fill(0);
    std::array<std::int32_t, kSymbolCount + 1> active;
    std::size_t activeCount = 0;
    for (std::int32_t symbol = 0; symbol <= static_cast<std::int32_t>(kReservedSymbol); ++symbol) {
        if (frequencies[symbol] != 0) {
            active[activeCount++] = symbol;
        }
    }

    for (;;) {
        // The two smallest counts; on equal counts the higher symbol wins.
        std::int32_t least = kNone;
        std::int32_t second = kNone;
        std::size_t leastAt = 0;
        std::size_t secondAt = 0;
        for (std::size_t at = 0; at < activeCount; ++at) {
            const std::int32_t symbol = active[at];
            if (least == kNone || frequencies[symbol] <= frequencies[least]) {
                second = least;
                secondAt = leastAt;
                least = symbol;
                leastAt = at;
            } else if (second == kNone || frequencies[symbol] <= frequencies[second]) {
                second = symbol;
                secondAt = at;
            }
        }
        if (second == kNone) {
            return;
        }
        frequencies[least] += frequencies[second];
        frequencies[second] = 0;
        std::copy(active.begin() + secondAt + 1, active.begin() + activeCount,
                  active.begin() + secondAt);
        --activeCount;
        // Both trees sink one level; the second tree's chain joins the first's.
        std::int32_t last = least;
        for (std::int32_t symbol = least; symbol != kNone; symbol = next[symbol]) {
            ++codeSizes[symbol];
            last = symbol;
        }
        next[last] = second;
        for (std::int32_t symbol = second; symbol != kNone; symbol = next[symbol]) {
            ++codeSizes[symbol];
        }
    }
}

void HuffmanCodeTable::BuildCodes() {
    if (built_) {
        return;
    }
    std::array<std::uint32_t, kSymbolCount> keptCounts;
    std::copy(counts_.begin(), counts_.begin() + kSymbolCount, keptCounts.begin());

    std::array<std::uint32_t, kSymbolCount + 1> codeSizes;
    FindCodeSizes(codeSizes);

    // Figure K.2.
    LengthCounts lengthCounts{};
    for (const std::uint32_t size : codeSizes) {
        if (size != 0) {
            ++lengthCounts[size];
        }
    }
    LimitCodeLengths(lengthCounts);
    // The reserved symbol holds one of the longest codes; dropping that code
    // leaves no code made only of 1-bits (K.2).
    for (std::uint32_t length = kMaximumCodeLength; length >= 1; --length) {
        if (lengthCounts[length] > 0) {
            --lengthCounts[length];
            break;
        }
    }
    std::uint32_t codeCount = 0;
    for (std::uint32_t length = 1; length <= kMaximumCodeLength; ++length) {
        codeCount += lengthCounts[length];
    }
    if (codeCount >= kSymbolCount) {
        throw EJpegFatal("INTERNAL ERROR - Too many codes defined");
    }
    for (std::uint32_t length = 1; length <= kMaximumCodeLength; ++length) {
        lengthCounts_[length - 1] = static_cast<std::uint8_t>(lengthCounts[length]);
    }

    // Figure K.4: symbols by their code size before limiting, then by value;
    // the reserved symbol is never listed. A counting sort by size keeps the
    // symbols of one size in value order.
    values_.fill(0);
    std::array<std::uint32_t, kLongestPossibleCode + 2> firstOfSize{};
    for (std::uint32_t symbol = 0; symbol < kSymbolCount; ++symbol) {
        const std::uint32_t size = codeSizes[symbol];
        if (size >= 1 && size <= kLongestPossibleCode) {
            ++firstOfSize[size + 1];
        }
    }
    for (std::uint32_t size = 1; size <= kLongestPossibleCode; ++size) {
        firstOfSize[size + 1] += firstOfSize[size];
    }
    for (std::uint32_t symbol = 0; symbol < kSymbolCount; ++symbol) {
        const std::uint32_t size = codeSizes[symbol];
        if (size >= 1 && size <= kLongestPossibleCode) {
            values_[firstOfSize[size]++] = static_cast<std::uint8_t>(symbol);
        }
    }

    // Figures C.1 and C.2: the size list, ended by a 0, and canonical codes.
    std::array<std::uint8_t, kSymbolCount + 1> sizeList{};
    std::array<std::uint16_t, kSymbolCount> codeList{};
    std::uint32_t entry = 0;
    for (std::uint32_t length = 1; length <= kMaximumCodeLength; ++length) {
        for (std::uint32_t i = 0; i < lengthCounts[length]; ++i) {
            sizeList[entry++] = static_cast<std::uint8_t>(length);
        }
    }
    std::uint32_t code = 0;
    std::uint32_t size = sizeList[0];
    for (entry = 0; sizeList[entry] != 0;) {
        for (; sizeList[entry] == size; ++entry) {
            codeList[entry] = static_cast<std::uint16_t>(code++);
        }
        code <<= 1;
        ++size;
    }

    // Figure C.3.
    codes_.fill(0);
    codeLengths_.fill(0);
    for (entry = 0; sizeList[entry] != 0; ++entry) {
        codes_[values_[entry]] = codeList[entry];
        codeLengths_[values_[entry]] = sizeList[entry];
    }

    CheckCodes(keptCounts, {sizeList.data(), codeCount});
    built_ = true;
}

void HuffmanCodeTable::CheckCodes(const std::array<std::uint32_t, kSymbolCount>& keptCounts,
                                  std::span<const std::uint8_t> sizeList) const {
    // How often each symbol is listed with a code.
    std::array<std::uint32_t, kSymbolCount> listed{};
    for (std::size_t entry = 0; entry < sizeList.size(); ++entry) {
        if (sizeList[entry] != 0) {
            ++listed[values_[entry]];
        }
    }
    for (std::uint32_t symbol = 0; symbol < kSymbolCount; ++symbol) {
        if (keptCounts[symbol] == 0) {
            continue;
        }
        if (codeLengths_[symbol] == 0) {
            throw EJpegFatal("INTERNAL ERROR - Missing Huffman Code Size");
        }
        if (listed[symbol] > 1) {
            throw EJpegFatal("INTERNAL ERROR - Duplicate Huffman Value");
        }
        if (listed[symbol] == 0) {
            throw EJpegFatal("INTERNAL ERROR - Missing Huffman Value");
        }
    }
    // Whether a later symbol with a code has the same code value, found by
    // walking the symbols backwards.
    std::bitset<65536> seen;
    std::array<bool, kSymbolCount> sharedLater{};
    for (std::uint32_t symbol = kSymbolCount; symbol-- > 0;) {
        if (codeLengths_[symbol] != 0) {
            sharedLater[symbol] = seen.test(codes_[symbol]);
            seen.set(codes_[symbol]);
        }
    }
    for (std::uint32_t symbol = 0; symbol < kSymbolCount; ++symbol) {
        if (codeLengths_[symbol] == 0) {
            continue;
        }
        if (codeLengths_[symbol] > kMaximumCodeLength) {
            throw EJpegFatal("INTERNAL ERROR - Invalid Huffman Range");
        }
        if (sharedLater[symbol]) {
            throw EJpegFatal("INTERNAL ERROR - Duplicate Huffman Code");
        }
    }
}

} // namespace jpeg
