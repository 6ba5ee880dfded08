// One scan's Huffman symbols in coding order, with their extra bits, the
// restart markers and the ends of rows of coding units between them. The
// statistics pass records it while it counts; the output pass only looks each
// symbol's code up and writes it, so every unit is turned into symbols once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tesselon::jpeg {

class SymbolStream {
public:
    // A symbol's table: the index of its component in the scan (0 to 2) and
    // whether it is an AC symbol.
    static constexpr std::uint32_t TableSlot(std::uint32_t componentIndex, bool ac) {
        return 2 * componentIndex + (ac ? 1 : 0);
    }
    static constexpr std::uint32_t kTableSlots = 6;

    // One entry: bits 0–7 the symbol (or the restart marker's number), 8–11
    // the count of extra bits, 12–15 the kind, 16–31 the extra bits.
    struct Entry {
        std::uint32_t word;

        std::uint32_t Kind() const { return word >> 12 & 0xF; }
        std::uint32_t Symbol() const { return word & 0xFF; }
        std::uint32_t ExtraSize() const { return word >> 8 & 0xF; }
        std::uint32_t ExtraBits() const { return word >> 16; }
    };
    // Kinds other than a table slot.
    static constexpr std::uint32_t kRestartKind = 14;
    static constexpr std::uint32_t kRowEndKind = 15;

    void Clear() { entries_.clear(); }
    // Extra bits are at most 16 and a symbol below 256.
    void AddSymbol(std::uint32_t slot, std::uint32_t symbol, std::uint32_t bits,
                   std::uint32_t size) {
        entries_.push_back(Entry{bits << 16 | slot << 12 | size << 8 | symbol});
    }
    void AddRestart(std::uint32_t number) { entries_.push_back(Entry{kRestartKind << 12 | number}); }
    void AddRowEnd() { entries_.push_back(Entry{kRowEndKind << 12}); }

    const std::vector<Entry>& Entries() const { return entries_; }

private:
    std::vector<Entry> entries_;
};

} // namespace tesselon::jpeg
