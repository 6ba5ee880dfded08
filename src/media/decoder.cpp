#include "media/decoder.h"

namespace media {

Decoder::Decoder(const AVStream& stream)
    : codec_(avcodec_find_decoder(stream.codecpar->codec_id))
    , parameters_(avcodec_parameters_alloc())
    , timeBase_(stream.time_base)
    , frame_(MakeFrame()) {
    if (!codec_ || !parameters_ || avcodec_parameters_copy(parameters_.get(), stream.codecpar) < 0)
        return;
    context_ = Open();
}

CodecContextPtr Decoder::Open() const {
    CodecContextPtr context(avcodec_alloc_context3(codec_));
    if (!context || avcodec_parameters_to_context(context.get(), parameters_.get()) < 0)
        return nullptr;
    context->pkt_timebase = timeBase_;
#if defined(__SANITIZE_THREAD__)
    // FFmpeg's own decoding threads hand frames over through atomics that
    // ThreadSanitizer cannot see in an uninstrumented library.
    context->thread_count = 1;
#else
    // 0 lets FFmpeg pick one thread per core. Its frame and slice threads
    // hand frames out in a fixed order: they do not make runs differ.
    context->thread_count = 0;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
#endif
    if (avcodec_open2(context.get(), codec_, nullptr) < 0)
        return nullptr;
    return context;
}

void Decoder::Decode(const AVPacket* packet, const std::function<void(AVFrame&)>& onFrame) {
    if (!context_)
        return;
    fresh_ = false;
    if (keyframesOnly_ && packet != nullptr) {
        if ((packet->flags & AV_PKT_FLAG_KEY) == 0)
            return;
        // Each keyframe alone, drained at once, so that its picture is never
        // reordered among pictures that were not decoded: through the
        // decoder's own skip_frame, an open GOP's recovery points came out
        // backwards. A keyframe that is no whole picture alone gives none.
        avcodec_send_packet(context_.get(), packet);
        Receive(onFrame);
        avcodec_send_packet(context_.get(), nullptr);
        Receive(onFrame);
        avcodec_flush_buffers(context_.get());
        return;
    }
    // A packet the decoder refuses (damaged data) is dropped; decoding goes on.
    avcodec_send_packet(context_.get(), packet);
    Receive(onFrame);
}

void Decoder::Receive(const std::function<void(AVFrame&)>& onFrame) {
    // Ends on EAGAIN (more input needed), EOF (drained) or an error alike.
    while (avcodec_receive_frame(context_.get(), frame_.get()) >= 0) {
        onFrame(*frame_);
        av_frame_unref(frame_.get());
    }
}

void Decoder::Flush() {
    if (context_)
        avcodec_flush_buffers(context_.get());
}

void Decoder::Restart() {
    if (fresh_ && context_)
        return;
    // The old codec and its threads end before the new one starts.
    context_.reset();
    if (parameters_)
        context_ = Open();
    fresh_ = true;
}

void Decoder::DecodeKeyframesOnly() {
    keyframesOnly_ = true;
}

} // namespace media
