#include "jpeg/bit_output.h"

#include "jpeg/errors.h"

#include <algorithm>

namespace jpeg {

void BitOutput::Start(std::ostream& stream) {
    stream_ = &stream;
    buffer_ = stream.rdbuf();
    pendingBitCount_ = 0;
    pendingByte_ = 0;
}

void BitOutput::WriteBitsOutsideOneToThirtyTwo(std::uint32_t value, std::uint32_t count) {
    if (count == 0) {
        throw EJpegFatal("Internal Error - Invalid Bit Count");
    }
    // Bits above the 32 of the value are 0.
    for (; count > 32; count -= std::min<std::uint32_t>(count - 32, 32)) {
        WriteBits(0, std::min<std::uint32_t>(count - 32, 32));
    }
    WriteBits(value, count);
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

} // namespace jpeg
