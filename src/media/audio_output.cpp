#include "media/audio_output.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>

namespace media {

namespace {

constexpr int kBytesPerSample = 2;
constexpr int kFeedIntervalMs = 10;
constexpr auto kStartTimeout = std::chrono::seconds(3);

// Owns the QAudioSink on a thread with its own event loop, as the sink's
// timers and backend callbacks need one.
class SoundThread final : public QThread {
public:
    SoundThread(AudioOutput& output, std::promise<bool> started)
        : output_(output)
        , started_(std::move(started)) {}

protected:
    void run() override {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        QAudioFormat format;
        format.setSampleRate(output_.SampleRate());
        format.setChannelCount(output_.Channels());
        format.setSampleFormat(QAudioFormat::Int16);
        if (device.isNull() || !device.isFormatSupported(format)) {
            started_.set_value(false);
            return;
        }
        QAudioSink sink(device, format);
        QIODevice* io = sink.start();
        if (!io || sink.error() != QAudio::NoError) {
            started_.set_value(false);
            return;
        }
        sink.suspend();
        started_.set_value(true);
        QTimer feed;
        feed.setInterval(kFeedIntervalMs);
        QObject::connect(&feed, &QTimer::timeout, [&] { Feed(sink, *io); });
        feed.start();
        exec();
        sink.stop();
    }

private:
    void Feed(QAudioSink& sink, QIODevice& io) {
        const bool suspended = sink.state() == QAudio::SuspendedState;
        if (!output_.Running()) {
            if (!suspended)
                sink.suspend();
            return;
        }
        if (suspended)
            sink.resume();
        const auto room = static_cast<std::size_t>(std::max<qsizetype>(sink.bytesFree(), 0));
        buffer_.resize(room);
        const std::size_t taken = output_.Take(buffer_.data(), room);
        if (taken > 0)
            io.write(reinterpret_cast<const char*>(buffer_.data()), static_cast<qint64>(taken));
    }

    AudioOutput& output_;
    std::promise<bool> started_;
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
    std::promise<bool> started;
    std::future<bool> result = started.get_future();
    output->thread_ = std::make_unique<SoundThread>(*output, std::move(started));
    output->thread_->start();
    if (result.wait_for(kStartTimeout) != std::future_status::ready || !result.get())
        return nullptr; // the destructor ends the thread
    return output;
}

AudioOutput::~AudioOutput() {
    if (thread_) {
        thread_->quit();
        thread_->wait();
    }
}

void AudioOutput::Write(const std::uint8_t* bytes, std::size_t count, int serial) {
    const std::size_t limit = static_cast<std::size_t>(sampleRate_) *
                              static_cast<std::size_t>(channels_) * kBytesPerSample;
    std::lock_guard lock(mutex_);
    if (serial != serial_ || pending_.size() - readOffset_ + count > limit)
        return;
    if (readOffset_ > 0 && readOffset_ >= pending_.size() / 2) {
        pending_.erase(pending_.begin(),
                       pending_.begin() + static_cast<std::ptrdiff_t>(readOffset_));
        readOffset_ = 0;
    }
    pending_.insert(pending_.end(), bytes, bytes + count);
}

void AudioOutput::Flush(int serial) {
    std::lock_guard lock(mutex_);
    pending_.clear();
    readOffset_ = 0;
    serial_ = serial;
}

std::size_t AudioOutput::Take(std::uint8_t* bytes, std::size_t max) {
    std::lock_guard lock(mutex_);
    // Whole sample frames only, so channels never swap.
    const std::size_t frameBytes = static_cast<std::size_t>(channels_) * kBytesPerSample;
    std::size_t count = std::min(max, pending_.size() - readOffset_);
    count -= count % frameBytes;
    if (count == 0)
        return 0;
    std::memcpy(bytes, pending_.data() + readOffset_, count);
    readOffset_ += count;
    return count;
}

} // namespace media
