// The converted picture against a conversion of the same decoded frame worked
// out in floating point here: the frame's matrix and range, chroma
// interpolated bilinearly from where the frame says it was sampled, rounded
// once. Clips of a busy test pattern are made by the ffmpeg command at test
// time, at awkward sizes, in the matrices, ranges and depths videos come in.
#include "media/ffmpeg_handles.h"
#include "media/frame_converter.h"
#include "support/clip_matrix.h"
#include "support/shell_run.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <string>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

namespace fs = std::filesystem;

struct AccuracyCase {
    const char* name;
    const char* size;
    const char* pixelFormat;
    const char* matrix; // bt601 or bt709, as the scale filter names them
    const char* range;  // tv (limited) or pc (full)
    const char* file;   // its extension picks the container
    const char* encoder;
};

void PrintTo(const AccuracyCase& c, std::ostream* out) {
    *out << c.name;
}

std::string MakeCommand(const AccuracyCase& c, const fs::path& output) {
    const std::string matrix = c.matrix;
    return std::string("ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=s=") +
           c.size + ":d=0.04 -vf format=rgb24,scale=out_color_matrix=" + matrix +
           ":out_range=" + c.range + ",format=" + c.pixelFormat + " " + c.encoder +
           " -colorspace " + (matrix == "bt709" ? "bt709" : "smpte170m") + " -color_range " +
           c.range + " " + testing_support::Quoted(output);
}

// The first frame of the clip, as the decoder hands it over.
media::FramePtr DecodeFirstFrame(const fs::path& clip) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, clip.c_str(), nullptr, nullptr) < 0)
        return nullptr;
    media::FormatContextPtr format(opened);
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (avformat_find_stream_info(format.get(), nullptr) < 0 || stream < 0)
        return nullptr;
    media::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar);
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return nullptr;
    media::PacketPtr packet = media::MakePacket();
    media::FramePtr frame = media::MakeFrame();
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        const bool ours = packet->stream_index == stream;
        if (ours)
            avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        if (ours && avcodec_receive_frame(decoder.get(), frame.get()) == 0)
            return frame;
    }
    avcodec_send_packet(decoder.get(), nullptr);
    return avcodec_receive_frame(decoder.get(), frame.get()) == 0 ? std::move(frame) : nullptr;
}

// A frame's samples in floating point, as the standards define them.
struct Reference {
    const AVFrame& frame;
    const AVPixFmtDescriptor& format;
    int bits = format.comp[0].depth;
    bool full = frame.color_range == AVCOL_RANGE_JPEG || frame.format == AV_PIX_FMT_YUVJ420P;
    double red = frame.colorspace == AVCOL_SPC_BT709 ? 0.2126 : 0.299;
    double blue = frame.colorspace == AVCOL_SPC_BT709 ? 0.0722 : 0.114;
    // Where chroma sample 0 lies, in luma pixels right of and below luma sample 0.
    double across = frame.chroma_location == AVCHROMA_LOC_CENTER ? 0.5 : 0.0;
    double down = frame.chroma_location == AVCHROMA_LOC_TOPLEFT ? 0.0 : 0.5;

    double Sample(int plane, int x, int y) const {
        const std::uint8_t* row = frame.data[plane] + y * frame.linesize[plane];
        return bits > 8 ? reinterpret_cast<const std::uint16_t*>(row)[x] : row[x];
    }
    double Span(double limited) const {
        return full ? (1 << bits) - 1 : limited * (1 << (bits - 8));
    }

    // Chroma at a luma pixel, -0.5 to 0.5: bilinear between the nearest
    // samples, the edge samples repeated past the edges.
    double Chroma(int plane, int x, int y) const {
        const double px = format.log2_chroma_w ? (x - across) / 2 : x;
        const double py = format.log2_chroma_h ? (y - down) / 2 : y;
        const int x0 = static_cast<int>(std::floor(px)), y0 = static_cast<int>(std::floor(py));
        const auto at = [&](int cx, int cy) {
            return Sample(
                plane, std::clamp(cx, 0, AV_CEIL_RSHIFT(frame.width, format.log2_chroma_w) - 1),
                std::clamp(cy, 0, AV_CEIL_RSHIFT(frame.height, format.log2_chroma_h) - 1));
        };
        const double fx = px - x0, fy = py - y0;
        const double top = (1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0);
        const double bottom = (1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1);
        return ((1 - fy) * top + fy * bottom - (1 << (bits - 1))) / Span(224);
    }

    // Blue, green and red, 0 to 255, rounded.
    std::array<double, 3> Pixel(int x, int y) const {
        const double luma = (Sample(0, x, y) - (full ? 0 : 16 << (bits - 8))) / Span(219);
        const double r = luma + 2 * (1 - red) * Chroma(2, x, y);
        const double b = luma + 2 * (1 - blue) * Chroma(1, x, y);
        const double g = (luma - red * r - blue * b) / (1 - red - blue);
        std::array<double, 3> bgr = {b, g, r};
        for (double& value : bgr)
            value = std::clamp(std::round(255 * value), 0.0, 255.0);
        return bgr;
    }
};

struct Comparison {
    double psnr = 0;                 // dB over blue, green and red
    std::array<double, 3> bias = {}; // mean of ours less the reference, per channel
};

Comparison Compare(const AVFrame& frame, const media::PixelBuffer& picture) {
    const Reference reference{frame,
                              *av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format))};
    double squares = 0;
    Comparison result;
    const double pixels = static_cast<double>(frame.width) * frame.height;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const std::array<double, 3> exact = reference.Pixel(x, y);
            for (int channel = 0; channel < 3; ++channel) {
                const double error = picture.Row(y)[4 * x + channel] - exact[channel];
                squares += error * error;
                result.bias[channel] += error / pixels;
            }
        }
    }
    const double meanSquare = squares / (3 * pixels);
    result.psnr = meanSquare == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / meanSquare);
    return result;
}

class ConversionAccuracy : public testing::TestWithParam<AccuracyCase> {};

TEST_P(ConversionAccuracy, MatchesTheExactConversionOfTheDecodedFrame) {
    if (!testing_support::FfmpegOnPath())
        GTEST_SKIP() << "the ffmpeg command is missing";
    const AccuracyCase& c = GetParam();
    testing_support::TemporaryFolder folder("conversion-accuracy");
    const fs::path clip = folder.Path() / c.file;
    const testing_support::ShellResult made = testing_support::RunShell(MakeCommand(c, clip));
    ASSERT_EQ(made.status, 0) << made.output;
    const media::FramePtr frame = DecodeFirstFrame(clip);
    ASSERT_TRUE(frame);
    ASSERT_EQ(av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format)),
              std::string(c.pixelFormat));

    media::FrameConverter converter;
    media::PixelBuffer picture;
    ASSERT_TRUE(converter.Convert(*frame, frame->width, frame->height, picture));
    const Comparison comparison = Compare(*frame, picture);
    RecordProperty("psnr_db", std::to_string(comparison.psnr));
    EXPECT_GE(comparison.psnr, 50.0);
    // Cutting off bits rather than rounding them shows as a mean half a level low.
    for (const double bias : comparison.bias)
        EXPECT_LT(std::abs(bias), 0.1);
}

constexpr const char* kLossless = "-c:v libx264 -qp 0";

INSTANTIATE_TEST_SUITE_P(
    Clips, ConversionAccuracy,
    testing::Values(
        AccuracyCase{"bt601_limited", "98x54", "yuv420p", "bt601", "tv", "a.mp4", kLossless},
        AccuracyCase{"bt709_limited", "98x54", "yuv420p", "bt709", "tv", "a.mp4", kLossless},
        AccuracyCase{"bt709_full", "98x54", "yuvj420p", "bt709", "pc", "a.mp4", kLossless},
        // JPEG chroma sits between pixels, not on the even ones.
        AccuracyCase{"bt601_full_jpeg_odd_size", "47x33", "yuvj420p", "bt601", "pc", "a.avi",
                     "-c:v mjpeg -q:v 2"},
        AccuracyCase{"bt709_limited_10_bit", "98x54", "yuv420p10le", "bt709", "tv", "a.mp4",
                     kLossless},
        // Matroska leaves the chroma place unsaid.
        AccuracyCase{"bt601_limited_10_bit_odd_size", "17x9", "yuv420p10le", "bt601", "tv", "a.mkv",
                     "-c:v ffv1"},
        // Formats other than 4:2:0 go through libswscale.
        AccuracyCase{"bt709_limited_444", "98x54", "yuv444p", "bt709", "tv", "a.mp4", kLossless}),
    [](const testing::TestParamInfo<AccuracyCase>& info) { return std::string(info.param.name); });

} // namespace
