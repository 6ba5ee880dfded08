// The state every thread of a media stream shares under one mutex: whether
// the stream runs, the pacing clock, the current epoch and the seek the
// demuxing thread owes it, what was handed over last, and the wait for the
// sound after a start or a seek.
//
// Any thread may touch it while it holds mutex. Every member function expects
// mutex held, except RequestReseek, which takes it.
#pragma once

#include "media/frame_queue.h"
#include "media/media_stream.h"
#include "media/opened_file.h"
#include "media/pacing_clock.h"
#include "media/packet_queue.h"
#include "media/pixel_buffer.h"
#include "media/stream_queues.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace media {

// Waits are cut into slices so an injected time source is noticed promptly.
inline constexpr auto kWaitSlice = std::chrono::milliseconds(10);
// Where an epoch reads from when even a seek to the start landed late.
inline constexpr StreamTime kFromFirstByte = -1;
// ... and when even that found no frame.
inline constexpr StreamTime kReopenFile = -2;

// Copies picture into the top-left corner of target, clipped to its size.
void CopyFrame(const PixelBuffer& picture, const FrameTarget& target);

class StreamControl {
public:
    StreamControl(std::shared_ptr<const TimeSource> timeSource, const OpenedFile& file,
                  StreamQueues& queues);

    // Starts a new epoch that reads the file from readFrom: every queue drops
    // what it holds and the demuxing thread is woken to seek.
    void StartEpoch(StreamTime readFrom);
    // From the video decoder thread, when the epoch serial found no frame
    // early enough: reads again from further back. False when serial is not
    // the current epoch or nothing further back is left to try.
    bool RequestReseek(int serial);

    // Pacing follows the sound while it plays.
    void AwaitSound(StreamTime position);
    void FollowSound();

    void SetRunning(bool run);
    // A new epoch aimed at position; the clock is set there.
    void Reposition(StreamTime position, bool fillCache);
    // Moves the front frame into the cache, copied into target first when given.
    void TakeFront(const FrameTarget* target);
    // Keeps a frame handed over, or dropped as late, for stepping back.
    void Keep(DecodedFrame frame);
    void HandOver(StreamTime time);

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

private:
    const OpenedFile& file_;
    StreamQueues& queues_;
    bool awaitingSound_ = false;
    StreamTime soundStartPosition_ = 0;
    std::chrono::steady_clock::time_point awaitingSince_;
};

} // namespace media
