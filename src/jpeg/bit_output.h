// The writer's output layer: entropy-coded bits with 0xFF stuffing, and the
// bytes, words and markers of the header segments. Byte stuffing happens here
// and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>

namespace jpeg {

// Owned by one writer and used by one thread at a time. Every byte, word,
// block or marker write first completes a partial byte of entropy-coded data
// with 0-bits, so segments always start on a byte boundary. Bytes go straight
// into the stream's buffer, so the stream holds everything written so far; a
// write the buffer refuses sets badbit, and the stream's error state is never
// looked at.
class BitOutput {
public:
    BitOutput() = default;
    explicit BitOutput(std::ostream& stream) { Start(stream); }

    // Binds the stream that every later write goes to (not owned) and drops
    // any pending bits. Called at the start of every encode.
    void Start(std::ostream& stream);

    // Appends the low `count` bits of `value`, most significant first; every
    // completed 0xFF byte is followed by a stuffed 0x00 (ISO/IEC 10918-1 F.1.2.3).
    // A count of 0 throws EJpegFatal "Internal Error - Invalid Bit Count"; a
    // count above 32 writes leading 0-bits. The output pass codes through
    // EntropyCoder, which hands its last partial byte over here.
    void WriteBits(std::uint32_t value, std::uint32_t count) {
        if (count == 0 || count > 32) [[unlikely]] {
            WriteBitsOutsideOneToThirtyTwo(value, count);
            return;
        }
        // The pending bits followed by the new ones, at most 7 + 32 bits,
        // leave a whole byte at a time from the top; the result is the same as
        // shifting in one bit after another.
        const std::uint64_t bits =
            std::uint64_t{pendingByte_} << count | (value & ((std::uint64_t{1} << count) - 1));
        std::uint32_t remaining = pendingBitCount_ + count;
        for (; remaining >= 8; remaining -= 8) {
            PutEntropyByte(static_cast<std::uint8_t>(bits >> (remaining - 8)));
        }
        pendingBitCount_ = remaining;
        pendingByte_ = static_cast<std::uint8_t>(bits & ((1u << remaining) - 1));
    }

    // Completes a partial byte with 0-bits and writes it (never stuffed: it
    // ends in a 0-bit, so it cannot be 0xFF). Writes nothing on a byte boundary.
    void FlushBits();

    void WriteByte(std::uint8_t value);
    // The low 16 bits, high byte first.
    void WriteWord(std::uint32_t value);
    // The bytes 0xFF and `code`.
    void WriteMarker(std::uint8_t code);
    // `size` bytes in one write (the APP0 body, a COM text).
    void WriteBlock(const std::uint8_t* data, std::size_t size);

    // Bits waiting in the pending byte, 0 to 7.
    std::uint32_t PendingBitCount() const { return pendingBitCount_; }

private:
    void WriteBitsOutsideOneToThirtyTwo(std::uint32_t value, std::uint32_t count);

    // A 0xFF in entropy-coded data is followed by a stuffed 0x00 (F.1.2.3).
    void PutEntropyByte(std::uint8_t byte) {
        PutByte(byte);
        if (byte == 0xFF) {
            PutByte(0x00);
        }
    }
    // Bytes go straight to the stream's buffer, as ostream::write would put
    // them but without its checks for every byte; a byte the buffer refuses
    // marks the stream bad, as ostream::write would.
    void PutByte(std::uint8_t byte) {
        if (buffer_ == nullptr || buffer_->sputc(static_cast<char>(byte)) ==
                                      std::streambuf::traits_type::eof()) [[unlikely]] {
            Refused();
        }
    }
    void Put(const std::uint8_t* bytes, std::size_t size);
    // Throws without a stream; marks it bad otherwise.
    void Refused();

    std::ostream* stream_ = nullptr;
    std::streambuf* buffer_ = nullptr; // stream_'s, written directly
    std::uint32_t pendingBitCount_ = 0;
    std::uint8_t pendingByte_ = 0;
};

} // namespace jpeg
