// One scan's (or one band's) Huffman symbols in coding order, with their extra bits, the
// restart markers and the ends of rows of coding units between them. The
// statistics pass records it while it counts; the output pass only looks each
// symbol's code up and writes it, so every unit is turned into symbols once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace jpeg {

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

    // The most entries one data unit gives: a DC symbol and at most 63 AC
    // symbols, as each AC symbol (ZRL and EOB included) covers at least one of
    // the 63 AC positions.
    static constexpr std::size_t kMostPerUnit = 64;

    // Makes room for `count` more entries; the Add functions below do not
    // check for room, so each run of them is preceded by a Reserve.
    void Reserve(std::size_t count) {
        if (capacity_ - size_ < count) [[unlikely]] {
            Grow(count);
        }
    }
    // Extra bits are at most 16 and a symbol below 256.
    void AddSymbol(std::uint32_t slot, std::uint32_t symbol, std::uint32_t bits,
                   std::uint32_t size) {
        entries_[size_++] = Entry{bits << 16 | slot << 12 | size << 8 | symbol};
    }
    void AddRestart(std::uint32_t number) {
        entries_[size_++] = Entry{kRestartKind << 12 | number};
    }
    void AddRowEnd() { entries_[size_++] = Entry{kRowEndKind << 12}; }

    std::span<const Entry> Entries() const { return {entries_.get(), size_}; }
    // Empties the stream and keeps its memory for the next scan.
    void Clear() { size_ = 0; }
    // Frees the entries.
    void Release() {
        entries_.reset();
        size_ = 0;
        capacity_ = 0;
    }

private:
    void Grow(std::size_t count) {
        const std::size_t capacity = std::max(size_ + count, 2 * capacity_);
        auto larger = std::make_unique_for_overwrite<Entry[]>(capacity);
        std::copy_n(entries_.get(), size_, larger.get());
        entries_ = std::move(larger);
        capacity_ = capacity;
    }

    std::unique_ptr<Entry[]> entries_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace jpeg
