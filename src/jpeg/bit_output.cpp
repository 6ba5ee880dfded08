#include "jpeg/bit_output.h"

#include "jpeg/errors.h"

#include <algorithm>

namespace tesselon::jpeg {

void BitOutput::Start(std::ostream& stream) {
    stream_ = &stream;
    buffer_ = stream.rdbuf();
    pendingBitCount_ = 0;
    pendingByte_ = 0;
}

void BitOutput::WriteBits(std::uint32_t value, std::uint32_t count) {
    if (count == 0) {
        throw EJpegFatal("Internal Error - Invalid Bit Count");
    }
    // Bits above the 32 of the value are 0.
    for (; count > 32; count -= std::min<std::uint32_t>(count - 32, 32)) {
        WriteBits(0, std::min<std::uint32_t>(count - 32, 32));
    }
    // The pending bits followed by the new ones, at most 7 + 32 bits, leave
    // a whole byte at a time from the top; the result is the same as
    // shifting in one bit after another.
    const std::uint64_t bits =
        std::uint64_t{pendingByte_} << count | (value & ((std::uint64_t{1} << count) - 1));
    std::uint32_t remaining = pendingBitCount_ + count;
    for (; remaining >= 8; remaining -= 8) {
        const auto byte = static_cast<std::uint8_t>(bits >> (remaining - 8));
        PutByte(byte);
        // A 0xFF in entropy-coded data is followed by a stuffed 0x00 (F.1.2.3).
        if (byte == 0xFF) {
            PutByte(0x00);
        }
    }
    pendingBitCount_ = remaining;
    pendingByte_ = static_cast<std::uint8_t>(bits & ((1u << remaining) - 1));
}

void BitOutput::FlushBits() {
    if (pendingBitCount_ == 0) {
        return;
    }
    // The free low bits become 0-bits, so the byte is never 0xFF.
    const std::uint8_t byte = static_cast<std::uint8_t>(pendingByte_ << (8 - pendingBitCount_));
    pendingBitCount_ = 0;
    Put(&byte, 1);
}

void BitOutput::WriteByte(std::uint8_t value) {
    FlushBits();
    Put(&value, 1);
}

void BitOutput::WriteWord(std::uint32_t value) {
    FlushBits();
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value)};
    Put(bytes, 2);
}

void BitOutput::WriteMarker(std::uint8_t code) {
    WriteByte(0xFF);
    WriteByte(code);
}

void BitOutput::WriteBlock(const std::uint8_t* data, std::size_t size) {
    FlushBits();
    Put(data, size);
}

// Bytes go straight to the stream's buffer, as ostream::write would put
// them, without a sentry for every byte; a byte the buffer refuses marks the
// stream bad, as ostream::write would.
void BitOutput::PutByte(std::uint8_t byte) {
    if (buffer_ == nullptr ||
        buffer_->sputc(static_cast<char>(byte)) == std::streambuf::traits_type::eof()) {
        Refused();
    }
}

void BitOutput::Put(const std::uint8_t* bytes, std::size_t size) {
    const auto length = static_cast<std::streamsize>(size);
    if (buffer_ == nullptr ||
        buffer_->sputn(reinterpret_cast<const char*>(bytes), length) != length) {
        Refused();
    }
}

void BitOutput::Refused() {
    if (stream_ == nullptr) {
        throw EJpegFatal("INTERNAL ERROR - No output stream");
    }
    stream_->setstate(std::ios_base::badbit);
}

} // namespace tesselon::jpeg
