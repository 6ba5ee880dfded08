// tesselon-grab over 20 videos at once, as a user runs it: GNU parallel on
// every local core, one `tesselon-grab --out D --per-video` per clip, 100
// frames each written as 360 x 240 JPEG files. Beside it, under the same
// parallel, the ffmpeg command doing the same work per clip: 100 frames
// decoded, scaled to 360 x 240 and written as JPEG files, with full-resolution
// chroma as our encoder writes it. Each repetition is one round of both, taken
// in turns so that neither always runs first; "ratio" is our wall time over
// ffmpeg's (target: at most 1.0), cpu_ratio the same for CPU time on every core.
//
// The clips (640 x 360, 5 s at 25 fps, half H.264 in MP4, half MPEG-4 Visual
// in AVI) are made with ffmpeg on the first run and kept beside the program.
#include "jpeg/transform.h"
#include "support/bench_clips.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/cpu.h>
}

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench_support::ChildrenCpuSeconds;
using bench_support::Quoted;

constexpr int kClips = 20;
constexpr int kFrames = 100;

// The clips, made when missing; empty when ffmpeg could not make one.
std::vector<fs::path> Clips() {
    std::vector<fs::path> clips;
    for (int i = 0; i < kClips; ++i) {
        const bool h264 = i % 2 == 0;
        const std::string name = "clip" + std::to_string(i) + (h264 ? "_h264.mp4" : "_mpeg4.avi");
        // A different stretch of the pattern in each clip, so no two files are alike.
        const std::string source =
            "-f lavfi -i testsrc2=s=640x360:r=25:d=5,hue=h=" + std::to_string(i * 18) +
            " -pix_fmt yuv420p ";
        const fs::path clip = bench_support::MakeClip(
            TESSELON_BENCH_CLIPS, name,
            source + (h264 ? "-c:v libx264 -preset medium -crf 23" : "-c:v mpeg4 -q:v 4 -bf 2"));
        if (clip.empty())
            return {};
        clips.push_back(clip);
    }
    return clips;
}

// Seconds the shell command took, negative when it failed; cpuSeconds gets
// the CPU time of every process it ran.
double TimeCommand(const std::string& command, double& cpuSeconds) {
    const double cpuBefore = ChildrenCpuSeconds();
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    cpuSeconds = ChildrenCpuSeconds() - cpuBefore;
    return status == 0 ? seconds : -1;
}

// The number of JPEG files under folder, at any depth.
int CountJpegs(const fs::path& folder) {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string extension = entry.path().extension().string();
        count += extension == ".JPG" || extension == ".jpg";
    }
    return count;
}

// The widest vector path our encoder's transform takes on this machine.
std::string SimdLevel() {
    using jpeg::TransformPath;
    return jpeg::TransformPathSupported(TransformPath::Avx512) ? "avx512f"
           : jpeg::TransformPathSupported(TransformPath::Avx2) ? "avx2"
                                                                         : "portable";
}

// What FFmpeg's decoders and scaler choose at run time, from its own detection.
std::string FfmpegSimdLevel() {
    const int flags = av_get_cpu_flags();
    return (flags & AV_CPU_FLAG_AVX512) != 0 ? "avx512"
           : (flags & AV_CPU_FLAG_AVX2) != 0 ? "avx2"
           : (flags & AV_CPU_FLAG_AVX) != 0  ? "avx"
                                             : "sse or less";
}

void BM_ParallelGrabVsFfmpeg(benchmark::State& state) {
    const std::vector<fs::path> clips = Clips();
    if (clips.empty()) {
        state.SkipWithError("ffmpeg could not make the clips");
        return;
    }
    if (std::system("command -v parallel > /dev/null") != 0) {
        state.SkipWithError("no GNU parallel");
        return;
    }
    const fs::path work =
        fs::temp_directory_path() / ("tesselon-parallel-grab-bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "home");
    const fs::path list = work / "clips.txt";
    {
        std::ofstream out(list);
        for (const fs::path& clip : clips)
            out << clip.string() << '\n';
    }
    const fs::path oursOut = work / "ours";
    const fs::path peerOut = work / "ffmpeg";
    // parallel keeps its state under HOME; a private one never asks anything.
    const std::string parallel = "HOME=" + Quoted(work / "home") + " GRAB='" + TESSELON_GRAB +
                                 "' OUT_DIR=" + Quoted(oursOut) + " PEER_DIR=" + Quoted(peerOut) +
                                 " parallel --will-cite ";
    const std::string ours =
        parallel + "'\"$GRAB\" --out \"$OUT_DIR\" --per-video {} > /dev/null' :::: " + Quoted(list);
    const std::string peer =
        parallel +
        "'mkdir -p \"$PEER_DIR\"/{/.} && ffmpeg -hide_banner -v error -nostdin -i {} "
        "-frames:v 100 -vf scale=360:240 -pix_fmt yuvj444p -q:v 3 \"$PEER_DIR\"/{/.}/%03d.jpg' "
        ":::: " +
        Quoted(list);
    // Untimed: the clips into the page cache.
    if (std::system(("cat " + Quoted(TESSELON_BENCH_CLIPS) + "/clip* > /dev/null").c_str()) != 0) {
        state.SkipWithError("the clips cannot be read");
        return;
    }

    // Repetitions are separate calls: the turn is kept between them.
    static bool oursFirst = true;
    double oursTotal = 0, peerTotal = 0, oursCpu = 0, peerCpu = 0;
    for (auto _ : state) {
        fs::remove_all(oursOut);
        fs::remove_all(peerOut);
        fs::create_directories(oursOut);
        fs::create_directories(peerOut);
        double time = 0, peerTime = 0, cpu = 0, cpuPeer = 0;
        if (oursFirst) {
            time = TimeCommand(ours, cpu);
            peerTime = TimeCommand(peer, cpuPeer);
        } else {
            peerTime = TimeCommand(peer, cpuPeer);
            time = TimeCommand(ours, cpu);
        }
        oursFirst = !oursFirst;
        if (time < 0 || peerTime < 0) {
            state.SkipWithError("a run failed");
            break;
        }
        // Same work on both sides, or the times mean nothing.
        if (CountJpegs(oursOut) != kClips * kFrames || CountJpegs(peerOut) != kClips * kFrames) {
            state.SkipWithError("a side did not write 100 pictures per clip");
            break;
        }
        oursTotal += time;
        peerTotal += peerTime;
        oursCpu += cpu;
        peerCpu += cpuPeer;
        state.SetIterationTime(time);
    }
    fs::remove_all(work);
    if (oursTotal == 0)
        return;
    const double iterations = static_cast<double>(state.iterations());
    state.counters["ours_s"] = oursTotal / iterations;
    state.counters["ffmpeg_s"] = peerTotal / iterations;
    state.counters["ratio"] = oursTotal / peerTotal;
    state.counters["ours_cpu_s"] = oursCpu / iterations;
    state.counters["ffmpeg_cpu_s"] = peerCpu / iterations;
    state.counters["cpu_ratio"] = oursCpu / peerCpu;
    state.counters["pictures"] = kClips * kFrames;
}

BENCHMARK(BM_ParallelGrabVsFfmpeg)
    ->Name("ParallelGrab/TwentyClipsVsFfmpeg/640x360_5s")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(4);

} // namespace

int main(int argc, char** argv) {
    benchmark::AddCustomContext("simd", SimdLevel());
    benchmark::AddCustomContext("ffmpeg_simd", FfmpegSimdLevel());
    benchmark::AddCustomContext("cores", std::to_string(std::thread::hardware_concurrency()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
