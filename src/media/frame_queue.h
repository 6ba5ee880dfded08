// A small bounded queue of decoded, converted video frames between the video
// decoder thread and the thread that fetches frames. Frames of an older seek
// serial are dropped when they reach the front.
#pragma once

#include "media/frame_traits.h"
#include "media/pacing_clock.h"
#include "media/pixel_buffer.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace media {

// pixels holds the converted picture, rows top-down; previous is the time of
// the frame decoded just before it since the last seek, when there was one.
// An end-of-stream marker has no pixels.
struct DecodedFrame {
    PixelBuffer pixels;
    StreamTime time = 0;
    std::optional<StreamTime> previous;
    int serial = 0;
    bool endOfStream = false;
    FrameTraits traits;
};

enum class FrontKind { Empty, Frame, EndOfStream };

// What Peek found at the front; time and previous are a frame's.
struct Front {
    FrontKind kind = FrontKind::Empty;
    StreamTime time = 0;
    std::optional<StreamTime> previous;
};

// Thread-safe. One producer; any number of consumers may peek and wait.
class FrameQueue {
public:
    explicit FrameQueue(std::size_t capacity);

    // A pixel buffer to fill, reused from popped frames when possible.
    PixelBuffer TakeBuffer();
    // Keeps buffers for TakeBuffer, up to the queue's capacity.
    void GiveBack(std::vector<PixelBuffer> buffers);
    // Waits while full. Returns false, dropping the frame, when the queue was
    // aborted or flushed to another serial meanwhile.
    bool Push(DecodedFrame frame);

    // What is at the front for serial; stale frames are dropped first.
    Front Peek(int serial);
    // Removes front frames of serial while the one after is due at position,
    // so the front is the latest frame due; returns those removed.
    std::vector<DecodedFrame> DropLate(int serial, StreamTime position);
    // Removes and returns the front frame of serial; none when there is no frame.
    std::optional<DecodedFrame> Take(int serial);

    // A counter that changes on every push, pop, flush, abort and wake.
    std::uint64_t Version();
    // Waits until Version() differs from version, or at most maxWait.
    void WaitForChange(std::uint64_t version, std::chrono::nanoseconds maxWait);
    void Wake();

    void Flush(int serial);
    void Abort();

private:
    void DropStale(int serial);
    void Changed();

    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<DecodedFrame> frames_;
    std::vector<PixelBuffer> spare_;
    std::uint64_t version_ = 0;
    int serial_ = 0;
    bool aborted_ = false;
};

} // namespace media
