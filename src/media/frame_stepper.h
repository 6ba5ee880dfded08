// Frame-by-frame stepping of a media stream. Each step stops the stream,
// shows a cached picture when the frame asked for is cached next to the one
// shown, and otherwise repositions the stream and waits for the video
// decoder thread to bring the frame.
//
// Runs on the thread that asks for the step, with the control's mutex held
// through lock; the waits release it.
#pragma once

#include "media/frame_queue.h"
#include "media/media_stream.h"
#include "media/stream_control.h"
#include "media/stream_queues.h"

#include <mutex>
#include <stop_token>

namespace media {

class FrameStepper {
public:
    FrameStepper(StreamControl& control, StreamQueues& queues);

    StepResult StepForward(std::unique_lock<std::mutex>& lock, const FrameTarget& target,
                           std::stop_token stop);
    StepResult StepBack(std::unique_lock<std::mutex>& lock, const FrameTarget& target,
                        std::stop_token stop);

private:
    // Waits until the frame queue's front belongs to the current epoch, or
    // the stream is aborted, or stop is requested.
    Front AwaitFront(std::unique_lock<std::mutex>& lock, std::stop_token stop);
    bool ShowCached(StreamTime time, const FrameTarget& target);

    StreamControl& control_;
    StreamQueues& queues_;
};

} // namespace media
