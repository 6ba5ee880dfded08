// Decodes JPEG files with libjpeg-turbo, independently of our encoder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace images::testing {

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    int components = 0;
    bool progressive = false;
    bool multipleScans = false;
    // width × height pixels of red, green, blue, top row first.
    std::vector<std::uint8_t> rgb;
};

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Nothing when libjpeg-turbo refuses the data or warns of damage in it.
std::optional<DecodedJpeg> DecodeJpeg(const std::vector<std::uint8_t>& bytes);

// Peak signal-to-noise ratio in decibels of the decoded picture against the
// first width × height pixels of a 32-bit blue-green-red-unused buffer.
double PsnrAgainstBuffer(const DecodedJpeg& decoded, const std::vector<std::uint8_t>& buffer);

} // namespace images::testing
