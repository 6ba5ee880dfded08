// The capture step that the capture batch and tesselon-grab share, so that
// the tool writes exactly what the program captures.
//
// Runs on the thread that drives the source and the presenter while the
// idle loop stands aside (the source's rendering is switched off).
#pragma once

#include "media/frame_traits.h"
#include "media/pacing_clock.h"
#include "platform/surface.h"

#include <cstdint>
#include <optional>
#include <stop_token>

class CDShow;
class CGameApp;

namespace playback {

// Every frame is drawn into this rectangle of the presenter's off-screen
// surface, whatever the video's own size.
inline constexpr platform::Rect kCaptureRect{0, 0, 360, 240};

struct CapturedFrame {
    // malloc()ed by the presenter's CopyFrame; the caller frees it. Null when
    // the block could not be allocated.
    std::uint8_t* buffer = nullptr;
    int size = 0;
    // The stream position when the frame was copied.
    std::int32_t timeMs = 0;
    // The same exactly, the frame's number in the file (once counted), and
    // its exact timestamp and coding when the stream knows them.
    media::StreamTime time = 0;
    std::optional<std::int64_t> number;
    std::optional<media::FrameTraits> traits;
};

// The frame now in the off-screen surface, copied, with what the source
// says of the frame it last showed.
CapturedFrame CopyShownFrame(CGameApp& presenter, CDShow& source);

// One frame: the frame now in the off-screen surface is copied and its time
// read; then the next frame is fetched (waiting for it, and never skipping
// one) and presented. A fetch that finds the end of the stream brings no
// frame: the stream restarts and its first frame is fetched at once, so the
// frames stay consecutive and the last one is never taken twice under the
// restarted position's time. A stop request ends the wait for the next frame
// at once; the copied frame is returned all the same.
CapturedFrame CaptureFrame(CGameApp& presenter, CDShow& source, std::stop_token stop = {});

// Where a capture step draws the next frame: a rectangle of the presenter's
// off-screen surface, shown in the window too, or not (no one looks).
struct CaptureTarget {
    platform::Rect rect = kCaptureRect;
    bool present = true;
};
CapturedFrame CaptureFrame(CGameApp& presenter, CDShow& source, const CaptureTarget& target,
                           std::stop_token stop = {});

} // namespace playback
