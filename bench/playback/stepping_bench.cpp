// Stepping back through a video, with the default 256 MiB cache of pictures:
//   BackStepInsideCache       one step back whose frame is cached (target:
//                             within 5 ms);
//   BackStepJustOutsideCache  the first step back from a fresh position, which
//                             decodes from the keyframe before (target: within
//                             250 ms), from the middle of a keyframe interval
//                             and from its last frame, the worst case; beside
//                             it, show_ms is the seek and step forward to the
//                             same frame, and ffmpeg_ms the ffmpeg command
//                             decoding the same stretch;
//   HundredBackStepsFromIntervalEnd
//                             100 steps back in a row from the last frame of
//                             an interval, beside the ffmpeg command decoding
//                             that interval as a whole process in the same run;
//                             "ratio" is ours over twice ffmpeg's (target: at
//                             most 1), in wall time and in CPU time.
// "fresh:1" rounds open the file again each time, so the first step back also
// allocates the cache's pictures; "fresh:0" rounds keep one stream. Every time
// is wall time: stepping waits on the decoding threads. faulted_MiB is memory
// first touched during the timed steps, peak_MiB the most the process held.
//
// The clip (30 s of 1280 x 720 H.264 at 25 fps, B-frames, a keyframe every 250
// frames) is made with ffmpeg on the first run and kept beside the program.
#include "media/media_stream.h"
#include "support/bench_clips.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/cpu.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kRate = 25;
constexpr std::int64_t kFrames = 30 * kRate;
constexpr std::int64_t kInterval = 250;
constexpr media::StreamTime kFrameTime = media::kStreamUnitsPerSecond / kRate;
// The second keyframe interval, frames 250 to 499.
constexpr std::int64_t kIntervalStart = kInterval;
constexpr std::int64_t kIntervalEnd = 2 * kInterval - 1;
constexpr int kHundredSteps = 100;

using bench_support::ChildrenCpuSeconds;
using bench_support::Quoted;

fs::path ClipPath() {
    return bench_support::MakeClip(TESSELON_BENCH_CLIPS, "h264_1280x720_30s_gop250.mp4",
                                   "-f lavfi -i testsrc2=s=1280x720:r=25:d=30 -c:v libx264 "
                                   "-preset veryfast -b:v 1M -bf 3 -g 250 -keyint_min 250 "
                                   "-sc_threshold 0");
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU seconds of every thread of this process: stepping decodes on FFmpeg's
// threads, not the caller's.
double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Memory this process has touched for the first time, in MiB of pages: new
// pages are faulted in and cleared by the kernel.
double FaultedMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_minflt) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1 << 20);
}

// The most memory this process has held so far: run one benchmark alone
// (--benchmark_filter) to read its own.
double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024; // kilobytes on Linux
}

std::string SimdLevel() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("flags", 0) != 0)
            continue;
        const auto has = [&](const char* flag) {
            return line.find(std::string(" ") + flag + " ") != std::string::npos ||
                   line.ends_with(std::string(" ") + flag);
        };
        return has("avx512f") ? "avx512f" : has("avx2") ? "avx2" : "below avx2";
    }
    return "unknown";
}

// What FFmpeg's decoders and scaler choose at run time, from its own detection.
std::string FfmpegSimdLevel() {
    const int flags = av_get_cpu_flags();
    return (flags & AV_CPU_FLAG_AVX512) != 0 ? "avx512"
           : (flags & AV_CPU_FLAG_AVX2) != 0 ? "avx2"
           : (flags & AV_CPU_FLAG_AVX) != 0  ? "avx"
                                             : "sse or less";
}

// ---- the peer ----

// The first frames of the second interval. "-ss" before "-i" seeks to the
// keyframe before that time and drops what decodes before it; the interval
// starts on a keyframe, so nothing is dropped.
std::string PeerInput(const fs::path& clip, std::int64_t frames = kInterval) {
    return "-threads 0 -ss " + std::to_string(kIntervalStart / kRate) + " -i " + Quoted(clip) +
           " -frames:v " + std::to_string(frames);
}

struct PeerFrame {
    double seconds = 0;
    bool key = false;
};

// The frames the peer hands on, as its showinfo filter reports them, at the
// file's own times.
std::vector<PeerFrame> PeerFrames(const std::string& input) {
    const std::string command = "ffmpeg -hide_banner -nostdin -nostats -v info -copyts " + input +
                                " -vf showinfo -f null - 2>&1";
    std::vector<PeerFrame> frames;
    FILE* output = popen(command.c_str(), "r");
    if (output == nullptr)
        return frames;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, output) != nullptr) {
        const std::string line(buffer);
        const auto time = line.find("pts_time:");
        const auto key = line.find("iskey:");
        if (line.find("showinfo") == std::string::npos || time == std::string::npos ||
            key == std::string::npos)
            continue;
        frames.push_back({std::strtod(line.c_str() + time + 9, nullptr), line[key + 6] == '1'});
    }
    if (pclose(output) != 0)
        frames.clear();
    return frames;
}

bool SameTime(double seconds, std::int64_t frame) {
    return std::abs(seconds * kRate - static_cast<double>(frame)) < 0.01;
}

// The peer decodes exactly the interval: without dropping frames before the
// target, its seek lands on the interval's keyframe; with it, it hands on the
// interval's frames, first to last. (Its filters see one frame more than it
// writes, the next keyframe.)
bool PeerDecodesTheInterval(const fs::path& clip) {
    const auto landing = PeerFrames("-noaccurate_seek " + PeerInput(clip));
    const auto handed = PeerFrames(PeerInput(clip));
    const auto count = static_cast<std::size_t>(kInterval);
    return !landing.empty() && SameTime(landing.front().seconds, kIntervalStart) &&
           landing.front().key && handed.size() >= count &&
           SameTime(handed.front().seconds, kIntervalStart) &&
           SameTime(handed[count - 1].seconds, kIntervalEnd);
}

std::string PeerCommand(const fs::path& clip, std::int64_t frames) {
    return "ffmpeg -hide_banner -v error -nostdin " + PeerInput(clip, frames) + " -f null -";
}

// The clip, made once and the peer checked on it once; empty when either
// failed, with the benchmark marked.
fs::path CheckedClip(benchmark::State& state) {
    static const fs::path clip = ClipPath();
    static const bool peerChecked = !clip.empty() && PeerDecodesTheInterval(clip);
    if (clip.empty())
        state.SkipWithError("ffmpeg could not make the clip");
    else if (!peerChecked)
        state.SkipWithError("the ffmpeg command does not decode exactly the interval");
    else
        return clip;
    return {};
}

struct CommandTimes {
    double seconds = -1; // negative when the command failed
    double cpuSeconds = 0;
};

CommandTimes TimeCommand(const std::string& command) {
    const double cpuBefore = ChildrenCpuSeconds();
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    CommandTimes times;
    times.seconds = status == 0 ? SecondsSince(start) : -1;
    times.cpuSeconds = ChildrenCpuSeconds() - cpuBefore;
    return times;
}

// ---- our side ----

// One opened stream and a picture to step into.
class Stepper {
public:
    // Waits until the frame numbers are known: the pass that counts them
    // would otherwise take a core from the timed steps.
    bool Open(const fs::path& clip) {
        media::MediaStreamOptions options;
        options.audio = media::AudioMode::Silent;
        stream_ = std::make_unique<media::MediaStream>(options);
        if (!stream_->OpenFile(clip) || !stream_->HasVideo())
            return false;
        const int width = stream_->VideoWidth();
        const int height = stream_->VideoHeight();
        pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
        target_ = {pixels_.data(), width * 4, width, height};
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (!stream_->FrameNumbersKnown() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return stream_->FrameNumberOf((kFrames - 1) * kFrameTime) == kFrames - 1;
    }

    // As after the user moves there: a seek, then the first step.
    bool Show(std::int64_t frame) {
        return stream_->Seek(frame * kFrameTime) &&
               stream_->StepForward(target_) == media::StepResult::Frame && Shows(frame);
    }

    media::StepResult Back() { return stream_->StepBack(target_); }

    // By its time and by the frame index alike.
    bool Shows(std::int64_t frame) const {
        const media::StreamTime time = stream_->GetTime();
        return time == frame * kFrameTime && stream_->FrameNumberOf(time) == frame;
    }

    media::StreamTime Time() const { return stream_->GetTime(); }
    const media::MediaStream& Stream() const { return *stream_; }

private:
    std::unique_ptr<media::MediaStream> stream_;
    std::vector<std::uint8_t> pixels_;
    media::FrameTarget target_;
};

void BM_BackStepInsideCache(benchmark::State& state) {
    const fs::path clip = CheckedClip(state);
    if (clip.empty())
        return;
    constexpr std::int64_t kFrom = 400;
    Stepper stepper;
    std::int64_t shown = 0, cachedSteps = 0;
    std::size_t cachedFrames = 0, cachedBytes = 0;
    double total = 0, worst = 0;
    int rounds = 0;
    for (auto _ : state) {
        if (cachedSteps == 0) {
            // A fresh stream, so that the cache holds only what the first
            // step back puts in it.
            if (!stepper.Open(clip) || !stepper.Show(kFrom) ||
                stepper.Back() != media::StepResult::Frame || !stepper.Shows(kFrom - 1)) {
                state.SkipWithError("could not fill the cache from frame 400");
                return;
            }
            cachedFrames = stepper.Stream().CachedFrames();
            cachedBytes = stepper.Stream().CachedBytes();
            // The cache holds the stretch ending at the frame shown and
            // perhaps the frame it left, which lies after it.
            cachedSteps = static_cast<std::int64_t>(cachedFrames) - 2;
            shown = kFrom - 1;
            ++rounds;
            if (cachedSteps < 1) {
                state.SkipWithError("the cache kept too little to step back in");
                return;
            }
        }
        const auto start = Clock::now();
        const media::StepResult result = stepper.Back();
        const double seconds = SecondsSince(start);
        --shown;
        --cachedSteps;
        if (result != media::StepResult::Frame || !stepper.Shows(shown)) {
            state.SkipWithError("a step back did not show the frame before");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
        worst = std::max(worst, seconds);
    }
    state.counters["ms"] = total * 1e3 / static_cast<double>(state.iterations());
    state.counters["worst_ms"] = worst * 1e3;
    state.counters["cached_frames"] = static_cast<double>(cachedFrames);
    state.counters["cached_MiB"] = static_cast<double>(cachedBytes) / (1 << 20);
    state.counters["rounds"] = rounds;
}

// Where each timed round starts. On a fresh stream every round, the first
// step back after opening, which also allocates the cache's pictures and the
// decoder's frames; or on one stream, after one untimed round, alternating
// between two keyframe intervals at the same place so that no round finds
// its own interval cached.
class Rounds {
public:
    Rounds(fs::path clip, bool fresh)
        : clip_(std::move(clip))
        , fresh_(fresh) {}

    // Shows frame (of the second interval) or the same place in the third;
    // the frame shown, or none on failure. secondsToShow receives the time
    // the seek and first step took.
    std::optional<std::int64_t> Start(std::int64_t frame, double* secondsToShow = nullptr) {
        if (fresh_ || !opened_) {
            if (!stepper_.Open(clip_))
                return std::nullopt;
            opened_ = true;
            if (!fresh_ &&
                (!stepper_.Show(frame + kInterval) || stepper_.Back() != media::StepResult::Frame))
                return std::nullopt;
        }
        const std::int64_t shown = fresh_ || rounds_ % 2 == 0 ? frame : frame + kInterval;
        ++rounds_;
        const auto start = Clock::now();
        if (!stepper_.Show(shown))
            return std::nullopt;
        if (secondsToShow != nullptr)
            *secondsToShow = SecondsSince(start);
        return shown;
    }

    Stepper& Stream() { return stepper_; }

private:
    fs::path clip_;
    bool fresh_;
    bool opened_ = false;
    int rounds_ = 0;
    Stepper stepper_;
};

void BM_BackStepJustOutsideCache(benchmark::State& state) {
    const fs::path clip = CheckedClip(state);
    if (clip.empty())
        return;
    // ffmpeg decoding the same stretch, from the keyframe to the frame before.
    const std::string peer = PeerCommand(clip, state.range(0) - kIntervalStart);
    Rounds rounds(clip, state.range(1) != 0);
    double total = 0, worst = 0, showing = 0, theirs = 0, faulted = 0;
    std::size_t cachedFrames = 0;
    for (auto _ : state) {
        double secondsToShow = 0;
        const auto from = rounds.Start(state.range(0), &secondsToShow);
        if (!from) {
            state.SkipWithError("could not show the frame to step back from");
            return;
        }
        Stepper& stepper = rounds.Stream();
        const double faultedBefore = FaultedMiB();
        const auto start = Clock::now();
        const media::StepResult result = stepper.Back();
        const double seconds = SecondsSince(start);
        faulted += FaultedMiB() - faultedBefore;
        if (result != media::StepResult::Frame || !stepper.Shows(*from - 1)) {
            state.SkipWithError("the step back did not show the frame before");
            return;
        }
        cachedFrames = stepper.Stream().CachedFrames();
        const CommandTimes command = TimeCommand(peer);
        if (command.seconds < 0) {
            state.SkipWithError("the ffmpeg command failed");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
        showing += secondsToShow;
        theirs += command.seconds;
        worst = std::max(worst, seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["ms"] = total * 1e3 / iterations;
    state.counters["worst_ms"] = worst * 1e3;
    // The seek and step forward to the same frame decode the same stretch
    // without keeping it: what the step back adds is the rest.
    state.counters["show_ms"] = showing * 1e3 / iterations;
    state.counters["ffmpeg_ms"] = theirs * 1e3 / iterations;
    state.counters["faulted_MiB"] = faulted / iterations;
    state.counters["decoded_before"] = static_cast<double>(state.range(0) - kIntervalStart);
    state.counters["cached_frames"] = static_cast<double>(cachedFrames);
    state.counters["peak_MiB"] = PeakResidentMiB();
}

struct StepsTimes {
    double seconds = -1; // negative when a step went wrong
    double cpuSeconds = 0;
    double faultedMiB = 0;
};

// Steps back kHundredSteps times from the last frame of an interval, each of
// which must show the frame just before.
StepsTimes TimeHundredSteps(Rounds& rounds, std::string& error) {
    const auto from = rounds.Start(kIntervalEnd);
    if (!from) {
        error = "could not show the interval's last frame";
        return {};
    }
    Stepper& stepper = rounds.Stream();
    std::vector<media::StepResult> results(kHundredSteps);
    std::vector<media::StreamTime> times(kHundredSteps);
    const double cpuBefore = ProcessCpuSeconds();
    const double faultedBefore = FaultedMiB();
    const auto start = Clock::now();
    for (int step = 0; step < kHundredSteps; ++step) {
        results[step] = stepper.Back();
        times[step] = stepper.Time();
    }
    const StepsTimes measured{SecondsSince(start), ProcessCpuSeconds() - cpuBefore,
                              FaultedMiB() - faultedBefore};
    media::StreamTime expected = *from * kFrameTime;
    for (int step = 0; step < kHundredSteps; ++step) {
        expected -= kFrameTime;
        if (results[step] != media::StepResult::Frame || times[step] != expected) {
            error = "step " + std::to_string(step + 1) + " did not show the frame before";
            return {};
        }
    }
    if (!stepper.Shows(*from - kHundredSteps)) {
        error = "the frame index disagrees with the frame reached";
        return {};
    }
    return measured;
}

void BM_HundredBackStepsFromIntervalEnd(benchmark::State& state) {
    const fs::path clip = CheckedClip(state);
    if (clip.empty())
        return;
    const std::string peer = PeerCommand(clip, kInterval);
    Rounds rounds(clip, state.range(0) != 0);
    double ours = 0, theirs = 0, oursCpu = 0, theirsCpu = 0, faulted = 0;
    bool oursFirst = true;
    for (auto _ : state) {
        std::string error;
        StepsTimes steps;
        CommandTimes command;
        // In turns, so that neither side always finds the file warmer.
        if (oursFirst) {
            steps = TimeHundredSteps(rounds, error);
            command = TimeCommand(peer);
        } else {
            command = TimeCommand(peer);
            steps = TimeHundredSteps(rounds, error);
        }
        oursFirst = !oursFirst;
        if (steps.seconds < 0) {
            state.SkipWithError(error.c_str());
            return;
        }
        if (command.seconds < 0) {
            state.SkipWithError("the ffmpeg command failed");
            return;
        }
        ours += steps.seconds;
        theirs += command.seconds;
        oursCpu += steps.cpuSeconds;
        faulted += steps.faultedMiB;
        theirsCpu += command.cpuSeconds;
        state.SetIterationTime(steps.seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["ours_s"] = ours / iterations;
    state.counters["ffmpeg_s"] = theirs / iterations;
    state.counters["ratio"] = ours / (2 * theirs);
    // CPU time on every core: a wall-time win bought with more work is no win.
    state.counters["ours_cpu_s"] = oursCpu / iterations;
    state.counters["ffmpeg_cpu_s"] = theirsCpu / iterations;
    state.counters["cpu_ratio"] = oursCpu / (2 * theirsCpu);
    state.counters["faulted_MiB"] = faulted / iterations;
    state.counters["peak_MiB"] = PeakResidentMiB();
}

BENCHMARK(BM_BackStepInsideCache)
    ->Name("Stepping/BackStepInsideCache")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(140);

// fresh 1: the first step back after opening; 0: later ones on one stream.
BENCHMARK(BM_BackStepJustOutsideCache)
    ->Name("Stepping/BackStepJustOutsideCache")
    ->ArgNames({"from", "fresh"})
    ->ArgsProduct({{kIntervalStart + kInterval / 2, kIntervalEnd}, {1, 0}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

BENCHMARK(BM_HundredBackStepsFromIntervalEnd)
    ->Name("Stepping/HundredBackStepsFromIntervalEnd")
    ->ArgName("fresh")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

} // namespace

int main(int argc, char** argv) {
    benchmark::AddCustomContext("simd", SimdLevel());
    benchmark::AddCustomContext("ffmpeg_simd", FfmpegSimdLevel());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
