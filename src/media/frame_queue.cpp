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
        spare_.push_back(std::move(frames_.front().pixels));
        frames_.pop_front();
        Changed();
    }
}

FrontKind FrameQueue::Peek(int serial, StreamTime* time) {
    std::lock_guard lock(mutex_);
    DropStale(serial);
    if (frames_.empty())
        return FrontKind::Empty;
    if (frames_.front().endOfStream)
        return FrontKind::EndOfStream;
    if (time)
        *time = frames_.front().time;
    return FrontKind::Frame;
}

void FrameQueue::DropLate(int serial, StreamTime position) {
    std::lock_guard lock(mutex_);
    DropStale(serial);
    while (frames_.size() >= 2 && !frames_[1].endOfStream && frames_[1].time <= position) {
        if (spare_.size() < capacity_)
            spare_.push_back(std::move(frames_.front().pixels));
        frames_.pop_front();
        Changed();
    }
}

bool FrameQueue::Pop(int serial, const std::function<void(const DecodedFrame&)>& use) {
    std::lock_guard lock(mutex_);
    DropStale(serial);
    if (frames_.empty() || frames_.front().endOfStream)
        return false;
    use(frames_.front());
    if (spare_.size() < capacity_)
        spare_.push_back(std::move(frames_.front().pixels));
    frames_.pop_front();
    Changed();
    return true;
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
