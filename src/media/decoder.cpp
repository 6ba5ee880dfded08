#include "media/decoder.h"

namespace media {

Decoder::Decoder(const AVStream& stream)
    : frame_(MakeFrame()) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec)
        return;
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), stream.codecpar) < 0)
        return;
    context->pkt_timebase = stream.time_base;
#if defined(__SANITIZE_THREAD__)
    // FFmpeg's own decoding threads hand frames over through atomics that
    // ThreadSanitizer cannot see in an uninstrumented library.
    context->thread_count = 1;
#else
    // 0 lets FFmpeg pick one thread per core.
    context->thread_count = 0;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
#endif
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return;
    context_ = std::move(context);
}

void Decoder::Decode(const AVPacket* packet, const std::function<void(AVFrame&)>& onFrame) {
    if (!context_)
        return;
    // A packet the decoder refuses (damaged data) is dropped; decoding goes on.
    avcodec_send_packet(context_.get(), packet);
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

} // namespace media
