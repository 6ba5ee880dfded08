#include "fraction.h"

#include "report_text.h"

#include <limits>
#include <numeric>

namespace grab {

namespace {

std::uint64_t Magnitude(std::int64_t value) {
    return value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                     : static_cast<std::uint64_t>(value);
}

} // namespace

Fraction Reduced(std::int64_t num, std::int64_t den) {
    std::uint64_t top = Magnitude(num);
    std::uint64_t bottom = Magnitude(den);
    const std::uint64_t divisor = std::gcd(top, bottom);
    if (divisor > 1) {
        top /= divisor;
        bottom /= divisor;
    }
    const bool negative = top != 0 && ((num < 0) != (den < 0));
    const auto signedTop = static_cast<std::int64_t>(top);
    return {negative ? -signedTop : signedTop, static_cast<std::int64_t>(bottom)};
}

std::string ToString(Fraction fraction) {
    std::string text;
    AppendNumber(text, fraction.num);
    if (fraction.den != 1) {
        text += '/';
        AppendNumber(text, fraction.den);
    }
    return text;
}

std::optional<Fraction> ParseFraction(std::string_view text) {
    const auto slash = text.find('/');
    std::int64_t num = 0;
    std::int64_t den = 1;
    if (!ParseWhole(text.substr(0, slash), num) || num == std::numeric_limits<std::int64_t>::min())
        return std::nullopt;
    if (slash != std::string_view::npos && (!ParseWhole(text.substr(slash + 1), den) || den <= 0))
        return std::nullopt;
    return Reduced(num, den);
}

Fraction DisplayAspect(int width, int height, Fraction sampleAspect) {
    if (width <= 0 || height <= 0 || sampleAspect.num <= 0 || sampleAspect.den <= 0)
        return {0, 1};
    // Cancel across before multiplying, so only a result too big overflows.
    const Fraction size = Reduced(width, height);
    const std::int64_t a = std::gcd(size.num, sampleAspect.den);
    const std::int64_t b = std::gcd(sampleAspect.num, size.den);
    std::int64_t num = 0;
    std::int64_t den = 0;
    if (__builtin_mul_overflow(size.num / a, sampleAspect.num / b, &num) ||
        __builtin_mul_overflow(size.den / b, sampleAspect.den / a, &den))
        return {0, 1};
    return {num, den};
}

} // namespace grab
