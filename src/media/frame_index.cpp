#include "media/frame_index.h"

#include "media/ffmpeg_handles.h"
#include "media/stream_time.h"

#include <algorithm>

namespace media {

FrameIndex::FrameIndex(std::vector<StreamTime> times)
    : times_(std::move(times)) {
    std::sort(times_.begin(), times_.end());
    if (times_.empty())
        return;
    const StreamTime first = times_.front();
    for (StreamTime& time : times_)
        time -= first;
}

std::optional<std::int64_t> FrameIndex::NumberOf(StreamTime time) const {
    if (times_.empty())
        return std::nullopt;
    // The first frame at or after time, or the one before it when that is
    // nearer; an even split goes to the earlier frame, still on show there.
    const auto after = std::lower_bound(times_.begin(), times_.end(), time);
    auto nearest = after == times_.end() ? after - 1 : after;
    if (after != times_.begin() && after != times_.end() && time - *(after - 1) <= *after - time)
        nearest = after - 1;
    // Unsigned: a caller's time may lie anywhere in the 64-bit range.
    const auto Distance = [](StreamTime a, StreamTime b) {
        return a < b ? static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a)
                     : static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b);
    };
    std::uint64_t gap = UINT64_MAX;
    if (nearest != times_.begin())
        gap = std::min(gap, Distance(*nearest, *(nearest - 1)));
    if (nearest + 1 != times_.end())
        gap = std::min(gap, Distance(*nearest, *(nearest + 1)));
    if (gap == UINT64_MAX)
        gap = 0;
    if (Distance(time, *nearest) > gap / 2)
        return std::nullopt;
    return nearest - times_.begin();
}

std::optional<StreamTime> FrameIndex::TimeOf(std::int64_t number) const {
    if (number < 0 || static_cast<std::uint64_t>(number) >= times_.size())
        return std::nullopt;
    return times_[static_cast<std::size_t>(number)];
}

namespace {

// Times beyond a year come from damaged headers; treating them as missing
// also keeps the arithmetic below from overflowing.
constexpr StreamTime kLatestCredibleTime = StreamTime{366} * 24 * 3600 * kStreamUnitsPerSecond;

std::optional<StreamTime> CredibleTime(std::int64_t timestamp, AVRational timeBase) {
    if (timestamp == AV_NOPTS_VALUE)
        return std::nullopt;
    // An overflowing rescale gives INT64_MIN, which the range check refuses.
    const StreamTime time = ToStreamTime(timestamp, timeBase);
    if (time < -kLatestCredibleTime || time > kLatestCredibleTime)
        return std::nullopt;
    return time;
}

// Fills in the times a run of packets lacks: each one after the latest time
// so far, by the previous frame's length. That is where a decoder without
// reordering shows it; with reordering nothing short of decoding tells, and
// after everything known is the only place that cannot collide with a frame
// that is known.
class Predictor {
public:
    explicit Predictor(StreamTime frameDuration)
        : frameDuration_(frameDuration) {}

    StreamTime Next(std::optional<StreamTime> time, std::optional<StreamTime> length) {
        const StreamTime value =
            time ? *time : (latest_ ? *latest_ + previousLength_ : StreamTime{0});
        latest_ = std::max(latest_.value_or(value), value);
        previousLength_ = length && *length > 0 ? *length : frameDuration_;
        return value;
    }

private:
    StreamTime frameDuration_;
    std::optional<StreamTime> latest_;
    StreamTime previousLength_ = 0;
};

bool IsField(PictureCoding coding) {
    return coding != PictureCoding::Frame;
}

// One entry per frame: a field followed by the opposite field is one frame,
// timed and ordered by its first field, as long as both together. A lone
// field (a cut, or a stream that codes its fields unpaired) stays a frame, as
// the decoder shows it.
std::vector<PacketTimes> JoinFields(const std::vector<PacketTimes>& packets) {
    std::vector<PacketTimes> frames;
    frames.reserve(packets.size());
    bool open = false; // the last entry is a field waiting for its pair
    for (const PacketTimes& packet : packets) {
        if (open && IsField(packet.coding) && packet.coding != frames.back().coding) {
            PacketTimes& first = frames.back();
            // A field without a length lasts as long as its pair.
            if (const auto field = first.length ? first.length : packet.length)
                first.length = first.length.value_or(*field) + packet.length.value_or(*field);
            first.coding = PictureCoding::Frame;
            open = false;
            continue;
        }
        frames.push_back(packet);
        open = IsField(packet.coding);
    }
    return frames;
}

} // namespace

std::vector<StreamTime> FrameTimes(const std::vector<PacketTimes>& fieldsOrFrames, int reorderDelay,
                                   StreamTime frameDuration) {
    const std::vector<PacketTimes> packets = JoinFields(fieldsOrFrames);
    std::vector<StreamTime> times;
    times.reserve(packets.size());
    Predictor predictor(frameDuration);
    const bool lacksPresentation =
        std::any_of(packets.begin(), packets.end(),
                    [](const PacketTimes& packet) { return !packet.presentation; });
    const bool hasDecoding = std::any_of(packets.begin(), packets.end(),
                                         [](const PacketTimes& packet) { return packet.decoding; });
    if (reorderDelay <= 0 || !lacksPresentation || !hasDecoding) {
        // Without reordering a frame is shown in the order it is decoded, so
        // its decoding time is its presentation time.
        for (const PacketTimes& packet : packets) {
            const auto known = packet.presentation
                                   ? packet.presentation
                                   : (reorderDelay <= 0 ? packet.decoding : std::nullopt);
            times.push_back(predictor.Next(known, packet.length));
        }
        return times;
    }
    // Reordered frames whose packets carry decoding times only (AVI, MPEG
    // program streams, which give times to some frames and not others): a
    // decoder that holds reorderDelay frames hands each out when the packet
    // that many places later goes in, and times it with that packet's decoding
    // time. Mixing in the presentation times that some packets do carry would
    // put two frames at one time. The last frames come out as it drains, with
    // no time of their own: one frame apart, as the player times them.
    for (const PacketTimes& packet : packets)
        times.push_back(predictor.Next(packet.decoding, packet.length));
    const std::size_t delay = std::min(static_cast<std::size_t>(reorderDelay), times.size() - 1);
    times.erase(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(delay));
    while (times.size() < packets.size())
        times.push_back(times.back() + frameDuration);
    return times;
}

namespace {

// Reads how each packet's picture is coded. Only H.264 needs it: its parser
// gives each field picture a packet of its own and its decoder joins them,
// while MPEG-2's parser keeps a frame's fields in one packet and HEVC's
// decoder shows each field as a frame. The demuxer's packets are whole
// pictures already, so the parser reads each on its own.
class CodingReader {
public:
    explicit CodingReader(const AVCodecParameters& parameters) {
        if (parameters.codec_id != AV_CODEC_ID_H264)
            return;
        // The parser reads the stream's headers (extradata) from a context
        // that is never opened.
        context_.reset(avcodec_alloc_context3(nullptr));
        parser_.reset(av_parser_init(parameters.codec_id));
        if (!context_ || !parser_ || avcodec_parameters_to_context(context_.get(), &parameters) < 0)
            parser_.reset();
        else
            parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    }

    PictureCoding Read(const AVPacket& packet) {
        if (!parser_ || packet.size <= 0)
            return PictureCoding::Frame;
        std::uint8_t* data = nullptr;
        int size = 0;
        av_parser_parse2(parser_.get(), context_.get(), &data, &size, packet.data, packet.size,
                         AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (size <= 0)
            return PictureCoding::Frame;
        switch (parser_->picture_structure) {
        case AV_PICTURE_STRUCTURE_TOP_FIELD:
            return PictureCoding::TopField;
        case AV_PICTURE_STRUCTURE_BOTTOM_FIELD:
            return PictureCoding::BottomField;
        default:
            return PictureCoding::Frame;
        }
    }

private:
    struct ParserDeleter {
        void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
    };
    CodecContextPtr context_;
    std::unique_ptr<AVCodecParserContext, ParserDeleter> parser_;
};

// Opened as a player opens it: MPEG program streams add streams as they are
// found, so the caller's stream numbers hold only after the stream info is
// read, which also tells the reordering delay and the frame rate.
FormatContextPtr OpenFile(const std::filesystem::path& path) {
    AVFormatContext* raw = nullptr;
    // On failure FFmpeg frees the context itself.
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return nullptr;
    FormatContextPtr context(raw);
    if (avformat_find_stream_info(context.get(), nullptr) < 0)
        return nullptr;
    return context;
}

} // namespace

std::optional<FrameIndex> BuildFrameIndex(const std::filesystem::path& path, int videoIndex,
                                          std::stop_token stop) {
    FormatContextPtr context = OpenFile(path);
    if (!context || videoIndex < 0 || static_cast<unsigned>(videoIndex) >= context->nb_streams)
        return std::nullopt;
    AVStream& video = *context->streams[videoIndex];
    if (video.codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return std::nullopt;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (i != static_cast<unsigned>(videoIndex))
            context->streams[i]->discard = AVDISCARD_ALL;
    }

    std::vector<PacketTimes> packets;
    CodingReader coding(*video.codecpar);
    PacketPtr packet = MakePacket();
    // Reading ends at the first error, where playing ends too.
    while (av_read_frame(context.get(), packet.get()) >= 0) {
        if (stop.stop_requested())
            return std::nullopt;
        // Packets before an edit list's start are decoded only to reach the
        // first frame shown; the decoder drops their frames.
        if (packet->stream_index == videoIndex && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
            packets.push_back({CredibleTime(packet->pts, video.time_base),
                               CredibleTime(packet->dts, video.time_base),
                               CredibleTime(packet->duration, video.time_base),
                               coding.Read(*packet)});
        }
        av_packet_unref(packet.get());
    }
    if (stop.stop_requested())
        return std::nullopt;
    return FrameIndex(
        FrameTimes(packets, video.codecpar->video_delay, FrameDurationOf(*context, video)));
}

} // namespace media
