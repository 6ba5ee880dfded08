// Peak resident memory of `tesselon-grab --size native --count N` on a
// 1920 x 1080 H.264 clip, for N = 100 and N = 1000, beside the ffmpeg command
// writing the same N frames as JPEG files (full-resolution chroma, as our
// encoder writes it). Each side is one process started here and waited for
// with wait4(), whose rusage gives that process's own peak. "ratio" is ours
// over ffmpeg's (target: at most 2); "growth", printed for N = 1000, is our
// peak there over our peak at N = 100 (target: about 1, since the frames
// waiting to be written are bounded and do not grow with N).
//
// The clip (1000 frames, 40 s at 25 fps) is made with ffmpeg on the first
// run and kept beside the program.
#include "support/bench_clips.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kClipFrames = 1000;

fs::path Clip() {
    return bench_support::MakeClip(TESSELON_BENCH_CLIPS, "memory_1920x1080_1000f.mp4",
                                   "-f lavfi -i testsrc2=s=1920x1080:r=25 -frames:v " +
                                       std::to_string(kClipFrames) +
                                       " -pix_fmt yuv420p -c:v libx264 -preset veryfast -crf 23");
}

// Runs the program (searched on PATH) with its output discarded; its peak
// resident set in MiB, or a negative number when it failed.
double PeakMegabytes(const std::vector<std::string>& command, double& seconds) {
    std::vector<char*> argv;
    for (const std::string& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const auto start = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // ru_maxrss is in KiB
}

int CountJpegs(const fs::path& folder) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string extension = entry.path().extension().string();
        count += extension == ".JPG" || extension == ".jpg";
    }
    return count;
}

void BM_PeakMemoryVsFfmpeg(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const fs::path clip = Clip();
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const fs::path work =
        fs::temp_directory_path() / ("tesselon-grab-memory-bench-" + std::to_string(::getpid()));
    const fs::path oursOut = work / "ours";
    const fs::path peerOut = work / "ffmpeg";
    const std::vector<std::string> ours = {
        TESSELON_GRAB,         "--size", "native",         "--count",
        std::to_string(count), "--out",  oursOut.string(), clip.string()};
    const std::vector<std::string> peer = {
        "ffmpeg",   "-hide_banner", "-v",          "error",     "-nostdin",
        "-y",       "-i",           clip.string(), "-frames:v", std::to_string(count),
        "-pix_fmt", "yuvj444p",     "-q:v",        "3",         (peerOut / "%04d.jpg").string()};
    // Kept across calls: the growth is ours at 1000 frames over ours at 100.
    static double oursAt100 = 0;
    double oursPeak = 0, peerPeak = 0;
    for (auto _ : state) {
        fs::remove_all(work);
        fs::create_directories(oursOut);
        fs::create_directories(peerOut);
        double oursSeconds = 0, peerSeconds = 0;
        oursPeak = PeakMegabytes(ours, oursSeconds);
        peerPeak = PeakMegabytes(peer, peerSeconds);
        if (oursPeak < 0 || peerPeak < 0) {
            state.SkipWithError("a run failed");
            break;
        }
        // Same work on both sides, or the peaks mean nothing.
        if (CountJpegs(oursOut) != count || CountJpegs(peerOut) != count) {
            state.SkipWithError("a side did not write every frame");
            break;
        }
        state.SetIterationTime(oursSeconds);
        state.counters["ours_s"] = oursSeconds;
        state.counters["ffmpeg_s"] = peerSeconds;
    }
    fs::remove_all(work);
    if (oursPeak <= 0 || peerPeak <= 0)
        return;
    state.counters["ours_MB"] = oursPeak;
    state.counters["ffmpeg_MB"] = peerPeak;
    state.counters["ratio"] = oursPeak / peerPeak;
    if (count == 100)
        oursAt100 = oursPeak;
    else if (oursAt100 > 0)
        state.counters["growth"] = oursPeak / oursAt100;
}

BENCHMARK(BM_PeakMemoryVsFfmpeg)
    ->Name("GrabMemory/NativeVsFfmpeg/1920x1080")
    ->Arg(100)
    ->Arg(kClipFrames)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    benchmark::AddCustomContext("cores", std::to_string(std::thread::hardware_concurrency()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
