// Exact rationals for times and aspects as the report writes them: always
// reduced, the sign on the numerator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace grab {

// An exact rational, always reduced, den > 0.
struct Fraction {
    std::int64_t num = 0;
    std::int64_t den = 1;
    friend bool operator==(const Fraction&, const Fraction&) = default;
};
// den != 0; the sign goes on num.
Fraction Reduced(std::int64_t num, std::int64_t den);
// "1001/30000"; a whole number without "/1": "0", "2", "-3".
std::string ToString(Fraction);
// The inverse of ToString; also takes an unreduced "2/4". None for anything
// else (spaces, a zero denominator, a number out of range).
std::optional<Fraction> ParseFraction(std::string_view);
// width * sar.num / (height * sar.den), reduced; 0 when a size is unknown.
Fraction DisplayAspect(int width, int height, Fraction sampleAspect);

} // namespace grab
