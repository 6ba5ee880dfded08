#include "media/media_stream.h"

#include "media/audio_decode_loop.h"
#include "media/demux_loop.h"
#include "media/frame_numbering.h"
#include "media/frame_stepper.h"
#include "media/opened_file.h"
#include "media/stream_control.h"
#include "media/stream_queues.h"
#include "media/video_decode_loop.h"
#include "picture/picture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>

namespace media {

std::pair<int, int> DisplaySize(int width, int height, Ratio sampleAspect) {
    double w = width;
    double h = height;
    if (sampleAspect.num > sampleAspect.den && sampleAspect.den > 0)
        w = w * static_cast<double>(sampleAspect.num) / static_cast<double>(sampleAspect.den);
    else if (sampleAspect.num > 0 && sampleAspect.num < sampleAspect.den)
        h = h * static_cast<double>(sampleAspect.den) / static_cast<double>(sampleAspect.num);
    const auto side = [](double value) {
        return static_cast<int>(
            std::clamp(std::lround(value), 1l, static_cast<long>(picture::kMaxSide)));
    };
    return {side(w), side(h)};
}

namespace {

constexpr auto kSoundDeviceWait = std::chrono::seconds(3);

} // namespace

// The stream's parts, grouped by who may touch them; each part's header says
// which thread that is.
struct MediaStream::Impl {
    explicit Impl(MediaStreamOptions streamOptions)
        : options(std::move(streamOptions))
        , queues(options.frameCacheBytes)
        , control(options.timeSource, file, queues)
        , stepper(control, queues) {}
    ~Impl() { StopThreads(); }

    OpenResult Open(const std::filesystem::path& path);
    void StartThreads();
    void StopThreads();

    // Threads run only for a video that can be decoded; set once when opening.
    bool Decoding() const { return demuxThread.joinable(); }

    MediaStreamOptions options;
    // Filled by OpenFile before any other thread starts.
    OpenedFile file;
    // Each guards itself.
    StreamQueues queues;
    // Guarded by control.mutex.
    StreamControl control;
    // Used by the threads that call the public operations, under control.mutex.
    FrameStepper stepper;
    // Its own thread and lock.
    FrameNumbering numbering;

    // Each loop is its thread's alone; made when the threads start.
    std::unique_ptr<DemuxLoop> demuxLoop;
    std::unique_ptr<VideoDecodeLoop> videoLoop;
    std::unique_ptr<AudioDecodeLoop> audioLoop;
    std::thread demuxThread;
    std::thread videoThread;
    std::thread audioThread;
};

OpenResult MediaStream::Impl::Open(const std::filesystem::path& path) {
    OpenResult result = file.Open(path, options.audio);
    if (result && file.decodable)
        StartThreads();
    return result;
}

void MediaStream::Impl::StartThreads() {
    control.StartEpoch(0);
    if (options.keyframesOnly)
        file.video->DecodeKeyframesOnly();
    // Read before the demuxing thread takes the file.
    const PictureSource picture = PictureSourceOf(*file.format->streams[file.videoIndex]);
    demuxLoop = std::make_unique<DemuxLoop>(std::move(file.format), file, control, queues);
    videoLoop = std::make_unique<VideoDecodeLoop>(*file.video, file, control, queues, picture,
                                                  options.deinterlace);
    demuxThread = std::thread([loop = demuxLoop.get()] { loop->Run(); });
    videoThread = std::thread([loop = videoLoop.get()] { loop->Run(); });
    if (file.audio) {
        audioLoop = std::make_unique<AudioDecodeLoop>(*file.audio, *file.sound, file.audioTimeBase,
                                                      file.origin, queues.audioPackets);
        audioThread = std::thread([loop = audioLoop.get()] { loop->Run(); });
    }
    numbering.Start(file.filePath, file.videoIndex);
}

void MediaStream::Impl::StopThreads() {
    {
        std::lock_guard lock(control.mutex);
        control.aborted = true;
    }
    control.demuxWake.notify_all();
    queues.videoPackets.Abort();
    queues.audioPackets.Abort();
    queues.frames.Abort();
    if (file.sound)
        file.sound->Close();
    for (std::thread* thread : {&demuxThread, &videoThread, &audioThread})
        if (thread->joinable())
            thread->join();
    numbering.Stop();
}

MediaStream::MediaStream(MediaStreamOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {
    // Nothing is logged: damaged input is handled, not reported on stderr.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
}

MediaStream::~MediaStream() = default;

OpenResult MediaStream::OpenFile(const std::filesystem::path& path) {
    if (impl_->file.opened)
        return {OpenFailure::Unreadable, "a file is open already"};
    OpenResult result = impl_->Open(path);
    if (!result)
        impl_ = std::make_unique<Impl>(impl_->options);
    return result;
}

bool MediaStream::HasVideo() const {
    return impl_->file.video != nullptr;
}
VideoFormat MediaStream::Format() const {
    return impl_->file.videoFormat;
}
int MediaStream::VideoWidth() const {
    return impl_->file.width;
}
int MediaStream::VideoHeight() const {
    return impl_->file.height;
}
bool MediaStream::HasSound() const {
    return impl_->file.sound != nullptr && impl_->file.sound->WaitUntilStarted(kSoundDeviceWait);
}

void MediaStream::SetState(StreamState state) {
    {
        std::lock_guard lock(impl_->control.mutex);
        impl_->control.SetRunning(state == StreamState::Run);
    }
    impl_->queues.frames.Wake();
}

StreamState MediaStream::State() const {
    std::lock_guard lock(impl_->control.mutex);
    return impl_->control.running ? StreamState::Run : StreamState::Stop;
}

bool MediaStream::Seek(StreamTime position) {
    if (position < 0 || !impl_->Decoding())
        return false;
    StreamControl& control = impl_->control;
    std::lock_guard lock(control.mutex);
    control.Reposition(position, false);
    control.AwaitSound(position);
    control.lastTime = position;
    control.shown.reset();
    control.shownTraits.reset();
    return true;
}

StreamTime MediaStream::GetTime() const {
    std::lock_guard lock(impl_->control.mutex);
    return impl_->control.lastTime;
}

std::optional<StreamTime> MediaStream::GetDuration() const {
    std::lock_guard lock(impl_->control.mutex);
    // A duration the file gave too short grows as playback passes it.
    const StreamTime latest = impl_->control.latestFrameTime;
    if (latest > impl_->file.duration.value_or(0))
        return latest;
    return impl_->file.duration;
}

void MediaStream::WaitForDue(std::chrono::nanoseconds maxWait, std::stop_token stop) {
    if (!impl_->Decoding())
        return;
    StreamControl& control = impl_->control;
    FrameQueue& frames = impl_->queues.frames;
    // A stop request wakes the wait at once.
    std::stop_callback wake(stop, [this] { impl_->queues.frames.Wake(); });
    const auto deadline = std::chrono::steady_clock::now() + maxWait;
    while (!stop.stop_requested()) {
        const std::uint64_t version = frames.Version();
        std::chrono::nanoseconds untilDue = kWaitSlice;
        {
            std::lock_guard lock(control.mutex);
            if (!control.running || control.aborted)
                return;
            control.FollowSound();
            const Front front = frames.Peek(control.epoch.serial);
            if (front.kind == FrontKind::EndOfStream)
                return;
            if (front.kind == FrontKind::Frame) {
                untilDue = control.clock.TimeUntil(front.time);
                if (untilDue.count() == 0)
                    return;
            }
        }
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero())
            return;
        frames.WaitForChange(
            version, std::min({untilDue, std::chrono::nanoseconds(kWaitSlice),
                               std::chrono::duration_cast<std::chrono::nanoseconds>(left)}));
    }
}

FetchResult MediaStream::Update(const FrameTarget& target, Delivery delivery) {
    if (!impl_->Decoding())
        return FetchResult::NotRunning;
    StreamControl& control = impl_->control;
    FrameQueue& frames = impl_->queues.frames;
    std::lock_guard lock(control.mutex);
    if (!control.running)
        return FetchResult::NotRunning;
    control.FollowSound();
    const int serial = control.epoch.serial;
    if (delivery == Delivery::SkipLate) {
        // Kept all the same: stepping back needs them.
        for (DecodedFrame& late : frames.DropLate(serial, control.clock.Position()))
            control.Keep(std::move(late));
    }
    const Front front = frames.Peek(serial);
    if (front.kind == FrontKind::EndOfStream)
        return FetchResult::EndOfStream;
    if (front.kind == FrontKind::Empty || control.clock.Position() < front.time)
        return FetchResult::Pending;
    control.TakeFront(&target);
    control.HandOver(front.time);
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

StepResult MediaStream::StepForward(const FrameTarget& target, std::stop_token stop) {
    if (!impl_->Decoding())
        return StepResult::Interrupted;
    std::stop_callback wake(stop, [this] { impl_->queues.frames.Wake(); });
    std::unique_lock lock(impl_->control.mutex);
    return impl_->stepper.StepForward(lock, target, stop);
}

StepResult MediaStream::StepBack(const FrameTarget& target, std::stop_token stop) {
    if (!impl_->Decoding())
        return StepResult::Interrupted;
    std::stop_callback wake(stop, [this] { impl_->queues.frames.Wake(); });
    std::unique_lock lock(impl_->control.mutex);
    return impl_->stepper.StepBack(lock, target, stop);
}

std::optional<std::int64_t> MediaStream::FrameNumberOf(StreamTime time) const {
    return impl_->numbering.NumberOf(time);
}

bool MediaStream::FrameNumbersKnown() const {
    return impl_->numbering.Known();
}

std::optional<StreamTime> MediaStream::TimeOfFrame(std::int64_t number) const {
    return impl_->numbering.TimeOf(number);
}

std::optional<std::int64_t> MediaStream::FrameCount() const {
    return impl_->numbering.Count();
}

bool MediaStream::WaitForFrameNumbers(std::stop_token stop) const {
    return impl_->numbering.WaitUntilCounted(stop);
}

std::optional<FrameTraits> MediaStream::ShownFrameTraits() const {
    std::lock_guard lock(impl_->control.mutex);
    return impl_->control.shownTraits;
}

std::size_t MediaStream::CachedFrames() const {
    return impl_->queues.cache.Count();
}

std::size_t MediaStream::CachedBytes() const {
    return impl_->queues.cache.Bytes();
}

} // namespace media
