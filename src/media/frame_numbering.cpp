#include "media/frame_numbering.h"

#include <utility>

namespace media {

void FrameNumbering::Start(const std::filesystem::path& path, int videoIndex) {
    counting_ = true;
    thread_ = std::jthread([this, path, videoIndex](std::stop_token stop) {
        std::optional<FrameIndex> built = BuildFrameIndex(path, videoIndex, stop);
        auto index = built ? std::make_shared<const FrameIndex>(std::move(*built)) : nullptr;
        std::lock_guard lock(mutex_);
        index_ = std::move(index);
        counting_ = false;
        ended_.notify_all();
    });
}

void FrameNumbering::Stop() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

std::optional<std::int64_t> FrameNumbering::NumberOf(StreamTime time) const {
    std::lock_guard lock(mutex_);
    if (!index_)
        return std::nullopt;
    return index_->NumberOf(time);
}

bool FrameNumbering::Known() const {
    std::lock_guard lock(mutex_);
    return index_ != nullptr;
}

std::optional<StreamTime> FrameNumbering::TimeOf(std::int64_t number) const {
    std::lock_guard lock(mutex_);
    if (!index_)
        return std::nullopt;
    return index_->TimeOf(number);
}

std::optional<std::int64_t> FrameNumbering::Count() const {
    std::lock_guard lock(mutex_);
    if (!index_)
        return std::nullopt;
    return static_cast<std::int64_t>(index_->Count());
}

bool FrameNumbering::WaitUntilCounted(std::stop_token stop) const {
    std::unique_lock lock(mutex_);
    ended_.wait(lock, stop, [&] { return !counting_; });
    return index_ != nullptr;
}

} // namespace media
