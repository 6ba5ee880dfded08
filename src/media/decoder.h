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
    // Changes when Restart opens the codec again.
    AVCodecContext& Context() const { return *context_; }

    // Sends packet (null: drain the decoder) and calls onFrame for each frame
    // that comes out; the frame is only valid during the call. Damaged packets
    // are skipped.
    void Decode(const AVPacket* packet, const std::function<void(AVFrame&)>& onFrame);
    // Forgets buffered frames, so that decoding can go on after a drain.
    void Flush();
    // Opens the codec afresh, so that what comes out depends only on the
    // packets sent from now on. A flush keeps state: the codec's own (its
    // intra predictors, its picture pool) and FFmpeg's count of faulty
    // timestamps, which picks each frame's time from its presentation or its
    // decoding time. After a flush, the frames of a seek would depend on how
    // far the decoder had run before it, which the threads' timing decides.
    // Stays invalid when the codec does not open again.
    void Restart();

    // From now on, and across restarts, only packets marked as keyframes
    // are decoded, each on its own; the others are skipped unread, as a
    // keyframe-only pass over a video wants.
    void DecodeKeyframesOnly();

private:
    CodecContextPtr Open() const;
    // Hands over every frame the codec has ready.
    void Receive(const std::function<void(AVFrame&)>& onFrame);

    const AVCodec* codec_ = nullptr;
    ParametersPtr parameters_;
    AVRational timeBase_{1, 1};
    CodecContextPtr context_;
    FramePtr frame_;
    // Nothing sent since the codec was opened: a restart would change nothing.
    bool fresh_ = true;
    bool keyframesOnly_ = false;
};

} // namespace media
