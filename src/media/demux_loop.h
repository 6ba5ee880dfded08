// The demuxing thread of a media stream: reads the file's packets into the
// video and audio packet queues, ending each with an end-of-stream marker,
// and at every new epoch first seeks to where that epoch reads from.
//
// Runs on its own thread, started after opening and joined by the stream's
// owner once the control is aborted. Owns the file's format context from
// then on, and may open the file again into it.
#pragma once

#include "media/ffmpeg_handles.h"
#include "media/opened_file.h"
#include "media/stream_control.h"
#include "media/stream_queues.h"

namespace media {

class DemuxLoop {
public:
    DemuxLoop(FormatContextPtr format, const OpenedFile& file, StreamControl& control,
              StreamQueues& queues);

    // The thread's body; returns once the control is aborted.
    void Run();

private:
    // Positions the file for reading from position (or one of the special
    // places kFromFirstByte and kReopenFile). False when nothing can be read.
    bool SeekFile(StreamTime position);
    bool Reopen();
    // Puts the end-of-stream marker of epoch into every packet queue in use.
    void PutEnd(const Epoch& epoch);

    FormatContextPtr format_;
    const OpenedFile& file_;
    StreamControl& control_;
    StreamQueues& queues_;
};

} // namespace media
