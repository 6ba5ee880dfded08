// Sound and picture in step, measured as a listener would: a clip with a short
// beep at every whole second plays on the default output while the sound
// server's monitor of that output is recorded. Each beep heard is matched
// with the picture's stream time at that moment. Needs a sound server and its
// parec command (.ci/run starts one with a null sink); skipped without them.
#include "media/media_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRate = 48000;
constexpr double kBeepSeconds = 0.05;
constexpr double kTolerance = 0.040;

double SecondsOf(Clock::time_point time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

// Records the monitor of the default output. Each sample's wall time is
// anchored on the earliest read, as a read can only come after its samples.
class MonitorRecorder {
public:
    bool Start() {
        pipe_ = ::popen("exec parec --device=@DEFAULT_MONITOR@ --latency-msec=5 --raw "
                        "--format=s16le --channels=1 --rate=48000 2>/dev/null",
                        "r");
        if (!pipe_)
            return false;
        reader_ = std::thread([this] { Read(); });
        return true;
    }
    void Stop() {
        stop_ = true;
        if (reader_.joinable())
            reader_.join();
        if (pipe_)
            ::pclose(pipe_);
    }
    // Wall times (seconds) and lengths of the beeps heard.
    std::vector<std::pair<double, double>> Beeps() const {
        std::vector<std::pair<double, double>> beeps;
        std::size_t at = 0;
        while (at < samples_.size()) {
            if (std::abs(samples_[at]) < 2000) {
                ++at;
                continue;
            }
            // A beep ends after 5 ms without a loud sample.
            std::size_t last = at;
            std::size_t scan = at;
            while (scan < samples_.size() && scan - last < kRate / 200) {
                if (std::abs(samples_[scan]) >= 2000)
                    last = scan;
                ++scan;
            }
            beeps.emplace_back(origin_ + double(at) / kRate, double(last - at) / kRate);
            at = scan;
        }
        return beeps;
    }

private:
    void Read() {
        std::int16_t chunk[240];
        origin_ = 1e300;
        while (!stop_) {
            const std::size_t read = std::fread(chunk, sizeof chunk[0], 240, pipe_);
            if (read == 0)
                break;
            samples_.insert(samples_.end(), chunk, chunk + read);
            origin_ = std::min(origin_, SecondsOf(Clock::now()) - double(samples_.size()) / kRate);
        }
    }

    std::FILE* pipe_ = nullptr;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::vector<std::int16_t> samples_;
    double origin_ = 0;
};

// When each frame was handed over, by stream time.
struct Shown {
    double wall;
    double streamTime;
};

// The picture's stream time at a wall time: the frame on screen then.
double PictureTimeAt(const std::vector<Shown>& shown, double wall) {
    const Shown* last = nullptr;
    for (const Shown& frame : shown)
        if (frame.wall <= wall)
            last = &frame;
    return last ? last->streamTime + std::min(wall - last->wall, 0.04) : -1;
}

void Play(media::MediaStream& stream, double from, double until, std::vector<Shown>& shown) {
    stream.SetState(media::StreamState::Stop);
    stream.Seek(static_cast<media::StreamTime>(from * 1e7));
    stream.SetState(media::StreamState::Run);
    while (stream.Fetch({}) == media::FetchResult::Frame) {
        const double time = double(stream.GetTime()) / 1e7;
        shown.push_back({SecondsOf(Clock::now()), time});
        if (time >= until)
            break;
    }
}

TEST(SoundSync, EveryBeepIsHeardWithinFortyMillisecondsOfItsPicture) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "timing is not representative under a sanitizer";
#endif
    if (std::system("command -v parec > /dev/null && command -v ffmpeg > /dev/null") != 0)
        GTEST_SKIP() << "parec or ffmpeg missing";
    const fs::path clip =
        fs::temp_directory_path() / ("beeps-" + std::to_string(::getpid()) + ".mpg");
    const std::string make =
        "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc=s=176x144:r=25:d=12"
        " -f lavfi -i \"aevalsrc=if(lt(mod(t\\,1)\\,0.05)\\,0.5*sin(2*PI*1000*t)\\,0):s=48000:d=12\""
        " -c:v mpeg1video -q:v 4 -c:a mp2 -b:a 192k '" +
        clip.string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    media::MediaStream stream;
    ASSERT_TRUE(stream.OpenFile(clip));
    if (!stream.HasSound())
        GTEST_SKIP() << "no default sound output";

    MonitorRecorder recorder;
    ASSERT_TRUE(recorder.Start());
    // The null sink wakes from idle with a short glitch of its own (about
    // 10 ms of the first sound lost): play a moment before measuring.
    std::vector<Shown> warmUp;
    Play(stream, 8.2, 8.8, warmUp);
    std::this_thread::sleep_for(1000ms);
    std::vector<Shown> shown;
    const double measureFrom = SecondsOf(Clock::now());
    Play(stream, 0, 4.5, shown);   // from the start
    Play(stream, 6.5, 12, shown);  // a seek, to the end
    Play(stream, 0, 2.5, shown);   // and the loop to the start
    stream.SetState(media::StreamState::Stop);
    std::this_thread::sleep_for(500ms);
    recorder.Stop();
    fs::remove(clip);

    // Seconds 0-4, 7-11 and 0-2: thirteen beeps, each whole, each in step.
    const auto beeps = recorder.Beeps();
    std::vector<double> offsets;
    std::size_t measured = 0;
    for (const auto& [wall, length] : beeps) {
        if (wall < measureFrom)
            continue;
        const double picture = PictureTimeAt(shown, wall);
        const double offset = picture - std::round(picture);
        offsets.push_back(offset);
        ++measured;
        EXPECT_NEAR(length, kBeepSeconds, 0.006) << "beep at picture time " << picture;
        EXPECT_LE(std::abs(offset), kTolerance) << "beep at picture time " << picture;
    }
    EXPECT_EQ(measured, 13u);
    std::string report;
    for (double offset : offsets)
        report += std::to_string(int(std::lround(offset * 1000))) + " ";
    std::printf("picture minus sound at each beep (ms): %s\n", report.c_str());
}

} // namespace
