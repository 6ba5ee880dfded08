// Converts decoded video frames into 32-bit pictures (bytes blue, green, red,
// unused) of a fixed size, with the colour matrix and range the stream
// declares, turned as the stream's display matrix asks. Owned and used by the
// video decoder thread.
#pragma once

#include "media/ffmpeg_handles.h"
#include "media/orientation.h"
#include "media/pixel_buffer.h"

namespace media {

// The libswscale matrix (SWS_CS_*) a frame's pixels were made with. An
// untagged frame is taken as BT.709 from 720 lines up and BT.601 below, as
// players and broadcasters do.
int ColourMatrixOf(const AVFrame& frame);
// True when the frame's luma spans 0 to 255 rather than 16 to 235.
bool IsFullRange(const AVFrame& frame);

class FrameConverter {
public:
    explicit FrameConverter(Orientation orientation = {});

    // Converts frame into picture, which is width x height once turned.
    // False when the frame's format cannot be converted or no row came out.
    bool Convert(const AVFrame& frame, int width, int height, PixelBuffer& picture);

private:
    // What the scaler was made for: the frame's size and format, the output size.
    struct Shape {
        int width = 0;
        int height = 0;
        AVPixelFormat format = AV_PIX_FMT_NONE;
        int outputWidth = 0;
        int outputHeight = 0;
        friend bool operator==(const Shape&, const Shape&) = default;
    };

    bool Prepare(const AVFrame& frame, int width, int height);
    bool ConvertUpright(const AVFrame& frame, int width, int height, PixelBuffer& picture);

    Orientation orientation_;
    // The converted picture before its turn; unused for an upright video.
    PixelBuffer upright_;
    SwsContextPtr scaler_;
    Shape shape_;
    int matrix_ = -1;
    bool fullRange_ = false;
};

} // namespace media
