// The audio decoder thread of a media stream: decodes the audio packets of
// each epoch and feeds the sound output, cut at the epoch's target so that
// picture and sound start together.
//
// Runs on its own thread, started after opening when the file's sound has an
// output, and joined by the stream's owner once the packet queue is aborted
// and the output closed. The audio decoder it borrows is that thread's alone.
#pragma once

#include "media/audio_output.h"
#include "media/decoder.h"
#include "media/packet_queue.h"

namespace media {

class AudioDecodeLoop {
public:
    // origin: the stream time of the video's first frame, which files count from.
    AudioDecodeLoop(Decoder& decoder, AudioOutput& output, AVRational timeBase, StreamTime origin,
                    PacketQueue& packets);

    // The thread's body; returns once the packet queue is aborted.
    void Run();

private:
    Decoder& decoder_;
    AudioOutput& output_;
    const AVRational timeBase_;
    const StreamTime origin_;
    PacketQueue& packets_;
};

} // namespace media
