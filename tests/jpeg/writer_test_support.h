// Helpers shared by the writer's tests: source images, a marker-level reader of
// the written stream, and a decoder (libjpeg-turbo) that is not ours.
#pragma once

#include "jpeg/jpeg_writer.h"
#include "jpeg/raster_image.h"

#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace jpeg::writer_test {

using Bytes = std::vector<std::uint8_t>;

enum class Pattern { Photographic, Gradient, Noise, Flat, Grey };

inline const char* PatternName(Pattern pattern) {
    switch (pattern) {
    case Pattern::Photographic:
        return "Photographic";
    case Pattern::Gradient:
        return "Gradient";
    case Pattern::Noise:
        return "Noise";
    case Pattern::Flat:
        return "Flat";
    case Pattern::Grey:
        return "Grey";
    }
    return "Unknown";
}

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
};

inline std::uint8_t Clamp(double value) {
    return static_cast<std::uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, value))));
}

// A smooth scene with soft shapes and one hard edge, the kind of content a
// video frame holds, made without any file. It is laid out for 360 × 240
// pixels; other sizes show a crop of it, or repeat it beyond.
inline Rgb PhotographicPixel(std::uint32_t x, std::uint32_t y) {
    const double u = (x % 360) / 360.0;
    const double v = (y % 240) / 240.0;
    const double sky = 170 + 60 * v + 12 * std::sin(9 * u);
    const double hill = std::sin(3.1 * u + 0.7) * 0.12 + 0.62;
    const double distance = std::hypot(u - 0.3, v - 0.35);
    const double sun = 70 * std::exp(-distance * distance * 40);
    if (v > hill) {
        return Rgb{Clamp(60 + 30 * u + 8 * std::sin(20 * v)), Clamp(110 + 40 * v),
                   Clamp(50 + 10 * std::cos(7 * u))};
    }
    return Rgb{Clamp(sky * 0.55 + sun), Clamp(sky * 0.7 + sun * 0.8), Clamp(sky)};
}

inline Rgb PatternPixel(Pattern pattern, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                        std::uint32_t height, std::mt19937& random) {
    switch (pattern) {
    case Pattern::Photographic:
        return PhotographicPixel(x, y);
    case Pattern::Gradient:
        return Rgb{static_cast<std::uint8_t>(x * 255 / std::max(1u, width - 1)),
                   static_cast<std::uint8_t>(y * 255 / std::max(1u, height - 1)),
                   static_cast<std::uint8_t>((x + y) * 255 / std::max(1u, width + height - 2))};
    case Pattern::Noise: {
        const std::uint32_t bits = random();
        return Rgb{static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                   static_cast<std::uint8_t>(bits >> 16)};
    }
    case Pattern::Flat:
        return Rgb{200, 60, 90};
    case Pattern::Grey:
        return Rgb{128, 128, 128};
    }
    return {};
}

// A 24-bit image; stored rows are bottom-up, pixels blue-green-red.
inline void FillImage(RasterImage& image, std::uint32_t width, std::uint32_t height,
                      Pattern pattern) {
    image.Allocate(0, 24, width, height);
    std::mt19937 random(12345);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row =
            image.ImageData() + static_cast<std::size_t>(height - 1 - y) * image.RowWidth();
        for (std::uint32_t x = 0; x < width; ++x) {
            const Rgb pixel = PatternPixel(pattern, x, y, width, height, random);
            row[3 * x] = pixel.blue;
            row[3 * x + 1] = pixel.green;
            row[3 * x + 2] = pixel.red;
        }
    }
}

inline Bytes Encode(JpegWriter& writer, const RasterImage& image) {
    std::ostringstream stream;
    writer.EncodeImage(stream, image);
    const std::string text = stream.str();
    return Bytes(text.begin(), text.end());
}

// The system's own save settings: three scans of one component each.
inline void UseSystemScans(JpegWriter& writer) {
    writer.SetScan(0, 2, 0, 0);
    writer.SetScan(1, 4, 0, 0);
    writer.SetScan(2, 8, 0, 0);
}

// One marker segment of a written stream. For SOS, `scanData` holds the
// entropy-coded bytes of each restart interval (markers taken out) and
// `restartMarkers` the RSTn codes between them, in order.
struct Segment {
    std::uint8_t marker = 0;
    std::size_t offset = 0; // of the 0xFF
    Bytes body;             // after the length field
    std::uint32_t length = 0;
    std::vector<Bytes> scanData;
    std::vector<std::uint8_t> restartMarkers;
};

inline bool IsStandalone(std::uint8_t marker) {
    return marker == 0xD8 || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7);
}

// Splits a stream into its segments; returns false on anything malformed.
inline bool ParseSegments(const Bytes& bytes, std::vector<Segment>& segments) {
    std::size_t position = 0;
    while (position < bytes.size()) {
        if (position + 1 >= bytes.size() || bytes[position] != 0xFF) {
            return false;
        }
        Segment segment;
        segment.offset = position;
        segment.marker = bytes[position + 1];
        position += 2;
        if (!IsStandalone(segment.marker)) {
            if (position + 2 > bytes.size()) {
                return false;
            }
            segment.length = bytes[position] << 8 | bytes[position + 1];
            if (segment.length < 2 || position + segment.length > bytes.size()) {
                return false;
            }
            segment.body.assign(bytes.begin() + static_cast<std::ptrdiff_t>(position) + 2,
                                bytes.begin() + static_cast<std::ptrdiff_t>(position) +
                                    segment.length);
            position += segment.length;
        }
        if (segment.marker == 0xDA) {
            segment.scanData.emplace_back();
            while (position < bytes.size()) {
                if (bytes[position] != 0xFF) {
                    segment.scanData.back().push_back(bytes[position++]);
                    continue;
                }
                if (position + 1 >= bytes.size()) {
                    return false;
                }
                const std::uint8_t next = bytes[position + 1];
                if (next == 0x00) {
                    segment.scanData.back().push_back(0xFF);
                    position += 2;
                } else if (next >= 0xD0 && next <= 0xD7) {
                    segment.restartMarkers.push_back(next);
                    segment.scanData.emplace_back();
                    position += 2;
                } else {
                    break;
                }
            }
        }
        segments.push_back(std::move(segment));
    }
    return true;
}

inline std::vector<std::uint8_t> MarkerList(const std::vector<Segment>& segments) {
    std::vector<std::uint8_t> markers;
    for (const Segment& segment : segments) {
        markers.push_back(segment.marker);
    }
    return markers;
}

// What libjpeg-turbo made of a stream.
struct Decoded {
    bool ok = false;
    std::string error;
    int warnings = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 0;
    std::vector<std::uint8_t> pixels; // RGB, or one grey byte per pixel
};

struct DecoderErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    std::string message;
};

inline void OnDecoderError(j_common_ptr info) {
    auto* errors = reinterpret_cast<DecoderErrors*>(info->err);
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    errors->message = text;
    std::longjmp(errors->jump, 1);
}

// Warnings (level −1) are counted by the library in num_warnings; nothing is printed.
inline void OnDecoderMessage(j_common_ptr info, int level) {
    if (level < 0) {
        ++info->err->num_warnings;
    }
}

inline Decoded DecodeWithLibjpeg(const Bytes& bytes) {
    Decoded result;
    jpeg_decompress_struct info{};
    DecoderErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnDecoderError;
    errors.manager.emit_message = OnDecoderMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        Decoded failure;
        failure.error = errors.message;
        return failure;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    result.width = info.output_width;
    result.height = info.output_height;
    result.components = info.output_components;
    const std::size_t stride = static_cast<std::size_t>(info.output_width) * info.output_components;
    result.pixels.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = result.pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    result.warnings = static_cast<int>(errors.manager.num_warnings);
    jpeg_destroy_decompress(&info);
    result.ok = true;
    return result;
}

// Peak signal-to-noise ratio of the decoded pixels against the source image,
// over RGB for three components or against a BT.601 luma for one.
inline double Psnr(const RasterImage& source, const Decoded& decoded) {
    double squaredError = 0;
    std::size_t samples = 0;
    for (std::uint32_t y = 0; y < source.Height(); ++y) {
        for (std::uint32_t x = 0; x < source.Width(); ++x) {
            std::uint8_t red = 0, green = 0, blue = 0;
            source.PixelRgb(y, x, red, green, blue);
            const std::size_t index =
                (static_cast<std::size_t>(y) * decoded.width + x) * decoded.components;
            if (decoded.components == 1) {
                const double luma = 0.299 * red + 0.587 * green + 0.114 * blue;
                const double error = decoded.pixels[index] - luma;
                squaredError += error * error;
                ++samples;
            } else {
                const double errors[3] = {double(decoded.pixels[index]) - red,
                                          double(decoded.pixels[index + 1]) - green,
                                          double(decoded.pixels[index + 2]) - blue};
                for (const double error : errors) {
                    squaredError += error * error;
                }
                samples += 3;
            }
        }
    }
    if (squaredError == 0) {
        return 99.0;
    }
    return 10 * std::log10(255.0 * 255.0 / (squaredError / samples));
}

} // namespace jpeg::writer_test
