#include "media/opened_file.h"

#include "media/asx_redirector.h"
#include "media/duration_probe.h"
#include "picture/picture.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>
#include <system_error>
#include <tuple>
#include <utility>

#include <sys/stat.h>

namespace media {

namespace {

constexpr int kMaxRedirections = 4;
// Packets read at most to find the first frame's time when opening.
constexpr int kFirstFramePacketLimit = 1000;

// The system's and FFmpeg's reasons begin with a capital; ours follow a colon.
std::string Lowered(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string FfmpegReason(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return Lowered(text);
}

// What is wrong with path before FFmpeg is asked, if anything. A file is read
// more than once (its length, its frame count, again after its end), which a
// pipe or a device cannot give, and opening a FIFO that has no writer would
// wait for ever: those are refused at once.
std::optional<std::string> InputProblem(const std::filesystem::path& path) {
    struct stat status = {};
    if (::stat(path.c_str(), &status) != 0) {
        const int error = errno;
        return error == ENOENT ? std::string("no such file")
                               : Lowered(std::generic_category().message(error));
    }
    constexpr const char* kSaveFirst = ", which cannot be read twice: save the video to a file";
    if (S_ISDIR(status.st_mode))
        return "is a folder";
    if (S_ISFIFO(status.st_mode))
        return std::string("is a pipe") + kSaveFirst;
    if (S_ISSOCK(status.st_mode))
        return std::string("is a socket") + kSaveFirst;
    if (S_ISCHR(status.st_mode))
        return std::string("is a character device") + kSaveFirst;
    if (S_ISREG(status.st_mode) && status.st_size == 0)
        return "empty file";
    return std::nullopt;
}

} // namespace

OpenResult OpenedFile::Open(const std::filesystem::path& path, AudioMode audioMode) {
    return Open(path, audioMode, 0);
}

OpenResult OpenedFile::Open(const std::filesystem::path& path, AudioMode audioMode, int depth) {
    if (auto problem = InputProblem(path))
        return {OpenFailure::Unreadable, std::move(*problem)};
    if (IsRedirectorPath(path)) {
        const auto target = ResolveRedirector(path);
        if (!target || depth >= kMaxRedirections)
            return {OpenFailure::Unreadable, "the redirector names no local file that can be read"};
        return Open(*target, audioMode, depth + 1);
    }
    int error = 0;
    format = OpenFormat(path, &error);
    if (!format)
        return {OpenFailure::Unreadable, FfmpegReason(error)};
    filePath = path;
    opened = true;
    duration = FileDuration();
    videoIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (videoIndex >= 0 &&
        (format->streams[videoIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0)
        videoIndex = -1; // a cover picture is not a video
    if (videoIndex < 0)
        return {}; // the caller finds no video stream
    if (OpenResult result = OpenVideo(); !result)
        return result;
    // A size no sample surface can take (damaged headers) is left to the
    // caller to refuse; nothing is decoded for it.
    if (width <= 0 || height <= 0 || width > picture::kMaxSide || height > picture::kMaxSide)
        return {};
    OpenAudio(audioMode);
    decodable = true;
    return {};
}

OpenResult OpenedFile::OpenVideo() {
    AVStream& stream = *format->streams[videoIndex];
    video = std::make_unique<Decoder>(stream);
    if (!video->Valid())
        return {OpenFailure::UnsupportedCodec,
                std::string("unsupported codec ") + avcodec_get_name(stream.codecpar->codec_id)};
    videoTimeBase = stream.time_base;
    if (stream.start_time != AV_NOPTS_VALUE)
        originTimestamp = stream.start_time;
    else if (format->start_time != AV_NOPTS_VALUE)
        originTimestamp = av_rescale_q(format->start_time, AV_TIME_BASE_Q, stream.time_base);
    // The first frame's own time is the truth: AVI files with B-frames carry
    // decoding times only, so their frames read later than the file's start.
    const FirstFrame first = ReadFirstFrame();
    if (first.readToEnd && !first.decoded)
        return {OpenFailure::NoDecodableFrame, "no frame of its video could be decoded"};
    if (first.timestamp)
        originTimestamp = *first.timestamp;
    origin = ToStreamTime(originTimestamp, stream.time_base);
    frameDuration = FrameDurationOf(*format, stream);
    DescribeVideo(stream, first.orientation.value_or(Orientation{}));
    return {};
}

void OpenedFile::DescribeVideo(AVStream& stream, Orientation frameOrientation) {
    std::size_t size = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    orientation = matrix != nullptr && size >= 9 * sizeof(std::int32_t)
                      ? OrientationOf(reinterpret_cast<const std::int32_t*>(matrix))
                      : frameOrientation;
    std::tie(width, height) = orientation.Turned(stream.codecpar->width, stream.codecpar->height);

    videoFormat.codec = avcodec_get_name(stream.codecpar->codec_id);
    videoFormat.width = width;
    videoFormat.height = height;
    videoFormat.rotation = orientation.Degrees();
    videoFormat.mirrored = orientation.mirrored;
    AVRational aspect = av_guess_sample_aspect_ratio(format.get(), &stream, nullptr);
    if (orientation.SwapsSides())
        std::swap(aspect.num, aspect.den); // a pixel turned on its side
    if (aspect.num > 0 && aspect.den > 0)
        videoFormat.sampleAspect = {aspect.num, aspect.den};
    videoFormat.timeBase = {stream.time_base.num, stream.time_base.den};
    if (const AVRational rate = av_guess_frame_rate(format.get(), &stream, nullptr);
        rate.num > 0 && rate.den > 0)
        videoFormat.frameRate = {rate.num, rate.den};
    if (const AVDictionaryEntry* made = av_dict_get(format->metadata, "creation_time", nullptr, 0))
        videoFormat.creationTime = made->value;
}

FormatContextPtr OpenFormat(const std::filesystem::path& path, int* error) {
    AVFormatContext* raw = nullptr;
    int result = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    FormatContextPtr opened(result >= 0 ? raw : nullptr);
    if (opened)
        result = avformat_find_stream_info(opened.get(), nullptr);
    if (result >= 0)
        return opened;
    if (error != nullptr)
        *error = result;
    return nullptr;
}

std::optional<StreamTime> OpenedFile::FileDuration() const {
    // Missing or only estimated from the bit rate: measured from the file itself.
    if (const auto probed = ProbeDuration(filePath, *format))
        return probed;
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return ToStreamTime(format->duration, AV_TIME_BASE_Q);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream& stream = *format->streams[i];
        if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
            return ToStreamTime(stream.duration, stream.time_base);
    }
    return std::nullopt;
}

OpenedFile::FirstFrame OpenedFile::ReadFirstFrame() {
    FirstFrame first;
    PacketPtr packet = MakePacket();
    for (int packets = 0; !first.timestamp && packets < kFirstFramePacketLimit; ++packets) {
        const int result = av_read_frame(format.get(), packet.get());
        const bool ended = result < 0 && result != AVERROR(EAGAIN);
        if (ended || packet->stream_index == videoIndex) {
            video->Decode(ended ? nullptr : packet.get(), [&](AVFrame& frame) {
                first.decoded = first.decoded || (frame.width > 0 && frame.height > 0);
                if (!first.timestamp && frame.best_effort_timestamp != AV_NOPTS_VALUE)
                    first.timestamp = frame.best_effort_timestamp;
                if (const AVFrameSideData* side =
                        av_frame_get_side_data(&frame, AV_FRAME_DATA_DISPLAYMATRIX);
                    side != nullptr && !first.orientation && side->size >= 9 * sizeof(std::int32_t))
                    first.orientation =
                        OrientationOf(reinterpret_cast<const std::int32_t*>(side->data));
            });
        }
        av_packet_unref(packet.get());
        if (ended) {
            first.readToEnd = true;
            break;
        }
    }
    video->Flush();
    return first;
}

void OpenedFile::OpenAudio(AudioMode audioMode) {
    if (audioMode != AudioMode::DefaultOutput)
        return;
    const int index =
        av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);
    if (index < 0)
        return;
    auto decoder = std::make_unique<Decoder>(*format->streams[index]);
    if (!decoder->Valid())
        return;
    const AVCodecContext& context = decoder->Context();
    const int rate = std::clamp(context.sample_rate, 8000, 48000);
    const int channels = std::clamp(context.ch_layout.nb_channels, 1, 2);
    sound = AudioOutput::OpenDefault(rate, channels);
    if (!sound)
        return; // no output device: the file plays silently
    audio = std::move(decoder);
    audioIndex = index;
    audioTimeBase = format->streams[index]->time_base;
}

} // namespace media
