// When a frame was filmed, as Exif writes it: the moment the file says it was
// made plus the frame's time in it.
#pragma once

#include "fraction.h"

#include <optional>
#include <string>
#include <string_view>

namespace grab {

struct CaptureTime {
    std::string dateTime;   // "YYYY:MM:DD HH:MM:SS", in the creation time's zone
    std::string subSeconds; // its fraction of a second, 3 to 6 digits
    std::string offset;     // "+hh:mm" from UTC; empty when the zone is not given
};

// creationTime is ISO 8601 as containers write it: "2024-05-06T07:08:09Z",
// with or without a fraction of a second (up to microseconds are kept) and
// with "Z", "+hh:mm", "+hhmm" or no zone; a space may stand for the "T".
// The frame's time is added to the microsecond, rounded down. None for
// anything else, or a date out of Exif's years 0000 to 9999.
std::optional<CaptureTime> CaptureTimeOf(std::string_view creationTime, Fraction frameTime);

} // namespace grab
