#include "app/status_texts.h"

#include <algorithm>

QString FormatTime(int seconds) {
    const int t = std::max(seconds, 0);
    const auto two = [](int value) {
        return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
    };
    if (t / 3600 != 0)
        return two(t / 3600) + u':' + two(t % 3600 / 60) + u':' + two(t % 60);
    if (t / 60 != 0)
        return two(t / 60) + u':' + two(t % 60);
    return two(t);
}

int SliderPageSize(int durationSeconds) {
    return durationSeconds / 10;
}

QString FormatShownFrame(std::optional<std::int64_t> number, std::int64_t time) {
    // Whole microseconds, truncated as every time of the stream is.
    const std::int64_t microseconds = std::max<std::int64_t>(time, 0) / 10;
    const QString milliseconds = QStringLiteral("%1.%2 ms")
                                     .arg(microseconds / 1000)
                                     .arg(microseconds % 1000, 3, 10, QLatin1Char('0'));
    const QString frame = number ? QString::number(*number) : QStringLiteral("\u2026");
    return QStringLiteral("Frame %1 \u00B7 %2").arg(frame, milliseconds);
}
