// The frames a command line asks for by name: --frames 0,250,1000-1010 (numbers
// in the file, from 0) and --times 1.5,00:01:02.040 or --times @FILE. Each
// entry keeps the text it was written as, for the report.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace grab {

struct FrameRequest {
    enum class Kind { Frame, Time };
    Kind kind = Kind::Frame;
    // A frame number, or a time in 100 ns units from the video's first frame.
    std::int64_t value = 0;
    std::string requested; // "frame 250", "time 00:01:02.040": as the user wrote it
    friend bool operator==(const FrameRequest&, const FrameRequest&) = default;
};

// A list longer than this is refused: a range such as 0-999999999 would
// otherwise take the memory before a frame is read.
inline constexpr std::size_t kMaxFrameRequests = 1'000'000;

// "0,250,1000-1010": numbers and inclusive ranges, appended to requests. None
// with the reason (for the user, naming the entry) in error.
bool ParseFrameList(std::string_view text, std::vector<FrameRequest>& requests,
                    std::string& error);

// "1.5,00:01:02.040", or "@FILE" for one time a line (blank lines and lines
// starting with # are left out), appended to requests.
bool ParseTimeList(std::string_view text, std::vector<FrameRequest>& requests,
                   std::string& error);

// Seconds ("1.5", "62.04") or [HH:]MM:SS[.fff] in 100 ns units, exactly: no
// double between the text and the number. Digits past the seventh decimal
// are dropped. None for anything else, a negative time included.
std::optional<std::int64_t> ParseTime(std::string_view text);

} // namespace grab
