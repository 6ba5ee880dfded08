#include "capture_time.h"

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace grab {
namespace {

namespace chrono = std::chrono;
using Microseconds = chrono::duration<std::int64_t, std::micro>;

// Reads a fixed number of digits; false when any is not one.
class Cursor {
public:
    explicit Cursor(std::string_view text)
        : text_(text) {}

    bool Digits(std::size_t count, int& value) {
        if (text_.size() < count)
            return false;
        value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (text_[i] < '0' || text_[i] > '9')
                return false;
            value = value * 10 + (text_[i] - '0');
        }
        text_.remove_prefix(count);
        return true;
    }
    bool Skip(char c) {
        if (text_.empty() || text_.front() != c)
            return false;
        text_.remove_prefix(1);
        return true;
    }
    bool AtEnd() const { return text_.empty(); }
    char Next() const { return text_.empty() ? '\0' : text_.front(); }

private:
    std::string_view text_;
};

struct Parsed {
    chrono::sys_days day;
    Microseconds time;                   // since midnight
    std::optional<chrono::minutes> zone; // east of UTC
};

// ".123456789": microseconds, digits past the sixth ignored.
bool ReadFraction(Cursor& cursor, Microseconds& time) {
    if (!cursor.Skip('.'))
        return true;
    int digit = 0;
    std::int64_t scale = 100000;
    if (!cursor.Digits(1, digit))
        return false;
    do {
        time += Microseconds(digit * scale);
        scale /= 10;
    } while (cursor.Digits(1, digit));
    return true;
}

// "Z", "+hh:mm", "+hhmm", "-..." or nothing.
bool ReadZone(Cursor& cursor, std::optional<chrono::minutes>& zone) {
    if (cursor.AtEnd())
        return true;
    if (cursor.Skip('Z')) {
        zone = chrono::minutes(0);
        return cursor.AtEnd();
    }
    const char sign = cursor.Next();
    int hours = 0, minutes = 0;
    if (!(cursor.Skip('+') || cursor.Skip('-')) || !cursor.Digits(2, hours))
        return false;
    cursor.Skip(':');
    if (!cursor.Digits(2, minutes) || hours > 23 || minutes > 59 || !cursor.AtEnd())
        return false;
    zone = chrono::minutes((sign == '-' ? -1 : 1) * (hours * 60 + minutes));
    return true;
}

std::optional<Parsed> Parse(std::string_view text) {
    Cursor cursor(text);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!cursor.Digits(4, year) || !cursor.Skip('-') || !cursor.Digits(2, month) ||
        !cursor.Skip('-') || !cursor.Digits(2, day) || !(cursor.Skip('T') || cursor.Skip(' ')) ||
        !cursor.Digits(2, hour) || !cursor.Skip(':') || !cursor.Digits(2, minute) ||
        !cursor.Skip(':') || !cursor.Digits(2, second))
        return std::nullopt;
    const chrono::year_month_day date{chrono::year(year), chrono::month(unsigned(month)),
                                      chrono::day(unsigned(day))};
    if (!date.ok() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    Parsed parsed{chrono::sys_days(date),
                  chrono::hours(hour) + chrono::minutes(minute) + chrono::seconds(second),
                  {}};
    if (!ReadFraction(cursor, parsed.time) || !ReadZone(cursor, parsed.zone))
        return std::nullopt;
    return parsed;
}

// num / den seconds in microseconds, rounded down, without overflowing for
// any timestamp a stream holds.
Microseconds MicrosecondsOf(Fraction time) {
    std::int64_t whole = time.num / time.den;
    std::int64_t rest = time.num % time.den;
    if (rest < 0) {
        whole -= 1;
        rest += time.den;
    }
    const auto part = static_cast<std::int64_t>(static_cast<__int128>(rest) * 1000000 / time.den);
    return Microseconds(whole * 1000000 + part);
}

std::string OffsetText(chrono::minutes zone) {
    const auto minutes = zone.count();
    const auto size = minutes < 0 ? -minutes : minutes;
    char text[8];
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', int(size / 60),
                  int(size % 60));
    return text;
}

} // namespace

std::optional<CaptureTime> CaptureTimeOf(std::string_view creationTime, Fraction frameTime) {
    const std::optional<Parsed> parsed = Parse(creationTime);
    if (!parsed || frameTime.den <= 0)
        return std::nullopt;
    // Wall-clock time in the file's own zone: Exif's date has no zone of its
    // own, and OffsetTimeOriginal says which it is.
    const auto moment = parsed->day + parsed->time + MicrosecondsOf(frameTime);
    const chrono::sys_days day = chrono::floor<chrono::days>(moment);
    const chrono::year_month_day date(day);
    const chrono::hh_mm_ss clock(chrono::floor<Microseconds>(moment - day));
    if (date.year() < chrono::year(0) || date.year() > chrono::year(9999))
        return std::nullopt;
    char text[32];
    std::snprintf(text, sizeof text, "%04d:%02u:%02u %02d:%02d:%02d", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()));
    CaptureTime result{text, {}, parsed->zone ? OffsetText(*parsed->zone) : std::string()};
    std::snprintf(text, sizeof text, "%06d", int(clock.subseconds().count()));
    result.subSeconds = text;
    while (result.subSeconds.size() > 3 && result.subSeconds.back() == '0')
        result.subSeconds.pop_back();
    return result;
}

} // namespace grab
