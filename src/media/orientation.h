// How a video is meant to be shown when its pixels are stored turned: phones
// record portrait and upside-down video as landscape pixels with a display
// matrix beside them. Frames are turned once, where they are converted, so
// everything above the media stream sees the picture as players show it.
#pragma once

#include "media/pixel_buffer.h"

#include <cstdint>
#include <utility>

namespace media {

// A turn in quarter turns clockwise, then, when mirrored, a left-right flip.
// The eight combinations are every way a picture can be turned or flipped
// onto the pixel grid.
struct Orientation {
    int quarterTurns = 0; // 0 to 3
    bool mirrored = false;

    bool IsIdentity() const { return quarterTurns == 0 && !mirrored; }
    bool SwapsSides() const { return quarterTurns % 2 == 1; }
    int Degrees() const { return quarterTurns * 90; }
    // The size a stored picture of width x height is shown at.
    std::pair<int, int> Turned(int width, int height) const {
        return SwapsSides() ? std::pair{height, width} : std::pair{width, height};
    }
    friend bool operator==(const Orientation&, const Orientation&) = default;
};

// The orientation FFmpeg's display matrix (nine 16.16 and 2.30 fixed-point
// values) asks for, read as the ffmpeg command reads it. Identity for null,
// and for a turn that is not a multiple of 90 degrees.
Orientation OrientationOf(const std::int32_t* displayMatrix);

// Writes the stored picture `from` (width x height) into `to`, turned: `to`
// is laid out at the turned size. False when `to` could not be laid out.
bool TurnPicture(const PixelBuffer& from, Orientation orientation, PixelBuffer& to);

} // namespace media
