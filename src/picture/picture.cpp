#include "picture/picture.h"

#include <cstring>

namespace picture {

Picture Picture::Allocate(int width, int height, int bandRows) {
    const bool inRange = width >= 1 && width <= kMaxSide && height >= 0 && height <= kMaxSide &&
                         bandRows >= 0 && bandRows <= kMaxSide && height + bandRows > 0;
    if (!inRange)
        return {};
    Picture picture;
    picture.width_ = width;
    picture.height_ = height;
    picture.bandRows_ = bandRows;
    picture.stride_ = width * kBytesPerPixel;
    picture.pixels_.reset(static_cast<std::uint8_t*>(std::malloc(picture.Bytes())));
    if (picture.IsNull())
        return {};
    std::memset(picture.Band(), 0, std::size_t(picture.stride_) * std::size_t(bandRows));
    return picture;
}

} // namespace picture
