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
    int width;
    int height;
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
    return "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=s=" +
           std::to_string(c.width) + "x" + std::to_string(c.height) +
           ":r=25:d=0.04 -vf format=rgb24,scale=flags=accurate_rnd+full_chroma_int:"
           "out_color_matrix=" +
           matrix + ":out_range=" + c.range + ",format=" + c.pixelFormat + " " + c.encoder +
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

// The frame's samples, in floating point, as the standards define them.
class ReferenceFrame {
public:
    explicit ReferenceFrame(const AVFrame& frame)
        : frame_(frame), format_(*av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format))) {
        const bool bt709 = frame.colorspace == AVCOL_SPC_BT709;
        red_ = bt709 ? 0.2126 : 0.299;
        blue_ = bt709 ? 0.0722 : 0.114;
        const int bits = format_.comp[0].depth;
        const double scale = 1 << (bits - 8);
        const bool full = frame.color_range == AVCOL_RANGE_JPEG ||
                          frame.format == AV_PIX_FMT_YUVJ420P;
        black_ = full ? 0 : 16 * scale;
        lumaSpan_ = full ? (1 << bits) - 1 : 219 * scale;
        chromaSpan_ = full ? (1 << bits) - 1 : 224 * scale;
        centre_ = 1 << (bits - 1);
        const AVChromaLocation at = frame.chroma_location;
        across_ = at == AVCHROMA_LOC_CENTER || at == AVCHROMA_LOC_TOP ? 0.5 : 0.0;
        down_ = at == AVCHROMA_LOC_TOPLEFT || at == AVCHROMA_LOC_TOP ? 0.0 : 0.5;
    }

    // Blue, green and red of a pixel, 0 to 255, not yet rounded.
    std::array<double, 3> Pixel(int x, int y) const {
        const double luma = (Sample(0, x, y) - black_) / lumaSpan_;
        const double cb = Chroma(1, x, y);
        const double cr = Chroma(2, x, y);
        const double green = 1 - red_ - blue_;
        const double r = luma + 2 * (1 - red_) * cr;
        const double b = luma + 2 * (1 - blue_) * cb;
        const double g = (luma - red_ * r - blue_ * b) / green;
        return {255 * b, 255 * g, 255 * r};
    }

private:
    double Sample(int plane, int x, int y) const {
        const std::uint8_t* row = frame_.data[plane] + y * frame_.linesize[plane];
        return format_.comp[0].depth > 8 ? reinterpret_cast<const std::uint16_t*>(row)[x]
                                         : row[x];
    }

    // Chroma at a luma pixel, -0.5 to 0.5: the nearest two samples each way,
    // weighted by distance, with the edge samples repeated past the edges.
    double Chroma(int plane, int x, int y) const {
        const auto place = [](int at, int shift, double offset) {
            return shift == 0 ? at : (at - offset) / (1 << shift);
        };
        const double px = place(x, format_.log2_chroma_w, across_);
        const double py = place(y, format_.log2_chroma_h, down_);
        const int lastX = AV_CEIL_RSHIFT(frame_.width, format_.log2_chroma_w) - 1;
        const int lastY = AV_CEIL_RSHIFT(frame_.height, format_.log2_chroma_h) - 1;
        const int x0 = static_cast<int>(std::floor(px));
        const int y0 = static_cast<int>(std::floor(py));
        const double fx = px - x0;
        const double fy = py - y0;
        const auto at = [&](int sx, int sy) {
            return Sample(plane, std::clamp(sx, 0, lastX), std::clamp(sy, 0, lastY));
        };
        const double top = (1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0);
        const double bottom = (1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1);
        return ((1 - fy) * top + fy * bottom - centre_) / chromaSpan_;
    }

    const AVFrame& frame_;
    const AVPixFmtDescriptor& format_;
    double red_ = 0, blue_ = 0, black_ = 0, lumaSpan_ = 1, chromaSpan_ = 1, centre_ = 0;
    double across_ = 0, down_ = 0;
};

struct Comparison {
    double psnr = 0;                   // dB over blue, green and red
    std::array<double, 3> bias = {};   // mean of ours less the reference, per channel
};

Comparison Compare(const AVFrame& frame, const media::PixelBuffer& picture) {
    const ReferenceFrame reference(frame);
    double squares = 0;
    Comparison result;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const std::array<double, 3> exact = reference.Pixel(x, y);
            for (int channel = 0; channel < 3; ++channel) {
                const double rounded = std::clamp(std::round(exact[channel]), 0.0, 255.0);
                const double error = picture.Row(y)[4 * x + channel] - rounded;
                squares += error * error;
                result.bias[channel] += error;
            }
        }
    }
    const double pixels = static_cast<double>(frame.width) * frame.height;
    for (double& bias : result.bias)
        bias /= pixels;
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

INSTANTIATE_TEST_SUITE_P(
    Clips, ConversionAccuracy,
    testing::Values(
        AccuracyCase{"bt601_limited", 98, 54, "yuv420p", "bt601", "tv", "clip.mp4",
                     "-c:v libx264 -qp 0"},
        AccuracyCase{"bt709_limited", 98, 54, "yuv420p", "bt709", "tv", "clip.mp4",
                     "-c:v libx264 -qp 0"},
        AccuracyCase{"bt709_full", 98, 54, "yuvj420p", "bt709", "pc", "clip.mp4",
                     "-c:v libx264 -qp 0"},
        // JPEG chroma sits between pixels, not on the even ones.
        AccuracyCase{"bt601_full_jpeg_odd_size", 47, 33, "yuvj420p", "bt601", "pc", "clip.avi",
                     "-c:v mjpeg -q:v 2"},
        AccuracyCase{"bt709_limited_10_bit", 98, 54, "yuv420p10le", "bt709", "tv", "clip.mp4",
                     "-c:v libx264 -qp 0"},
        // Matroska leaves the chroma place unsaid.
        AccuracyCase{"bt601_limited_10_bit_odd_size", 17, 9, "yuv420p10le", "bt601", "tv",
                     "clip.mkv", "-c:v ffv1"},
        // Formats other than 4:2:0 go through libswscale.
        AccuracyCase{"bt709_limited_444", 98, 54, "yuv444p", "bt709", "tv", "clip.mp4",
                     "-c:v libx264 -qp 0"}),
    [](const testing::TestParamInfo<AccuracyCase>& info) { return std::string(info.param.name); });

} // namespace
