#include "decoded_still.h"

#include <png.h>
#include <webp/decode.h>

#include <cstring>

namespace images::testing {

std::optional<DecodedJpeg> DecodePng(const std::vector<std::uint8_t>& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return std::nullopt;
    image.format = PNG_FORMAT_RGB;
    DecodedJpeg decoded;
    decoded.width = static_cast<int>(image.width);
    decoded.height = static_cast<int>(image.height);
    decoded.components = 3;
    decoded.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, decoded.rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return decoded;
}

std::optional<DecodedJpeg> DecodeWebp(const std::vector<std::uint8_t>& bytes) {
    int width = 0;
    int height = 0;
    std::uint8_t* rgb = WebPDecodeRGB(bytes.data(), bytes.size(), &width, &height);
    if (rgb == nullptr)
        return std::nullopt;
    DecodedJpeg decoded;
    decoded.width = width;
    decoded.height = height;
    decoded.components = 3;
    decoded.rgb.assign(rgb, rgb + std::size_t(width) * std::size_t(height) * 3);
    WebPFree(rgb);
    return decoded;
}

std::optional<WebpTraits> WebpTraitsOf(const std::vector<std::uint8_t>& bytes) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK)
        return std::nullopt;
    return WebpTraits{features.has_alpha != 0, features.format == 2};
}

} // namespace images::testing
