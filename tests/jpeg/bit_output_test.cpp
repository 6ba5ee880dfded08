#include "jpeg/bit_output.h"
#include "jpeg/errors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace jpeg {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::ostringstream& stream) {
    const std::string text = stream.str();
    return Bytes(text.begin(), text.end());
}

// One call on the output: bits (value, count), or a byte, word, marker or flush.
struct Operation {
    enum Kind { Bits, Byte, Word, Marker, Flush, Block } kind;
    std::uint32_t value = 0;
    std::uint32_t count = 0;
};

struct OutputCase {
    const char* name;
    std::vector<Operation> operations;
    Bytes expected;
};

void Apply(BitOutput& output, const Operation& operation) {
    switch (operation.kind) {
    case Operation::Bits:
        output.WriteBits(operation.value, operation.count);
        break;
    case Operation::Byte:
        output.WriteByte(static_cast<std::uint8_t>(operation.value));
        break;
    case Operation::Word:
        output.WriteWord(operation.value);
        break;
    case Operation::Marker:
        output.WriteMarker(static_cast<std::uint8_t>(operation.value));
        break;
    case Operation::Flush:
        output.FlushBits();
        break;
    case Operation::Block: {
        const std::uint8_t block[3] = {0xFF, 0x01, static_cast<std::uint8_t>(operation.value)};
        output.WriteBlock(block, 3);
        break;
    }
    }
}

class BitOutputCases : public testing::TestWithParam<OutputCase> {};

TEST_P(BitOutputCases, WritesExpectedBytes) {
    std::ostringstream stream;
    BitOutput output(stream);
    for (const Operation& operation : GetParam().operations) {
        Apply(output, operation);
    }
    EXPECT_EQ(BytesOf(stream), GetParam().expected);
}

const Operation kFlush{Operation::Flush};

INSTANTIATE_TEST_SUITE_P(
    BitOutput, BitOutputCases,
    testing::Values(
        OutputCase{"CompletedFFIsStuffed", {{Operation::Bits, 0xFF, 8}}, {0xFF, 0x00}},
        OutputCase{"MarkerCompletesPartialByteWithZeros",
                   {{Operation::Bits, 0b101, 3}, {Operation::Marker, 0xD9}},
                   {0xA0, 0xFF, 0xD9}},
        OutputCase{"SevenOnesFlushAsFE", {{Operation::Bits, 0x7F, 7}, kFlush}, {0xFE}},
        OutputCase{"FlushOnByteBoundaryWritesNothing",
                   {kFlush, {Operation::Bits, 0xAB, 8}, kFlush},
                   {0xAB}},
        OutputCase{"WordIsHighByteFirst", {{Operation::Word, 17}}, {0x00, 0x11}},
        OutputCase{"WordKeepsLow16Bits", {{Operation::Word, 0x12345}}, {0x23, 0x45}},
        OutputCase{"ByteCompletesPartialByte",
                   {{Operation::Bits, 1, 1}, {Operation::Byte, 0x12}},
                   {0x80, 0x12}},
        OutputCase{"WordCompletesPartialByte",
                   {{Operation::Bits, 3, 2}, {Operation::Word, 0xFFD8}},
                   {0xC0, 0xFF, 0xD8}},
        OutputCase{"SegmentByteFFIsNotStuffed", {{Operation::Byte, 0xFF}}, {0xFF}},
        OutputCase{"BlockCompletesPartialByte",
                   {{Operation::Bits, 1, 1}, {Operation::Block, 7}},
                   {0x80, 0xFF, 0x01, 0x07}},
        OutputCase{"BitsAboveCountAreIgnored", {{Operation::Bits, 0xFFFFFF05, 4}, kFlush}, {0x50}},
        OutputCase{
            "BitsSpanBytesAndStuff", {{Operation::Bits, 0x3FF, 10}, kFlush}, {0xFF, 0x00, 0xC0}},
        OutputCase{"StuffingInsideSixteenBits",
                   {{Operation::Bits, 0x1, 4}, {Operation::Bits, 0xFFF0, 16}, kFlush},
                   {0x1F, 0xFF, 0x00, 0x00}},
        OutputCase{"CountAbove32WritesLeadingZeros",
                   {{Operation::Bits, 0xFFFFFFFF, 40}},
                   {0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}}),
    [](const testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.name); });

TEST(BitOutput, ZeroBitCountIsAnInternalError) {
    std::ostringstream stream;
    BitOutput output(stream);
    try {
        output.WriteBits(1, 0);
        FAIL() << "no exception";
    } catch (const EJpegFatal& error) {
        EXPECT_STREQ(error.what(), "Internal Error - Invalid Bit Count");
    }
    EXPECT_TRUE(stream.str().empty());
}

// A stream buffer with room for `capacity` bytes that refuses the rest, as a
// full disk would.
class FixedBuffer : public std::streambuf {
public:
    explicit FixedBuffer(std::size_t capacity)
        : storage_(capacity) {
        setp(storage_.data(), storage_.data() + storage_.size());
    }

private:
    std::vector<char> storage_;
};

TEST(BitOutput, AWriteTheStreamRefusesMarksItBad) {
    const Operation kinds[] = {{Operation::Bits, 0xFFFFFFFF, 32},
                               {Operation::Byte, 0x34, 0},
                               {Operation::Word, 0x5678, 0},
                               {Operation::Marker, 0xD9, 0},
                               {Operation::Block, 0x9A, 0}};
    for (const Operation& operation : kinds) {
        SCOPED_TRACE(static_cast<int>(operation.kind));
        FixedBuffer buffer(1);
        std::ostream stream(&buffer);
        BitOutput output(stream);
        output.WriteByte(0x12);
        EXPECT_TRUE(stream.good());
        Apply(output, operation);
        EXPECT_TRUE(stream.bad());
    }
}

TEST(BitOutput, StartDropsPendingBits) {
    std::ostringstream first;
    BitOutput output(first);
    output.WriteBits(0b11, 2);
    EXPECT_EQ(output.PendingBitCount(), 2u);
    std::ostringstream second;
    output.Start(second);
    output.WriteBits(0x0F, 8);
    EXPECT_TRUE(first.str().empty());
    EXPECT_EQ(BytesOf(second), Bytes{0x0F});
}

// The writing rule applied one bit at a time, as ISO/IEC 10918-1 F.1.2.3
// describes it: the model the whole-run implementation must match.
class BitByBitModel {
public:
    void WriteBits(std::uint32_t value, std::uint32_t count) {
        for (std::uint32_t i = count; i-- > 0;) {
            pending_ = static_cast<std::uint8_t>((pending_ << 1) | ((value >> i) & 1));
            if (++pendingCount_ == 8) {
                bytes_.push_back(pending_);
                if (pending_ == 0xFF) {
                    bytes_.push_back(0x00);
                }
                pendingCount_ = 0;
            }
        }
    }
    void WriteByte(std::uint8_t byte) {
        if (pendingCount_ != 0) {
            bytes_.push_back(static_cast<std::uint8_t>(pending_ << (8 - pendingCount_)));
            pendingCount_ = 0;
        }
        bytes_.push_back(byte);
    }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
    std::uint8_t pending_ = 0;
    std::uint32_t pendingCount_ = 0;
};

TEST(BitOutput, MatchesBitByBitModelOnRandomSequences) {
    std::mt19937 random(20261207);
    for (int sequence = 0; sequence < 200; ++sequence) {
        std::ostringstream stream;
        BitOutput output(stream);
        BitByBitModel model;
        for (int call = 0; call < 500; ++call) {
            // Mostly 1-bits so that 0xFF bytes and stuffing are frequent.
            const std::uint32_t value = random() | (random() % 4 == 0 ? 0 : 0xFFFF0FFFu);
            const std::uint32_t count = 1 + random() % 16;
            if (random() % 50 == 0) {
                const auto byte = static_cast<std::uint8_t>(value);
                output.WriteByte(byte);
                model.WriteByte(byte);
            } else {
                output.WriteBits(value, count);
                model.WriteBits(value, count);
            }
        }
        output.WriteByte(0xD9);
        model.WriteByte(0xD9);
        ASSERT_EQ(BytesOf(stream), model.bytes()) << "sequence " << sequence;
    }
}

} // namespace
} // namespace jpeg
