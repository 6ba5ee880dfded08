#include "platform/client_aspect.h"

namespace platform {

std::optional<QSize> FitClientToAspect(QSize client, float aspect) {
    const int cx = client.width();
    const int cy = client.height();
    if (cy == 0 || aspect <= 0.0f)
        return std::nullopt;
    // The arithmetic is single precision, as the windows keep their aspect.
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

} // namespace platform
