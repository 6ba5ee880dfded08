#include "app/frame_geometry.h"

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
