// Sound output on the default audio device through Qt Multimedia's QAudioSink,
// fed in push mode from its own thread. When there is no default device, or
// the sink does not start, Open returns none and the stream plays silently.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

namespace media {

// Thread-safe: any thread may write, flush and run or stop the output.
class AudioOutput {
public:
    // Signed 16-bit interleaved samples at sampleRate with channels channels.
    static std::unique_ptr<AudioOutput> OpenDefault(int sampleRate, int channels);
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    int SampleRate() const { return sampleRate_; }
    int Channels() const { return channels_; }

    // Queues samples of the given seek serial; stale serials are dropped, and
    // so is whatever does not fit in about a second of buffer.
    void Write(const std::uint8_t* bytes, std::size_t count, int serial);
    // Drops what is queued and accepts only serial from now on.
    void Flush(int serial);
    void SetRunning(bool running) { running_ = running; }

    // Called on the sound thread: takes up to max queued bytes.
    std::size_t Take(std::uint8_t* bytes, std::size_t max);
    bool Running() const { return running_; }

private:
    AudioOutput(int sampleRate, int channels);

    const int sampleRate_;
    const int channels_;
    std::atomic<bool> running_{false};
    std::mutex mutex_;
    std::vector<std::uint8_t> pending_;
    std::size_t readOffset_ = 0;
    int serial_ = 0;
    std::unique_ptr<QThread> thread_;
};

} // namespace media
