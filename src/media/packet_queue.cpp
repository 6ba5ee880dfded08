#include "media/packet_queue.h"

namespace media {

PacketQueue::PacketQueue(std::size_t capacity)
    : capacity_(capacity) {}

bool PacketQueue::Put(PacketPtr packet, const Epoch& epoch) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
        return aborted_ || epoch.serial != epoch_.serial || items_.size() < capacity_;
    });
    if (aborted_ || epoch.serial != epoch_.serial)
        return false;
    items_.push_back({std::move(packet), epoch});
    changed_.notify_all();
    return true;
}

std::optional<QueuedPacket> PacketQueue::Get() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return aborted_ || !items_.empty(); });
    if (aborted_)
        return std::nullopt;
    QueuedPacket item = std::move(items_.front());
    items_.pop_front();
    changed_.notify_all();
    return item;
}

void PacketQueue::Flush(const Epoch& epoch) {
    std::lock_guard lock(mutex_);
    items_.clear();
    epoch_ = epoch;
    changed_.notify_all();
}

void PacketQueue::Abort() {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    items_.clear();
    changed_.notify_all();
}

} // namespace media
