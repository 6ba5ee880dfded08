// Playback speed beside ffmpeg, measured in the same run. Each iteration times
// our work and the ffmpeg command on the same clip; the "ratio" counter is our
// time over ffmpeg's (targets: at most 1.3 for decoding into the 360 x 240
// surface, at most 1.0 for writing 100 JPEG files, in wall time and in CPU
// time).
//
// The clips (352 x 288 MPEG-1 and 1280 x 720 H.264, 100 frames each) are made
// with ffmpeg on the first run and kept beside the program.
#include "playback/video_source.h"
#include "support/bench_clips.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFrames = 100;
constexpr platform::Rect kTargetRect{0, 0, 360, 240};

struct Clip {
    const char* name;
    const char* makeArguments;
};

const Clip kClips[] = {
    {"mpeg1_352x288.mpg",
     "-f lavfi -i testsrc2=s=352x288:r=25:d=4 -c:v mpeg1video -q:v 4 -bf 2 -g 12"},
    {"h264_1280x720.mp4",
     "-f lavfi -i testsrc2=s=1280x720:r=25:d=4 -c:v libx264 -preset medium -crf 23"},
};

using bench_support::ChildrenCpuSeconds;
using bench_support::Quoted;

fs::path ClipPath(const Clip& clip) {
    return bench_support::MakeClip(TESSELON_BENCH_CLIPS, clip.name, clip.makeArguments);
}

// Seconds the shell command took; negative when it failed. `cpuSeconds`, when
// given, receives the CPU time it used on every core.
double TimeCommand(const std::string& command, double* cpuSeconds = nullptr) {
    const double cpuBefore = ChildrenCpuSeconds();
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (cpuSeconds != nullptr)
        *cpuSeconds = ChildrenCpuSeconds() - cpuBefore;
    return status == 0 ? seconds : -1;
}

// Every frame is due as soon as it is decoded.
class FreeRunningTimeSource final : public media::TimeSource {
public:
    std::chrono::nanoseconds Now() const override {
        return std::chrono::nanoseconds(now_ += 3'600'000'000'000);
    }

private:
    mutable std::atomic<std::int64_t> now_{0};
};

// Opens the clip in CDShow and renders every frame into a 360 x 240 surface.
double TimeDecodeAndStretch(const fs::path& clip, int* frames) {
    std::unique_ptr<platform::DisplayDevice> device;
    platform::DisplayDevice::Create(&device);
    platform::SurfaceDescription description;
    description.flags = platform::DDSD_CAPS | platform::DDSD_WIDTH | platform::DDSD_HEIGHT;
    description.caps = platform::DDSCAPS_OFFSCREENPLAIN;
    description.width = 360;
    description.height = 240;
    std::shared_ptr<platform::Surface> target;
    device->CreateSurface(description, &target);

    const auto start = Clock::now();
    playback::VideoSourceOptions options;
    options.audio = media::AudioMode::Silent;
    options.timeSource = std::make_shared<FreeRunningTimeSource>();
    CDShow source(options);
    if (!source.Open(clip, device.get()))
        return -1;
    source.Play();
    *frames = 0;
    while (source.Render(target.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame) &&
           source.IsPlaying())
        ++*frames;
    source.Close();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void ReportRatio(benchmark::State& state, double ours, double peer, int frames) {
    state.counters["ours_s"] = ours;
    state.counters["ffmpeg_s"] = peer;
    state.counters["ratio"] = ours / peer;
    if (frames > 0) {
        state.counters["frames"] = frames;
        state.counters["fps"] = frames / ours;
    }
}

void BM_DecodeAndStretch(benchmark::State& state, const Clip& clip) {
    const fs::path path = ClipPath(clip);
    if (path.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const std::string peer = "ffmpeg -hide_banner -loglevel error -nostdin -i " + Quoted(path) +
                             " -vf scale=360:240 -f null -";
    double ours = 0, theirs = 0;
    int frames = 0;
    for (auto _ : state) {
        const double time = TimeDecodeAndStretch(path, &frames);
        const double peerTime = TimeCommand(peer);
        if (time < 0 || peerTime < 0) {
            state.SkipWithError("a run failed");
            return;
        }
        ours += time;
        theirs += peerTime;
        state.SetIterationTime(time);
    }
    ReportRatio(state, ours / state.iterations(), theirs / state.iterations(), frames);
}

#ifdef TESSELON_GRAB
void BM_GrabHundredJpegs(benchmark::State& state, const Clip& clip) {
    const fs::path path = ClipPath(clip);
    if (path.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const fs::path outputs = fs::temp_directory_path() / "tesselon-grab-bench";
    const std::string ours = std::string("'") + TESSELON_GRAB + "' --count 100 " + Quoted(path) +
                             " " + Quoted(outputs / "ours") + " > /dev/null";
    const std::string peer = "ffmpeg -hide_banner -loglevel error -nostdin -y -i " + Quoted(path) +
                             " -vf scale=360:240 -frames:v 100 " +
                             Quoted(outputs / "ffmpeg" / "%03d.jpg");
    double oursTotal = 0, theirsTotal = 0, oursCpu = 0, theirsCpu = 0;
    for (auto _ : state) {
        fs::remove_all(outputs);
        fs::create_directories(outputs / "ours");
        fs::create_directories(outputs / "ffmpeg");
        double cpu = 0, peerCpu = 0;
        const double time = TimeCommand(ours, &cpu);
        const double peerTime = TimeCommand(peer, &peerCpu);
        if (time < 0 || peerTime < 0) {
            state.SkipWithError("a run failed");
            return;
        }
        oursTotal += time;
        theirsTotal += peerTime;
        oursCpu += cpu;
        theirsCpu += peerCpu;
        state.SetIterationTime(time);
    }
    fs::remove_all(outputs);
    ReportRatio(state, oursTotal / state.iterations(), theirsTotal / state.iterations(), kFrames);
    // CPU time on every core: a wall-time win bought with more work is no win.
    state.counters["ours_cpu_s"] = oursCpu / state.iterations();
    state.counters["ffmpeg_cpu_s"] = theirsCpu / state.iterations();
    state.counters["cpu_ratio"] = oursCpu / theirsCpu;
}
#endif

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    for (const Clip& clip : kClips) {
        benchmark::RegisterBenchmark((std::string("DecodeAndStretch/") + clip.name).c_str(),
                                     BM_DecodeAndStretch, clip)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
#ifdef TESSELON_GRAB
        benchmark::RegisterBenchmark((std::string("GrabHundredJpegs/") + clip.name).c_str(),
                                     BM_GrabHundredJpegs, clip)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
#endif
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
