// Constant tables of ISO/IEC 10918-1 (ITU T.81) used by the encoder.
#pragma once

#include <array>
#include <cstdint>

namespace jpeg {

// Annex K, Table K.1: luminance quantization table, natural (row-major) order.
inline constexpr std::array<std::uint8_t, 64> kLuminanceQuantization = {
    16, 11, 10, 16, 24,  40,  51,  61,  //
    12, 12, 14, 19, 26,  58,  60,  55,  //
    14, 13, 16, 24, 40,  57,  69,  56,  //
    14, 17, 22, 29, 51,  87,  80,  62,  //
    18, 22, 37, 56, 68,  109, 103, 77,  //
    24, 35, 55, 64, 81,  104, 113, 92,  //
    49, 64, 78, 87, 103, 121, 120, 101, //
    72, 92, 95, 98, 112, 100, 103, 99,  //
};

// Annex K, Table K.2: chrominance quantization table, natural (row-major) order.
inline constexpr std::array<std::uint8_t, 64> kChrominanceQuantization = {
    17, 18, 24, 47, 99, 99, 99, 99, //
    18, 21, 26, 66, 99, 99, 99, 99, //
    24, 26, 56, 99, 99, 99, 99, 99, //
    47, 66, 99, 99, 99, 99, 99, 99, //
    99, 99, 99, 99, 99, 99, 99, 99, //
    99, 99, 99, 99, 99, 99, 99, 99, //
    99, 99, 99, 99, 99, 99, 99, 99, //
    99, 99, 99, 99, 99, 99, 99, 99, //
};

// Figure A.6: the natural position (8 × row + column) of each zigzag position.
inline constexpr std::array<std::uint8_t, 64> kZigzagToNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  //
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, //
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, //
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63, //
};

// The inverse of Figure A.6: the zigzag position of each natural position.
inline constexpr std::array<std::uint8_t, 64> kNaturalToZigzag = [] {
    std::array<std::uint8_t, 64> inverse{};
    for (std::uint8_t zigzag = 0; zigzag < 64; ++zigzag) {
        inverse[kZigzagToNatural[zigzag]] = zigzag;
    }
    return inverse;
}();

} // namespace jpeg
