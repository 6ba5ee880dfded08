// The links between a media stream's threads: packets from the demuxing
// thread to each decoder thread, converted frames from the video decoder
// thread to the threads that fetch them, and the pictures kept for stepping
// back. Each one guards itself, so any thread may use them.
#pragma once

#include "media/frame_cache.h"
#include "media/frame_queue.h"
#include "media/packet_queue.h"

#include <cstddef>

namespace media {

struct StreamQueues {
    static constexpr std::size_t kVideoPacketCapacity = 64;
    static constexpr std::size_t kAudioPacketCapacity = 256;
    static constexpr std::size_t kFrameCapacity = 4;

    explicit StreamQueues(std::size_t frameCacheBytes)
        : cache(frameCacheBytes) {}

    PacketQueue videoPackets{kVideoPacketCapacity};
    PacketQueue audioPackets{kAudioPacketCapacity};
    FrameQueue frames{kFrameCapacity};
    FrameCache cache;
};

} // namespace media
