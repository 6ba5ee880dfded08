// The capture step that the capture batch and tesselon-grab share, so that
// the tool writes exactly what the program captures.
//
// Runs on the thread that drives the source and the canvas: in the program
// while the idle loop stands aside (the source's rendering is switched off).
#pragma once

#include "media/frame_traits.h"
#include "media/pacing_clock.h"
#include "picture/picture.h"
#include "platform/surface.h"

#include <cstdint>
#include <optional>
#include <stop_token>

class CDShow;

namespace playback {

class Canvas;

// The program captures every frame at 360 × 240, drawn into this rectangle
// of the presenter's canvas whatever the video's own size, with a label band
// of 16 rows under it.
inline constexpr platform::Rect kCaptureRect{0, 0, 360, 240};
inline constexpr int kLabelBandRows = 16;

// The label band's rows under a picture of `width`: 16 at 360 and below, in
// proportion above (57 at 1280), so that its text keeps its size against
// the picture.
constexpr int LabelBandRowsFor(int width) {
    return width <= kCaptureRect.Width()
               ? kLabelBandRows
               : (kLabelBandRows * width + kCaptureRect.Width() / 2) / kCaptureRect.Width();
}

struct CapturedFrame {
    // The canvas's rows and LabelBandRowsFor(its width) zeroed band rows;
    // null when the memory could not be had.
    picture::Picture picture;
    // The stream position when the frame was copied.
    std::int32_t timeMs = 0;
    // The same exactly, the frame's number in the file (once counted), and
    // its exact timestamp and coding when the stream knows them.
    media::StreamTime time = 0;
    std::optional<std::int64_t> number;
    std::optional<media::FrameTraits> traits;
};

// The frame now in the canvas, copied, with what the source says of the
// frame it last showed.
CapturedFrame CopyShownFrame(Canvas& canvas, CDShow& source);

// Fetches the next frame into rect of the canvas, waiting for it and never
// skipping one. A fetch that finds the end of the stream brings no frame:
// the stream restarts and its first frame is fetched at once. A stop request
// ends the wait at once.
void RenderNextFrame(CDShow& source, Canvas& canvas, platform::Rect rect, std::stop_token stop = {});

// One frame: the frame now in the canvas is copied and its time read; then
// the next frame is rendered (RenderNextFrame), so the frames stay
// consecutive and the last one is never taken twice under the restarted
// position's time. The copied frame is returned even when a stop request
// ended the wait. Presenting the new frame is the caller's.
CapturedFrame CaptureFrame(Canvas& canvas, CDShow& source, platform::Rect rect = kCaptureRect,
                           std::stop_token stop = {});

} // namespace playback
