// Pictures of recently decoded frames, by time, so that stepping back needs
// no decoding. Each frame may remember the time of the frame decoded just
// before it: only such a link proves that no frame lies between the two, since
// playback skips frames and seeks leave holes. Beyond a byte budget the frame
// added first is dropped first; the newest frame is always kept.
//
// Thread-safe: the video decoder thread adds the frames it decodes before a
// step's target while a fetching thread adds the frames it hands over and
// looks frames up. A place can be reserved for a frame still being
// converted: it counts as cached, and using it waits until it is filled.
#pragma once

#include "media/pacing_clock.h"
#include "media/pixel_buffer.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace media {

class FrameCache {
public:
    explicit FrameCache(std::size_t budgetBytes);

    // Keeps pixels as the frame at time, replacing a frame of the same time;
    // previous is the frame decoded just before it, when known (a link known
    // before is kept). The blocks of frames dropped to keep the budget are
    // appended to dropped, for reuse.
    void Add(StreamTime time, std::optional<StreamTime> previous, PixelBuffer pixels,
             std::vector<PixelBuffer>& dropped);
    // Records that previous is the frame just before the cached frame at time.
    void Link(StreamTime time, StreamTime previous);
    // A place for the frame at time, to be filled; a frame cached already
    // stays as it is.
    void Reserve(StreamTime time, std::optional<StreamTime> previous);
    // Fills the place reserved at time with pixels, or gives it up when
    // pixels is null; nothing when the place was dropped meanwhile.
    void Fill(StreamTime time, PixelBuffer* pixels, std::vector<PixelBuffer>& dropped);

    // The cached frame just before (after) the one at time, when both are
    // cached and known to be neighbours.
    std::optional<StreamTime> Before(StreamTime time) const;
    std::optional<StreamTime> After(StreamTime time) const;
    bool Contains(StreamTime time) const;
    // Calls use with the frame at time, once filled; false when it is not cached.
    bool Use(StreamTime time, const std::function<void(const PixelBuffer&)>& use) const;

    // How many frames of frameBytes the budget holds; at least one.
    std::size_t FramesFitting(std::size_t frameBytes) const;
    std::size_t Count() const;
    std::size_t Bytes() const;
    std::size_t Budget() const { return budget_; }

private:
    struct Entry {
        PixelBuffer pixels;
        std::optional<StreamTime> previous;
        std::uint64_t sequence = 0;
        bool reserved = false; // not filled yet
    };

    void DropOldest(std::vector<PixelBuffer>& dropped);
    void Store(Entry& entry, PixelBuffer pixels, std::vector<PixelBuffer>& dropped);

    const std::size_t budget_;
    mutable std::mutex mutex_;
    mutable std::condition_variable filled_;
    std::map<StreamTime, Entry> entries_;
    // Times in the order added, with the sequence each was added under; an
    // item whose entry was replaced since is skipped when it comes to the front.
    std::deque<std::pair<std::uint64_t, StreamTime>> order_;
    std::uint64_t nextSequence_ = 0;
    std::size_t bytes_ = 0;
};

} // namespace media
