// What opening a file for a media stream found: the file's video stream as it
// describes itself, the decoders made for it and the sound output.
//
// Filled once by the thread that opens the file, before any other thread of
// the stream starts; read-only afterwards, except where a field says whose it
// becomes.
#pragma once

#include "media/audio_output.h"
#include "media/decoder.h"
#include "media/ffmpeg_handles.h"
#include "media/media_stream.h"
#include "media/orientation.h"
#include "media/stream_time.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

namespace media {

struct OpenedFile {
    // Opens path (a redirector opens the file it names). A video that can be
    // decoded also gets its sound output, and decodable is then set: the
    // stream's threads may start. Call once.
    OpenResult Open(const std::filesystem::path& path, AudioMode audioMode);

    // A timestamp of the video stream as a stream time from its first frame.
    StreamTime VideoTime(std::int64_t timestamp) const {
        return ToStreamTime(timestamp, videoTimeBase) - origin;
    }

    // Handed over to the demuxing thread when the threads start (it may open
    // the file again); null from then on.
    FormatContextPtr format;
    std::filesystem::path filePath;
    AVRational videoTimeBase{1, 1};
    AVRational audioTimeBase{1, 1};
    std::optional<StreamTime> duration;
    bool opened = false;
    bool decodable = false;
    int videoIndex = -1;
    int audioIndex = -1;
    // The size frames are shown at: the stored size, turned.
    int width = 0;
    int height = 0;
    Orientation orientation;
    StreamTime origin = 0;            // the video's first time, so that a file starts at 0
    std::int64_t originTimestamp = 0; // the same in the video's time base
    VideoFormat videoFormat;
    StreamTime frameDuration = 0;
    // The video decoder thread's alone once the threads start.
    std::unique_ptr<Decoder> video;
    // The audio decoder thread's alone once the threads start.
    std::unique_ptr<Decoder> audio;
    // Thread-safe; made only together with the audio decoder.
    std::unique_ptr<AudioOutput> sound;

private:
    // What reading from the start found of the video's first frame.
    struct FirstFrame {
        bool decoded = false;   // a frame with a picture came out
        bool readToEnd = false; // the whole file was read looking for it
        std::optional<std::int64_t> timestamp;
        // A display matrix the frame carries (an H.264 orientation message)
        // where the stream has none.
        std::optional<Orientation> orientation;
    };

    OpenResult Open(const std::filesystem::path& path, AudioMode audioMode, int depth);
    OpenResult OpenVideo();
    FirstFrame ReadFirstFrame();
    void DescribeVideo(AVStream& stream, Orientation frameOrientation);
    std::optional<StreamTime> FileDuration() const;
    void OpenAudio(AudioMode audioMode);
};

// Opens path and reads its stream information. Null on failure, with
// FFmpeg's error code in error when given.
FormatContextPtr OpenFormat(const std::filesystem::path& path, int* error = nullptr);

} // namespace media
