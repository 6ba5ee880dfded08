// File names from a template: "{src}_{frame}" and the like. Every token's
// value is made safe to stand in one file name, so no template can write
// outside the output folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace grab {

// What the tokens stand for, for one frame.
struct NameValues {
    std::string source;                // {src}: the video's file name without extension
    std::int32_t ms = 0;               // {ms}: the capture time in whole milliseconds
    std::int64_t microseconds = 0;     // {time}: hh-mm-ss.mmm
    std::optional<std::int64_t> frame; // {frame}: the frame's number in the file
    int index = 0;                     // {i}: the place in the burst, from 0
    int count = 1;                     // frames in the burst: {i} has as many digits as count - 1
};

class NameTemplate {
public:
    // None, with the reason in error, for an empty template, an unknown or
    // unclosed token, or literal text that holds a path separator, "..", or a
    // control character.
    static std::optional<NameTemplate> Parse(std::string_view text, std::string& error);

    // The name without extension. None when {frame} is used and the frame's
    // number is not known.
    std::optional<std::string> Expand(const NameValues& values) const;

    bool UsesFrameNumbers() const { return usesFrame_; }

private:
    explicit NameTemplate(std::string text, bool usesFrame)
        : text_(std::move(text))
        , usesFrame_(usesFrame) {}

    std::string text_;
    bool usesFrame_ = false;
};

// A value made safe for one file name: path separators and control
// characters become "_", and no ".." remains.
std::string SafeNamePart(std::string_view value);

// "01-02-03.456" for 1 h 2 min 3.456 s; hours grow past two digits.
std::string ClockName(std::int64_t microseconds);

} // namespace grab
