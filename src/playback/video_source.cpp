#include "playback/video_source.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <limits>
#include <new>

namespace playback {

namespace {

constexpr double kUnitsPerSecond = 1e7;
constexpr double kUnitsPerMillisecond = 1e4;

std::int32_t TruncateToInt32(double value) {
    if (!(value > std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (value >= std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

} // namespace

std::int32_t StreamTimeToSeconds(media::StreamTime time) {
    return TruncateToInt32(static_cast<double>(time) / kUnitsPerSecond);
}

std::int32_t StreamTimeToMilliseconds(media::StreamTime time) {
    return TruncateToInt32(static_cast<double>(time) / kUnitsPerMillisecond);
}

media::StreamTime SecondsToStreamTime(std::int32_t seconds) {
    return static_cast<media::StreamTime>(kUnitsPerSecond * seconds);
}

media::StreamTime MillisecondsToStreamTime(std::int32_t milliseconds) {
    return static_cast<media::StreamTime>(kUnitsPerMillisecond * milliseconds);
}

} // namespace playback

using namespace playback;

CDShow::CDShow(VideoSourceOptions options)
    : options_(std::move(options)) {}

CDShow::~CDShow() {
    ReleaseAll();
}

OpenResult CDShow::Open(const std::filesystem::path& path, platform::DisplayDevice* device) {
    std::shared_ptr<media::MediaStream> stream;
    std::shared_ptr<platform::Surface> sample;
    {
        std::unique_lock lock(mutex_);
        // A source holds one file at a time; the old stream ends unlocked.
        std::shared_ptr<media::MediaStream> previous = ReleaseAllLocked();
        lock.unlock();
    }
    try {
        stream = std::make_shared<media::MediaStream>(media::MediaStreamOptions{
            options_.timeSource, options_.audio, options_.frameCacheBytes, options_.deinterlace,
            options_.keyframesOnly});
    } catch (const std::bad_alloc&) {
        return {OpenStep::StreamObject, "out of memory"};
    }
    // The video stream delivers into surfaces of this device.
    if (!device)
        return {OpenStep::VideoStream, "no display device"};
    // Sound needs no step of its own: without an output device the file plays
    // silently, which is not a failure.
    if (media::OpenResult opened = stream->OpenFile(path); !opened) {
        const bool noFrame = opened.failure == media::OpenFailure::NoDecodableFrame;
        return {noFrame ? OpenStep::FirstFrame : OpenStep::File, std::move(opened.cause)};
    }
    if (!stream->HasVideo())
        return {OpenStep::PrimaryVideo, "no video stream"};
    platform::SurfaceDescription description;
    description.flags = platform::DDSD_CAPS | platform::DDSD_WIDTH | platform::DDSD_HEIGHT;
    description.caps = platform::DDSCAPS_OFFSCREENPLAIN;
    description.width = stream->VideoWidth();
    description.height = stream->VideoHeight();
    if (description.width <= 0 || description.height <= 0 ||
        device->CreateSurface(description, &sample) != platform::DD_OK || !sample)
        return {OpenStep::Sample, "frame size " + std::to_string(description.width) + "x" +
                                      std::to_string(description.height) + " is not supported"};
    std::lock_guard lock(mutex_);
    stream_ = std::move(stream);
    sampleSurface_ = std::move(sample);
    sampleRect_ = {0, 0, description.width, description.height};
    open_ = true;
    return {};
}

bool CDShow::Close() {
    std::unique_lock lock(mutex_);
    if (!open_)
        return false;
    const std::shared_ptr<media::MediaStream> stream = ReleaseAllLocked();
    lock.unlock();
    return true;
}

void CDShow::ReleaseAll() {
    std::unique_lock lock(mutex_);
    const std::shared_ptr<media::MediaStream> stream = ReleaseAllLocked();
    lock.unlock();
}

std::shared_ptr<media::MediaStream> CDShow::ReleaseAllLocked() {
    open_ = false;
    playing_ = false;
    // The next file starts playing, not paused on nothing.
    paused_ = false;
    // A Render waiting with the lock released keeps its own reference; the
    // stream stops when the last one goes.
    if (stream_)
        stream_->SetState(media::StreamState::Stop);
    sampleSurface_.reset();
    sampleRect_ = {};
    return std::move(stream_);
}

std::chrono::nanoseconds CDShow::FetchBound(FetchWait wait) const {
    if (wait == FetchWait::ByThread) {
        const QCoreApplication* application = QCoreApplication::instance();
        const bool mainThread = application && QThread::currentThread() == application->thread();
        wait = mainThread ? FetchWait::UpToOneFrame : FetchWait::UntilNextFrame;
    }
    if (wait == FetchWait::UpToOneFrame)
        return options_.displayFrame;
    return std::chrono::hours(1);
}

media::FetchResult CDShow::UpdateSample(media::Delivery delivery) {
    platform::LockedSurface locked;
    if (sampleSurface_->Lock(&locked, platform::DDLOCK_WAIT) != platform::DD_OK)
        return stream_->Update({}, delivery); // consumed; the sample keeps the last frame
    const media::FetchResult result =
        stream_->Update({locked.bits, locked.pitch, locked.width, locked.height}, delivery);
    sampleSurface_->Unlock();
    return result;
}

bool CDShow::Render(platform::Surface* target, platform::Rect destRect, FetchWait wait,
                    std::stop_token stop) {
    const bool unbounded = FetchBound(wait) >= std::chrono::hours(1);
    // Playback on screen shows the latest frame due; a worker keeps every frame.
    const media::Delivery delivery =
        unbounded ? media::Delivery::EveryFrame : media::Delivery::SkipLate;
    std::unique_lock lock(mutex_);
    if (!open_)
        return false;
    media::FetchResult result = media::FetchResult::Pending;
    while (true) {
        // Wait with the lock released, so the timer's calls go on meanwhile.
        std::shared_ptr<media::MediaStream> stream = stream_;
        lock.unlock();
        stream->WaitForDue(FetchBound(wait), stop);
        lock.lock();
        if (!open_ || stream_ != stream) {
            // Closed or replaced while waiting: the last reference ends unlocked.
            lock.unlock();
            stream.reset();
            lock.lock();
            return open_;
        }
        if (stop.stop_requested())
            break; // the target gets the last frame again
        result = UpdateSample(delivery);
        if (result != media::FetchResult::Pending || !unbounded)
            break;
    }
    if (result == media::FetchResult::EndOfStream || result == media::FetchResult::NotRunning)
        playing_ = false;
    ShowSample(target, destRect);
    return true;
}

void CDShow::ShowSample(platform::Surface* target, platform::Rect destRect) {
    if (!target)
        return;
    const platform::SurfaceResult blit = target->Blt(&destRect, sampleSurface_.get(), &sampleRect_,
                                                     platform::DDBLT_WAIT | platform::kBltSmooth);
    if (blit == platform::DDERR_SURFACELOST)
        target->Restore();
}

bool CDShow::DrawShownFrame(platform::Surface* target, platform::Rect destRect) {
    std::lock_guard lock(mutex_);
    if (!open_ || !sampleSurface_)
        return false;
    ShowSample(target, destRect);
    return true;
}

bool CDShow::Play() {
    std::lock_guard lock(mutex_);
    if (!open_)
        return false;
    stream_->Seek(0);
    stream_->SetState(media::StreamState::Run);
    playing_ = true;
    return true;
}

bool CDShow::Stop() {
    std::lock_guard lock(mutex_);
    if (!open_)
        return false;
    stream_->SetState(media::StreamState::Stop);
    playing_ = false;
    return true;
}

bool CDShow::PauseToggle() {
    std::lock_guard lock(mutex_);
    if (!open_)
        return false;
    if (!paused_) {
        PauseLocked();
    } else {
        // From the paused frame's own time: a time in whole milliseconds could
        // fall before it, and the frame before would show again.
        SeekLocked(savedPosition_, savedPositionMs_);
        paused_ = false;
        playing_ = true;
    }
    return true;
}

void CDShow::PauseLocked() {
    stream_->SetState(media::StreamState::Stop);
    savedPosition_ = stream_->GetTime();
    savedPositionMs_ = StreamTimeToMilliseconds(savedPosition_);
    paused_ = true;
    playing_ = false;
}

media::StepResult
CDShow::StepLocked(const std::function<media::StepResult(const media::FrameTarget&)>& step,
                   platform::Surface* target, platform::Rect destRect) {
    if (!open_)
        return media::StepResult::Interrupted;
    if (!paused_)
        PauseLocked();
    platform::LockedSurface locked;
    if (sampleSurface_->Lock(&locked, platform::DDLOCK_WAIT) != platform::DD_OK)
        return media::StepResult::Interrupted;
    const media::StepResult result = step({locked.bits, locked.pitch, locked.width, locked.height});
    sampleSurface_->Unlock();
    if (result == media::StepResult::Frame) {
        savedPosition_ = stream_->GetTime();
        savedPositionMs_ = StreamTimeToMilliseconds(savedPosition_);
        ShowSample(target, destRect);
    }
    return result;
}

media::StepResult CDShow::StepForward(platform::Surface* target, platform::Rect destRect) {
    std::lock_guard lock(mutex_);
    return StepLocked(
        [this](const media::FrameTarget& sample) { return stream_->StepForward(sample); }, target,
        destRect);
}

media::StepResult CDShow::StepBack(platform::Surface* target, platform::Rect destRect) {
    std::lock_guard lock(mutex_);
    return StepLocked(
        [this](const media::FrameTarget& sample) { return stream_->StepBack(sample); }, target,
        destRect);
}

media::StepResult CDShow::ShowFrameAt(media::StreamTime position, platform::Surface* target,
                                      platform::Rect destRect) {
    std::lock_guard lock(mutex_);
    return StepLocked(
        [this, position](const media::FrameTarget& sample) {
            if (!stream_->Seek(std::max<media::StreamTime>(position, 0)))
                return media::StepResult::Interrupted;
            return stream_->StepForward(sample);
        },
        target, destRect);
}

media::StreamTime CDShow::ShownTime() {
    std::lock_guard lock(mutex_);
    return open_ && stream_ ? stream_->GetTime() : 0;
}

std::optional<std::int64_t> CDShow::ShownFrameNumber() {
    std::lock_guard lock(mutex_);
    if (!open_ || !stream_)
        return std::nullopt;
    return stream_->FrameNumberOf(stream_->GetTime());
}

std::optional<media::FrameTraits> CDShow::ShownFrameTraits() {
    std::lock_guard lock(mutex_);
    if (!open_ || !stream_)
        return std::nullopt;
    return stream_->ShownFrameTraits();
}

bool CDShow::WaitForFrameNumbers(std::stop_token stop) {
    std::shared_ptr<media::MediaStream> stream;
    {
        std::lock_guard lock(mutex_);
        if (open_)
            stream = stream_;
    }
    return stream && stream->WaitForFrameNumbers(stop);
}

std::optional<media::StreamTime> CDShow::TimeOfFrame(std::int64_t number) {
    std::lock_guard lock(mutex_);
    if (!open_ || !stream_)
        return std::nullopt;
    return stream_->TimeOfFrame(number);
}

std::optional<std::int64_t> CDShow::LastFrameNumber() {
    std::lock_guard lock(mutex_);
    if (!open_ || !stream_)
        return std::nullopt;
    const std::optional<std::int64_t> count = stream_->FrameCount();
    if (!count || *count == 0)
        return std::nullopt;
    return *count - 1;
}

media::VideoFormat CDShow::Format() {
    std::lock_guard lock(mutex_);
    return open_ && stream_ ? stream_->Format() : media::VideoFormat{};
}

std::optional<media::StreamTime> CDShow::Duration() {
    std::lock_guard lock(mutex_);
    if (!open_ || !stream_)
        return std::nullopt;
    return stream_->GetDuration();
}

std::int32_t CDShow::GetDurationSeconds() {
    std::lock_guard lock(mutex_);
    if (!open_ || !stream_)
        return 0;
    const auto duration = stream_->GetDuration();
    return duration ? StreamTimeToSeconds(*duration) : 0;
}

std::int32_t CDShow::GetPositionMs() {
    std::lock_guard lock(mutex_);
    return GetPositionMsLocked();
}

std::int32_t CDShow::GetPositionMsLocked() const {
    if (!open_ || !stream_)
        return 0;
    return StreamTimeToMilliseconds(stream_->GetTime());
}

std::int32_t CDShow::GetPositionSeconds() {
    std::lock_guard lock(mutex_);
    if (!open_ || !stream_)
        return 0;
    return StreamTimeToSeconds(stream_->GetTime());
}

std::int32_t CDShow::SeekMs(std::int32_t milliseconds) {
    std::lock_guard lock(mutex_);
    return SeekLocked(MillisecondsToStreamTime(milliseconds), milliseconds);
}

std::int32_t CDShow::SeekSeconds(std::int32_t seconds) {
    std::lock_guard lock(mutex_);
    return SeekLocked(SecondsToStreamTime(seconds), seconds);
}

std::int32_t CDShow::SeekLocked(media::StreamTime position, std::int32_t requested) {
    if (!open_ || !stream_)
        return 0;
    stream_->SetState(media::StreamState::Stop);
    if (!stream_->Seek(position))
        return 0; // stays stopped; the flags are unchanged
    stream_->SetState(media::StreamState::Run);
    return requested;
}

platform::SurfaceResult CDShow::GetFormat(platform::SurfaceDescription* format) {
    std::lock_guard lock(mutex_);
    if (!open_ || !sampleSurface_ || !format)
        return platform::DDERR_GENERIC;
    format->flags = platform::DDSD_WIDTH | platform::DDSD_HEIGHT;
    format->width = sampleSurface_->Width();
    format->height = sampleSurface_->Height();
    format->caps = 0;
    return platform::DD_OK;
}
