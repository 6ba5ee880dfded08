#include "media/audio_decode_loop.h"

#include "media/sound_feeder.h"

namespace media {

AudioDecodeLoop::AudioDecodeLoop(Decoder& decoder, AudioOutput& output, AVRational timeBase,
                                 StreamTime origin, PacketQueue& packets)
    : decoder_(decoder)
    , output_(output)
    , timeBase_(timeBase)
    , origin_(origin)
    , packets_(packets) {}

void AudioDecodeLoop::Run() {
    SoundFeeder feeder(output_, timeBase_, origin_);
    int serial = -1;
    while (auto item = packets_.Get()) {
        if (item->epoch.serial != serial) {
            decoder_.Flush();
            serial = item->epoch.serial;
            feeder.Restart(serial, item->epoch.target);
        }
        decoder_.Decode(item->packet.get(), [&](AVFrame& frame) { feeder.Feed(frame); });
        if (!item->packet)
            decoder_.Flush();
    }
}

} // namespace media
