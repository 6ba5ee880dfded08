#include "media/frame_stepper.h"

#include <cstdint>

namespace media {

FrameStepper::FrameStepper(StreamControl& control, StreamQueues& queues)
    : control_(control)
    , queues_(queues) {}

Front FrameStepper::AwaitFront(std::unique_lock<std::mutex>& lock, std::stop_token stop) {
    while (true) {
        const std::uint64_t version = queues_.frames.Version();
        const Front front = queues_.frames.Peek(control_.epoch.serial);
        if (front.kind != FrontKind::Empty || control_.aborted || stop.stop_requested())
            return front;
        lock.unlock();
        queues_.frames.WaitForChange(version, kWaitSlice);
        lock.lock();
    }
}

bool FrameStepper::ShowCached(StreamTime time, const FrameTarget& target) {
    const bool found = queues_.cache.Use(time, [&](const PixelBuffer& pixels) {
        if (target.bits != nullptr)
            CopyFrame(pixels, target);
    });
    if (found) {
        control_.HandOver(time);
        control_.shownTraits.reset();
    }
    return found;
}

StepResult FrameStepper::StepForward(std::unique_lock<std::mutex>& lock, const FrameTarget& target,
                                     std::stop_token stop) {
    control_.SetRunning(false);
    const std::optional<StreamTime>& shown = control_.shown;
    if (shown) {
        if (const auto next = queues_.cache.After(*shown); next && ShowCached(*next, target))
            return StepResult::Frame;
    }
    bool sought = false;
    while (true) {
        const Front front = AwaitFront(lock, stop);
        if (control_.aborted || stop.stop_requested())
            return StepResult::Interrupted;
        if (front.kind == FrontKind::EndOfStream)
            return StepResult::AtEnd;
        if (shown && front.time <= *shown) {
            control_.TakeFront(nullptr); // shown already
            continue;
        }
        if (!shown || sought || front.previous == shown) {
            control_.TakeFront(&target);
            control_.HandOver(front.time);
            return StepResult::Frame;
        }
        // The queue goes on from elsewhere (it was left after a step back):
        // decode again from just after the frame shown.
        control_.Reposition(*shown + 1, false);
        sought = true;
    }
}

StepResult FrameStepper::StepBack(std::unique_lock<std::mutex>& lock, const FrameTarget& target,
                                  std::stop_token stop) {
    if (!control_.shown)
        return StepForward(lock, target, stop);
    control_.SetRunning(false);
    const StreamTime current = *control_.shown;
    if (const auto previous = queues_.cache.Before(current);
        previous && ShowCached(*previous, target))
        return StepResult::Frame;
    // Every frame counts from the first frame's time: nothing lies before it.
    if (current <= 0)
        return StepResult::AtStart;
    control_.Reposition(current, true);
    const Front front = AwaitFront(lock, stop);
    if (control_.aborted || stop.stop_requested())
        return StepResult::Interrupted;
    // The first frame at or after the one left knows the frame decoded before
    // it, which the video thread has cached by now.
    if (front.kind == FrontKind::Frame && front.previous && *front.previous < current) {
        if (front.time == current)
            queues_.cache.Link(current, *front.previous);
        if (ShowCached(*front.previous, target))
            return StepResult::Frame;
    }
    return StepResult::AtStart;
}

} // namespace media
