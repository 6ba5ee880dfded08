// One 1920 x 1080 frame written as PNG, lossless WebP and lossy WebP (quality
// 75) by tesselon-grab (--count 1 --size native), beside the ffmpeg command
// writing the same frame of the same clip in the same format, as whole
// processes, ours and ffmpeg's in turn. "ratio" is our time over ffmpeg's:
// below 1 is faster. Six pairs; the median is reported. Both decode the clip's
// first frame; ours converts it to 32 bits first, as every save does.
//
// The clip (a textured 1 s H.264 picture) is made with ffmpeg on the first run
// and kept beside the program.
#include "support/bench_clips.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Peer {
    const char* name;
    const char* ours;   // tesselon-grab's options
    const char* ffmpeg; // the ffmpeg command's output options
    const char* file;   // the output file's name
};

const Peer kPeers[] = {
    {"png", "--format png", "", "frame.png"},
    {"webp_lossless", "--format webp", "-c:v libwebp -lossless 1", "frame.webp"},
    {"webp_q75", "--format webp --quality 75", "-c:v libwebp -lossless 0 -quality 75",
     "frame.webp"},
};

fs::path ClipPath() {
    return bench_support::MakeClip(TESSELON_BENCH_CLIPS, "textured_1920x1080_1s.mp4",
                                   "-f lavfi -i mandelbrot=s=1920x1080:r=25 -t 1 -c:v libx264 "
                                   "-preset veryfast -crf 18 -pix_fmt yuv420p");
}

// Seconds a shell command took, or a negative number when it failed.
double Seconds(const std::string& command) {
    const Clock::time_point start = Clock::now();
    if (std::system(command.c_str()) != 0)
        return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void WriteOneFrame(benchmark::State& state) {
    const Peer& peer = kPeers[state.range(0)];
    state.SetLabel(peer.name);
    const fs::path clip = ClipPath();
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const fs::path folder = fs::temp_directory_path() / "tesselon-still-bench";
    const std::string ours = std::string(TESSELON_GRAB) + " " + peer.ours +
                             " --count 1 --size native --out " +
                             bench_support::Quoted(folder / "ours") + " " +
                             bench_support::Quoted(clip) + " >/dev/null 2>&1";
    const std::string ffmpeg = "ffmpeg -hide_banner -loglevel error -nostdin -y -i " +
                               bench_support::Quoted(clip) + " -frames:v 1 " + peer.ffmpeg + " " +
                               bench_support::Quoted(folder / peer.file);
    double oursSeconds = 0;
    double peerSeconds = 0;
    for (auto _ : state) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        oursSeconds = Seconds(ours);
        peerSeconds = Seconds(ffmpeg);
    }
    fs::remove_all(folder);
    if (oursSeconds <= 0 || peerSeconds <= 0) {
        state.SkipWithError("tesselon-grab or ffmpeg failed");
        return;
    }
    state.counters["ours_s"] = oursSeconds;
    state.counters["ffmpeg_s"] = peerSeconds;
    state.counters["ratio"] = oursSeconds / peerSeconds;
}

BENCHMARK(WriteOneFrame)
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->Repetitions(6)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
