// One stream's decoder: opens the codec for an AVStream and turns packets into
// frames. Used by one thread at a time.
#pragma once

#include "media/ffmpeg_handles.h"

#include <functional>

namespace media {

class Decoder {
public:
    // Opens the stream's codec; Valid() is false when it cannot be opened.
    explicit Decoder(const AVStream& stream);

    bool Valid() const { return context_ != nullptr; }
    AVCodecContext& Context() const { return *context_; }

    // Sends packet (null: drain the decoder) and calls onFrame for each frame
    // that comes out; the frame is only valid during the call. Damaged packets
    // are skipped.
    void Decode(const AVPacket* packet, const std::function<void(AVFrame&)>& onFrame);
    // Forgets buffered state, after a seek or a drain.
    void Flush();

private:
    CodecContextPtr context_;
    FramePtr frame_;
};

} // namespace media
