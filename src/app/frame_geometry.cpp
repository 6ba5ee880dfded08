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

std::optional<QSize> FitClientToAspect(QSize client, float aspect) {
    const int cx = client.width();
    const int cy = client.height();
    if (cy == 0 || aspect <= 0.0f)
        return std::nullopt;
    // The arithmetic is single precision, as the frame keeps its aspect.
    const float ratio = static_cast<float>(cx) / static_cast<float>(cy);
    if (ratio >= aspect)
        return QSize(cx, static_cast<int>(static_cast<float>(cx) / aspect));
    return QSize(static_cast<int>(static_cast<float>(cy) * aspect), cy);
}

float AspectOf(int width, int height) {
    if (width <= 0 || height <= 0)
        return 0.0f;
    return static_cast<float>(width) / static_cast<float>(height);
}

int SliderPageSize(int durationSeconds) {
    return durationSeconds / 10;
}
