// Turns decoded sound frames into the output's format (signed 16-bit,
// interleaved, at its rate) and writes them with their stream times, cut at
// the seek position so that picture and sound start together. Owned and used
// by the audio decoder thread.
#pragma once

#include "media/audio_output.h"
#include "media/ffmpeg_handles.h"
#include "media/pacing_clock.h"
#include "media/sample_buffer.h"

namespace media {

class SoundFeeder {
public:
    // origin: the stream time of the video's first frame, which files count from.
    SoundFeeder(AudioOutput& output, AVRational timeBase, StreamTime origin);

    // A new seek: forget what the resampler holds; sound before target is cut off.
    void Restart(int serial, StreamTime target);
    // Converts frame and writes it; waits while the output is full.
    void Feed(AVFrame& frame);

private:
    bool PrepareResampler(AVFrame& frame);

    struct Format {
        int sampleFormat = -1;
        int rate = 0;
        int channels = 0;
        friend bool operator==(const Format&, const Format&) = default;
    };

    AudioOutput& output_;
    const AVRational timeBase_;
    const StreamTime origin_;
    SwrContextPtr resampler_;
    Format input_;
    SampleBuffer samples_;
    int serial_ = 0;
    StreamTime target_ = 0;
    StreamTime nextTime_ = 0; // where a frame without a timestamp starts
};

} // namespace media
