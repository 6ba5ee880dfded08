// Tone-mapping HDR video: every frame of a 3840 x 2160 10-bit HEVC PQ clip
// decoded, tone-mapped to BT.709 and converted to 32 bits through our media
// stream (ours_fps), beside the ffmpeg command running the same filter chain
// into a null output in the same run (ffmpeg_fps). "ratio" is our time over
// ffmpeg's, as in the other benchmarks: below 1 is faster (ours does the
// 32-bit conversion and the copy into the target too). Five runs; the median
// is reported.
//
// The clip (2 s at 24 fps) is made with ffmpeg on the first run and kept
// beside the program.
#include "media/media_stream.h"
#include "support/bench_clips.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;
constexpr int kFrames = 48;
constexpr const char* kChain = "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,"
                               "tonemap=hable:desat=0:peak=10,zscale=t=bt709:m=bt709:r=tv";

fs::path ClipPath() {
    return bench_support::MakeClip(
        TESSELON_BENCH_CLIPS, "hevc_pq_3840x2160_2s.mkv",
        "-f lavfi -i testsrc2=s=3840x2160:r=24:d=2 -pix_fmt yuv420p10le -c:v libx265 "
        "-preset ultrafast -x265-params "
        "'log-level=error:colorprim=bt2020:transfer=smpte2084:colormatrix=bt2020nc' "
        "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc");
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Frames per second through a media stream decoding at full speed.
double OursFramesPerSecond(const fs::path& clip, int& frames) {
    const Clock::time_point start = Clock::now();
    media::MediaStream stream(
        {std::make_shared<media::FreeRunningTimeSource>(), media::AudioMode::Silent, 0});
    if (!stream.OpenFile(clip))
        return 0;
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(kWidth) * kHeight * 4);
    const media::FrameTarget target{picture.data(), kWidth * 4, kWidth, kHeight};
    stream.SetState(media::StreamState::Run);
    frames = 0;
    while (stream.Fetch(target) == media::FetchResult::Frame)
        ++frames;
    return frames / SecondsSince(start);
}

double FfmpegFramesPerSecond(const fs::path& clip) {
    const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -i " +
                                bench_support::Quoted(clip) + " -vf '" + kChain + "' -f null -";
    const Clock::time_point start = Clock::now();
    if (std::system(command.c_str()) != 0)
        return 0;
    return kFrames / SecondsSince(start);
}

void ToneMap3840x2160(benchmark::State& state) {
    const fs::path clip = ClipPath();
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    double ours = 0;
    double peer = 0;
    int frames = 0;
    for (auto _ : state) {
        ours = OursFramesPerSecond(clip, frames);
        peer = FfmpegFramesPerSecond(clip);
    }
    if (frames != kFrames || peer <= 0) {
        state.SkipWithError("a frame was lost, or ffmpeg failed");
        return;
    }
    state.counters["ours_fps"] = ours;
    state.counters["ffmpeg_fps"] = peer;
    state.counters["ratio"] = peer / ours;
}

BENCHMARK(ToneMap3840x2160)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
