// The JPEG writer with the system's settings (three one-component scans,
// quality 75, no subsampling, Huffman tables per scan, a restart every 4 rows)
// against libjpeg-turbo set up as the nearest equivalent: baseline, 1 × 1
// sampling, our quality-75 tables as custom tables, optimised Huffman tables,
// restart every 4 rows, one scan per component, floating-point DCT. Both
// encode the same 360 × 256 and 752 × 512 colour pictures into memory in the
// same run, alternating, timed in thread CPU time; the ratio is the median of ours over the median
// of libjpeg-turbo's. Target: 2.0 or less at both sizes.
#include "jpeg/jpeg_writer.h"
#include "jpeg/raster_image.h"
#include "jpeg/tables.h"
#include "jpeg/transform.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <random>
#include <sstream>
#include <vector>

namespace tesselon::jpeg {
namespace {

// A frame-like picture, top row first, RGB: smooth shading, hard-edged boxes
// and mild noise, so both encoders see realistic coefficient statistics.
std::vector<std::uint8_t> MakeRgb(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> rgb(std::size_t{width} * height * 3);
    std::mt19937 random(42);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const double wave = 50 * std::sin(x * 0.045) * std::cos(y * 0.06);
            const bool inBox = (x / 90 + y / 70) % 3 == 0;
            const int noise = static_cast<int>(random() % 9) - 4;
            std::uint8_t* pixel = &rgb[(std::size_t{y} * width + x) * 3];
            pixel[0] = static_cast<std::uint8_t>(
                std::clamp(static_cast<int>(110 + wave) + (inBox ? 70 : 0) + noise, 0, 255));
            pixel[1] = static_cast<std::uint8_t>(
                std::clamp(static_cast<int>(30 + y * 200 / height) + noise, 0, 255));
            pixel[2] = static_cast<std::uint8_t>(std::clamp(
                static_cast<int>(220 - (x + y) * 150 / (width + height)) - (inBox ? 60 : 0) + noise,
                0, 255));
        }
    }
    return rgb;
}

// The same picture as a 24-bit RasterImage: rows bottom-up, blue-green-red.
void FillImage(RasterImage& image, const std::vector<std::uint8_t>& rgb, std::uint32_t width,
               std::uint32_t height) {
    image.Allocate(0, 24, width, height);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = image.ImageData() + std::size_t{height - 1 - y} * image.RowWidth();
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* source = &rgb[(std::size_t{y} * width + x) * 3];
            row[3 * x] = source[2];
            row[3 * x + 1] = source[1];
            row[3 * x + 2] = source[0];
        }
    }
}

std::size_t EncodeOurs(const RasterImage& image) {
    JpegWriter writer;
    writer.SetScan(0, 2, 0, 0);
    writer.SetScan(1, 4, 0, 0);
    writer.SetScan(2, 8, 0, 0);
    writer.SetGrayscale(false);
    std::ostringstream stream;
    writer.EncodeImage(stream, image);
    return stream.str().size();
}

// Our quality-75 tables in natural order, as jpeg_add_quant_table takes them.
struct NaturalTables {
    unsigned int luminance[64];
    unsigned int chrominance[64];
};

NaturalTables OurTables() {
    QuantTable luminance{};
    QuantTable chrominance{};
    BuildQuantTables(75, luminance, chrominance);
    NaturalTables tables{};
    for (std::size_t zigzag = 0; zigzag < 64; ++zigzag) {
        tables.luminance[kZigzagToNatural[zigzag]] = luminance[zigzag];
        tables.chrominance[kZigzagToNatural[zigzag]] = chrominance[zigzag];
    }
    return tables;
}

std::size_t EncodeLibjpegTurbo(const std::vector<std::uint8_t>& rgb, std::uint32_t width,
                               std::uint32_t height, const NaturalTables& tables) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
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
    // Three sequential scans of one component each.
    static jpeg_scan_info scans[3] = {
        {1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    info.scan_info = scans;
    info.num_scans = 3;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(rgb.data() + std::size_t{info.next_scanline} * width * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return size;
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

void BM_EncoderAgainstLibjpegTurbo(benchmark::State& state) {
    const auto width = static_cast<std::uint32_t>(state.range(0));
    const auto height = static_cast<std::uint32_t>(state.range(1));
    const std::vector<std::uint8_t> rgb = MakeRgb(width, height);
    RasterImage image;
    FillImage(image, rgb, width, height);
    const NaturalTables tables = OurTables();

    std::vector<double> ours;
    std::vector<double> peer;
    std::size_t oursBytes = 0;
    std::size_t peerBytes = 0;
    bool oursFirst = true;
    for (auto _ : state) {
        const auto runOurs = [&] {
            oursBytes = EncodeOurs(image);
        };
        const auto runPeer = [&] {
            peerBytes = EncodeLibjpegTurbo(rgb, width, height, tables);
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
    const double oursMedian = Median(ours);
    const double peerMedian = Median(peer);
    state.counters["ours_us"] = oursMedian;
    state.counters["libjpeg_turbo_us"] = peerMedian;
    state.counters["ratio"] = oursMedian / peerMedian;
    state.counters["ours_bytes"] = static_cast<double>(oursBytes);
    state.counters["libjpeg_turbo_bytes"] = static_cast<double>(peerBytes);
}

BENCHMARK(BM_EncoderAgainstLibjpegTurbo)
    ->Args({360, 256})
    ->Args({752, 512})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace
} // namespace tesselon::jpeg

BENCHMARK_MAIN();
