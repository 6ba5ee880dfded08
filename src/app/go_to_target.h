// What Control, Go to takes: a frame number ("250", the first frame is 0) or
// a time ("1.5", "62.04 s", "1:02.040", "0:01:02.040"), read exactly.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

struct GoToTarget {
    enum class Kind { kFrame, kTime };
    Kind kind = Kind::kFrame;
    // The frame number, or the time in stream units (100 ns), rounded up so
    // that "the first frame at or after" never lands before the time typed.
    std::int64_t value = 0;
    friend bool operator==(const GoToTarget&, const GoToTarget&) = default;
};

// None for text that is neither.
std::optional<GoToTarget> ParseGoToTarget(const QString& text);
