#include "go_to_target.h"

#include <QRegularExpression>

namespace {

constexpr std::int64_t kUnitsPerSecond = 10'000'000;
// Beyond any video: keeps the arithmetic below far from overflow.
constexpr std::int64_t kMostSeconds = std::int64_t{1} << 40;

// The stream units of ".fff...": seven digits are exact, any further ones
// round up.
std::int64_t FractionUnits(const QString& digits) {
    std::int64_t units = 0;
    std::int64_t scale = kUnitsPerSecond;
    bool roundUp = false;
    for (const QChar digit : digits) {
        if (scale > 1) {
            scale /= 10;
            units += digit.digitValue() * scale;
        } else if (digit != QLatin1Char('0')) {
            roundUp = true;
        }
    }
    return units + (roundUp ? 1 : 0);
}

} // namespace

std::optional<GoToTarget> ParseGoToTarget(const QString& text) {
    const QString trimmed = text.trimmed();
    static const QRegularExpression frame(QStringLiteral("^\\d{1,15}$"));
    if (frame.match(trimmed).hasMatch())
        return GoToTarget{GoToTarget::Kind::kFrame, trimmed.toLongLong()};

    // [[H:]M:]S[.fff][ s], minutes and seconds under 60 after a larger field.
    static const QRegularExpression time(QStringLiteral(
        "^(?:(?:(\\d{1,6}):)?(\\d{1,6}):)?(\\d{1,12})(?:\\.(\\d*))?\\s*(s?)$"));
    const QRegularExpressionMatch match = time.match(trimmed);
    if (!match.hasMatch())
        return std::nullopt;
    const bool hasHours = match.hasCaptured(1);
    const bool hasMinutes = match.hasCaptured(2);
    const bool plainSeconds = !hasMinutes && !match.hasCaptured(4) && match.captured(5).isEmpty();
    if (plainSeconds)
        return std::nullopt; // digits alone are a frame number, read above
    const std::int64_t hours = hasHours ? match.captured(1).toLongLong() : 0;
    const std::int64_t minutes = hasMinutes ? match.captured(2).toLongLong() : 0;
    const std::int64_t seconds = match.captured(3).toLongLong();
    if ((hasHours && minutes >= 60) || (hasMinutes && seconds >= 60) ||
        (hasMinutes && !match.captured(5).isEmpty()))
        return std::nullopt;
    const std::int64_t whole = (hours * 60 + minutes) * 60 + seconds;
    if (whole > kMostSeconds)
        return std::nullopt;
    return GoToTarget{GoToTarget::Kind::kTime,
                      whole * kUnitsPerSecond + FractionUnits(match.captured(4))};
}
