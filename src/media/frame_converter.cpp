#include "media/frame_converter.h"

#include "media/yuv420_to_bgra.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace media {

namespace {

// YUV only: RGB frames carry no matrix, and libswscale already takes grey as
// full range.
bool HasColourMatrix(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0 &&
           descriptor->nb_components >= 3;
}

// Chroma interpolated for every pixel and sums rounded: the quick path gives
// a 2 x 2 block one chroma sample and cuts its sums short, and without full
// chroma a 10-bit frame comes out 1.6 levels dark on average.
constexpr int kScalerFlags = SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

} // namespace

int ColourMatrixOf(const AVFrame& frame) {
    switch (frame.colorspace) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return SWS_CS_ITU601;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        return frame.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

bool IsFullRange(const AVFrame& frame) {
    switch (static_cast<AVPixelFormat>(frame.format)) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return frame.color_range == AVCOL_RANGE_JPEG;
    }
}

FrameConverter::FrameConverter(Orientation orientation)
    : orientation_(orientation) {}

bool FrameConverter::Prepare(const AVFrame& frame, int width, int height) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const Shape shape{frame.width, frame.height, format, width, height};
    if (!scaler_ || !(shape == shape_)) {
        scaler_.reset(sws_getContext(frame.width, frame.height, format, width, height,
                                     AV_PIX_FMT_BGRA, kScalerFlags, nullptr, nullptr, nullptr));
        shape_ = shape;
        matrix_ = -1;
        if (!scaler_)
            return false;
    }
    if (!HasColourMatrix(format))
        return true;
    const int matrix = ColourMatrixOf(frame);
    const bool fullRange = IsFullRange(frame);
    if (matrix == matrix_ && fullRange == fullRange_)
        return true;
    // Brightness 0, contrast and saturation 1.0 in 16.16 fixed point; RGB
    // output is always full range.
    sws_setColorspaceDetails(scaler_.get(), sws_getCoefficients(matrix), fullRange ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    matrix_ = matrix;
    fullRange_ = fullRange;
    return true;
}

bool FrameConverter::Convert(const AVFrame& frame, int width, int height, PixelBuffer& picture) {
    if (frame.width <= 0 || frame.height <= 0)
        return false;
    // The upright picture first, at the turned size turned back; then the turn.
    const auto [uprightWidth, uprightHeight] = orientation_.Turned(width, height);
    PixelBuffer& upright = orientation_.IsIdentity() ? picture : upright_;
    if (!ConvertUpright(frame, uprightWidth, uprightHeight, upright))
        return false;
    return orientation_.IsIdentity() || TurnPicture(upright_, orientation_, picture);
}

bool FrameConverter::ConvertUpright(const AVFrame& frame, int width, int height,
                                    PixelBuffer& picture) {
    // The common formats at their own size take our own exact conversion,
    // which costs less than libswscale's accurate path.
    if (IsExactYuv420(frame) && frame.width == width && frame.height == height) {
        if (!picture.Reserve(width, height))
            return false;
        ConvertYuv420ToBgra(frame, ColourMatrixOf(frame), IsFullRange(frame), picture);
        return true;
    }
    if (!Prepare(frame, width, height) || !picture.Reserve(width, height))
        return false;
    std::uint8_t* planes[4] = {picture.Row(0), nullptr, nullptr, nullptr};
    const int pitches[4] = {picture.Pitch(), 0, 0, 0};
    return sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, planes, pitches) >
           0;
}

} // namespace media
