// The whole save path of one 360 × 256 frame (BMP building, BMP reading,
// encoding, writing a file) against libjpeg-turbo encoding the same 32-bit
// pixels into a file with the nearest settings: baseline, 1 × 1 sampling, our
// quality-75 tables as custom tables, optimised Huffman tables, a restart
// every 4 rows, one scan per component, floating-point DCT. Both write into
// the same temporary directory in the same run, alternating, timed in thread
// CPU time (system time included); the ratio is the median of ours over the
// median of libjpeg-turbo's. Target: 2.0 or less.

#include "images/jpeg_file_writer.h"
#include "jpeg/tables.h"
#include "jpeg/transform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

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

// Our quality-75 tables in natural order, as jpeg_add_quant_table takes them.
struct NaturalTables {
    unsigned int luminance[64];
    unsigned int chrominance[64];
};

NaturalTables OurTables() {
    tesselon::jpeg::QuantTable luminance{};
    tesselon::jpeg::QuantTable chrominance{};
    tesselon::jpeg::BuildQuantTables(75, luminance, chrominance);
    NaturalTables tables{};
    for (std::size_t zigzag = 0; zigzag < 64; ++zigzag) {
        tables.luminance[tesselon::jpeg::kZigzagToNatural[zigzag]] = luminance[zigzag];
        tables.chrominance[tesselon::jpeg::kZigzagToNatural[zigzag]] = chrominance[zigzag];
    }
    return tables;
}

void SaveWithLibjpegTurbo(const std::vector<std::uint8_t>& pixels, const NaturalTables& tables,
                          const fs::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw std::runtime_error("cannot open " + path.string());
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    // Scale 100 keeps the tables as given.
    jpeg_add_quant_table(&info, 0, tables.luminance, 100, TRUE);
    jpeg_add_quant_table(&info, 1, tables.chrominance, 100, TRUE);
    for (int component = 0; component < 3; ++component) {
        info.comp_info[component].h_samp_factor = 1;
        info.comp_info[component].v_samp_factor = 1;
    }
    info.optimize_coding = TRUE;
    info.restart_in_rows = 4;
    info.dct_method = JDCT_FLOAT;
    // Three sequential scans of one component each (Ss 0, Se 63, no
    // successive approximation).
    static jpeg_scan_info scans[3] = {
        {1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    info.scan_info = scans;
    info.num_scans = 3;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(pixels.data() + std::size_t{info.next_scanline} * kWidth * 4);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double ThreadMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// CPU time of this thread: the machine is shared, and wall time would count
// the time other programs hold the core.
template <typename Work> double TimeOnce(Work&& work) {
    const double start = ThreadMicroseconds();
    work();
    return ThreadMicroseconds() - start;
}

void BM_SavePathAgainstLibjpegTurbo(benchmark::State& state) {
    const auto pixels = FrameBuffer();
    const NaturalTables tables = OurTables();
    std::string pattern = (fs::temp_directory_path() / "tesselon-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("cannot make a temporary directory");
        return;
    }
    const fs::path directory = pattern;
    const tesselon::images::SaveJob job{kWidth, kHeight, pixels.data(), directory / "OURS.JPG"};
    const fs::path peerPath = directory / "PEER.JPG";

    std::vector<double> ours;
    std::vector<double> peer;
    bool oursFirst = true;
    for (auto _ : state) {
        const auto runOurs = [&] {
            if (!tesselon::images::SaveImageAsJpeg(job).Written()) {
                state.SkipWithError("the save path failed");
            }
        };
        const auto runPeer = [&] {
            SaveWithLibjpegTurbo(pixels, tables, peerPath);
        };
        // Alternate the order so neither side always runs on a warm cache.
        if (oursFirst) {
            ours.push_back(TimeOnce(runOurs));
            peer.push_back(TimeOnce(runPeer));
        } else {
            peer.push_back(TimeOnce(runPeer));
            ours.push_back(TimeOnce(runOurs));
        }
        oursFirst = !oursFirst;
    }
    if (!ours.empty()) {
        const double oursMedian = Median(ours);
        const double peerMedian = Median(peer);
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
