#include "media/frame_cache.h"

#include <algorithm>

namespace media {

FrameCache::FrameCache(std::size_t budgetBytes)
    : budget_(budgetBytes) {}

void FrameCache::Add(StreamTime time, std::optional<StreamTime> previous, PixelBuffer pixels,
                     std::vector<PixelBuffer>& dropped) {
    std::lock_guard lock(mutex_);
    Entry& entry = entries_[time];
    if (previous)
        entry.previous = previous;
    entry.sequence = nextSequence_++;
    order_.emplace_back(entry.sequence, time);
    Store(entry, std::move(pixels), dropped);
}

void FrameCache::Store(Entry& entry, PixelBuffer pixels, std::vector<PixelBuffer>& dropped) {
    if (entry.pixels.Bytes() != 0) {
        bytes_ -= entry.pixels.Bytes();
        dropped.push_back(std::move(entry.pixels));
    }
    entry.pixels = std::move(pixels);
    entry.reserved = false;
    bytes_ += entry.pixels.Bytes();
    while (bytes_ > budget_ && entries_.size() > 1)
        DropOldest(dropped);
    filled_.notify_all();
}

void FrameCache::Reserve(StreamTime time, std::optional<StreamTime> previous) {
    std::lock_guard lock(mutex_);
    const auto [found, added] = entries_.try_emplace(time);
    if (previous)
        found->second.previous = previous;
    if (!added)
        return;
    found->second.reserved = true;
    found->second.sequence = nextSequence_++;
    order_.emplace_back(found->second.sequence, time);
}

void FrameCache::Fill(StreamTime time, PixelBuffer* pixels, std::vector<PixelBuffer>& dropped) {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(time);
    if (found == entries_.end() || !found->second.reserved) {
        if (pixels != nullptr)
            dropped.push_back(std::move(*pixels));
        return;
    }
    if (pixels == nullptr) {
        entries_.erase(found);
        filled_.notify_all();
        return;
    }
    Store(found->second, std::move(*pixels), dropped);
}

void FrameCache::DropOldest(std::vector<PixelBuffer>& dropped) {
    while (!order_.empty()) {
        const auto [sequence, time] = order_.front();
        order_.pop_front();
        const auto found = entries_.find(time);
        if (found == entries_.end() || found->second.sequence != sequence)
            continue; // replaced since, and queued again behind
        bytes_ -= found->second.pixels.Bytes();
        if (found->second.pixels.Bytes() != 0)
            dropped.push_back(std::move(found->second.pixels));
        entries_.erase(found);
        filled_.notify_all(); // a place dropped before it was filled
        return;
    }
}

void FrameCache::Link(StreamTime time, StreamTime previous) {
    std::lock_guard lock(mutex_);
    if (const auto found = entries_.find(time); found != entries_.end())
        found->second.previous = previous;
}

std::optional<StreamTime> FrameCache::Before(StreamTime time) const {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(time);
    if (found == entries_.end() || !found->second.previous ||
        !entries_.contains(*found->second.previous))
        return std::nullopt;
    return found->second.previous;
}

std::optional<StreamTime> FrameCache::After(StreamTime time) const {
    std::lock_guard lock(mutex_);
    // Frames come in time order, so the next one is the first later one; it
    // is a neighbour only when it says so.
    const auto next = entries_.upper_bound(time);
    if (next == entries_.end() || next->second.previous != time || !entries_.contains(time))
        return std::nullopt;
    return next->first;
}

bool FrameCache::Contains(StreamTime time) const {
    std::lock_guard lock(mutex_);
    return entries_.contains(time);
}

bool FrameCache::Use(StreamTime time, const std::function<void(const PixelBuffer&)>& use) const {
    std::unique_lock lock(mutex_);
    auto found = entries_.find(time);
    while (found != entries_.end() && found->second.reserved) {
        filled_.wait(lock);
        found = entries_.find(time);
    }
    if (found == entries_.end())
        return false;
    use(found->second.pixels);
    return true;
}

std::size_t FrameCache::FramesFitting(std::size_t frameBytes) const {
    return std::max<std::size_t>(1, frameBytes == 0 ? 1 : budget_ / frameBytes);
}

std::size_t FrameCache::Count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::size_t FrameCache::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

} // namespace media
