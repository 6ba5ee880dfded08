#include "media/frame_queue.h"

namespace media {

FrameQueue::FrameQueue(std::size_t capacity)
    : capacity_(capacity) {}

PixelBuffer FrameQueue::TakeBuffer() {
    std::lock_guard lock(mutex_);
    if (spare_.empty())
        return {};
    PixelBuffer buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
}

void FrameQueue::GiveBack(std::vector<PixelBuffer> buffers) {
    std::lock_guard lock(mutex_);
    for (PixelBuffer& buffer : buffers) {
        if (spare_.size() >= capacity_)
            break;
        spare_.push_back(std::move(buffer));
    }
}

bool FrameQueue::Push(DecodedFrame frame) {
    std::unique_lock lock(mutex_);
    changed_.wait(
        lock, [&] { return aborted_ || frame.serial != serial_ || frames_.size() < capacity_; });
    if (aborted_ || frame.serial != serial_)
        return false;
    frames_.push_back(std::move(frame));
    Changed();
    return true;
}

void FrameQueue::DropStale(int serial) {
    while (!frames_.empty() && frames_.front().serial != serial) {
        if (spare_.size() < capacity_)
            spare_.push_back(std::move(frames_.front().pixels));
        frames_.pop_front();
        Changed();
    }
}

Front FrameQueue::Peek(int serial) {
    std::lock_guard lock(mutex_);
    DropStale(serial);
    if (frames_.empty())
        return {};
    const DecodedFrame& front = frames_.front();
    if (front.endOfStream)
        return {FrontKind::EndOfStream, 0, std::nullopt};
    return {FrontKind::Frame, front.time, front.previous};
}

std::vector<DecodedFrame> FrameQueue::DropLate(int serial, StreamTime position) {
    std::lock_guard lock(mutex_);
    DropStale(serial);
    std::vector<DecodedFrame> late;
    while (frames_.size() >= 2 && !frames_[1].endOfStream && frames_[1].time <= position) {
        late.push_back(std::move(frames_.front()));
        frames_.pop_front();
        Changed();
    }
    return late;
}

std::optional<DecodedFrame> FrameQueue::Take(int serial) {
    std::lock_guard lock(mutex_);
    DropStale(serial);
    if (frames_.empty() || frames_.front().endOfStream)
        return std::nullopt;
    std::optional<DecodedFrame> front(std::move(frames_.front()));
    frames_.pop_front();
    Changed();
    return front;
}

std::uint64_t FrameQueue::Version() {
    std::lock_guard lock(mutex_);
    return version_;
}

void FrameQueue::WaitForChange(std::uint64_t version, std::chrono::nanoseconds maxWait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, maxWait, [&] { return aborted_ || version_ != version; });
}

void FrameQueue::Wake() {
    std::lock_guard lock(mutex_);
    Changed();
}

void FrameQueue::Flush(int serial) {
    std::lock_guard lock(mutex_);
    serial_ = serial;
    DropStale(serial);
    Changed();
}

void FrameQueue::Abort() {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    frames_.clear();
    Changed();
}

void FrameQueue::Changed() {
    ++version_;
    changed_.notify_all();
}

} // namespace media
