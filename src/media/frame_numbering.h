// The frame numbers of a media stream's video: a thread of its own counts
// the frames from one pass over the file's packets while the stream plays,
// and sets the index once. Any thread may ask for numbers meanwhile; the
// index, once set, never changes.
#pragma once

#include "media/frame_index.h"
#include "media/pacing_clock.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace media {

class FrameNumbering {
public:
    // Starts counting the frames of stream videoIndex of the file at path.
    // From the thread that starts the stream, once.
    void Start(const std::filesystem::path& path, int videoIndex);
    // Asks the count to stop and waits for its thread. From the stream's owner.
    void Stop();

    // Thread-safe; none until the frames are counted.
    std::optional<std::int64_t> NumberOf(StreamTime time) const;
    bool Known() const;
    std::optional<StreamTime> TimeOf(std::int64_t number) const;
    // How many frames the file holds; none until they are counted.
    std::optional<std::int64_t> Count() const;
    // Waits until the count has ended; true when it counted every frame.
    bool WaitUntilCounted(std::stop_token stop) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable_any ended_;
    std::shared_ptr<const FrameIndex> index_; // set once by the counting thread
    bool counting_ = false;
    std::jthread thread_;
};

} // namespace media
