#include "media/grey_scan.h"

#include "media/ffmpeg_handles.h"
#include "media/opened_file.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

extern "C" {
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
        if (context_ && frame.width == sourceWidth_ && frame.height == sourceHeight_ &&
            frame.format == sourceFormat_)
            return true;
        sourceWidth_ = frame.width;
        sourceHeight_ = frame.height;
        sourceFormat_ = frame.format;
        height_ = std::max(1, static_cast<int>(std::lround(double(width_) * frame.height /
                                                           frame.width)));
        // Area averaging: every source pixel counts, as a scene measure wants.
        context_.reset(sws_getContext(frame.width, frame.height,
                                      static_cast<AVPixelFormat>(frame.format), width_, height_,
                                      AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr));
        // Rows are written in whole vectors: room past the last one.
        pixels_.assign(static_cast<std::size_t>(width_) * height_ + 64, 0);
        return context_ != nullptr;
    }

    const int width_;
    int height_ = 0;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    int sourceFormat_ = -1;
    SwsContextPtr context_;
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
