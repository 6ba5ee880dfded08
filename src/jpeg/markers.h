// The marker codes the writer emits, ITU T.81 Table B.1. Each follows a 0xFF byte.
#pragma once

#include <cstdint>

namespace jpeg::marker {

constexpr std::uint8_t kStartOfFrameBaseline = 0xC0;     // SOF0
constexpr std::uint8_t kDefineHuffmanTables = 0xC4;      // DHT
constexpr std::uint8_t kRestart0 = 0xD0;                 // RST0; RST1 to RST7 follow it
constexpr std::uint8_t kStartOfImage = 0xD8;             // SOI
constexpr std::uint8_t kEndOfImage = 0xD9;               // EOI
constexpr std::uint8_t kStartOfScan = 0xDA;              // SOS
constexpr std::uint8_t kDefineQuantizationTables = 0xDB; // DQT
constexpr std::uint8_t kDefineRestartInterval = 0xDD;    // DRI
constexpr std::uint8_t kApplication0 = 0xE0;             // APP0, the JFIF header
constexpr std::uint8_t kApplication1 = 0xE1;             // APP1, Exif and XMP
constexpr std::uint8_t kComment = 0xFE;                  // COM

} // namespace jpeg::marker
