#include "media/media_stream.h"

#include "media/asx_redirector.h"
#include "media/audio_output.h"
#include "media/decoder.h"
#include "media/duration_probe.h"
#include "media/ffmpeg_handles.h"
#include "media/frame_cache.h"
#include "media/frame_converter.h"
#include "media/frame_index.h"
#include "media/frame_queue.h"
#include "media/packet_queue.h"
#include "media/sound_feeder.h"
#include "media/stream_time.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include <sys/stat.h>

namespace media {

namespace {

constexpr std::size_t kVideoPacketCapacity = 64;
constexpr std::size_t kAudioPacketCapacity = 256;
constexpr std::size_t kFrameCapacity = 4;
// Waits are cut into slices so an injected time source is noticed promptly.
constexpr auto kWaitSlice = std::chrono::milliseconds(10);
// How many frames before its target a seek aims, for reordered frames.
constexpr StreamTime kSeekLeadFrames = 3;
// How far each repeated seek steps back when a seek landed past its target.
constexpr StreamTime kReseekStep = kStreamUnitsPerSecond;
constexpr int kMaxRedirections = 4;
// The largest frame side decoded; surfaces are limited to the same.
constexpr int kMaxVideoSide = 16384;
// Where an epoch reads from when even a seek to the start landed late.
constexpr StreamTime kFromFirstByte = -1;
// ... and when even that found no frame.
constexpr StreamTime kReopenFile = -2;
// Packets read at most to find the first frame's time when opening.
constexpr int kFirstFramePacketLimit = 1000;
// How far the picture's clock may drift from the sound before it is set back
// in step, and how long the picture waits for the sound after a start or seek.
constexpr StreamTime kSoundTolerance = 15 * kStreamUnitsPerMillisecond;
constexpr auto kSoundStartWait = std::chrono::milliseconds(300);
constexpr auto kSoundDeviceWait = std::chrono::seconds(3);

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

void CopyFrame(const PixelBuffer& picture, const FrameTarget& target) {
    const int rows = std::min(picture.Height(), target.height);
    const std::size_t rowBytes =
        static_cast<std::size_t>(std::min(picture.Width(), target.width)) * 4;
    for (int y = 0; y < rows; ++y)
        std::memcpy(target.bits + static_cast<std::ptrdiff_t>(y) * target.pitch, picture.Row(y),
                    rowBytes);
}

} // namespace

struct MediaStream::Impl {
    explicit Impl(MediaStreamOptions streamOptions)
        : options(std::move(streamOptions))
        , cache(options.frameCacheBytes)
        , clock(options.timeSource) {}
    ~Impl() { StopThreads(); }

    OpenResult Open(const std::filesystem::path& path, int depth);
    OpenResult OpenVideo();
    // What reading from the start found of the video's first frame.
    struct FirstFrame {
        bool decoded = false;   // a frame with a picture came out
        bool readToEnd = false; // the whole file was read looking for it
        std::optional<std::int64_t> timestamp;
    };
    FirstFrame ReadFirstFrame();
    // Null on failure, with FFmpeg's error code in error when given.
    static FormatContextPtr OpenFormat(const std::filesystem::path& path, int* error = nullptr);
    std::optional<StreamTime> FileDuration() const;
    bool Reopen();
    void OpenAudio();
    void StartThreads();
    void StopThreads();

    void DemuxLoop();
    bool SeekFile(StreamTime position);
    void VideoLoop();
    void HandleVideoFrame(AVFrame& frame, const Epoch& epoch, bool& first);
    void Hold(const AVFrame& frame, StreamTime time, std::optional<StreamTime> previous);
    void CacheHeld();
    void FillRestHeld();
    struct HeldFrame;
    void FillHeld(HeldFrame& item, std::vector<PixelBuffer>& dropped);
    void AudioLoop();
    bool RequestReseek(int serial);
    // Pacing follows the sound while it plays (with mutex held).
    void AwaitSound(StreamTime position);
    void FollowSound();
    void StartEpoch(StreamTime seekTo); // with mutex held

    // Stepping, with mutex held; waits release it.
    void SetRunning(bool run);
    void Reposition(StreamTime position, bool fillCache);
    Front AwaitFront(std::unique_lock<std::mutex>& lock, std::stop_token stop);
    // Moves the front frame into the cache, copied into target first when given.
    void TakeFront(const FrameTarget* target);
    void Keep(DecodedFrame frame);
    bool ShowCached(StreamTime time, const FrameTarget& target);
    void HandOver(StreamTime time);
    StepResult StepForward(std::unique_lock<std::mutex>& lock, const FrameTarget& target,
                           std::stop_token stop);
    StepResult StepBack(std::unique_lock<std::mutex>& lock, const FrameTarget& target,
                        std::stop_token stop);

    // Threads run only for a video that can be decoded; set once when opening.
    bool Decoding() const { return demuxThread.joinable(); }

    StreamTime VideoTime(std::int64_t timestamp) const {
        return ToStreamTime(timestamp, videoTimeBase) - origin;
    }

    MediaStreamOptions options;

    // Set by OpenFile, then read-only; after the threads start, format is
    // the demuxing thread's alone (it may open the file again).
    FormatContextPtr format;
    std::filesystem::path filePath;
    AVRational videoTimeBase{1, 1};
    AVRational audioTimeBase{1, 1};
    std::optional<StreamTime> duration;
    bool opened = false;
    int videoIndex = -1;
    int audioIndex = -1;
    int width = 0;
    int height = 0;
    StreamTime origin = 0;            // the video's first time, so that a file starts at 0
    std::int64_t originTimestamp = 0; // the same in the video's time base
    VideoFormat videoFormat;
    StreamTime frameDuration = 0;
    std::unique_ptr<Decoder> video;
    std::unique_ptr<Decoder> audio;
    std::unique_ptr<AudioOutput> sound;

    PacketQueue videoPackets{kVideoPacketCapacity};
    PacketQueue audioPackets{kAudioPacketCapacity};
    FrameQueue frames{kFrameCapacity};
    FrameCache cache;

    // Set once by the indexing thread.
    mutable std::mutex indexMutex;
    mutable std::condition_variable_any indexEnded;
    std::shared_ptr<const FrameIndex> frameIndex;
    bool indexing = false;

    // Guarded by mutex.
    mutable std::mutex mutex;
    std::condition_variable demuxWake;
    PacingClock clock;
    bool running = false;
    bool aborted = false;
    Epoch epoch;           // the current seek
    StreamTime seekTo = 0; // where the file is read from for this epoch
    bool seekPending = false;
    StreamTime lastTime = 0;
    StreamTime latestFrameTime = 0;  // of every frame handed over since opening
    std::optional<StreamTime> shown; // the frame handed over last, since the last seek
    std::optional<FrameTraits> shownTraits;
    bool awaitingSound = false;
    StreamTime soundStartPosition = 0;
    std::chrono::steady_clock::time_point awaitingSince;

    // Owned by the video thread.
    FrameConverter converter;
    StreamTime predictedTime = 0;
    std::optional<StreamTime> lastDecoded; // since the epoch began
    // A step back's stretch before its target, converted only once the target
    // is reached and only as much as the cache keeps.
    struct HeldFrame {
        FramePtr frame;
        StreamTime time = 0;
        std::optional<StreamTime> previous;
    };
    std::deque<HeldFrame> held;

    std::thread demuxThread;
    std::thread videoThread;
    std::thread audioThread;
    std::jthread indexThread;
};

OpenResult MediaStream::Impl::Open(const std::filesystem::path& path, int depth) {
    if (auto problem = InputProblem(path))
        return {OpenFailure::Unreadable, std::move(*problem)};
    if (IsRedirectorPath(path)) {
        const auto target = ResolveRedirector(path);
        if (!target || depth >= kMaxRedirections)
            return {OpenFailure::Unreadable, "the redirector names no local file that can be read"};
        return Open(*target, depth + 1);
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
    if (width <= 0 || height <= 0 || width > kMaxVideoSide || height > kMaxVideoSide)
        return {};
    OpenAudio();
    StartThreads();
    return {};
}

OpenResult MediaStream::Impl::OpenVideo() {
    AVStream& stream = *format->streams[videoIndex];
    video = std::make_unique<Decoder>(stream);
    if (!video->Valid())
        return {OpenFailure::UnsupportedCodec,
                std::string("unsupported codec ") + avcodec_get_name(stream.codecpar->codec_id)};
    videoTimeBase = stream.time_base;
    width = stream.codecpar->width;
    height = stream.codecpar->height;
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

    videoFormat.codec = avcodec_get_name(stream.codecpar->codec_id);
    videoFormat.width = width;
    videoFormat.height = height;
    const AVRational aspect = av_guess_sample_aspect_ratio(format.get(), &stream, nullptr);
    if (aspect.num > 0 && aspect.den > 0)
        videoFormat.sampleAspect = {aspect.num, aspect.den};
    videoFormat.timeBase = {stream.time_base.num, stream.time_base.den};
    return {};
}

FormatContextPtr MediaStream::Impl::OpenFormat(const std::filesystem::path& path, int* error) {
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

std::optional<StreamTime> MediaStream::Impl::FileDuration() const {
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

bool MediaStream::Impl::Reopen() {
    FormatContextPtr fresh = OpenFormat(filePath);
    if (!fresh || fresh->nb_streams != format->nb_streams)
        return false;
    format = std::move(fresh);
    return true;
}

MediaStream::Impl::FirstFrame MediaStream::Impl::ReadFirstFrame() {
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

void MediaStream::Impl::OpenAudio() {
    if (options.audio != AudioMode::DefaultOutput)
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

void MediaStream::Impl::StartThreads() {
    StartEpoch(0);
    demuxThread = std::thread([this] { DemuxLoop(); });
    videoThread = std::thread([this] { VideoLoop(); });
    if (audio)
        audioThread = std::thread([this] { AudioLoop(); });
    indexing = true;
    indexThread = std::jthread([this](std::stop_token stop) {
        std::optional<FrameIndex> built = BuildFrameIndex(filePath, videoIndex, stop);
        auto index = built ? std::make_shared<const FrameIndex>(std::move(*built)) : nullptr;
        std::lock_guard lock(indexMutex);
        frameIndex = std::move(index);
        indexing = false;
        indexEnded.notify_all();
    });
}

void MediaStream::Impl::StopThreads() {
    {
        std::lock_guard lock(mutex);
        aborted = true;
    }
    demuxWake.notify_all();
    videoPackets.Abort();
    audioPackets.Abort();
    frames.Abort();
    if (sound)
        sound->Close();
    for (std::thread* thread : {&demuxThread, &videoThread, &audioThread})
        if (thread->joinable())
            thread->join();
    if (indexThread.joinable()) {
        indexThread.request_stop();
        indexThread.join();
    }
}

void MediaStream::Impl::StartEpoch(StreamTime readFrom) {
    epoch.serial += 1;
    epoch.readFrom = readFrom;
    seekTo = readFrom;
    seekPending = true;
    videoPackets.Flush(epoch);
    audioPackets.Flush(epoch);
    frames.Flush(epoch.serial);
    if (sound)
        sound->Flush(epoch.serial);
    demuxWake.notify_all();
}

bool MediaStream::Impl::RequestReseek(int serial) {
    std::lock_guard lock(mutex);
    if (serial != epoch.serial || seekTo == kReopenFile)
        return false;
    // Step back twice as far each time. Past the start, read from the first
    // byte, since a timestamp seek to the start can itself land late; when
    // even that finds no frame (some demuxers cannot go back after reaching
    // the end of a cut file), open the file again.
    const StreamTime back = epoch.target - (epoch.target - seekTo) * 2 - kReseekStep;
    if (seekTo == kFromFirstByte)
        StartEpoch(kReopenFile);
    else
        StartEpoch(seekTo <= 0 ? kFromFirstByte : std::max<StreamTime>(0, back));
    return true;
}

void MediaStream::Impl::AwaitSound(StreamTime position) {
    if (!sound)
        return;
    awaitingSound = true;
    soundStartPosition = position;
    awaitingSince = std::chrono::steady_clock::now();
}

void MediaStream::Impl::FollowSound() {
    if (!sound || !running || sound->Failed())
        return;
    if (const auto heard = sound->HeardTime(epoch.serial)) {
        awaitingSound = false;
        const StreamTime drift = clock.Position() - *heard;
        if (drift > kSoundTolerance || drift < -kSoundTolerance)
            clock.Set(*heard);
        return;
    }
    // Until the sound of this position is heard the picture holds still, so
    // both start together; a stretch without sound plays on after a while.
    if (awaitingSound && std::chrono::steady_clock::now() - awaitingSince < kSoundStartWait)
        clock.Set(soundStartPosition);
    else
        awaitingSound = false;
}

// ---- demuxing thread ----

bool MediaStream::Impl::SeekFile(StreamTime position) {
    if (position == kReopenFile)
        return Reopen();
    if (position == kFromFirstByte && !(format->iformat->flags & AVFMT_NO_BYTE_SEEK) &&
        av_seek_frame(format.get(), -1, 0, AVSEEK_FLAG_BYTE) >= 0)
        return true;
    const AVStream& stream = *format->streams[videoIndex];
    // Indexes hold decoding times, which run up to a few frames ahead of the
    // presentation times asked for when frames are reordered: aim a little
    // earlier, and the frames before the target are decoded and dropped.
    const StreamTime lead = kSeekLeadFrames * frameDuration;
    const std::int64_t timestamp =
        av_rescale_q_rnd(origin + std::max<StreamTime>(position, 0) - lead, kStreamTimeBase,
                         stream.time_base, AV_ROUND_DOWN);
    if (av_seek_frame(format.get(), videoIndex, timestamp, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    const std::int64_t global = av_rescale_q(timestamp, stream.time_base, AV_TIME_BASE_Q);
    if (avformat_seek_file(format.get(), -1, INT64_MIN, global, global, 0) >= 0)
        return true;
    // Last resort: read from the start; frames before the target are dropped.
    return av_seek_frame(format.get(), -1, 0, AVSEEK_FLAG_BYTE) >= 0;
}

void MediaStream::Impl::DemuxLoop() {
    Epoch current;
    bool ended = false;
    while (true) {
        StreamTime readFrom = 0;
        bool seek = false;
        {
            std::unique_lock lock(mutex);
            demuxWake.wait(lock, [&] { return aborted || seekPending || !ended; });
            if (aborted)
                return;
            if (seekPending) {
                seekPending = false;
                seek = true;
                current = epoch;
                readFrom = seekTo;
            }
        }
        if (seek) {
            ended = !SeekFile(readFrom);
            if (ended) {
                videoPackets.Put(nullptr, current);
                if (audio)
                    audioPackets.Put(nullptr, current);
                continue;
            }
        }
        PacketPtr packet = MakePacket();
        const int result = av_read_frame(format.get(), packet.get());
        if (result == AVERROR(EAGAIN))
            continue;
        if (result < 0) {
            ended = true;
            videoPackets.Put(nullptr, current);
            if (audio)
                audioPackets.Put(nullptr, current);
        } else if (packet->stream_index == videoIndex) {
            videoPackets.Put(std::move(packet), current);
        } else if (packet->stream_index == audioIndex) {
            audioPackets.Put(std::move(packet), current);
        }
    }
}

// ---- video decoder thread ----

void MediaStream::Impl::VideoLoop() {
    Epoch current{-1, 0};
    bool first = true;
    while (auto item = videoPackets.Get()) {
        if (item->epoch.serial != current.serial) {
            // Every seek decodes as a fresh open would: the same frames and
            // times whatever was decoded before it, and however far.
            video->Restart();
            current = item->epoch;
            first = true;
            predictedTime = current.target;
            lastDecoded.reset();
            held.clear();
        }
        video->Decode(item->packet.get(),
                      [&](AVFrame& frame) { HandleVideoFrame(frame, current, first); });
        if (!item->packet) {
            video->Flush();
            CacheHeld();
            FillRestHeld();
            // A seek that landed past every frame it could find reads again
            // from further back.
            if (first && RequestReseek(current.serial))
                continue;
            DecodedFrame end;
            end.serial = current.serial;
            end.endOfStream = true;
            frames.Push(std::move(end));
        }
    }
}

void MediaStream::Impl::HandleVideoFrame(AVFrame& frame, const Epoch& current, bool& first) {
    const std::int64_t timestamp = frame.best_effort_timestamp;
    const StreamTime time = timestamp != AV_NOPTS_VALUE ? VideoTime(timestamp) : predictedTime;
    const FrameTraits traits{timestamp != AV_NOPTS_VALUE
                                 ? timestamp - originTimestamp
                                 : av_rescale_q(time + origin, kStreamTimeBase, videoTimeBase) -
                                       originTimestamp,
                             frame.key_frame != 0, av_get_picture_type_char(frame.pict_type)};
    predictedTime = time + frameDuration;
    if (first && current.readFrom != kReopenFile) {
        // Some demuxers seek to a frame that is not a keyframe: what decodes
        // before the next keyframe is damaged.
        if (current.readFrom >= 0 && !frame.key_frame && frame.pict_type != AV_PICTURE_TYPE_I)
            return;
        first = false;
        // Others seek past the target, and some cannot go back to the first
        // byte at all; read again from further back. A step back needs a
        // frame before its target.
        const bool late = current.fillCache ? time >= current.target && current.target > 0
                                            : time > current.target;
        if (late && RequestReseek(current.serial))
            return;
    }
    first = false;
    if (frame.width <= 0 || frame.height <= 0)
        return;
    const std::optional<StreamTime> previous = std::exchange(lastDecoded, time);
    if (time < current.target) {
        if (current.fillCache)
            Hold(frame, time, previous);
        return;
    }
    CacheHeld();
    DecodedFrame decoded{frames.TakeBuffer(), time, previous, current.serial, false, traits};
    // No rows converted: the buffer holds no picture.
    if (converter.Convert(frame, width, height, decoded.pixels))
        frames.Push(std::move(decoded));
    FillRestHeld();
}

void MediaStream::Impl::Hold(const AVFrame& frame, StreamTime time,
                             std::optional<StreamTime> previous) {
    FramePtr reference(av_frame_clone(&frame));
    if (!reference)
        return;
    held.push_back({std::move(reference), time, previous});
    const std::size_t kept = cache.FramesFitting(PixelBuffer::BytesFor(width, height));
    while (held.size() > kept)
        held.pop_front();
}

// The frame just before the target is converted first, so that a step back
// shows it as soon as the target frame follows; the rest of the stretch is
// converted after, newest first, into places the cache holds for them.
void MediaStream::Impl::CacheHeld() {
    if (held.empty())
        return;
    for (const HeldFrame& item : held)
        cache.Reserve(item.time, item.previous);
    std::vector<PixelBuffer> dropped;
    FillHeld(held.back(), dropped);
    held.pop_back();
    frames.GiveBack(std::move(dropped));
}

void MediaStream::Impl::FillRestHeld() {
    // Each picture the full cache drops takes the next frame: the memory in
    // use stays at the budget, and no fresh block is touched page by page.
    std::vector<PixelBuffer> dropped;
    for (; !held.empty(); held.pop_back())
        FillHeld(held.back(), dropped);
    frames.GiveBack(std::move(dropped));
}

void MediaStream::Impl::FillHeld(HeldFrame& item, std::vector<PixelBuffer>& dropped) {
    PixelBuffer pixels;
    if (dropped.empty()) {
        pixels = frames.TakeBuffer();
    } else {
        pixels = std::move(dropped.back());
        dropped.pop_back();
    }
    const bool converted = converter.Convert(*item.frame, width, height, pixels);
    item.frame.reset();
    if (!converted)
        dropped.push_back(std::move(pixels));
    cache.Fill(item.time, converted ? &pixels : nullptr, dropped);
}

// ---- audio decoder thread ----

void MediaStream::Impl::AudioLoop() {
    SoundFeeder feeder(*sound, audioTimeBase, origin);
    int serial = -1;
    while (auto item = audioPackets.Get()) {
        if (item->epoch.serial != serial) {
            audio->Flush();
            serial = item->epoch.serial;
            feeder.Restart(serial, item->epoch.target);
        }
        audio->Decode(item->packet.get(), [&](AVFrame& frame) { feeder.Feed(frame); });
        if (!item->packet)
            audio->Flush();
    }
}

// ---- public operations ----

MediaStream::MediaStream(MediaStreamOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {
    // Nothing is logged: damaged input is handled, not reported on stderr.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
}

MediaStream::~MediaStream() = default;

OpenResult MediaStream::OpenFile(const std::filesystem::path& path) {
    if (impl_->opened)
        return {OpenFailure::Unreadable, "a file is open already"};
    OpenResult result = impl_->Open(path, 0);
    if (!result)
        impl_ = std::make_unique<Impl>(impl_->options);
    return result;
}

bool MediaStream::HasVideo() const {
    return impl_->video != nullptr;
}
VideoFormat MediaStream::Format() const {
    return impl_->videoFormat;
}
int MediaStream::VideoWidth() const {
    return impl_->width;
}
int MediaStream::VideoHeight() const {
    return impl_->height;
}
bool MediaStream::HasSound() const {
    return impl_->sound != nullptr && impl_->sound->WaitUntilStarted(kSoundDeviceWait);
}

void MediaStream::SetState(StreamState state) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->SetRunning(state == StreamState::Run);
    }
    impl_->frames.Wake();
}

StreamState MediaStream::State() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->running ? StreamState::Run : StreamState::Stop;
}

bool MediaStream::Seek(StreamTime position) {
    if (position < 0 || !impl_->Decoding())
        return false;
    std::lock_guard lock(impl_->mutex);
    impl_->Reposition(position, false);
    impl_->AwaitSound(position);
    impl_->lastTime = position;
    impl_->shown.reset();
    impl_->shownTraits.reset();
    return true;
}

StreamTime MediaStream::GetTime() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lastTime;
}

std::optional<StreamTime> MediaStream::GetDuration() const {
    std::lock_guard lock(impl_->mutex);
    // A duration the file gave too short grows as playback passes it.
    if (impl_->latestFrameTime > impl_->duration.value_or(0))
        return impl_->latestFrameTime;
    return impl_->duration;
}

void MediaStream::WaitForDue(std::chrono::nanoseconds maxWait, std::stop_token stop) {
    if (!impl_->Decoding())
        return;
    // A stop request wakes the wait at once.
    std::stop_callback wake(stop, [this] { impl_->frames.Wake(); });
    const auto deadline = std::chrono::steady_clock::now() + maxWait;
    while (!stop.stop_requested()) {
        const std::uint64_t version = impl_->frames.Version();
        std::chrono::nanoseconds untilDue = kWaitSlice;
        {
            std::lock_guard lock(impl_->mutex);
            if (!impl_->running || impl_->aborted)
                return;
            impl_->FollowSound();
            const Front front = impl_->frames.Peek(impl_->epoch.serial);
            if (front.kind == FrontKind::EndOfStream)
                return;
            if (front.kind == FrontKind::Frame) {
                untilDue = impl_->clock.TimeUntil(front.time);
                if (untilDue.count() == 0)
                    return;
            }
        }
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero())
            return;
        impl_->frames.WaitForChange(
            version, std::min({untilDue, std::chrono::nanoseconds(kWaitSlice),
                               std::chrono::duration_cast<std::chrono::nanoseconds>(left)}));
    }
}

FetchResult MediaStream::Update(const FrameTarget& target, Delivery delivery) {
    if (!impl_->Decoding())
        return FetchResult::NotRunning;
    std::lock_guard lock(impl_->mutex);
    if (!impl_->running)
        return FetchResult::NotRunning;
    impl_->FollowSound();
    const int serial = impl_->epoch.serial;
    if (delivery == Delivery::SkipLate) {
        // Kept all the same: stepping back needs them.
        for (DecodedFrame& late : impl_->frames.DropLate(serial, impl_->clock.Position()))
            impl_->Keep(std::move(late));
    }
    const Front front = impl_->frames.Peek(serial);
    if (front.kind == FrontKind::EndOfStream)
        return FetchResult::EndOfStream;
    if (front.kind == FrontKind::Empty || impl_->clock.Position() < front.time)
        return FetchResult::Pending;
    impl_->TakeFront(&target);
    impl_->HandOver(front.time);
    return FetchResult::Frame;
}

FetchResult MediaStream::Fetch(const FrameTarget& target,
                               std::optional<std::chrono::nanoseconds> maxWait,
                               std::stop_token stop) {
    while (true) {
        WaitForDue(maxWait.value_or(std::chrono::hours(1)), stop);
        if (stop.stop_requested())
            return FetchResult::Pending;
        const FetchResult result = Update(target);
        if (result != FetchResult::Pending || maxWait)
            return result;
    }
}

// ---- stepping ----

void MediaStream::Impl::SetRunning(bool run) {
    running = run;
    if (running) {
        clock.Start();
        AwaitSound(clock.Position());
    } else {
        clock.Stop();
    }
    if (sound)
        sound->SetRunning(running);
}

void MediaStream::Impl::Reposition(StreamTime position, bool fillCache) {
    epoch.target = position;
    epoch.fillCache = fillCache;
    StartEpoch(position);
    clock.Set(position);
}

Front MediaStream::Impl::AwaitFront(std::unique_lock<std::mutex>& lock, std::stop_token stop) {
    while (true) {
        const std::uint64_t version = frames.Version();
        const Front front = frames.Peek(epoch.serial);
        if (front.kind != FrontKind::Empty || aborted || stop.stop_requested())
            return front;
        lock.unlock();
        frames.WaitForChange(version, kWaitSlice);
        lock.lock();
    }
}

void MediaStream::Impl::TakeFront(const FrameTarget* target) {
    std::optional<DecodedFrame> frame = frames.Take(epoch.serial);
    if (!frame)
        return;
    if (target != nullptr) {
        if (target->bits != nullptr)
            CopyFrame(frame->pixels, *target);
        shownTraits = frame->traits;
    }
    Keep(std::move(*frame));
}

void MediaStream::Impl::Keep(DecodedFrame frame) {
    std::vector<PixelBuffer> dropped;
    cache.Add(frame.time, frame.previous, std::move(frame.pixels), dropped);
    frames.GiveBack(std::move(dropped));
}

bool MediaStream::Impl::ShowCached(StreamTime time, const FrameTarget& target) {
    const bool found = cache.Use(time, [&](const PixelBuffer& pixels) {
        if (target.bits != nullptr)
            CopyFrame(pixels, target);
    });
    if (found) {
        HandOver(time);
        shownTraits.reset();
    }
    return found;
}

void MediaStream::Impl::HandOver(StreamTime time) {
    shown = time;
    lastTime = time;
    latestFrameTime = std::max(latestFrameTime, time);
}

StepResult MediaStream::Impl::StepForward(std::unique_lock<std::mutex>& lock,
                                          const FrameTarget& target, std::stop_token stop) {
    SetRunning(false);
    if (shown) {
        if (const auto next = cache.After(*shown); next && ShowCached(*next, target))
            return StepResult::Frame;
    }
    bool sought = false;
    while (true) {
        const Front front = AwaitFront(lock, stop);
        if (aborted || stop.stop_requested())
            return StepResult::Interrupted;
        if (front.kind == FrontKind::EndOfStream)
            return StepResult::AtEnd;
        if (shown && front.time <= *shown) {
            TakeFront(nullptr); // shown already
            continue;
        }
        if (!shown || sought || front.previous == shown) {
            TakeFront(&target);
            HandOver(front.time);
            return StepResult::Frame;
        }
        // The queue goes on from elsewhere (it was left after a step back):
        // decode again from just after the frame shown.
        Reposition(*shown + 1, false);
        sought = true;
    }
}

StepResult MediaStream::Impl::StepBack(std::unique_lock<std::mutex>& lock,
                                       const FrameTarget& target, std::stop_token stop) {
    if (!shown)
        return StepForward(lock, target, stop);
    SetRunning(false);
    const StreamTime current = *shown;
    if (const auto previous = cache.Before(current); previous && ShowCached(*previous, target))
        return StepResult::Frame;
    // Every frame counts from the first frame's time: nothing lies before it.
    if (current <= 0)
        return StepResult::AtStart;
    Reposition(current, true);
    const Front front = AwaitFront(lock, stop);
    if (aborted || stop.stop_requested())
        return StepResult::Interrupted;
    // The first frame at or after the one left knows the frame decoded before
    // it, which the video thread has cached by now.
    if (front.kind == FrontKind::Frame && front.previous && *front.previous < current) {
        if (front.time == current)
            cache.Link(current, *front.previous);
        if (ShowCached(*front.previous, target))
            return StepResult::Frame;
    }
    return StepResult::AtStart;
}

StepResult MediaStream::StepForward(const FrameTarget& target, std::stop_token stop) {
    if (!impl_->Decoding())
        return StepResult::Interrupted;
    std::stop_callback wake(stop, [this] { impl_->frames.Wake(); });
    std::unique_lock lock(impl_->mutex);
    return impl_->StepForward(lock, target, stop);
}

StepResult MediaStream::StepBack(const FrameTarget& target, std::stop_token stop) {
    if (!impl_->Decoding())
        return StepResult::Interrupted;
    std::stop_callback wake(stop, [this] { impl_->frames.Wake(); });
    std::unique_lock lock(impl_->mutex);
    return impl_->StepBack(lock, target, stop);
}

std::optional<std::int64_t> MediaStream::FrameNumberOf(StreamTime time) const {
    std::lock_guard lock(impl_->indexMutex);
    if (!impl_->frameIndex)
        return std::nullopt;
    return impl_->frameIndex->NumberOf(time);
}

bool MediaStream::FrameNumbersKnown() const {
    std::lock_guard lock(impl_->indexMutex);
    return impl_->frameIndex != nullptr;
}

std::optional<StreamTime> MediaStream::TimeOfFrame(std::int64_t number) const {
    std::lock_guard lock(impl_->indexMutex);
    if (!impl_->frameIndex)
        return std::nullopt;
    return impl_->frameIndex->TimeOf(number);
}

bool MediaStream::WaitForFrameNumbers(std::stop_token stop) const {
    std::unique_lock lock(impl_->indexMutex);
    impl_->indexEnded.wait(lock, stop, [&] { return !impl_->indexing; });
    return impl_->frameIndex != nullptr;
}

std::optional<FrameTraits> MediaStream::ShownFrameTraits() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->shownTraits;
}

std::size_t MediaStream::CachedFrames() const {
    return impl_->cache.Count();
}

std::size_t MediaStream::CachedBytes() const {
    return impl_->cache.Bytes();
}

} // namespace media
