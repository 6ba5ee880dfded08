#include "media/sound_feeder.h"

#include "media/stream_time.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

namespace media {

namespace {

constexpr int kBytesPerSample = 2;

} // namespace

SoundFeeder::SoundFeeder(AudioOutput& output, AVRational timeBase, StreamTime origin)
    : output_(output)
    , timeBase_(timeBase)
    , origin_(origin) {}

void SoundFeeder::Restart(int serial, StreamTime target) {
    resampler_.reset(); // it may hold samples of the previous position
    serial_ = serial;
    target_ = target;
    nextTime_ = target;
}

bool SoundFeeder::PrepareResampler(AVFrame& frame) {
    const Format format{frame.format, frame.sample_rate, frame.ch_layout.nb_channels};
    if (resampler_ && format == input_)
        return true;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, output_.Channels());
    SwrContext* raw = nullptr;
    const int result = swr_alloc_set_opts2(
        &raw, &layout, AV_SAMPLE_FMT_S16, output_.SampleRate(), &frame.ch_layout,
        static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    resampler_.reset(raw);
    if (result < 0 || swr_init(resampler_.get()) < 0) {
        resampler_.reset();
        return false;
    }
    input_ = format;
    return true;
}

void SoundFeeder::Feed(AVFrame& frame) {
    const StreamTime start = frame.best_effort_timestamp != AV_NOPTS_VALUE
                                 ? ToStreamTime(frame.best_effort_timestamp, timeBase_) - origin_
                                 : nextTime_;
    if (frame.nb_samples <= 0 || frame.sample_rate <= 0 || !PrepareResampler(frame))
        return;
    nextTime_ = start + av_rescale(frame.nb_samples, kStreamUnitsPerSecond, frame.sample_rate);
    if (nextTime_ <= target_)
        return; // all of it before the seek position
    const int capacity = swr_get_out_samples(resampler_.get(), frame.nb_samples);
    const std::size_t frameBytes = static_cast<std::size_t>(output_.Channels()) * kBytesPerSample;
    if (capacity <= 0 || !samples_.Reserve(static_cast<std::size_t>(capacity) * frameBytes))
        return;
    std::uint8_t* out[1] = {samples_.Data()};
    const int converted =
        swr_convert(resampler_.get(), out, capacity,
                    const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
    const int rate = output_.SampleRate();
    const std::int64_t skipped =
        start < target_ ? std::min<std::int64_t>(
                              converted, av_rescale(target_ - start, rate, kStreamUnitsPerSecond))
                        : 0;
    if (converted <= skipped)
        return;
    output_.Write(samples_.Data() + static_cast<std::size_t>(skipped) * frameBytes,
                  static_cast<std::size_t>(converted - skipped) * frameBytes, serial_,
                  start + av_rescale(skipped, kStreamUnitsPerSecond, rate));
}

} // namespace media
