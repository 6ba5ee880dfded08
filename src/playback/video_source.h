// CDShow, the video source: one video file at a time as a read-only media
// stream whose frames arrive in a sample surface of the video's own size and
// are stretched into a target surface (the presenter's off-screen surface);
// play, stop, pause and resume, seek, duration and position.
//
// Threads: every operation may be called from any thread and is serialised by
// one mutex, so the main frame's timer and the capture worker never overlap.
// Render waits for the next frame with that mutex released. Open shows no
// message: it says which step failed and why, and the program words it.
#pragma once

#include "media/media_stream.h"
#include "platform/surface.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

namespace playback {

// How long Render waits for the next frame.
enum class FetchWait {
    // At most about one display frame; when nothing is due by then the target
    // gets the last frame again. For the user-interface thread.
    UpToOneFrame,
    // Until the next frame is due, however long; every frame is delivered.
    UntilNextFrame,
    // UpToOneFrame on the application's main thread, otherwise UntilNextFrame.
    ByThread,
};

struct VideoSourceOptions {
    std::shared_ptr<const media::TimeSource> timeSource = media::DefaultTimeSource();
    media::AudioMode audio = media::AudioMode::DefaultOutput;
    // Memory for recently decoded pictures, which stepping back shows at once.
    std::size_t frameCacheBytes = media::MediaStreamOptions{}.frameCacheBytes;
    media::Deinterlace deinterlace = media::Deinterlace::Auto;
    // Only keyframes are decoded and shown (see media::MediaStreamOptions).
    bool keyframesOnly = false;
    // The bounded wait of FetchWait::UpToOneFrame.
    std::chrono::milliseconds displayFrame{16};
};

// The step of opening a video that failed; the program has a message for each.
enum class OpenStep {
    None,
    StreamObject, // no memory for the stream
    VideoStream,  // no display device to deliver frames into
    File,         // the file cannot be read or its video not decoded
    PrimaryVideo, // the file holds no video stream
    FirstFrame,   // not one frame of its video decodes
    Sample,       // no sample surface of the video's size
};

// What opening found: nothing wrong, or the step that failed and its cause in
// words for the user ("no such file", "no video stream", FFmpeg's reason).
struct OpenResult {
    OpenStep failed = OpenStep::None;
    std::string cause;
    explicit operator bool() const { return failed == OpenStep::None; }
};

// Conversions of the streaming service's 100 ns units, computed in floating
// point and truncated toward zero, as the source reports and seeks; results
// beyond the 32-bit range are clamped.
std::int32_t StreamTimeToSeconds(media::StreamTime time);
std::int32_t StreamTimeToMilliseconds(media::StreamTime time);
media::StreamTime SecondsToStreamTime(std::int32_t seconds);
media::StreamTime MillisecondsToStreamTime(std::int32_t milliseconds);

} // namespace playback

class CDShow {
public:
    using FetchWait = playback::FetchWait;

    explicit CDShow(playback::VideoSourceOptions options = {});
    ~CDShow();
    CDShow(const CDShow&) = delete;
    CDShow& operator=(const CDShow&) = delete;

    // Opens path for playing into surfaces of device; the stream is not yet
    // running (Play starts it). A failure releases whatever was obtained and
    // leaves the source closed. User-interface thread.
    playback::OpenResult Open(const std::filesystem::path& path, platform::DisplayDevice* device);
    // False when nothing was open.
    bool Close();
    // Gives up the stream and the sample surface; open and playing become 0.
    void ReleaseAll();

    // Fetches the next frame into the sample surface and stretches the sample
    // onto destRect of target (borrowed). A fetch that finds the end of the
    // stream, or a stopped stream, clears playing; the target then gets the
    // last frame again. The bounded wait (the user-interface thread) shows the
    // latest frame due, skipping those already late; the unbounded wait (a
    // worker) delivers every frame in order. A stop request ends any wait at
    // once, fetching nothing. False when nothing is open.
    bool Render(platform::Surface* target, platform::Rect destRect,
                FetchWait wait = FetchWait::ByThread, std::stop_token stop = {});

    // Draws the frame last shown again, onto destRect of target as Render
    // does: a copy of it at another size. False when nothing is open.
    bool DrawShownFrame(platform::Surface* target, platform::Rect destRect);

    // Each is false when nothing is open.
    bool Play();
    bool Stop();
    bool PauseToggle();

    // Frame by frame, for the user-interface thread: each pauses a playing
    // source first, then shows the frame after (before) the one on screen, or
    // the first frame at or after position, stretched onto destRect of target
    // as Render does; resuming plays on from the frame shown. At the first or
    // last frame, or with nothing open, nothing changes and the result says why.
    media::StepResult StepForward(platform::Surface* target, platform::Rect destRect);
    media::StepResult StepBack(platform::Surface* target, platform::Rect destRect);
    media::StepResult ShowFrameAt(media::StreamTime position, platform::Surface* target,
                                  platform::Rect destRect);

    // The frame last shown: its time, exactly, and its number in the file
    // (none until the file's frames are counted, or with nothing open).
    media::StreamTime ShownTime();
    std::optional<std::int64_t> ShownFrameNumber();
    // The exact time and coding of the frame last shown, when the stream
    // knows them (see MediaStream::ShownFrameTraits).
    std::optional<media::FrameTraits> ShownFrameTraits();
    // Waits until the open file's frames are counted; true when they were.
    // The source stays usable meanwhile.
    bool WaitForFrameNumbers(std::stop_token stop = {});
    // The time of frame number of the open file; none until counted.
    std::optional<media::StreamTime> TimeOfFrame(std::int64_t number);
    // The number of the open file's last frame; none until counted, or when
    // it holds no frame.
    std::optional<std::int64_t> LastFrameNumber();
    // The video stream as the file describes it; empty with nothing open.
    media::VideoFormat Format();

    // The open file's duration, exactly; none when nothing is open or the
    // stream cannot say.
    std::optional<media::StreamTime> Duration();
    // 0 when nothing is open or the stream cannot say.
    std::int32_t GetDurationSeconds();
    std::int32_t GetPositionMs();
    std::int32_t GetPositionSeconds();
    // The requested position, or 0 when nothing is open or the seek failed.
    std::int32_t SeekMs(std::int32_t milliseconds);
    std::int32_t SeekSeconds(std::int32_t seconds);

    // The video stream's current format: the sample surface's width and height
    // (DDSD_WIDTH | DDSD_HEIGHT). DDERR_GENERIC when nothing is open.
    platform::SurfaceResult GetFormat(platform::SurfaceDescription* format);

    // Flags; readable from any thread without waiting.
    bool IsOpen() const { return open_; }
    bool IsPlaying() const { return playing_; }
    bool IsPaused() const { return paused_; }
    bool RenderEnabled() const { return renderEnabled_; }
    void SetRenderEnabled(bool enabled) { renderEnabled_ = enabled; }
    std::int32_t SavedPositionMs() const { return savedPositionMs_; }
    // Where resuming plays on from: the paused frame's time, exactly.
    media::StreamTime SavedPosition() const { return savedPosition_; }

private:
    // Returns the stream given up, to be destroyed once the lock is released:
    // its destructor joins the stream's threads.
    std::shared_ptr<media::MediaStream> ReleaseAllLocked();
    std::int32_t GetPositionMsLocked() const;
    std::int32_t SeekLocked(media::StreamTime position, std::int32_t requested);
    media::FetchResult UpdateSample(media::Delivery delivery);
    // Pauses when playing, runs step on the sample surface and shows it.
    media::StepResult
    StepLocked(const std::function<media::StepResult(const media::FrameTarget&)>& step,
               platform::Surface* target, platform::Rect destRect);
    void PauseLocked();
    void ShowSample(platform::Surface* target, platform::Rect destRect);
    std::chrono::nanoseconds FetchBound(FetchWait wait) const;

    const playback::VideoSourceOptions options_;
    mutable std::mutex mutex_;

    std::atomic<bool> open_{false};
    std::atomic<bool> playing_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> renderEnabled_{true};
    std::atomic<std::int32_t> savedPositionMs_{0};
    std::atomic<media::StreamTime> savedPosition_{0};
    platform::Rect sampleRect_;

    std::shared_ptr<media::MediaStream> stream_;
    std::shared_ptr<platform::Surface> sampleSurface_;
};
