// A read-only multimedia stream of one file on FFmpeg: a primary video stream
// that delivers decoded frames, converted to 32 bits, into a sample surface of
// the video's own size; the default sound output; run and stop; seek; time and
// duration in 100 ns units.
//
// Threads: opening starts a demuxing thread and a decoder thread per stream;
// they decode ahead into a small frame queue and are joined by the destructor.
// Every public operation is thread-safe. Update hands over frames in order
// when the pacing clock reaches their time; it skips a frame only when asked
// to drop late ones. While sound plays, the pacing clock follows it.
#pragma once

#include "media/frame_traits.h"
#include "media/pacing_clock.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>

namespace media {

enum class StreamState { Stop, Run };

// What a fetch found: a frame handed over; nothing due yet (or the wait bound
// passed first); the end of the stream; or a stream that is not running.
enum class FetchResult { Frame, Pending, EndOfStream, NotRunning };

enum class AudioMode { DefaultOutput, Silent };

// Whether interlaced video is deinterlaced: as the stream or its frames say,
// always, or never.
enum class Deinterlace { Auto, On, Off };

// Which frame a fetch hands over when the clock has passed several: every
// frame in order (a worker that keeps them all), or the latest one due,
// dropping those already late for display (playback on screen).
enum class Delivery { EveryFrame, SkipLate };

// A 32-bit destination (bytes blue, green, red, unused), borrowed for one call.
// Frames are copied into its top-left corner, clipped to its size.
struct FrameTarget {
    std::uint8_t* bits = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
};

// What a step found: a frame handed over; no frame before the first one or
// after the last; or nothing, because a stop was requested or nothing is open.
enum class StepResult { Frame, AtStart, AtEnd, Interrupted };

// An exact ratio as the file states it.
struct Ratio {
    std::int64_t num = 0;
    std::int64_t den = 1;
};

// The video stream as the file describes it, turned as it is shown: a
// portrait phone video stored 1920 x 1080 is 1080 x 1920 here.
struct VideoFormat {
    std::string codec; // FFmpeg's short name of the decoder, e.g. "h264"
    int width = 0;
    int height = 0;
    // The shape of one pixel, turned with the picture; 1:1 when the file
    // does not say.
    Ratio sampleAspect{1, 1};
    // The turn applied to the stored pixels, in degrees clockwise (0, 90,
    // 180 or 270), then a left-right flip when mirrored.
    int rotation = 0;
    bool mirrored = false;
    // The unit of FrameTraits::timestamp, in seconds.
    Ratio timeBase{1, 1};
    // Frames per second as the stream states or FFmpeg guesses them; 0/1
    // when neither knows.
    Ratio frameRate{0, 1};
    // When the file says it was made, as it says it (the container's
    // "creation_time", ISO 8601, e.g. "2024-05-06T07:08:09.000000Z");
    // empty when it does not.
    std::string creationTime;
};

// The size a player shows a picture of width x height at: its pixels made
// square, by widening for wide pixels and heightening for narrow ones, so
// that no stored pixel is lost. Each side is at least 1 and at most
// picture::kMaxSide.
std::pair<int, int> DisplaySize(int width, int height, Ratio sampleAspect);

// Why a file did not open.
enum class OpenFailure {
    None,
    // Missing, not a seekable file, or not in a format FFmpeg reads.
    Unreadable,
    // The video stream's codec has no decoder here.
    UnsupportedCodec,
    // A video stream of which not one frame decodes (a file cut after its
    // headers): opening it would show black.
    NoDecodableFrame,
};

// What opening found: nothing wrong, or the failure and its cause in words
// for the user ("no such file", "is a folder", FFmpeg's own reason).
struct OpenResult {
    OpenFailure failure = OpenFailure::None;
    std::string cause;
    explicit operator bool() const { return failure == OpenFailure::None; }
};

struct MediaStreamOptions {
    std::shared_ptr<const TimeSource> timeSource = DefaultTimeSource();
    AudioMode audio = AudioMode::DefaultOutput;
    // Memory for the pictures of recently decoded frames, which stepping back
    // shows without decoding.
    std::size_t frameCacheBytes = std::size_t{256} << 20;
    Deinterlace deinterlace = Deinterlace::Auto;
    // Decode only the keyframes, which the decoder can show on their own:
    // stepping forward goes from one to the next without decoding the
    // pictures between them.
    bool keyframesOnly = false;
};

class MediaStream {
public:
    explicit MediaStream(MediaStreamOptions options = {});
    ~MediaStream();
    MediaStream(const MediaStream&) = delete;
    MediaStream& operator=(const MediaStream&) = delete;

    // Opens path for reading (a ".asx" redirector opens the local file it
    // names). Fails when the file cannot be read, its video cannot be
    // decoded, or it is a pipe or device (read more than once, it would
    // block or come out short). A file without video opens; HasVideo then
    // says so. Call once.
    OpenResult OpenFile(const std::filesystem::path& path);

    bool HasVideo() const;
    // Empty without a video stream.
    VideoFormat Format() const;
    // The video's own size in pixels: the size of the sample surface.
    int VideoWidth() const;
    int VideoHeight() const;

    // Run starts the pacing clock at the current position; Stop freezes it.
    void SetState(StreamState state);
    StreamState State() const;
    // The next frame handed over is the first whose time is at or after
    // position (0 is the first frame of the file). False for a negative position.
    bool Seek(StreamTime position);
    // The time of the frame last handed over, or the seek position when none
    // has been handed over since the last seek.
    StreamTime GetTime() const;
    // None when the file does not say. Grows to the time of the latest frame
    // handed over when playback passes it.
    std::optional<StreamTime> GetDuration() const;

    // True when sound plays on an output device. May wait a few seconds for
    // the device to start: not for the user-interface thread.
    bool HasSound() const;

    // Waits, at most maxWait, until Update would not return Pending. A stop
    // request ends the wait at once.
    void WaitForDue(std::chrono::nanoseconds maxWait, std::stop_token stop = {});
    // Copies the next frame into target when the clock has reached its time.
    // Does not wait.
    FetchResult Update(const FrameTarget& target, Delivery delivery = Delivery::EveryFrame);
    // WaitForDue then Update; no bound waits for as long as it takes. Pending
    // when stop was requested first.
    FetchResult Fetch(const FrameTarget& target,
                      std::optional<std::chrono::nanoseconds> maxWait = std::nullopt,
                      std::stop_token stop = {});

    // Frame by frame: each stops the stream first, then copies the frame
    // just after (before) the one last handed over into target and hands it
    // over. Without a frame handed over since the last seek, both hand over
    // the first frame at or after the seek position. Stepping back shows
    // cached frames at once; before them it decodes from the keyframe before,
    // caching the stretch up to the frame it left. Forward decodes one frame.
    StepResult StepForward(const FrameTarget& target, std::stop_token stop = {});
    StepResult StepBack(const FrameTarget& target, std::stop_token stop = {});

    // The number of the frame at time (as GetTime counts), the first frame of
    // the file being 0, in presentation order. None until a pass over the
    // file's packets, started when it opens, has counted every frame.
    std::optional<std::int64_t> FrameNumberOf(StreamTime time) const;
    bool FrameNumbersKnown() const;
    // The time of frame number, as GetTime counts; none out of range or
    // until the frames are counted.
    std::optional<StreamTime> TimeOfFrame(std::int64_t number) const;
    // How many frames the file holds, once they are counted.
    std::optional<std::int64_t> FrameCount() const;
    // Waits until the count has ended; true when it counted every frame.
    // A stop request ends the wait at once.
    bool WaitForFrameNumbers(std::stop_token stop = {}) const;
    // The exact time and coding of the frame last handed over by Update or a
    // step forward from the decoder; none for one shown from the cache, and
    // none before the first frame.
    std::optional<FrameTraits> ShownFrameTraits() const;
    // The cache of recently decoded pictures, for tests and benchmarks.
    std::size_t CachedFrames() const;
    std::size_t CachedBytes() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace media
