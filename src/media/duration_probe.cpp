#include "media/duration_probe.h"

#include "media/ffmpeg_handles.h"
#include "media/stream_time.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace media {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t kUnlimited = std::numeric_limits<std::int64_t>::max();
// The first time is the earliest among this many video packets, so that the
// frames a B-frame stream sends ahead of earlier ones do not hide it.
constexpr std::int64_t kStartVideoPackets = 16;
// After a byte seek, a demuxer that counts time from where it began reading
// starts again at the first time; a file's own times lie well past it there.
constexpr StreamTime kRestartMargin = kStreamUnitsPerSecond;
// Times beyond a year come from damaged headers; leaving them out also keeps
// the sums below from overflowing.
constexpr StreamTime kLatestCredibleTime = StreamTime{366} * 24 * 3600 * kStreamUnitsPerSecond;
// A damaged file may keep a demuxer busy; past this the file is left to the
// container's own estimate rather than holding up the opening any longer.
constexpr auto kTimeLimit = std::chrono::seconds(10);

std::optional<StreamTime> CredibleTime(std::int64_t timestamp, AVRational timeBase) {
    if (timestamp == AV_NOPTS_VALUE)
        return std::nullopt;
    // An overflowing rescale gives INT64_MIN, which the range check refuses.
    const StreamTime time = av_rescale_q(timestamp, timeBase, kStreamTimeBase);
    if (time < -kLatestCredibleTime || time > kLatestCredibleTime)
        return std::nullopt;
    return time;
}

// What a run of video packets told.
struct Scan {
    std::int64_t packets = 0;
    std::optional<StreamTime> firstDecoding;
    std::optional<StreamTime> earliest; // among the first packets only
    std::optional<StreamTime> end;      // the latest end of a frame
    StreamTime summed = 0;              // the frames' lengths added up

    void Add(const AVPacket& packet, AVRational timeBase, StreamTime frameDuration);
};

void Scan::Add(const AVPacket& packet, AVRational timeBase, StreamTime frameDuration) {
    ++packets;
    const auto length = CredibleTime(packet.duration, timeBase);
    const StreamTime frameLength = length && *length > 0 ? *length : frameDuration;
    summed = std::min(summed + frameLength, kLatestCredibleTime);
    if (!firstDecoding)
        firstDecoding =
            CredibleTime(packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts, timeBase);
    const auto shown =
        CredibleTime(packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts, timeBase);
    if (!shown)
        return;
    if (packets <= kStartVideoPackets)
        earliest = std::min(earliest.value_or(*shown), *shown);
    end = std::max(end.value_or(*shown + frameLength), *shown + frameLength);
}

// Where reading stops at the latest: after this many packets of any stream,
// or of the video.
struct ReadBound {
    std::int64_t packets = kUnlimited;
    std::int64_t videoPackets = kUnlimited;
};
// Enough to find the video's first time; it stops short of the end, after
// which some demuxers (Matroska) no longer read after a seek.
constexpr ReadBound kFirstTimeBound{1000, kStartVideoPackets};
constexpr ReadBound kToTheEnd{};

class DurationProbe {
public:
    DurationProbe(const std::filesystem::path& path, AVFormatContext& opened, AVStream& video,
                  const DurationProbeLimits& limits)
        : path_(path)
        , format_(opened.iformat)
        , videoId_(video.id)
        , frameDuration_(FrameDurationOf(opened, video))
        , limits_(limits)
        , deadline_(Clock::now() + kTimeLimit) {}

    std::optional<StreamTime> Run() const;

private:
    FormatContextPtr Open() const;
    Scan Read(AVFormatContext& context, ReadBound bound) const;
    std::optional<StreamTime> FromEnd(AVFormatContext& context, std::int64_t size) const;
    std::optional<StreamTime> FromWholeFile() const;
    bool TimedOut() const { return Clock::now() > deadline_; }
    static int Interrupt(void* probe);

    const std::filesystem::path& path_;
    const AVInputFormat* format_;
    // Streams are known by id and type: the second context may number them
    // differently (MPEG program streams add them as they appear).
    int videoId_;
    StreamTime frameDuration_;
    DurationProbeLimits limits_;
    Clock::time_point deadline_;
};

std::optional<StreamTime> DurationProbe::Run() const {
    FormatContextPtr context = Open();
    if (!context || !context->pb)
        return std::nullopt;
    const std::int64_t size = avio_size(context->pb);
    if (size <= 0)
        return std::nullopt;
    std::optional<StreamTime> duration = FromEnd(*context, size);
    if (!duration && size <= limits_.wholeFileBytes)
        duration = FromWholeFile();
    // An interrupted read stopped short of the end.
    if (TimedOut() || !duration || *duration <= 0)
        return std::nullopt;
    return duration;
}

// The same demuxer as the caller's: probing again could choose another.
FormatContextPtr DurationProbe::Open() const {
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    raw->interrupt_callback = {&DurationProbe::Interrupt, const_cast<DurationProbe*>(this)};
    // On failure FFmpeg frees the context itself.
    if (avformat_open_input(&raw, path_.c_str(), format_, nullptr) < 0)
        return nullptr;
    return FormatContextPtr(raw);
}

int DurationProbe::Interrupt(void* probe) {
    return static_cast<const DurationProbe*>(probe)->TimedOut() ? 1 : 0;
}

// Reading ends at the first error, where playing ends too.
Scan DurationProbe::Read(AVFormatContext& context, ReadBound bound) const {
    Scan scan;
    PacketPtr packet = MakePacket();
    for (std::int64_t read = 0; read < bound.packets && scan.packets < bound.videoPackets &&
                                av_read_frame(&context, packet.get()) >= 0;
         ++read) {
        const AVStream& stream = *context.streams[packet->stream_index];
        if (stream.id == videoId_ && stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            scan.Add(*packet, stream.time_base, frameDuration_);
        av_packet_unref(packet.get());
    }
    return scan;
}

// Nothing when the file has no times, when its times restart after a seek, or
// when the end cannot be reached with a byte seek.
std::optional<StreamTime> DurationProbe::FromEnd(AVFormatContext& context,
                                                 std::int64_t size) const {
    const Scan start = Read(context, kFirstTimeBound);
    if (!start.earliest)
        return std::nullopt;
    // The tail is below the file's size, so multiplying it cannot overflow.
    for (std::int64_t tail = std::max<std::int64_t>(limits_.tailBytes, 1);
         tail < size && tail <= limits_.largestTailBytes; tail *= 4) {
        if (av_seek_frame(&context, -1, size - tail, AVSEEK_FLAG_BYTE) < 0)
            return std::nullopt;
        const Scan end = Read(context, kToTheEnd);
        if (end.packets == 0)
            continue; // another stream's data, or a demuxer that lost its sync
        if (!end.firstDecoding || !end.end ||
            *end.firstDecoding <= *start.earliest + kRestartMargin)
            return std::nullopt;
        return *end.end - *start.earliest;
    }
    return std::nullopt;
}

// A fresh context: a byte seek to 0 would put some demuxers (ASF) into their
// header rather than before their first packet.
std::optional<StreamTime> DurationProbe::FromWholeFile() const {
    FormatContextPtr context = Open();
    if (!context)
        return std::nullopt;
    const Scan all = Read(*context, kToTheEnd);
    if (all.packets == 0)
        return std::nullopt;
    if (all.end && all.earliest)
        return *all.end - *all.earliest;
    return all.summed; // raw H.264 carries no times at all
}

} // namespace

bool DurationNeedsProbe(const AVFormatContext& opened) {
    return opened.duration == AV_NOPTS_VALUE || opened.duration <= 0 ||
           opened.duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
}

std::optional<StreamTime> ProbeDuration(const std::filesystem::path& path, AVFormatContext& opened,
                                        const DurationProbeLimits& limits) {
    if (!DurationNeedsProbe(opened))
        return std::nullopt;
    const int index = av_find_best_stream(&opened, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        return std::nullopt;
    return DurationProbe(path, opened, *opened.streams[index], limits).Run();
}

} // namespace media
