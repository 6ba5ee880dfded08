#include "media/stream_control.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace media {

namespace {

// How far each repeated seek steps back when a seek landed past its target.
constexpr StreamTime kReseekStep = kStreamUnitsPerSecond;
// How far the picture's clock may drift from the sound before it is set back
// in step, and how long the picture waits for the sound after a start or seek.
constexpr StreamTime kSoundTolerance = 15 * kStreamUnitsPerMillisecond;
constexpr auto kSoundStartWait = std::chrono::milliseconds(300);

} // namespace

void CopyFrame(const PixelBuffer& picture, const FrameTarget& target) {
    const int rows = std::min(picture.Height(), target.height);
    const std::size_t rowBytes =
        static_cast<std::size_t>(std::min(picture.Width(), target.width)) * 4;
    for (int y = 0; y < rows; ++y)
        std::memcpy(target.bits + static_cast<std::ptrdiff_t>(y) * target.pitch, picture.Row(y),
                    rowBytes);
}

StreamControl::StreamControl(std::shared_ptr<const TimeSource> timeSource, const OpenedFile& file,
                             StreamQueues& queues)
    : clock(std::move(timeSource))
    , file_(file)
    , queues_(queues) {}

void StreamControl::StartEpoch(StreamTime readFrom) {
    epoch.serial += 1;
    epoch.readFrom = readFrom;
    seekTo = readFrom;
    seekPending = true;
    queues_.videoPackets.Flush(epoch);
    queues_.audioPackets.Flush(epoch);
    queues_.frames.Flush(epoch.serial);
    if (file_.sound)
        file_.sound->Flush(epoch.serial);
    demuxWake.notify_all();
}

bool StreamControl::RequestReseek(int serial) {
    std::lock_guard lock(mutex);
    if (serial != epoch.serial || seekTo == kReopenFile)
        return false;
    // Step back twice as far each time. Past the start, read from the first
    // byte, since a timestamp seek to the start can itself land late; when
    // even that finds no frame (some demuxers cannot go back after reaching
    // the end of a cut file), open the file again.
    const StreamTime back = epoch.target - (epoch.target - seekTo) * 2 - kReseekStep;
    if (seekTo == kFromFirstByte)
        StartEpoch(kReopenFile);
    else
        StartEpoch(seekTo <= 0 ? kFromFirstByte : std::max<StreamTime>(0, back));
    return true;
}

void StreamControl::AwaitSound(StreamTime position) {
    if (!file_.sound)
        return;
    awaitingSound_ = true;
    soundStartPosition_ = position;
    awaitingSince_ = std::chrono::steady_clock::now();
}

void StreamControl::FollowSound() {
    if (!file_.sound || !running || file_.sound->Failed())
        return;
    if (const auto heard = file_.sound->HeardTime(epoch.serial)) {
        awaitingSound_ = false;
        const StreamTime drift = clock.Position() - *heard;
        if (drift > kSoundTolerance || drift < -kSoundTolerance)
            clock.Set(*heard);
        return;
    }
    // Until the sound of this position is heard the picture holds still, so
    // both start together; a stretch without sound plays on after a while.
    if (awaitingSound_ && std::chrono::steady_clock::now() - awaitingSince_ < kSoundStartWait)
        clock.Set(soundStartPosition_);
    else
        awaitingSound_ = false;
}

void StreamControl::SetRunning(bool run) {
    running = run;
    if (running) {
        clock.Start();
        AwaitSound(clock.Position());
    } else {
        clock.Stop();
    }
    if (file_.sound)
        file_.sound->SetRunning(running);
}

void StreamControl::Reposition(StreamTime position, bool fillCache) {
    epoch.target = position;
    epoch.fillCache = fillCache;
    StartEpoch(position);
    clock.Set(position);
}

void StreamControl::TakeFront(const FrameTarget* target) {
    std::optional<DecodedFrame> frame = queues_.frames.Take(epoch.serial);
    if (!frame)
        return;
    if (target != nullptr) {
        if (target->bits != nullptr)
            CopyFrame(frame->pixels, *target);
        shownTraits = frame->traits;
    }
    Keep(std::move(*frame));
}

void StreamControl::Keep(DecodedFrame frame) {
    std::vector<PixelBuffer> dropped;
    queues_.cache.Add(frame.time, frame.previous, std::move(frame.pixels), dropped);
    queues_.frames.GiveBack(std::move(dropped));
}

void StreamControl::HandOver(StreamTime time) {
    shown = time;
    lastTime = time;
    latestFrameTime = std::max(latestFrameTime, time);
}

} // namespace media
