#include "jpeg/bit_output.h"

#include "jpeg/errors.h"

#include <algorithm>

namespace tesselon::jpeg {

void BitOutput::Start(std::ostream& stream) {
    stream_ = &stream;
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
    // Fill the pending byte a whole run of bits at a time; the result is the
    // same as shifting in one bit after another.
    std::uint32_t remaining = count;
    while (remaining > 0) {
        const std::uint32_t taken = std::min(8 - pendingBitCount_, remaining);
        const std::uint32_t bits = (value >> (remaining - taken)) & ((1u << taken) - 1);
        pendingByte_ = static_cast<std::uint8_t>((pendingByte_ << taken) | bits);
        pendingBitCount_ += taken;
        remaining -= taken;
        if (pendingBitCount_ == 8) {
            pendingBitCount_ = 0;
            // A 0xFF in entropy-coded data is followed by a stuffed 0x00 (F.1.2.3).
            const std::uint8_t bytes[2] = {pendingByte_, 0x00};
            Put(bytes, pendingByte_ == 0xFF ? 2 : 1);
        }
    }
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

void BitOutput::Put(const std::uint8_t* bytes, std::size_t size) {
    if (stream_ == nullptr) {
        throw EJpegFatal("INTERNAL ERROR - No output stream");
    }
    stream_->write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

} // namespace tesselon::jpeg
