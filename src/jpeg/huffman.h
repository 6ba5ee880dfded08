// Huffman coding of the writer: code tables built from one scan's symbol
// counts (ISO/IEC 10918-1 Annex K.2, limited to 16 bits) and the coding of one
// coefficient unit into DC and AC symbols with their extra bits (F.1.2).
#pragma once

#include "jpeg/bit_output.h"
#include "jpeg/jpeg_component.h"
#include "jpeg/tables.h"

#include <array>
#include <bit>
#include <cstdint>
#include <span>

namespace jpeg {

// A code, right-aligned in `code`, of `length` bits (1 to 16).
struct HuffmanCode {
    std::uint16_t code = 0;
    std::uint8_t length = 0;
};

// One DC or AC table. Per scan: ResetCounts, AddCounts with the counts of
// the statistics pass, BuildCodes, WriteTableBody in the DHT segment, then
// LookupCode for each value before the output pass. Fixed-size members only,
// no allocation.
class HuffmanCodeTable {
public:
    static constexpr std::uint32_t kSymbolCount = 256;
    // Counted once so that no code of the built table consists only of 1-bits.
    static constexpr std::uint32_t kReservedSymbol = 256;
    static constexpr std::uint32_t kMaximumCodeLength = 16;

    HuffmanCodeTable() { ResetCounts(); }

    // Counts of symbols 0 to 255 become 0, the reserved symbol's 1; clears built.
    void ResetCounts();
    // Counts one occurrence of symbol. Throws EJpegFatal "INTERNAL ERROR -
    // Huffman Code sizes already found" after BuildCodes, EJpegIndexOutOfRange
    // for a symbol above 255.
    void CountSymbol(std::uint32_t symbol) {
        if (built_ || symbol >= kSymbolCount) [[unlikely]] {
            RefuseCount();
        }
        ++counts_[symbol];
    }
    // Adds counts of symbols 0 to 255 gathered elsewhere, as CountSymbol would
    // for each occurrence; throws CountSymbol's error once built.
    void AddCounts(const std::array<std::uint32_t, kSymbolCount>& counts);
    // Builds the canonical codes from the counts; does nothing once built.
    // Inconsistencies throw EJpegFatal with an "INTERNAL ERROR - ..." message.
    void BuildCodes();
    // Throws EJpegIndexOutOfRange for a symbol above 255 and EJpegFatal
    // "INTERNAL ERROR - Missing Huffman Code" for a symbol without a code.
    HuffmanCode LookupCode(std::uint32_t symbol) const;

    // 17 + number of values: the class-and-number byte, 16 length counts and
    // the value list of the DHT segment (B.2.4.2).
    std::uint32_t TableBodySize() const;
    // The 16 length counts, then the values, each with WriteByte.
    void WriteTableBody(BitOutput& output) const;

    bool IsBuilt() const { return built_; }
    // Occurrences counted since ResetCounts; BuildCodes leaves them as they are.
    std::uint32_t SymbolCount(std::uint32_t symbol) const { return counts_.at(symbol); }
    // Number of codes of `length` (1 to 16) once built.
    std::uint8_t LengthCount(std::uint32_t length) const { return lengthCounts_.at(length - 1); }
    // The DHT value list: symbols in code order.
    std::span<const std::uint8_t> Values() const { return {values_.data(), ValueCount()}; }

private:
    // Throws CountSymbol's error: once built, or for a symbol above 255.
    [[noreturn]] void RefuseCount() const;
    std::uint32_t ValueCount() const;
    void FindCodeSizes(std::array<std::uint32_t, kSymbolCount + 1>& codeSizes);
    void CheckCodes(const std::array<std::uint32_t, kSymbolCount>& keptCounts,
                    std::span<const std::uint8_t> sizeList) const;

    std::array<std::uint32_t, kSymbolCount + 1> counts_{};
    std::array<std::uint8_t, kMaximumCodeLength> lengthCounts_{};
    std::array<std::uint8_t, kSymbolCount> values_{};
    std::array<std::uint8_t, kSymbolCount + 1> codeLengths_{};
    std::array<std::uint16_t, kSymbolCount + 1> codes_{};
    bool built_ = false;
};

// Size category of a value: the number of significant bits of its magnitude.
// Written without branches: the sign of a coefficient is as good as random,
// and a branch on it would be mispredicted half the time.
constexpr std::uint32_t ValueSize(std::int32_t value) {
    const auto sign = static_cast<std::uint32_t>(value >> 31); // all 1-bits when negative
    const std::uint32_t magnitude = (static_cast<std::uint32_t>(value) ^ sign) - sign;
    return static_cast<std::uint32_t>(std::bit_width(magnitude));
}

// Extra bits of a value of size `size` (below 32): its low bits, or those of
// value − 1 when negative (the ones' complement of the magnitude).
constexpr std::uint32_t ValueBits(std::int32_t value, std::uint32_t size) {
    const std::uint32_t bits =
        static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(value >> 31);
    return bits & ((std::uint32_t{1} << size) - 1);
}

// Bit n set for each nonzero coefficient n of the unit, in natural order.
std::uint64_t NonzeroCoefficients(const CoefficientUnit& unit);

inline constexpr std::uint32_t kEndOfBlock = 0x00;
inline constexpr std::uint32_t kZeroRun = 0xF0;

// EncodeDataUnit hands its symbols to an action with two operations:
// Dc(size, bits) and Ac(symbol, bits, size), where size is the number of
// extra bits (0 for EOB and ZRL). The scan's statistics pass counts and
// records them; its output pass writes the record.

// Codes one unit (F.1.2.1 and F.1.2.2): the DC difference from `predictor`,
// the previous unit's DC in this scan, which then becomes this unit's DC, then
// the AC coefficients in zigzag order as run/size symbols, ZRL for each full
// 16 zeros before a nonzero coefficient and EOB after a trailing run of zeros.
template <typename Action>
void EncodeDataUnit(const CoefficientUnit& unit, std::int32_t& predictor, const Action& action) {
    const std::int32_t difference = unit[0] - predictor;
    predictor = unit[0];
    const std::uint32_t dcSize = ValueSize(difference);
    action.Dc(dcSize, ValueBits(difference, dcSize));

    // One bit for each nonzero AC coefficient in zigzag order, so that runs of
    // zeros are skipped over rather than counted one by one. The bits are
    // found in natural order, then each is moved to its zigzag place.
    std::uint64_t nonzero = 0;
    for (std::uint64_t natural = NonzeroCoefficients(unit) & ~std::uint64_t{1}; natural != 0;
         natural &= natural - 1) {
        nonzero |= std::uint64_t{1} << kNaturalToZigzag[std::countr_zero(natural)];
    }
    std::uint32_t previous = 0; // the last nonzero coefficient coded, or the DC
    for (; nonzero != 0; nonzero &= nonzero - 1) {
        const auto zigzag = static_cast<std::uint32_t>(std::countr_zero(nonzero));
        std::uint32_t run = zigzag - previous - 1;
        for (; run >= 16; run -= 16) {
            action.Ac(kZeroRun, 0, 0);
        }
        const std::int32_t value = unit[kZigzagToNatural[zigzag]];
        const std::uint32_t size = ValueSize(value);
        action.Ac(run * 16 + size, ValueBits(value, size), size);
        previous = zigzag;
    }
    // Zeros after the last nonzero coefficient.
    if (previous != 63) {
        action.Ac(kEndOfBlock, 0, 0);
    }
}

} // namespace jpeg
