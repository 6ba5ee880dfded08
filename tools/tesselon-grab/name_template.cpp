#include "name_template.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace grab {

namespace {

constexpr std::array<std::string_view, 5> kTokens{"src", "ms", "time", "frame", "i"};

bool IsUnsafe(char c) {
    return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

int DigitsOf(int value) {
    int digits = 1;
    for (; value >= 10; value /= 10)
        ++digits;
    return digits;
}

} // namespace

std::string SafeNamePart(std::string_view value) {
    std::string safe;
    safe.reserve(value.size());
    for (const char c : value) {
        // A dot after a dot would make "..": it becomes "_" too.
        if (IsUnsafe(c) || (c == '.' && !safe.empty() && safe.back() == '.'))
            safe += '_';
        else
            safe += c;
    }
    return safe;
}

std::string ClockName(std::int64_t microseconds) {
    const std::int64_t ms = microseconds / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld-%02lld-%02lld.%03lld",
                  static_cast<long long>(ms / 3'600'000), static_cast<long long>(ms / 60'000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

std::optional<NameTemplate> NameTemplate::Parse(std::string_view text, std::string& error) {
    if (text.empty()) {
        error = "the name template is empty";
        return std::nullopt;
    }
    bool usesFrame = false;
    std::string literal;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{') {
            const std::size_t close = text.find('}', i);
            if (close == std::string_view::npos) {
                error = "unclosed token in the name template";
                return std::nullopt;
            }
            const std::string_view token = text.substr(i + 1, close - i - 1);
            bool known = false;
            for (const std::string_view name : kTokens)
                known = known || token == name;
            if (!known) {
                error = "unknown token {" + std::string(token) +
                        "} in the name template (known: {src} {ms} {time} {frame} {i})";
                return std::nullopt;
            }
            usesFrame = usesFrame || token == "frame";
            literal += '\0'; // tokens split the literal text: "{src}.{ms}" has no ".."
            i = close;
            continue;
        }
        if (text[i] == '}') {
            error = "a '}' without its '{' in the name template";
            return std::nullopt;
        }
        if (IsUnsafe(text[i])) {
            error = "the name template may not hold a path separator or a control character";
            return std::nullopt;
        }
        literal += text[i];
    }
    if (literal.find("..") != std::string::npos) {
        error = "the name template may not hold \"..\"";
        return std::nullopt;
    }
    return NameTemplate(std::string(text), usesFrame);
}

std::optional<std::string> NameTemplate::Expand(const NameValues& values) const {
    std::string name;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] != '{') {
            name += text_[i];
            continue;
        }
        const std::size_t close = text_.find('}', i);
        const std::string_view token = std::string_view(text_).substr(i + 1, close - i - 1);
        i = close;
        if (token == "src") {
            name += SafeNamePart(values.source);
        } else if (token == "ms") {
            name += std::to_string(values.ms);
        } else if (token == "time") {
            name += ClockName(values.microseconds);
        } else if (token == "frame") {
            if (!values.frame)
                return std::nullopt;
            name += std::to_string(*values.frame);
        } else {
            const std::string index = std::to_string(values.index);
            const int width = DigitsOf(std::max(values.count - 1, 0));
            name += std::string(std::max<int>(width - static_cast<int>(index.size()), 0), '0');
            name += index;
        }
    }
    // Literal dots beside a value's dots, or a name of dots alone.
    return SafeNamePart(name);
}

} // namespace grab
