// The output pass's fast path to BitOutput: codes are gathered 32 bits at a
// time and written as whole bytes in blocks, with the same 0xFF stuffing
// (ISO/IEC 10918-1 F.1.2.3) and the same 0-bit completion before a marker.
// The stream receives exactly the bytes BitOutput::WriteBits and WriteMarker
// would give it.
#pragma once

#include "jpeg/bit_output.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace jpeg {

// Borrows an output that holds no pending bits, for one run of entropy-coded
// data. Whole bytes reach the output at every Flush and when the block fills;
// Finish hands the last partial byte back to the output as pending bits.
class EntropyCoder {
public:
    explicit EntropyCoder(BitOutput& output)
        : output_(output) {}
    EntropyCoder(const EntropyCoder&) = delete;
    EntropyCoder& operator=(const EntropyCoder&) = delete;

    // The low `count` bits of `value` (count 1 to 32; the bits above must be 0).
    void Put(std::uint32_t value, std::uint32_t count) {
        bits_ = bits_ << count | value;
        count_ += count;
        if (count_ >= 32) {
            count_ -= 32;
            PutWord(static_cast<std::uint32_t>(bits_ >> count_));
        }
    }

    // Completes the partial byte with 0-bits, then writes 0xFF and `code`.
    void PutMarker(std::uint8_t code) {
        PutWholeBytes();
        if (count_ != 0) {
            // Ends in a 0-bit, so never 0xFF and never stuffed.
            Append(static_cast<std::uint8_t>(bits_ << (8 - count_)));
            count_ = 0;
        }
        Append(0xFF);
        Append(code);
    }

    // Every whole byte so far reaches the output; fewer than 8 bits stay here.
    void Flush() {
        PutWholeBytes();
        WriteBlock();
    }

    // Flush, then the partial byte becomes the output's pending bits.
    void Finish() {
        Flush();
        if (count_ != 0) {
            output_.WriteBits(static_cast<std::uint32_t>(bits_) & ((1u << count_) - 1), count_);
            count_ = 0;
        }
    }

private:
    static constexpr std::size_t kBlockSize = 4096;

    void PutWord(std::uint32_t word) {
        if (used_ > kBlockSize - 8) {
            WriteBlock();
        }
        // A byte is 0xFF exactly where the complement has a zero byte.
        const std::uint32_t inverse = ~word;
        if (((inverse - 0x01010101u) & ~inverse & 0x80808080u) == 0) [[likely]] {
            block_[used_] = static_cast<std::uint8_t>(word >> 24);
            block_[used_ + 1] = static_cast<std::uint8_t>(word >> 16);
            block_[used_ + 2] = static_cast<std::uint8_t>(word >> 8);
            block_[used_ + 3] = static_cast<std::uint8_t>(word);
            used_ += 4;
            return;
        }
        for (int shift = 24; shift >= 0; shift -= 8) {
            PutStuffed(static_cast<std::uint8_t>(word >> shift));
        }
    }

    void PutWholeBytes() {
        for (; count_ >= 8; count_ -= 8) {
            PutStuffed(static_cast<std::uint8_t>(bits_ >> (count_ - 8)));
        }
    }

    void PutStuffed(std::uint8_t byte) {
        Append(byte);
        if (byte == 0xFF) {
            Append(0x00);
        }
    }

    void Append(std::uint8_t byte) {
        if (used_ == kBlockSize) {
            WriteBlock();
        }
        block_[used_++] = byte;
    }

    void WriteBlock() {
        if (used_ != 0) {
            output_.WriteBlock(block_.data(), used_);
            used_ = 0;
        }
    }

    BitOutput& output_;
    std::uint64_t bits_ = 0;  // the low count_ bits are waiting
    std::uint32_t count_ = 0; // below 32 between calls
    std::size_t used_ = 0;
    std::array<std::uint8_t, kBlockSize> block_;
};

} // namespace jpeg
