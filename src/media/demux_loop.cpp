#include "media/demux_loop.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>

namespace media {

namespace {

// How many frames before its target a seek aims, for reordered frames.
constexpr StreamTime kSeekLeadFrames = 3;

} // namespace

DemuxLoop::DemuxLoop(FormatContextPtr format, const OpenedFile& file, StreamControl& control,
                     StreamQueues& queues)
    : format_(std::move(format))
    , file_(file)
    , control_(control)
    , queues_(queues) {}

void DemuxLoop::Run() {
    Epoch current;
    bool ended = false;
    while (true) {
        StreamTime readFrom = 0;
        bool seek = false;
        {
            std::unique_lock lock(control_.mutex);
            control_.demuxWake.wait(
                lock, [&] { return control_.aborted || control_.seekPending || !ended; });
            if (control_.aborted)
                return;
            if (control_.seekPending) {
                control_.seekPending = false;
                seek = true;
                current = control_.epoch;
                readFrom = control_.seekTo;
            }
        }
        if (seek) {
            ended = !SeekFile(readFrom);
            if (ended) {
                PutEnd(current);
                continue;
            }
        }
        PacketPtr packet = MakePacket();
        const int result = av_read_frame(format_.get(), packet.get());
        if (result == AVERROR(EAGAIN))
            continue;
        if (result < 0) {
            ended = true;
            PutEnd(current);
        } else if (packet->stream_index == file_.videoIndex) {
            queues_.videoPackets.Put(std::move(packet), current);
        } else if (packet->stream_index == file_.audioIndex) {
            queues_.audioPackets.Put(std::move(packet), current);
        }
    }
}

void DemuxLoop::PutEnd(const Epoch& epoch) {
    queues_.videoPackets.Put(nullptr, epoch);
    if (file_.audio)
        queues_.audioPackets.Put(nullptr, epoch);
}

bool DemuxLoop::SeekFile(StreamTime position) {
    if (position == kReopenFile)
        return Reopen();
    if (position == kFromFirstByte && !(format_->iformat->flags & AVFMT_NO_BYTE_SEEK) &&
        av_seek_frame(format_.get(), -1, 0, AVSEEK_FLAG_BYTE) >= 0)
        return true;
    const AVStream& stream = *format_->streams[file_.videoIndex];
    // Indexes hold decoding times, which run up to a few frames ahead of the
    // presentation times asked for when frames are reordered: aim a little
    // earlier, and the frames before the target are decoded and dropped.
    const StreamTime lead = kSeekLeadFrames * file_.frameDuration;
    const std::int64_t timestamp =
        av_rescale_q_rnd(file_.origin + std::max<StreamTime>(position, 0) - lead, kStreamTimeBase,
                         stream.time_base, AV_ROUND_DOWN);
    if (av_seek_frame(format_.get(), file_.videoIndex, timestamp, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    const std::int64_t global = av_rescale_q(timestamp, stream.time_base, AV_TIME_BASE_Q);
    if (avformat_seek_file(format_.get(), -1, INT64_MIN, global, global, 0) >= 0)
        return true;
    // Last resort: read from the start; frames before the target are dropped.
    return av_seek_frame(format_.get(), -1, 0, AVSEEK_FLAG_BYTE) >= 0;
}

bool DemuxLoop::Reopen() {
    FormatContextPtr fresh = OpenFormat(file_.filePath);
    if (!fresh || fresh->nb_streams != format_->nb_streams)
        return false;
    format_ = std::move(fresh);
    return true;
}

} // namespace media
