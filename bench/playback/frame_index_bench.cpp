// Building the frame index of a long video beside ffmpeg reading the same
// packets without decoding (-c copy to the null muxer), as a whole process in
// the same run. "seconds" is our wall time, "ratio" ours over ffmpeg's, taken
// in turns so that neither side always finds the file warmer in the page
// cache (target: within a second).
//
// The clip (10 minutes of 1280 x 720 H.264 at 25 fps, B-frames, a keyframe
// every 250 frames, about 30 MB) is made with ffmpeg on the first run and kept
// beside the program; making it takes a few minutes and is never timed.
#include "media/frame_index.h"
#include "support/bench_clips.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFrames = 10 * 60 * 25;

using bench_support::Quoted;

fs::path ClipPath() {
    return bench_support::MakeClip(TESSELON_BENCH_CLIPS, "h264_1280x720_10min.mp4",
                                   "-f lavfi -i testsrc2=s=1280x720:r=25:d=600 -c:v libx264 "
                                   "-preset superfast -b:v 400k -g 250 -keyint_min 250 "
                                   "-sc_threshold 0");
}

template <typename Work> double WallSeconds(Work&& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_FrameIndexBuildVsFfmpegCopy(benchmark::State& state) {
    const fs::path path = ClipPath();
    if (path.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const std::string peer =
        "ffmpeg -hide_banner -v error -nostdin -i " + Quoted(path) + " -map 0:v -c copy -f null -";
    // Untimed: brings the file into the page cache and checks the index.
    const auto warm = media::BuildFrameIndex(path, 0);
    if (!warm || warm->Count() != kFrames) {
        state.SkipWithError("the index does not count the clip's frames");
        return;
    }
    double ours = 0, theirs = 0;
    bool oursFirst = true;
    for (auto _ : state) {
        bool built = false;
        int status = 0;
        const auto runOurs = [&] {
            built = media::BuildFrameIndex(path, 0).has_value();
        };
        const auto runPeer = [&] {
            status = std::system(peer.c_str());
        };
        double time = 0, peerTime = 0;
        if (oursFirst) {
            time = WallSeconds(runOurs);
            peerTime = WallSeconds(runPeer);
        } else {
            peerTime = WallSeconds(runPeer);
            time = WallSeconds(runOurs);
        }
        oursFirst = !oursFirst;
        if (!built || status != 0) {
            state.SkipWithError("a run failed");
            return;
        }
        ours += time;
        theirs += peerTime;
        state.SetIterationTime(time);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["seconds"] = ours / iterations;
    state.counters["ffmpeg_s"] = theirs / iterations;
    state.counters["ratio"] = ours / theirs;
    state.counters["frames"] = static_cast<double>(warm->Count());
}

BENCHMARK(BM_FrameIndexBuildVsFfmpegCopy)
    ->Name("FrameIndex/BuildVsFfmpegCopy/h264_1280x720_10min")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

} // namespace

BENCHMARK_MAIN();
