#include "decoded_jpeg.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>

#include <jpeglib.h>

namespace images::testing {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void ExitOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

} // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::optional<DecodedJpeg> DecodeJpeg(const std::vector<std::uint8_t>& bytes) {
    DecodedJpeg decoded;
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = ExitOnError;
    errors.base.output_message = IgnoreMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    decoded.components = info.num_components;
    decoded.progressive = info.progressive_mode;
    decoded.multipleScans = jpeg_has_multiple_scans(&info);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    decoded.width = static_cast<int>(info.output_width);
    decoded.height = static_cast<int>(info.output_height);
    decoded.rgb.resize(static_cast<std::size_t>(decoded.width) * decoded.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = decoded.rgb.data() + std::size_t{info.output_scanline} * decoded.width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    // A cut-short or spliced file decodes with warnings (premature end, corrupt
    // data) and grey filler: that is no picture.
    const bool clean = errors.base.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    if (!clean) {
        return std::nullopt;
    }
    return decoded;
}

double PsnrAgainstBuffer(const DecodedJpeg& decoded, const std::vector<std::uint8_t>& buffer) {
    double squaredError = 0;
    const std::size_t pixels = static_cast<std::size_t>(decoded.width) * decoded.height;
    for (std::size_t i = 0; i < pixels; ++i) {
        for (int channel = 0; channel < 3; ++channel) {
            // Decoded red, green, blue against buffer bytes 2, 1, 0.
            const double difference = static_cast<double>(decoded.rgb[i * 3 + channel]) -
                                      static_cast<double>(buffer[i * 4 + 2 - channel]);
            squaredError += difference * difference;
        }
    }
    if (squaredError == 0) {
        return std::numeric_limits<double>::infinity();
    }
    const double meanSquaredError = squaredError / (double(pixels) * 3);
    return 10 * std::log10(255.0 * 255.0 / meanSquaredError);
}

} // namespace images::testing
