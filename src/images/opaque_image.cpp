#include "images/opaque_image.h"

namespace images {

QImage OpaqueImage(const std::uint8_t* pixels, int width, int rows, int stride) {
    if (pixels == nullptr || width <= 0 || rows <= 0)
        return {};
    QImage image = QImage(pixels, width, rows, stride, QImage::Format_RGB32).copy();
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] |= 0xFF000000u;
    }
    return image;
}

} // namespace images
