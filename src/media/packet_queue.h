// A bounded queue of demuxed packets between the demuxing thread and one
// decoder thread. Every item carries the epoch (seek serial and target) it
// belongs to; a flush starts a new epoch and drops everything older.
#pragma once

#include "media/ffmpeg_handles.h"
#include "media/pacing_clock.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace media {

// One seek: its serial number, the stream time it asked for, and where the
// file is read from (the target, or earlier when a seek landed past it).
// A step back fills the frame cache with the frames decoded before its target.
struct Epoch {
    int serial = 0;
    StreamTime target = 0;
    StreamTime readFrom = 0;
    bool fillCache = false;
};

// packet is null for the end-of-stream marker.
struct QueuedPacket {
    PacketPtr packet;
    Epoch epoch;
};

// Thread-safe. Put blocks while full; Get blocks while empty. Abort wakes both.
class PacketQueue {
public:
    explicit PacketQueue(std::size_t capacity);

    // Takes packet (null: end of stream). Returns false, dropping it, when the
    // queue was aborted or flushed to another epoch while waiting.
    bool Put(PacketPtr packet, const Epoch& epoch);
    // Waits for the next item; none once aborted.
    std::optional<QueuedPacket> Get();
    // Drops every item and starts the given epoch.
    void Flush(const Epoch& epoch);
    void Abort();

private:
    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<QueuedPacket> items_;
    Epoch epoch_;
    bool aborted_ = false;
};

} // namespace media
