#include "media/video_decode_loop.h"

#include <utility>

namespace media {

VideoDecodeLoop::VideoDecodeLoop(Decoder& decoder, const OpenedFile& file, StreamControl& control,
                                 StreamQueues& queues, const PictureSource& picture,
                                 Deinterlace deinterlace)
    : decoder_(decoder)
    , file_(file)
    , control_(control)
    , queues_(queues)
    , filter_(picture, deinterlace)
    , converter_(file.orientation) {}

void VideoDecodeLoop::Run() {
    Epoch current{-1, 0};
    bool first = true;
    const PictureFilter::Sink handle = [&](AVFrame& frame, FilterEffects effects) {
        HandleFrame(frame, effects, current, first);
    };
    while (auto item = queues_.videoPackets.Get()) {
        if (item->epoch.serial != current.serial) {
            // Every seek decodes as a fresh open would: the same frames and
            // times whatever was decoded before it, and however far.
            decoder_.Restart();
            filter_.Reset();
            current = item->epoch;
            first = true;
            predictedTime_ = current.target;
            lastDecoded_.reset();
            held_.clear();
        }
        decoder_.Decode(item->packet.get(), [&](AVFrame& frame) { filter_.Push(frame, handle); });
        if (!item->packet) {
            decoder_.Flush();
            filter_.Drain(handle);
            CacheHeld();
            FillRestHeld();
            // A seek that landed past every frame it could find reads again
            // from further back.
            if (first && control_.RequestReseek(current.serial))
                continue;
            DecodedFrame end;
            end.serial = current.serial;
            end.endOfStream = true;
            queues_.frames.Push(std::move(end));
        }
    }
}

void VideoDecodeLoop::HandleFrame(AVFrame& frame, FilterEffects effects, const Epoch& current,
                                  bool& first) {
    const std::int64_t timestamp = frame.best_effort_timestamp;
    const StreamTime time =
        timestamp != AV_NOPTS_VALUE ? file_.VideoTime(timestamp) : predictedTime_;
    const FrameTraits traits{
        timestamp != AV_NOPTS_VALUE
            ? timestamp - file_.originTimestamp
            : av_rescale_q(time + file_.origin, kStreamTimeBase, file_.videoTimeBase) -
                  file_.originTimestamp,
        frame.key_frame != 0, av_get_picture_type_char(frame.pict_type), effects.deinterlaced};
    predictedTime_ = time + file_.frameDuration;
    if (first && current.readFrom != kReopenFile) {
        // Some demuxers seek to a frame that is not a keyframe: what decodes
        // before the next keyframe is damaged.
        if (current.readFrom >= 0 && !frame.key_frame && frame.pict_type != AV_PICTURE_TYPE_I)
            return;
        first = false;
        // Others seek past the target, and some cannot go back to the first
        // byte at all; read again from further back. A step back needs a
        // frame before its target.
        const bool late = current.fillCache ? time >= current.target && current.target > 0
                                            : time > current.target;
        if (late && control_.RequestReseek(current.serial))
            return;
    }
    first = false;
    if (frame.width <= 0 || frame.height <= 0)
        return;
    const std::optional<StreamTime> previous = std::exchange(lastDecoded_, time);
    if (time < current.target) {
        if (current.fillCache)
            Hold(frame, time, previous);
        return;
    }
    CacheHeld();
    DecodedFrame decoded{
        queues_.frames.TakeBuffer(), time, previous, current.serial, false, traits};
    // No rows converted: the buffer holds no picture.
    if (converter_.Convert(frame, file_.width, file_.height, decoded.pixels))
        queues_.frames.Push(std::move(decoded));
    FillRestHeld();
}

void VideoDecodeLoop::Hold(const AVFrame& frame, StreamTime time,
                           std::optional<StreamTime> previous) {
    FramePtr reference(av_frame_clone(&frame));
    if (!reference)
        return;
    held_.push_back({std::move(reference), time, previous});
    const std::size_t kept =
        queues_.cache.FramesFitting(PixelBuffer::BytesFor(file_.width, file_.height));
    while (held_.size() > kept)
        held_.pop_front();
}

// The frame just before the target is converted first, so that a step back
// shows it as soon as the target frame follows; the rest of the stretch is
// converted after, newest first, into places the cache holds for them.
void VideoDecodeLoop::CacheHeld() {
    if (held_.empty())
        return;
    for (const HeldFrame& item : held_)
        queues_.cache.Reserve(item.time, item.previous);
    std::vector<PixelBuffer> dropped;
    FillHeld(held_.back(), dropped);
    held_.pop_back();
    queues_.frames.GiveBack(std::move(dropped));
}

void VideoDecodeLoop::FillRestHeld() {
    // Each picture the full cache drops takes the next frame: the memory in
    // use stays at the budget, and no fresh block is touched page by page.
    std::vector<PixelBuffer> dropped;
    for (; !held_.empty(); held_.pop_back())
        FillHeld(held_.back(), dropped);
    queues_.frames.GiveBack(std::move(dropped));
}

void VideoDecodeLoop::FillHeld(HeldFrame& item, std::vector<PixelBuffer>& dropped) {
    PixelBuffer pixels;
    if (dropped.empty()) {
        pixels = queues_.frames.TakeBuffer();
    } else {
        pixels = std::move(dropped.back());
        dropped.pop_back();
    }
    const bool converted = converter_.Convert(*item.frame, file_.width, file_.height, pixels);
    item.frame.reset();
    if (!converted)
        dropped.push_back(std::move(pixels));
    queues_.cache.Fill(item.time, converted ? &pixels : nullptr, dropped);
}

} // namespace media
