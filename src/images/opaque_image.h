// A copy of 32-bit pixels (blue, green, red, unused) as a QImage for the
// clipboard: Qt reads the unused byte as alpha, and a picture's band holds 0
// there, so the copy is made opaque.
#pragma once

#include <QImage>

#include <cstdint>

namespace images {

QImage OpaqueImage(const std::uint8_t* pixels, int width, int rows, int stride);

} // namespace images
