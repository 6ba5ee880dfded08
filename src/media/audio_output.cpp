#include "media/audio_output.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace media {

namespace {

constexpr int kBytesPerSample = 2;
constexpr int kFeedIntervalMs = 10;
constexpr qint64 kDeviceBufferMicroseconds = 250'000;

// Owns the QAudioSink on a thread with its own event loop, as the sink's
// timers and backend callbacks need one.
class SoundThread final : public QThread {
public:
    explicit SoundThread(AudioOutput& output)
        : output_(output) {}

protected:
    void run() override {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        QAudioFormat format;
        format.setSampleRate(output_.SampleRate());
        format.setChannelCount(output_.Channels());
        format.setSampleFormat(QAudioFormat::Int16);
        if (device.isNull() || !device.isFormatSupported(format)) {
            output_.SetStarted(false);
            return;
        }
        QAudioSink sink(device, format);
        // Room for a busy machine: the sound thread may be kept from running
        // for a while without the device running dry. What waits in the device
        // is counted by the clock, so the size costs no synchronisation.
        sink.setBufferSize(format.bytesForDuration(kDeviceBufferMicroseconds));
        io_ = sink.start();
        if (!io_ || sink.error() != QAudio::NoError) {
            output_.SetStarted(false);
            return;
        }
        sink.suspend();
        output_.SetStarted(true);
        QTimer feed;
        feed.setInterval(kFeedIntervalMs);
        QObject::connect(&feed, &QTimer::timeout, [&] { Feed(sink); });
        feed.start();
        exec();
        sink.stop();
    }

private:
    void Feed(QAudioSink& sink) {
        const bool suspended = sink.state() == QAudio::SuspendedState;
        if (!output_.Running()) {
            if (!suspended)
                sink.suspend();
            return;
        }
        const auto room = static_cast<std::size_t>(std::max<qsizetype>(sink.bytesFree(), 0));
        buffer_.resize(room);
        int serial = serial_;
        StreamTime endTime = endTime_;
        const std::size_t taken = output_.Take(buffer_.data(), room, &serial, &endTime);
        if (serial != serial_) {
            // Sound of an earlier seek may still wait in the device: drop it.
            serial_ = serial;
            delivered_ = false;
            sink.stop();
            io_ = sink.start();
            if (!io_)
                return;
        } else if (suspended) {
            sink.resume();
        }
        if (taken > 0) {
            io_->write(reinterpret_cast<const char*>(buffer_.data()), static_cast<qint64>(taken));
            endTime_ = endTime;
            delivered_ = true;
        }
        if (delivered_) {
            const qsizetype queued = std::max<qsizetype>(sink.bufferSize() - sink.bytesFree(), 0);
            output_.SetDeviceState(serial_, endTime_, static_cast<std::size_t>(queued));
        }
    }

    AudioOutput& output_;
    QIODevice* io_ = nullptr;
    // The serial whose sound the device holds, and the stream time its end belongs at.
    int serial_ = 0;
    StreamTime endTime_ = 0;
    bool delivered_ = false;
    std::vector<std::uint8_t> buffer_;
};

} // namespace

AudioOutput::AudioOutput(int sampleRate, int channels)
    : sampleRate_(sampleRate)
    , channels_(channels) {}

std::unique_ptr<AudioOutput> AudioOutput::OpenDefault(int sampleRate, int channels) {
    // Qt's device enumeration needs the application object.
    if (!QCoreApplication::instance() || sampleRate <= 0 || channels <= 0)
        return nullptr;
    std::unique_ptr<AudioOutput> output(new AudioOutput(sampleRate, channels));
    output->thread_ = std::make_unique<SoundThread>(*output);
    output->thread_->start();
    return output;
}

AudioOutput::~AudioOutput() {
    Close();
    if (thread_) {
        thread_->quit();
        thread_->wait();
    }
}

std::size_t AudioOutput::BytesPerSecond() const {
    return static_cast<std::size_t>(sampleRate_) * static_cast<std::size_t>(channels_) *
           kBytesPerSample;
}

StreamTime AudioOutput::Duration(std::size_t bytes) const {
    return static_cast<StreamTime>(bytes) * kStreamUnitsPerSecond /
           static_cast<StreamTime>(BytesPerSecond());
}

bool AudioOutput::Write(const std::uint8_t* bytes, std::size_t count, int serial,
                        StreamTime time) {
    const std::size_t limit = BytesPerSecond();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
        return closed_ || failed_ || serial != serial_ || pending_.size() - readOffset_ < limit;
    });
    if (closed_ || failed_ || serial != serial_)
        return false;
    if (readOffset_ > 0 && readOffset_ >= pending_.size() / 2) {
        pending_.erase(pending_.begin(),
                       pending_.begin() + static_cast<std::ptrdiff_t>(readOffset_));
        readOffset_ = 0;
    }
    if (pending_.size() == readOffset_)
        queueTime_ = time;
    pending_.insert(pending_.end(), bytes, bytes + count);
    return true;
}

void AudioOutput::Flush(int serial) {
    {
        std::lock_guard lock(mutex_);
        pending_.clear();
        readOffset_ = 0;
        serial_ = serial;
        deviceHasSerial_ = false;
    }
    changed_.notify_all();
}

void AudioOutput::SetRunning(bool running) {
    {
        std::lock_guard lock(mutex_);
        running_ = running;
        // The device's measure is stale until the sound thread feeds again.
        deviceHasSerial_ = false;
    }
    changed_.notify_all();
}

void AudioOutput::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

std::optional<StreamTime> AudioOutput::HeardTime(int serial) const {
    std::lock_guard lock(mutex_);
    if (!running_ || !deviceHasSerial_ || serial != serial_)
        return std::nullopt;
    // Extrapolated from the last measure, never past what the device was given.
    const auto since = std::chrono::steady_clock::now() - deviceSeenAt_;
    const StreamTime heard =
        deviceEndTime_ - Duration(deviceQueued_) +
        std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
    return std::min(heard, deviceEndTime_);
}

bool AudioOutput::WaitUntilStarted(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return started_ || failed_; });
    return started_;
}

std::size_t AudioOutput::Take(std::uint8_t* bytes, std::size_t max, int* serial,
                              StreamTime* endTime) {
    std::size_t count = 0;
    {
        std::lock_guard lock(mutex_);
        *serial = serial_;
        // Whole sample frames only, so channels never swap.
        const std::size_t frameBytes = static_cast<std::size_t>(channels_) * kBytesPerSample;
        count = std::min(max, pending_.size() - readOffset_);
        count -= count % frameBytes;
        if (count == 0)
            return 0;
        std::memcpy(bytes, pending_.data() + readOffset_, count);
        readOffset_ += count;
        queueTime_ += Duration(count);
        *endTime = queueTime_;
    }
    changed_.notify_all();
    return count;
}

void AudioOutput::SetDeviceState(int serial, StreamTime endTime, std::size_t queuedBytes) {
    std::lock_guard lock(mutex_);
    if (serial != serial_ || !running_)
        return;
    deviceHasSerial_ = true;
    deviceEndTime_ = endTime;
    deviceQueued_ = queuedBytes;
    deviceSeenAt_ = std::chrono::steady_clock::now();
}

void AudioOutput::SetStarted(bool started) {
    {
        std::lock_guard lock(mutex_);
        started_ = started;
        failed_ = !started;
    }
    changed_.notify_all();
}

} // namespace media
