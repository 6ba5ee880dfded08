// Whole numbers to and from text, exactly, for the report's formats.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

namespace grab {

// The whole of text is the number; nothing else is taken.
template <typename Number> bool ParseWhole(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, value);
    return status == std::errc() && stop == end && !text.empty();
}

// The shortest text that reads back to the same value.
template <typename Number> void AppendNumber(std::string& out, Number value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace grab
