#include "frame_requests.h"

#include <fstream>

namespace grab {

namespace {

constexpr std::int64_t kUnitsPerSecond = 10'000'000;
// About 31 years: far past any video, and far from overflowing in 100 ns units.
constexpr std::int64_t kMaxSeconds = 1'000'000'000;
constexpr std::int64_t kMaxFrameNumber = std::int64_t{1} << 50;

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Digits only, up to limit; none for anything else.
std::optional<std::int64_t> Whole(std::string_view text, std::int64_t limit) {
    if (!AllDigits(text))
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
        if (value > limit)
            return std::nullopt;
    }
    return value;
}

// The digits after the decimal point in 100 ns units; past the seventh, dropped.
std::int64_t FractionUnits(std::string_view digits) {
    std::int64_t units = 0;
    std::int64_t scale = kUnitsPerSecond;
    for (std::size_t i = 0; i < digits.size() && scale > 1; ++i) {
        scale /= 10;
        units += (digits[i] - '0') * scale;
    }
    return units;
}

// A list's entries: split at commas, each trimmed; an empty one is refused.
bool ForEachEntry(std::string_view text, std::string_view option, std::string& error,
                  const auto& parse) {
    if (Trimmed(text).empty()) {
        error = std::string(option) + " needs at least one entry";
        return false;
    }
    for (std::size_t start = 0;;) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view entry = Trimmed(text.substr(start, comma - start));
        if (entry.empty()) {
            error = std::string(option) + ": an empty entry in \"" + std::string(text) + "\"";
            return false;
        }
        if (!parse(entry))
            return false;
        if (comma == text.size())
            return true;
        start = comma + 1;
    }
}

bool RoomFor(std::size_t more, const std::vector<FrameRequest>& requests, std::string_view option,
             std::string& error) {
    if (more <= kMaxFrameRequests && requests.size() + more <= kMaxFrameRequests)
        return true;
    error = std::string(option) + ": more than " + std::to_string(kMaxFrameRequests) +
            " frames asked for";
    return false;
}

bool ParseFrameEntry(std::string_view entry, std::vector<FrameRequest>& requests,
                     std::string& error) {
    const auto refuse = [&](const std::string& why) {
        error = "--frames: " + why;
        return false;
    };
    if (entry.front() == '-')
        return refuse(std::string(entry) + " is negative: frames are numbered from 0");
    const std::size_t dash = entry.find('-');
    const std::string_view firstText = Trimmed(entry.substr(0, dash));
    const std::string_view lastText =
        dash == std::string_view::npos ? firstText : Trimmed(entry.substr(dash + 1));
    const auto first = Whole(firstText, kMaxFrameNumber);
    const auto last = Whole(lastText, kMaxFrameNumber);
    if (!first || !last)
        return refuse("\"" + std::string(entry) + "\" is not a frame number or a range A-B");
    if (*last < *first)
        return refuse("the range " + std::string(entry) + " runs backwards");
    if (!RoomFor(static_cast<std::size_t>(*last - *first) + 1, requests, "--frames", error))
        return false;
    for (std::int64_t number = *first; number <= *last; ++number)
        requests.push_back(
            {FrameRequest::Kind::Frame, number, "frame " + std::to_string(number)});
    return true;
}

bool AddTime(std::string_view entry, std::vector<FrameRequest>& requests, std::string& error,
             const std::string& where) {
    const std::optional<std::int64_t> time = ParseTime(entry);
    if (!time) {
        error = where + ": \"" + std::string(entry) + "\" is not a time: give seconds (1.5) or " +
                "[HH:]MM:SS[.fff], not negative";
        return false;
    }
    if (!RoomFor(1, requests, "--times", error))
        return false;
    requests.push_back({FrameRequest::Kind::Time, *time, "time " + std::string(entry)});
    return true;
}

// One time a line; blank lines and comments (#) are left out.
bool ReadTimeFile(const std::filesystem::path& path, std::vector<FrameRequest>& requests,
                  std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "--times @" + path.string() + ": cannot read the file";
        return false;
    }
    const std::size_t before = requests.size();
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        const std::string_view entry = Trimmed(line);
        if (entry.empty() || entry.front() == '#')
            continue;
        const std::string where = "--times @" + path.string() + ", line " + std::to_string(number);
        if (!AddTime(entry, requests, error, where))
            return false;
    }
    if (file.bad()) {
        error = "--times @" + path.string() + ": the file could not be read to its end";
        return false;
    }
    if (requests.size() == before) {
        error = "--times @" + path.string() + " holds no time";
        return false;
    }
    return true;
}

} // namespace

std::optional<std::int64_t> ParseTime(std::string_view text) {
    // [HH:]MM:SS[.fff], or seconds: the fields before the seconds, whole.
    std::int64_t seconds = 0;
    int fields = 0;
    for (std::size_t colon; (colon = text.find(':')) != std::string_view::npos; ++fields) {
        // Minutes after hours, like seconds after minutes, stay under 60.
        const auto field = Whole(text.substr(0, colon), fields == 0 ? kMaxSeconds : 59);
        if (!field || fields == 2)
            return std::nullopt;
        seconds = seconds * 60 + *field;
        text.remove_prefix(colon + 1);
    }
    const std::size_t point = text.find('.');
    const std::string_view wholeText = text.substr(0, point);
    const std::string_view fractionText =
        point == std::string_view::npos ? std::string_view("0") : text.substr(point + 1);
    const auto whole = Whole(wholeText, fields > 0 ? 59 : kMaxSeconds);
    if (!whole || !AllDigits(fractionText))
        return std::nullopt;
    seconds = seconds * 60 + *whole;
    if (seconds > kMaxSeconds)
        return std::nullopt;
    return seconds * kUnitsPerSecond + FractionUnits(fractionText);
}

bool ParseFrameList(std::string_view text, std::vector<FrameRequest>& requests,
                    std::string& error) {
    return ForEachEntry(text, "--frames", error, [&](std::string_view entry) {
        return ParseFrameEntry(entry, requests, error);
    });
}

bool ParseTimeList(std::string_view text, std::vector<FrameRequest>& requests,
                   std::string& error) {
    if (!text.empty() && text.front() == '@')
        return ReadTimeFile(std::filesystem::path(text.substr(1)), requests, error);
    return ForEachEntry(text, "--times", error, [&](std::string_view entry) {
        return AddTime(entry, requests, error, "--times");
    });
}

} // namespace grab
