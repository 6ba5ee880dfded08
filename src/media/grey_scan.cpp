#include "media/grey_scan.h"

#include "media/ffmpeg_handles.h"
#include "media/opened_file.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace media {

namespace {

// Scales decoded frames down to grey, remade when their size or format
// changes mid-stream.
class GreyScaler {
public:
    explicit GreyScaler(int width)
        : width_(width) {}

    // The frame's grey copy; empty when it cannot be scaled.
    std::span<const std::uint8_t> Scale(const AVFrame& frame, int& height) {
        if (!Prepare(frame))
            return {};
        if (lumaBytes_) {
            AverageLuma(frame);
            height = height_;
            return {pixels_.data(), static_cast<std::size_t>(width_) * height_};
        }
        std::uint8_t* planes[4] = {pixels_.data(), nullptr, nullptr, nullptr};
        const int pitches[4] = {width_, 0, 0, 0};
        if (sws_scale(context_.get(), frame.data, frame.linesize, 0, frame.height, planes,
                      pitches) != height_)
            return {};
        height = height_;
        return {pixels_.data(), static_cast<std::size_t>(width_) * height_};
    }

    int Width() const { return width_; }

private:
    bool Prepare(const AVFrame& frame) {
        if (frame.width <= 0 || frame.height <= 0)
            return false;
        if ((context_ || lumaBytes_) && frame.width == sourceWidth_ &&
            frame.height == sourceHeight_ && frame.format == sourceFormat_)
            return true;
        sourceWidth_ = frame.width;
        sourceHeight_ = frame.height;
        sourceFormat_ = frame.format;
        height_ = std::max(1, static_cast<int>(std::lround(double(width_) * frame.height /
                                                           frame.width)));
        // Rows are written in whole vectors: room past the last one.
        pixels_.assign(static_cast<std::size_t>(width_) * height_ + 64, 0);
        // Planar YUV and grey of 8 bits hold the grey picture as their first
        // plane: averaged here in blocks, at a fraction of the scaler's cost.
        const AVPixFmtDescriptor* format =
            av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
        lumaBytes_ = format != nullptr &&
                     (format->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL |
                                       AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_HWACCEL)) == 0 &&
                     format->comp[0].plane == 0 && format->comp[0].step == 1 &&
                     format->comp[0].depth == 8 && format->comp[0].offset == 0 &&
                     frame.width >= width_ && frame.height >= height_;
        if (lumaBytes_) {
            Bounds(frame.width, width_, columnEnds_);
            Bounds(frame.height, height_, rowEnds_);
            return true;
        }
        // Area averaging: every source pixel counts, as a scene measure wants.
        context_.reset(sws_getContext(frame.width, frame.height,
                                      static_cast<AVPixelFormat>(frame.format), width_, height_,
                                      AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr));
        return context_ != nullptr;
    }

    // Where each of parts equal blocks of length ends.
    static void Bounds(int length, int parts, std::vector<int>& ends) {
        ends.resize(static_cast<std::size_t>(parts));
        for (int i = 0; i < parts; ++i)
            ends[static_cast<std::size_t>(i)] =
                static_cast<int>(std::int64_t{length} * (i + 1) / parts);
    }

    // Each grey pixel the mean of its block of the first plane: the rows of
    // a block summed column by column first, which vectorises, then the
    // columns of each block.
    void AverageLuma(const AVFrame& frame) {
        std::vector<std::uint32_t>& sums = sums_;
        sums.resize(static_cast<std::size_t>(frame.width));
        int row = 0;
        for (int y = 0; y < height_; ++y) {
            std::fill(sums.begin(), sums.end(), 0);
            const int firstRow = row;
            for (; row < rowEnds_[static_cast<std::size_t>(y)]; ++row) {
                const std::uint8_t* line =
                    frame.data[0] + static_cast<std::ptrdiff_t>(row) * frame.linesize[0];
                for (std::size_t x = 0; x < sums.size(); ++x)
                    sums[x] += line[x];
            }
            int column = 0;
            for (int x = 0; x < width_; ++x) {
                const int end = columnEnds_[static_cast<std::size_t>(x)];
                std::uint64_t sum = 0;
                for (int c = column; c < end; ++c)
                    sum += sums[static_cast<std::size_t>(c)];
                const auto area = static_cast<std::uint64_t>(end - column) *
                                  static_cast<std::uint64_t>(row - firstRow);
                pixels_[static_cast<std::size_t>(y) * width_ + x] =
                    static_cast<std::uint8_t>((sum + area / 2) / area);
                column = end;
            }
        }
    }

    const int width_;
    int height_ = 0;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    int sourceFormat_ = -1;
    SwsContextPtr context_;
    bool lumaBytes_ = false;
    std::vector<int> columnEnds_;
    std::vector<int> rowEnds_;
    std::vector<std::uint32_t> sums_;
    std::vector<std::uint8_t> pixels_;
};

} // namespace

std::string ScanGreyFrames(const std::filesystem::path& path, int width,
                           const std::function<bool(const GreyFrame&)>& onFrame) {
    // Opened as a media stream opens it, for the same stream and times.
    OpenedFile file;
    if (OpenResult opened = file.Open(path, AudioMode::Silent); !opened)
        return opened.cause;
    if (!file.decodable)
        return "its video cannot be decoded";
    // Read afresh from the first byte: opening has read some of it.
    FormatContextPtr format = OpenFormat(file.filePath);
    if (!format || file.videoIndex >= static_cast<int>(format->nb_streams))
        return "the file cannot be read again";
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != file.videoIndex)
            format->streams[i]->discard = AVDISCARD_ALL;
    }
    Decoder& decoder = *file.video;
    decoder.Restart();
    if (!decoder.Valid())
        return "its video cannot be decoded";
    // The deblocking filter is skipped, a quarter of H.264's decoding: it
    // moves pixels near block edges by a few levels, which the averages of
    // a 64-wide copy do not show. Frames taken are decoded whole elsewhere.
    decoder.Context().skip_loop_filter = AVDISCARD_ALL;
    GreyScaler scaler(std::max(width, 1));
    StreamTime predicted = 0;
    bool going = true;
    const auto handle = [&](AVFrame& frame) {
        if (!going)
            return;
        const std::int64_t timestamp = frame.best_effort_timestamp;
        const StreamTime time = timestamp != AV_NOPTS_VALUE ? file.VideoTime(timestamp) : predicted;
        predicted = time + file.frameDuration;
        GreyFrame grey{time, scaler.Width(), 0, {}};
        grey.pixels = scaler.Scale(frame, grey.height);
        if (!grey.pixels.empty())
            going = onFrame(grey);
    };
    PacketPtr packet = MakePacket();
    while (going) {
        const int result = av_read_frame(format.get(), packet.get());
        if (result == AVERROR(EAGAIN))
            continue;
        if (result < 0)
            break;
        if (packet->stream_index == file.videoIndex)
            decoder.Decode(packet.get(), handle);
        av_packet_unref(packet.get());
    }
    if (going)
        decoder.Decode(nullptr, handle);
    return {};
}

} // namespace media
