// Image buffers for the save-path tests: 32-bit pixels (blue, green, red,
// unused), top row first, stride width × 4.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace images::testing {

struct Bgr {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
};

inline std::size_t PixelOffset(std::uint32_t width, std::uint32_t x, std::uint32_t y) {
    return (std::size_t{y} * width + x) * 4;
}

inline Bgr PixelAt(const std::vector<std::uint8_t>& buffer, std::uint32_t width, std::uint32_t x,
                   std::uint32_t y) {
    const std::uint8_t* pixel = buffer.data() + PixelOffset(width, x, y);
    return {pixel[0], pixel[1], pixel[2]};
}

// Every byte differs from its neighbours, and the unused fourth byte is
// never 0, so a byte taken from the wrong place or a copied fourth byte shows.
inline std::vector<std::uint8_t> DistinctBuffer(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> buffer(std::size_t{width} * height * 4);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = buffer.data() + PixelOffset(width, x, y);
            pixel[0] = static_cast<std::uint8_t>(x * 7 + y * 3);
            pixel[1] = static_cast<std::uint8_t>(x * 5 + y * 11 + 1);
            pixel[2] = static_cast<std::uint8_t>(x * 3 + y * 13 + 2);
            pixel[3] = static_cast<std::uint8_t>(0xA5 ^ x ^ y) | 1;
        }
    }
    return buffer;
}

// Smooth colour gradients with one hard-edged box, like a video frame.
inline std::vector<std::uint8_t> PictureBuffer(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> buffer(std::size_t{width} * height * 4);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = buffer.data() + PixelOffset(width, x, y);
            const bool inBox = x > width / 4 && x < width / 2 && y > height / 3;
            pixel[0] = static_cast<std::uint8_t>(inBox ? 200 : 40 + (x * 160) / (width + 1));
            pixel[1] = static_cast<std::uint8_t>(30 + (y * 180) / (height + 1));
            pixel[2] =
                static_cast<std::uint8_t>(inBox ? 60 : 220 - ((x + y) * 100) / (width + height));
            pixel[3] = 0xEE;
        }
    }
    return buffer;
}

// Noise compresses badly, so the JPEG is large: used where the file must be
// bigger than a few write buffers.
inline std::vector<std::uint8_t> NoiseBuffer(std::uint32_t width, std::uint32_t height,
                                             std::uint32_t seed) {
    std::vector<std::uint8_t> buffer(std::size_t{width} * height * 4);
    std::mt19937 random(seed);
    for (std::uint8_t& byte : buffer) {
        byte = static_cast<std::uint8_t>(random());
    }
    return buffer;
}

} // namespace images::testing
