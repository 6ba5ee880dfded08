// The whole save path of one 360 × 256 frame (BMP building, BMP reading,
// encoding, writing a file) against libjpeg-turbo encoding the same 32-bit
// pixels into a file with the nearest settings: baseline, 1 × 1 sampling, our
// quality-75 tables as custom tables, optimised Huffman tables, a restart
// every 4 rows, one scan per component, floating-point DCT. Both write into
// the same temporary directory in the same run, alternating, timed in the CPU
// time of the whole process (system time included), as the save path's
// encoder runs on every core; the ratio is the median of ours over the median
// of libjpeg-turbo's. Target: 2.0 or less.

#include "images/save_picture.h"
#include "support/libjpeg_peer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 360;
constexpr int kHeight = 256;

// A frame-like picture: smooth gradients, a hard-edged box and mild noise,
// so that both encoders see realistic coefficient statistics.
std::vector<std::uint8_t> FrameBuffer() {
    std::vector<std::uint8_t> buffer(std::size_t{kWidth} * kHeight * 4);
    std::mt19937 random(42);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* pixel = buffer.data() + (std::size_t{std::size_t(y) * kWidth} + x) * 4;
            const bool inBox = x > 90 && x < 180 && y > 80 && y < 200;
            const int noise = static_cast<int>(random() % 9) - 4;
            pixel[0] =
                static_cast<std::uint8_t>(std::clamp((inBox ? 200 : 40 + x / 3) + noise, 0, 255));
            pixel[1] = static_cast<std::uint8_t>(std::clamp(30 + y * 2 / 3 + noise, 0, 255));
            pixel[2] = static_cast<std::uint8_t>(
                std::clamp((inBox ? 60 : 220 - (x + y) / 3) + noise, 0, 255));
            pixel[3] = 0;
        }
    }
    return buffer;
}

void SaveWithLibjpegTurbo(const std::vector<std::uint8_t>& pixels,
                          const bench::NaturalTables& tables, const fs::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw std::runtime_error("cannot open " + path.string());
    }
    {
        bench::PeerCompressor peer;
        jpeg_stdio_dest(&peer.info, file);
        peer.Describe(kWidth, kHeight, 4, JCS_EXT_BGRX);
        peer.UseNearestEquivalent(tables);
        peer.Compress(pixels.data(), std::size_t{kWidth} * 4);
    }
    std::fclose(file);
}

void BM_SavePathAgainstLibjpegTurbo(benchmark::State& state) {
    const auto pixels = FrameBuffer();
    const bench::NaturalTables tables = bench::OurTables();
    std::string pattern = (fs::temp_directory_path() / "tesselon-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("cannot make a temporary directory");
        return;
    }
    const fs::path directory = pattern;
    const images::SaveJob job{kWidth, kHeight, pixels.data(), directory / "OURS.JPG", {}};
    const fs::path peerPath = directory / "PEER.JPG";

    // The save path encodes on every core: the CPU time of all its threads.
    bench::AlternatingTimes times(bench::Clock::ProcessCpu);
    for (auto _ : state) {
        times.Run(
            [&] {
                if (!images::SaveImage(job).Written()) {
                    state.SkipWithError("the save path failed");
                }
            },
            [&] { SaveWithLibjpegTurbo(pixels, tables, peerPath); });
    }
    if (!times.Empty()) {
        const double oursMedian = times.OursMedian();
        const double peerMedian = times.PeerMedian();
        state.counters["save_path_us"] = oursMedian;
        state.counters["libjpeg_turbo_us"] = peerMedian;
        state.counters["ratio"] = oursMedian / peerMedian;
        state.counters["save_path_bytes"] = static_cast<double>(fs::file_size(job.path));
        state.counters["libjpeg_turbo_bytes"] = static_cast<double>(fs::file_size(peerPath));
    }
    std::error_code ignored;
    fs::remove_all(directory, ignored);
}

BENCHMARK(BM_SavePathAgainstLibjpegTurbo)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
