// tesselon-grab choosing frames of a 10-minute 1280 x 720 H.264 clip, beside
// the ffmpeg command doing the same, as whole processes in turn (ours first
// in one pair, ffmpeg first in the next), five pairs:
// - keyframes: `tesselon-grab --keyframes` against
//   `ffmpeg -skip_frame nokey`; neither decodes the pictures between
//   keyframes.
// - scenes: `tesselon-grab --scenes T` against ffmpeg's
//   `select='gt(scene,T)'`; both decode every frame.
// Both write each frame taken as a 360 x 240 JPEG file (our default size),
// with full-resolution chroma as our encoder writes it.
// "ratio" is our wall time over ffmpeg's, pair by pair: its median, minimum
// and maximum (target: a median of at most 1.0).
//
// The clip (a keyframe every 250 frames, B-frames, about 30 MB; the same as
// frame_index_bench's) is made with ffmpeg on the first run and kept beside
// the playback benchmarks; making it takes a few minutes and is never timed.
#include "support/bench_clips.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using bench_support::Quoted;
using Clock = std::chrono::steady_clock;

constexpr int kPairs = 5;
constexpr const char* kThreshold = "0.1";

fs::path ClipPath() {
    return bench_support::MakeClip(TESSELON_LONG_CLIPS, "h264_1280x720_10min.mp4",
                                   "-f lavfi -i testsrc2=s=1280x720:r=25:d=600 -c:v libx264 "
                                   "-preset superfast -b:v 400k -g 250 -keyint_min 250 "
                                   "-sc_threshold 0");
}

struct Peer {
    const char* name;
    std::string ours;   // tesselon-grab's options
    std::string ffmpeg; // the ffmpeg command's input and filter options
};

const Peer kPeers[] = {
    {"keyframes", "--keyframes", "-skip_frame nokey -i CLIP -vsync 0 -vf scale=360:240"},
    {"scenes", std::string("--scenes ") + kThreshold,
     std::string("-i CLIP -vf \"select='gt(scene,") + kThreshold +
         ")',scale=360:240\" -vsync vfr"},
};

// Seconds the shell command took, or a negative number when it failed.
double Seconds(const std::string& command) {
    const Clock::time_point start = Clock::now();
    if (std::system(command.c_str()) != 0)
        return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void ChooseFrames(benchmark::State& state) {
    const Peer& peer = kPeers[state.range(0)];
    state.SetLabel(peer.name);
    const fs::path clip = ClipPath();
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const fs::path folder =
        fs::temp_directory_path() / ("tesselon-frame-choice-bench-" + std::to_string(::getpid()));
    std::string ffmpegInput = peer.ffmpeg;
    ffmpegInput.replace(ffmpegInput.find("CLIP"), 4, Quoted(clip));
    const std::string ours = std::string(TESSELON_GRAB) + " " + peer.ours +
                             " --out " + Quoted(folder / "ours") + " " +
                             Quoted(clip) + " >/dev/null 2>&1";
    const std::string ffmpeg = "ffmpeg -hide_banner -loglevel error -nostdin -y " + ffmpegInput +
                               " -pix_fmt yuvj444p -q:v 3 " +
                               Quoted(folder / "ffmpeg" / "%05d.jpg");
    std::vector<double> ratios, oursSeconds, peerSeconds;
    for (auto _ : state) {
        for (int pair = 0; pair < kPairs; ++pair) {
            fs::remove_all(folder);
            fs::create_directories(folder / "ffmpeg");
            double mine = 0, theirs = 0;
            if (pair % 2 == 0) {
                mine = Seconds(ours);
                theirs = Seconds(ffmpeg);
            } else {
                theirs = Seconds(ffmpeg);
                mine = Seconds(ours);
            }
            if (mine <= 0 || theirs <= 0) {
                state.SkipWithError("tesselon-grab or ffmpeg failed");
                fs::remove_all(folder);
                return;
            }
            oursSeconds.push_back(mine);
            peerSeconds.push_back(theirs);
            ratios.push_back(mine / theirs);
        }
        state.SetIterationTime(Median(oursSeconds));
    }
    fs::remove_all(folder);
    state.counters["ours_s"] = Median(oursSeconds);
    state.counters["ffmpeg_s"] = Median(peerSeconds);
    state.counters["ratio"] = Median(ratios);
    state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
    state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
}

BENCHMARK(ChooseFrames)
    ->DenseRange(0, 1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
