// The video decoder thread of a media stream: decodes the video packets of
// each epoch as a fresh open would, converts the frames at or after the
// epoch's target (tone-mapped or deinterlaced first where the video needs
// it) into the frame queue, and for a step back keeps the stretch
// before the target, which it converts into the frame cache once the target
// is reached.
//
// Runs on its own thread, started after opening and joined by the stream's
// owner once the queues are aborted. Everything it owns, and the video
// decoder it borrows, is touched by that thread alone.
#pragma once

#include "media/decoder.h"
#include "media/ffmpeg_handles.h"
#include "media/frame_converter.h"
#include "media/opened_file.h"
#include "media/picture_filter.h"
#include "media/stream_control.h"
#include "media/stream_queues.h"

#include <deque>
#include <optional>
#include <vector>

namespace media {

class VideoDecodeLoop {
public:
    VideoDecodeLoop(Decoder& decoder, const OpenedFile& file, StreamControl& control,
                    StreamQueues& queues, const PictureSource& picture = {},
                    Deinterlace deinterlace = Deinterlace::Auto);

    // The thread's body; returns once the video packet queue is aborted.
    void Run();

private:
    // A step back's stretch before its target, converted only once the target
    // is reached and only as much as the cache keeps.
    struct HeldFrame {
        FramePtr frame;
        StreamTime time = 0;
        std::optional<StreamTime> previous;
    };

    void HandleFrame(AVFrame& frame, FilterEffects effects, const Epoch& epoch, bool& first);
    void Hold(const AVFrame& frame, StreamTime time, std::optional<StreamTime> previous);
    void CacheHeld();
    void FillRestHeld();
    void FillHeld(HeldFrame& item, std::vector<PixelBuffer>& dropped);

    Decoder& decoder_;
    const OpenedFile& file_;
    StreamControl& control_;
    StreamQueues& queues_;
    PictureFilter filter_;
    FrameConverter converter_;
    StreamTime predictedTime_ = 0;
    std::optional<StreamTime> lastDecoded_; // since the epoch began
    std::deque<HeldFrame> held_;
};

} // namespace media
