#include "jpeg/errors.h"
#include "jpeg/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <queue>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace jpeg {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BodyBytes(const HuffmanCodeTable& table) {
    std::ostringstream stream;
    BitOutput output(stream);
    table.WriteTableBody(output);
    const std::string text = stream.str();
    return Bytes(text.begin(), text.end());
}

// Code lengths and codes derived from a DHT body alone (ISO/IEC 10918-1
// C.1, C.2): what a decoder sees. Key: (length, code); value: symbol.
std::map<std::pair<int, std::uint32_t>, int> CodesFromBody(const Bytes& body) {
    std::map<std::pair<int, std::uint32_t>, int> codes;
    std::uint32_t code = 0;
    std::size_t value = 16;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < body.at(length - 1); ++i) {
            codes[{length, code++}] = body.at(value++);
        }
        code <<= 1;
    }
    return codes;
}

TEST(HuffmanCodeTable, SingleSymbolGetsOneBitCodeZero) {
    HuffmanCodeTable table;
    for (int i = 0; i < 1350; ++i) {
        table.CountSymbol(0);
    }
    table.BuildCodes();
    Bytes expected(16, 0);
    expected[0] = 1;
    expected.push_back(0x00);
    EXPECT_EQ(BodyBytes(table), expected);
    EXPECT_EQ(table.TableBodySize(), 18u);
    EXPECT_EQ(table.LookupCode(0).code, 0u);
    EXPECT_EQ(table.LookupCode(0).length, 1u);
}

TEST(HuffmanCodeTable, EqualCountsFavourTheHigherSymbol) {
    HuffmanCodeTable table;
    for (int i = 0; i < 5; ++i) {
        table.CountSymbol(0);
        table.CountSymbol(1);
    }
    table.BuildCodes();
    EXPECT_EQ(table.LookupCode(0).code, 0b0u);
    EXPECT_EQ(table.LookupCode(0).length, 1u);
    EXPECT_EQ(table.LookupCode(1).code, 0b10u);
    EXPECT_EQ(table.LookupCode(1).length, 2u);
    EXPECT_EQ(table.LengthCount(1), 1u);
    EXPECT_EQ(table.LengthCount(2), 1u);
    EXPECT_EQ(table.TableBodySize(), 19u);
}

// Fibonacci counts falling from symbol 0 (6765) to symbols 18 and 19 (1 each)
// give code sizes 1 to 18 for symbols 0 to 17, 19 for symbol 18 and 20 for
// symbol 19 and the reserved symbol. Limiting (ISO/IEC 10918-1 Figure K.3)
// worked by hand leaves one code of each length 1 to 13 and eight of length
// 16; the reserved one is dropped. Values keep the order of the sizes before
// limiting, and the last code, symbol 19's, is 0xFFFE.
TEST(HuffmanCodeTable, CodesLongerThanSixteenBitsAreLimited) {
    HuffmanCodeTable table;
    std::uint32_t next = 1;
    std::uint32_t count = 1;
    for (std::uint32_t symbol = 20; symbol-- > 0;) {
        for (std::uint32_t i = 0; i < count; ++i) {
            table.CountSymbol(symbol);
        }
        count = std::exchange(next, next + count);
    }
    ASSERT_EQ(table.SymbolCount(0), 6765u);
    table.BuildCodes();
    Bytes expected(13, 1);                       // lengths 1 to 13: one code each
    for (std::uint8_t lengthCount : {0, 0, 7}) { // lengths 14 to 16
        expected.push_back(lengthCount);
    }
    for (std::uint8_t symbol = 0; symbol < 20; ++symbol) {
        expected.push_back(symbol);
    }
    EXPECT_EQ(BodyBytes(table), expected);
    EXPECT_EQ(table.LookupCode(12).code, 0x1FFEu);
    EXPECT_EQ(table.LookupCode(12).length, 13u);
    EXPECT_EQ(table.LookupCode(13).code, 0xFFF8u);
    EXPECT_EQ(table.LookupCode(19).code, 0xFFFEu);
    EXPECT_EQ(table.LookupCode(19).length, 16u);
}

TEST(HuffmanCodeTable, NothingCountedGivesAnEmptyTable) {
    HuffmanCodeTable table;
    table.BuildCodes();
    EXPECT_EQ(table.TableBodySize(), 17u);
    EXPECT_EQ(BodyBytes(table), Bytes(16, 0));
}

void ExpectFatal(const std::function<void()>& action, const char* message) {
    try {
        action();
        ADD_FAILURE() << "no exception, expected " << message;
    } catch (const EJpegFatal& error) {
        EXPECT_STREQ(error.what(), message);
    }
}

TEST(HuffmanCodeTable, AllSymbolsCountedAreTooManyCodes) {
    HuffmanCodeTable table;
    for (std::uint32_t symbol = 0; symbol < 256; ++symbol) {
        table.CountSymbol(symbol);
    }
    ExpectFatal([&] { table.BuildCodes(); }, "INTERNAL ERROR - Too many codes defined");
}

TEST(HuffmanCodeTable, MisuseIsReported) {
    HuffmanCodeTable table;
    table.CountSymbol(3);
    EXPECT_THROW(table.CountSymbol(256), EJpegIndexOutOfRange);
    table.BuildCodes();
    ExpectFatal([&] { table.CountSymbol(3); }, "INTERNAL ERROR - Huffman Code sizes already found");
    ExpectFatal([&] { table.LookupCode(4); }, "INTERNAL ERROR - Missing Huffman Code");
    EXPECT_THROW(table.LookupCode(256), EJpegIndexOutOfRange);
    // A reset table counts again and builds new codes.
    table.ResetCounts();
    table.CountSymbol(4);
    table.BuildCodes();
    EXPECT_EQ(table.LookupCode(4).length, 1u);
    ExpectFatal([&] { table.LookupCode(3); }, "INTERNAL ERROR - Missing Huffman Code");
}

// The least total bits any prefix code can spend on these counts.
std::uint64_t OptimalCost(std::vector<std::uint64_t> counts) {
    std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> queue(
        counts.begin(), counts.end());
    std::uint64_t cost = 0;
    while (queue.size() > 1) {
        const std::uint64_t first = queue.top();
        queue.pop();
        const std::uint64_t second = queue.top();
        queue.pop();
        cost += first + second;
        queue.push(first + second);
    }
    return cost;
}

struct CountCase {
    const char* name;
    std::function<std::uint32_t(std::uint32_t symbol, std::mt19937& random)> count;
    bool limited; // true when the unlimited code would be longer than 16 bits
};

class HuffmanRandomCounts : public testing::TestWithParam<CountCase> {};

TEST_P(HuffmanRandomCounts, BuildsALimitedPrefixCodeWithoutAllOnes) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 20; ++trial) {
        HuffmanCodeTable table;
        std::vector<std::uint32_t> counts(256);
        for (std::uint32_t symbol = 0; symbol < 256; ++symbol) {
            counts[symbol] = GetParam().count(symbol, random);
            for (std::uint32_t i = 0; i < counts[symbol]; ++i) {
                table.CountSymbol(symbol);
            }
        }
        table.BuildCodes();

        std::vector<std::pair<int, std::uint32_t>> codes; // (length, code) per counted symbol
        std::uint64_t cost = 0;
        std::vector<std::uint64_t> realCounts;
        int longest = 0;
        for (std::uint32_t symbol = 0; symbol < 256; ++symbol) {
            if (counts[symbol] == 0) {
                EXPECT_THROW(table.LookupCode(symbol), EJpegFatal);
                continue;
            }
            const HuffmanCode code = table.LookupCode(symbol);
            ASSERT_GE(code.length, 1);
            ASSERT_LE(code.length, 16);
            EXPECT_NE(code.code, (1u << code.length) - 1) << "all 1-bits, symbol " << symbol;
            codes.emplace_back(code.length, code.code);
            cost += std::uint64_t{counts[symbol]} * code.length;
            realCounts.push_back(counts[symbol]);
            longest = std::max<int>(longest, code.length);
        }
        for (std::size_t a = 0; a < codes.size(); ++a) {
            for (std::size_t b = 0; b < codes.size(); ++b) {
                const auto [shortLength, shortCode] = codes[a];
                const auto [longLength, longCode] = codes[b];
                if (a != b && shortLength <= longLength) {
                    ASSERT_NE(longCode >> (longLength - shortLength), shortCode)
                        << "code " << a << " is a prefix of code " << b;
                }
            }
        }
        // A decoder derives exactly these codes from the DHT body.
        const auto fromBody = CodesFromBody(BodyBytes(table));
        ASSERT_EQ(fromBody.size(), codes.size());
        for (const auto& [lengthAndCode, symbol] : fromBody) {
            const HuffmanCode code = table.LookupCode(symbol);
            EXPECT_EQ(std::make_pair(int{code.length}, std::uint32_t{code.code}), lengthAndCode);
        }
        EXPECT_EQ(table.TableBodySize(), 17 + codes.size());

        if (GetParam().limited) {
            EXPECT_GE(longest, 15);
        } else if (realCounts.size() > 1) {
            // Unlimited: optimal with the reserved count of 1, minus its code.
            std::vector<std::uint64_t> withReserved = realCounts;
            withReserved.push_back(1);
            EXPECT_GE(cost, OptimalCost(realCounts));
            EXPECT_LE(cost, OptimalCost(withReserved) - 1);
        }
    }
}

std::uint32_t Fibonacci(std::uint32_t n) {
    std::uint32_t a = 1;
    std::uint32_t b = 1;
    for (std::uint32_t i = 0; i < n; ++i) {
        b = std::exchange(a, a + b);
    }
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    HuffmanCodeTable, HuffmanRandomCounts,
    testing::Values(
        CountCase{"DcSizes",
                  [](std::uint32_t s, std::mt19937& r) { return s < 12 ? r() % 500 : 0; }, false},
        CountCase{"SparseAcSymbols",
                  [](std::uint32_t, std::mt19937& r) { return r() % 3 == 0 ? r() % 2000 : 0; },
                  false},
        CountCase{"AllButOneSymbolOnce",
                  [](std::uint32_t s, std::mt19937&) { return s < 255 ? 1u : 0u; }, false},
        CountCase{
            "TwoSymbols",
            [](std::uint32_t s, std::mt19937& r) { return s == 9 || s == 200 ? 1 + r() % 9 : 0; },
            false},
        CountCase{"Skewed",
                  [](std::uint32_t s, std::mt19937& r) {
                      return s < 20 ? (1u << (s % 20)) + r() % 3 : 0;
                  },
                  true},
        CountCase{"Fibonacci",
                  [](std::uint32_t s, std::mt19937&) { return s < 26 ? Fibonacci(s) : 0; }, true}),
    [](const testing::TestParamInfo<CountCase>& info) { return std::string(info.param.name); });

// ---- EncodeDataUnit -------------------------------------------------------

struct Symbol {
    bool dc;
    std::uint32_t symbol;
    std::uint32_t bits;
    std::uint32_t size;
    bool operator==(const Symbol&) const = default;
};

std::ostream& operator<<(std::ostream& stream, const Symbol& s) {
    return stream << (s.dc ? "DC " : "AC ") << std::hex << s.symbol << " bits " << s.bits
                  << std::dec << "/" << s.size;
}

struct Recorder {
    mutable std::vector<Symbol> symbols;
    void Dc(std::uint32_t size, std::uint32_t bits) const {
        symbols.push_back({true, size, bits, size});
    }
    void Ac(std::uint32_t symbol, std::uint32_t bits, std::uint32_t size) const {
        symbols.push_back({false, symbol, bits, size});
    }
};

struct UnitCase {
    const char* name;
    std::int32_t lastDc;
    std::vector<std::pair<int, std::int16_t>> zigzagValues;
    std::vector<Symbol> expected;
};

constexpr Symbol kEob{false, 0x00, 0, 0};
constexpr Symbol kZrl{false, 0xF0, 0, 0};

class EncodeDataUnitCases : public testing::TestWithParam<UnitCase> {};

TEST_P(EncodeDataUnitCases, GivesSymbolsAndBits) {
    JpegComponent component;
    component.AllocateCoefficients(1, 1);
    for (const auto& [zigzag, value] : GetParam().zigzagValues) {
        component.Unit(0, 0)[kZigzagToNatural[zigzag]] = value;
    }
    std::int32_t predictor = GetParam().lastDc;
    Recorder recorder;
    EncodeDataUnit(component.Unit(0, 0), predictor, recorder);
    EXPECT_EQ(recorder.symbols, GetParam().expected);
    EXPECT_EQ(predictor, component.Unit(0, 0)[0]);
}

INSTANTIATE_TEST_SUITE_P(
    EncodeDataUnit, EncodeDataUnitCases,
    testing::Values(
        UnitCase{"DcPlusFive", 0, {{0, 5}}, {{true, 3, 0b101, 3}, kEob}},
        UnitCase{"DcMinusFive", 0, {{0, -5}}, {{true, 3, 0b010, 3}, kEob}},
        UnitCase{"DcDifferenceFromPredictor", 100, {{0, 99}}, {{true, 1, 0, 1}, kEob}},
        UnitCase{"DcZeroHasNoBits", 7, {{0, 7}}, {{true, 0, 0, 0}, kEob}},
        UnitCase{"LargestDcDifference", 1016, {{0, -1024}}, {{true, 11, 0b00000000111, 11}, kEob}},
        UnitCase{
            "ThreeAtZigzag20", 0, {{20, 3}}, {{true, 0, 0, 0}, kZrl, {false, 0x32, 0b11, 2}, kEob}},
        UnitCase{"SixteenZerosThenValue",
                 0,
                 {{17, -1}},
                 {{true, 0, 0, 0}, kZrl, {false, 0x01, 0, 1}, kEob}},
        UnitCase{
            "FifteenZerosThenValue", 0, {{16, 1}}, {{true, 0, 0, 0}, {false, 0xF1, 1, 1}, kEob}},
        UnitCase{"ThirtyTwoZerosThenValue",
                 0,
                 {{33, 2}},
                 {{true, 0, 0, 0}, kZrl, kZrl, {false, 0x02, 0b10, 2}, kEob}},
        UnitCase{"LastPositionHasNoEob",
                 0,
                 {{63, 1}},
                 {{true, 0, 0, 0}, kZrl, kZrl, kZrl, {false, 0xE1, 1, 1}}},
        UnitCase{"AcExtremes",
                 0,
                 {{1, 1023}, {2, -1023}},
                 {{true, 0, 0, 0}, {false, 0x0A, 1023, 10}, {false, 0x0A, 0, 10}, kEob}},
        UnitCase{"FirstAndLastPositions",
                 0,
                 {{1, 1}, {63, -1}},
                 {{true, 0, 0, 0}, {false, 0x01, 1, 1}, kZrl, kZrl, kZrl, {false, 0xD1, 0, 1}}},
        UnitCase{"AllZeroGivesOneEob", 0, {}, {{true, 0, 0, 0}, kEob}}),
    [](const testing::TestParamInfo<UnitCase>& info) { return std::string(info.param.name); });

TEST(EncodeDataUnit, CoordinatesPastTheGridGiveTheEdgeUnit) {
    JpegComponent component;
    component.AllocateCoefficients(2, 3);
    EXPECT_EQ(&component.ClampedUnit(5, 9), &component.Unit(1, 2));
    EXPECT_EQ(&component.ClampedUnit(0, 7), &component.Unit(0, 2));
    EXPECT_EQ(&component.ClampedUnit(4, 1), &component.Unit(1, 1));
}

// ---- Encode, then decode with an independent reader -------------------------

// Reads entropy-coded bits, removing the stuffed 0x00 after each 0xFF.
class BitReader {
public:
    explicit BitReader(const std::string& bytes)
        : bytes_(bytes) {}
    std::uint32_t Bit() {
        if (bit_ == 0) {
            current_ = static_cast<std::uint8_t>(bytes_.at(position_++));
            if (current_ == 0xFF) {
                EXPECT_EQ(bytes_.at(position_++), '\0') << "unstuffed 0xFF";
            }
            bit_ = 8;
        }
        return (current_ >> --bit_) & 1;
    }
    std::uint32_t Bits(std::uint32_t count) {
        std::uint32_t value = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            value = (value << 1) | Bit();
        }
        return value;
    }
    int Decode(const std::map<std::pair<int, std::uint32_t>, int>& codes) {
        std::uint32_t code = 0;
        for (int length = 1; length <= 16; ++length) {
            code = (code << 1) | Bit();
            if (const auto found = codes.find({length, code}); found != codes.end()) {
                return found->second;
            }
        }
        ADD_FAILURE() << "no code matches";
        return 0;
    }
    // F.2.2.1 EXTEND.
    std::int32_t Value(std::uint32_t size) {
        if (size == 0) {
            return 0;
        }
        const auto bits = static_cast<std::int32_t>(Bits(size));
        return bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
    }

private:
    const std::string& bytes_;
    std::size_t position_ = 0;
    std::uint8_t current_ = 0;
    std::uint32_t bit_ = 0;
};

CoefficientUnit DecodeUnit(BitReader& reader,
                           const std::map<std::pair<int, std::uint32_t>, int>& dc,
                           const std::map<std::pair<int, std::uint32_t>, int>& ac,
                           std::int32_t& predictor) {
    CoefficientUnit unit{};
    predictor += reader.Value(static_cast<std::uint32_t>(reader.Decode(dc)));
    unit[0] = static_cast<std::int16_t>(predictor);
    for (int zigzag = 1; zigzag < 64;) {
        const int symbol = reader.Decode(ac);
        if (symbol == 0x00) {
            break;
        }
        zigzag += symbol >> 4;
        if (symbol == 0xF0) {
            zigzag += 1;
            continue;
        }
        EXPECT_LT(zigzag, 64);
        unit[kZigzagToNatural[zigzag & 63]] = static_cast<std::int16_t>(reader.Value(symbol & 15));
        ++zigzag;
    }
    return unit;
}

CoefficientUnit RandomUnit(std::mt19937& random) {
    CoefficientUnit unit{};
    unit[0] = static_cast<std::int16_t>(static_cast<int>(random() % 2041) - 1024);
    switch (random() % 4) {
    case 0: // a few small values, long zero runs
        for (int i = 0; i < 3; ++i) {
            unit[1 + random() % 63] = static_cast<std::int16_t>(static_cast<int>(random() % 7) - 3);
        }
        break;
    case 1: // dense, full range of AC values
        for (int i = 1; i < 64; ++i) {
            unit[i] = static_cast<std::int16_t>(static_cast<int>(random() % 2047) - 1023);
        }
        break;
    case 2: // extremes at the end of the zigzag order
        unit[kZigzagToNatural[63]] = random() % 2 ? 1023 : -1023;
        unit[kZigzagToNatural[47]] = -1;
        break;
    default: // flat
        break;
    }
    return unit;
}

// Values whose low byte is 0 (256, −256, −1024) must count as nonzero too.
TEST(EncodeDataUnit, NonzeroCoefficientsMarksEveryNonzeroPosition) {
    std::mt19937 random(77);
    constexpr std::int16_t kAwkward[] = {1, -1, 127, -128, 128, 256, -256, 1023, -1024, 512};
    for (int i = 0; i < 5000; ++i) {
        CoefficientUnit unit{};
        std::uint64_t expected = 0;
        for (std::uint32_t natural = 0; natural < 64; ++natural) {
            if (random() % (1 + i % 8) == 0) {
                unit[natural] = kAwkward[random() % std::size(kAwkward)];
                expected |= std::uint64_t{1} << natural;
            }
        }
        ASSERT_EQ(NonzeroCoefficients(unit), expected) << "unit " << i;
    }
}

// The two passes of a scan in their plainest form: count every symbol, then
// write each one's code and extra bits.
struct SymbolCounter {
    void Dc(std::uint32_t size, std::uint32_t) const { component.DcTable()->CountSymbol(size); }
    void Ac(std::uint32_t symbol, std::uint32_t, std::uint32_t) const {
        component.AcTable()->CountSymbol(symbol);
    }
    const JpegComponent& component;
};

struct SymbolWriter {
    void Dc(std::uint32_t size, std::uint32_t bits) const {
        Write(component.DcTable()->LookupCode(size), bits, size);
    }
    void Ac(std::uint32_t symbol, std::uint32_t bits, std::uint32_t size) const {
        Write(component.AcTable()->LookupCode(symbol), bits, size);
    }
    void Write(HuffmanCode code, std::uint32_t bits, std::uint32_t size) const {
        output.WriteBits(code.code, code.length);
        if (size != 0) {
            output.WriteBits(bits, size);
        }
    }
    const JpegComponent& component;
    BitOutput& output;
};

TEST(EncodeDataUnit, RandomUnitsDecodeBackThroughTheBuiltTables) {
    std::mt19937 random(1234);
    HuffmanCodeTable dcTable;
    HuffmanCodeTable acTable;
    JpegComponent component;
    component.SetTables(nullptr, &dcTable, &acTable);
    constexpr std::uint32_t kRows = 17;
    constexpr std::uint32_t kColumns = 9;
    component.AllocateCoefficients(kRows, kColumns);
    for (std::uint32_t row = 0; row < kRows; ++row) {
        for (std::uint32_t column = 0; column < kColumns; ++column) {
            component.Unit(row, column) = RandomUnit(random);
        }
    }
    // The two passes of a scan: count, build, then write the same walk.
    const auto walk = [&](const auto& action) {
        std::int32_t predictor = 0;
        for (std::uint32_t row = 0; row < kRows; ++row) {
            for (std::uint32_t column = 0; column < kColumns; ++column) {
                EncodeDataUnit(component.Unit(row, column), predictor, action);
            }
        }
    };
    walk(SymbolCounter{component});
    dcTable.BuildCodes();
    acTable.BuildCodes();
    std::ostringstream stream;
    BitOutput output(stream);
    walk(SymbolWriter{component, output});
    output.WriteMarker(0xD9);

    const std::string bytes = stream.str();
    ASSERT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9");
    BitReader reader(bytes);
    const auto dcCodes = CodesFromBody(BodyBytes(dcTable));
    const auto acCodes = CodesFromBody(BodyBytes(acTable));
    std::int32_t predictor = 0;
    for (std::uint32_t row = 0; row < kRows; ++row) {
        for (std::uint32_t column = 0; column < kColumns; ++column) {
            ASSERT_EQ(DecodeUnit(reader, dcCodes, acCodes, predictor), component.Unit(row, column))
                << "unit " << row << ", " << column;
        }
    }
}

struct SizeCase {
    std::int32_t value;
    std::uint32_t size;
    std::uint32_t bits;
};

class ValueSizeAndBits : public testing::TestWithParam<SizeCase> {};

TEST_P(ValueSizeAndBits, FollowTheMagnitude) {
    EXPECT_EQ(ValueSize(GetParam().value), GetParam().size);
    EXPECT_EQ(ValueBits(GetParam().value, GetParam().size), GetParam().bits);
}

INSTANTIATE_TEST_SUITE_P(EncodeDataUnit, ValueSizeAndBits,
                         testing::Values(SizeCase{0, 0, 0}, SizeCase{1, 1, 1}, SizeCase{-1, 1, 0},
                                         SizeCase{2, 2, 2}, SizeCase{-3, 2, 0}, SizeCase{-2, 2, 1},
                                         SizeCase{1023, 10, 1023}, SizeCase{-1024, 11, 1023},
                                         SizeCase{2047, 11, 2047}, SizeCase{-2047, 11, 0}));

} // namespace
} // namespace jpeg
