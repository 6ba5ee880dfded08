// Decodes PNG files with libpng's reader and WebP files with libwebp's
// decoder, independently of the writers under test.
#pragma once

#include "decoded_jpeg.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace images::testing {

// Width, height and red-green-blue pixels, as DecodeJpeg gives them (three
// components); nothing when the decoder refuses the data.
std::optional<DecodedJpeg> DecodePng(const std::vector<std::uint8_t>& bytes);
std::optional<DecodedJpeg> DecodeWebp(const std::vector<std::uint8_t>& bytes);

// Whether a WebP file says it has alpha, and whether it is lossless (VP8L).
struct WebpTraits {
    bool alpha = false;
    bool lossless = false;
};
std::optional<WebpTraits> WebpTraitsOf(const std::vector<std::uint8_t>& bytes);

} // namespace images::testing
