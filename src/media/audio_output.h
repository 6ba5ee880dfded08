// Sound output on the default audio device through Qt Multimedia's QAudioSink,
// fed in push mode from its own thread, with a clock that tells which stream
// time is being heard.
//
// Opening never waits for the device: the sink starts on the sound thread, and
// when there is no default device, or the sink does not start, the output
// fails quietly (Write returns at once and the stream plays silently).
//
// Nothing of the current position is dropped: Write waits while about a
// second of sound is queued (back-pressure), so the decoder runs at the pace of
// the output. A flush to a new seek serial, or Close, ends the wait.
#pragma once

#include "media/pacing_clock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QThread;

namespace media {

// Thread-safe: the audio decoder thread writes; any thread may flush, run,
// stop, close or read the clock; the sound thread takes.
class AudioOutput {
public:
    // Signed 16-bit interleaved samples at sampleRate with channels channels.
    // None only for a format that cannot be played or without an application
    // object; a missing device shows later as Failed().
    static std::unique_ptr<AudioOutput> OpenDefault(int sampleRate, int channels);
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    int SampleRate() const { return sampleRate_; }
    int Channels() const { return channels_; }

    // Queues samples of the given seek serial whose first sample belongs at
    // stream time `time`; waits while the queue is full. False when they were
    // dropped: a stale serial, a closed or failed output.
    bool Write(const std::uint8_t* bytes, std::size_t count, int serial, StreamTime time);
    // Drops what is queued and accepts only serial from now on.
    void Flush(int serial);
    void SetRunning(bool running);
    // Ends every wait; Write drops from now on. Called before the writer is joined.
    void Close();

    // The stream time being heard now, while sound of serial plays; none
    // before the first sample of serial reached the device or while stopped.
    std::optional<StreamTime> HeardTime(int serial) const;
    // True once the device refused to start, or when no device exists.
    bool Failed() const { return failed_; }
    // Waits until the device started or failed, at most timeout. True when it plays.
    bool WaitUntilStarted(std::chrono::milliseconds timeout) const;

    // ---- for the sound thread ----
    bool Running() const { return running_; }
    // Takes up to max queued bytes, whole sample frames only; serial receives
    // the serial they belong to, and endTime (when any were taken) the stream
    // time their end belongs at.
    std::size_t Take(std::uint8_t* bytes, std::size_t max, int* serial, StreamTime* endTime);
    // What the device holds now: sound of serial ending at endTime, of which
    // queuedBytes are not heard yet.
    void SetDeviceState(int serial, StreamTime endTime, std::size_t queuedBytes);
    void SetStarted(bool started);

private:
    AudioOutput(int sampleRate, int channels);
    std::size_t BytesPerSecond() const;
    StreamTime Duration(std::size_t bytes) const;

    const int sampleRate_;
    const int channels_;
    std::atomic<bool> running_{false};
    std::atomic<bool> failed_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::uint8_t> pending_;
    std::size_t readOffset_ = 0;
    int serial_ = 0;
    bool closed_ = false;
    bool started_ = false;
    StreamTime queueTime_ = 0; // stream time of the next byte to be taken
    // What has reached the device for serial_: the stream time its end
    // belongs at, how much of it the device still holds, and when that was seen.
    bool deviceHasSerial_ = false;
    StreamTime deviceEndTime_ = 0;
    std::size_t deviceQueued_ = 0;
    std::chrono::steady_clock::time_point deviceSeenAt_;

    std::unique_ptr<QThread> thread_;
};

} // namespace media
