// Speed of the forward DCT with quantization and of one component's sampling
// pass on a 360 × 256 picture, in blocks per second. The transform runs with a
// prepared Quantizer, as the encoder calls it. Peers measured in the same run:
// the plain form of the transform, libjpeg-turbo's floating-point DCT with the
// same quantization, and libjpeg-turbo compressing the whole picture (colour
// conversion, DCT and Huffman coding of all three components). With
// --benchmark_repetitions the ratios are of the medians.
#include "jpeg/raster_image.h"
#include "jpeg/tables.h"
#include "jpeg/transform.h"
#include "support/libjpeg_peer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

// libjpeg-turbo's exported, unvectorised floating-point forward DCT (AAN),
// in place on 64 samples already shifted by −128.
extern "C" void jpeg_fdct_float(float* data);

namespace jpeg {
namespace {

constexpr std::uint32_t kWidth = 360;
constexpr std::uint32_t kHeight = 256;
constexpr std::uint32_t kBlocksPerComponent = (kWidth / 8) * (kHeight / 8);

// A picture with smooth gradients, edges and a little noise.
std::vector<std::uint8_t> MakeRgb() {
    std::vector<std::uint8_t> rgb(std::size_t{kWidth} * kHeight * 3);
    std::mt19937 random(42);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            const double wave = 60 * std::sin(x * 0.05) * std::cos(y * 0.07);
            const int edge = (x / 40 + y / 30) % 2 ? 40 : 0;
            std::uint8_t* pixel = &rgb[(std::size_t{y} * kWidth + x) * 3];
            pixel[0] = static_cast<std::uint8_t>(
                std::clamp<int>(100 + wave + edge + random() % 9, 0, 255));
            pixel[1] =
                static_cast<std::uint8_t>(std::clamp<int>(x * 255 / kWidth + random() % 5, 0, 255));
            pixel[2] = static_cast<std::uint8_t>(
                std::clamp<int>(200 - y / 2 - edge + random() % 7, 0, 255));
        }
    }
    return rgb;
}

const std::vector<std::uint8_t>& Rgb() {
    static const std::vector<std::uint8_t> rgb = MakeRgb();
    return rgb;
}

const RasterImage& Image() {
    static const RasterImage* image = [] {
        auto* made = new RasterImage;
        made->Allocate(0, 24, kWidth, kHeight);
        for (std::uint32_t y = 0; y < kHeight; ++y) {
            for (std::uint32_t x = 0; x < kWidth; ++x) {
                const std::uint8_t* source = &Rgb()[(std::size_t{y} * kWidth + x) * 3];
                std::uint8_t* pixel =
                    made->ImageData() + (kHeight - 1 - y) * made->RowWidth() + 3 * x;
                pixel[0] = source[2];
                pixel[1] = source[1];
                pixel[2] = source[0];
            }
        }
        return made;
    }();
    return *image;
}

// The picture's luminance blocks.
const std::vector<SampleBlock>& Blocks() {
    static const std::vector<SampleBlock> blocks = [] {
        std::vector<SampleBlock> made;
        for (std::uint32_t by = 0; by < kHeight / 8; ++by) {
            for (std::uint32_t bx = 0; bx < kWidth / 8; ++bx) {
                SampleBlock block;
                for (int i = 0; i < 64; ++i) {
                    const std::uint8_t* p =
                        &Rgb()[((by * 8 + i / 8) * std::size_t{kWidth} + bx * 8 + i % 8) * 3];
                    block[i] = ToY(p[0], p[1], p[2]);
                }
                made.push_back(block);
            }
        }
        return made;
    }();
    return blocks;
}

QuantTable Luminance() {
    QuantTable luminance;
    QuantTable chrominance;
    BuildQuantTables(75, luminance, chrominance);
    return luminance;
}

void SetBlockRate(benchmark::State& state, std::size_t blocksPerIteration) {
    state.counters["blocks_per_second"] = benchmark::Counter(
        static_cast<double>(blocksPerIteration), benchmark::Counter::kIsIterationInvariantRate);
}

template <typename Table, void (*Transform)(const SampleBlock&, const Table&, CoefficientUnit&)>
void TransformBlocks(benchmark::State& state, const Table& table) {
    const auto& blocks = Blocks();
    std::vector<CoefficientUnit> units(blocks.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            Transform(blocks[i], table, units[i]);
        }
        benchmark::DoNotOptimize(units.data());
        benchmark::ClobberMemory();
    }
    SetBlockRate(state, blocks.size());
}

// The table is prepared once, outside the timing, as the encoder does.
void BM_TransformBlock(benchmark::State& state) {
    const Quantizer quantizer(Luminance());
    TransformBlocks<Quantizer, TransformBlock>(state, quantizer);
}
void BM_TransformBlockPlain(benchmark::State& state) {
    TransformBlocks<QuantTable, TransformBlockReference>(state, Luminance());
}

// The same work with libjpeg-turbo's float DCT, whose output carries the AAN
// scale factors; its quantization multiplies by precomputed reciprocals.
void BM_PeerLibjpegFloatDct(benchmark::State& state) {
    const QuantTable table = Luminance();
    static const double kAanScale[8] = {1.0, 1.387039845, 1.306562965, 1.175875602,
                                        1.0, 0.785694958, 0.541196100, 0.275899379};
    float divisors[64];
    for (int p = 0; p < 64; ++p) {
        const int zigzagIndex = kNaturalToZigzag[p];
        divisors[p] = static_cast<float>(
            1.0 / (table[zigzagIndex] * kAanScale[p / 8] * kAanScale[p % 8] * 8.0));
    }
    const auto& blocks = Blocks();
    std::vector<CoefficientUnit> units(blocks.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            float work[64];
            for (int p = 0; p < 64; ++p) {
                work[p] = static_cast<float>(blocks[i][p]) - 128.0f;
            }
            jpeg_fdct_float(work);
            for (int p = 0; p < 64; ++p) {
                units[i][p] = static_cast<std::int16_t>(std::lround(work[p] * divisors[p]));
            }
        }
        benchmark::DoNotOptimize(units.data());
        benchmark::ClobberMemory();
    }
    SetBlockRate(state, blocks.size());
}

// All three component passes of a colour encode.
void BM_SampleComponent(benchmark::State& state) {
    QuantTable luminance;
    QuantTable chrominance;
    BuildQuantTables(75, luminance, chrominance);
    JpegComponent components[3];
    components[0].SetTables(&luminance, nullptr, nullptr);
    components[1].SetTables(&chrominance, nullptr, nullptr);
    components[2].SetTables(&chrominance, nullptr, nullptr);
    const ColourChannel channels[3] = {ColourChannel::Y, ColourChannel::Cb, ColourChannel::Cr};
    std::int32_t lastPercent = 0;
    const PercentReporter report = [&](std::int32_t percent) {
        lastPercent = percent;
        return false;
    };
    for (auto _ : state) {
        for (int c = 0; c < 3; ++c) {
            SampleComponent(components[c], channels[c], Image(), 1, 1, report);
        }
        benchmark::DoNotOptimize(components[2].Unit(0, 0).data());
    }
    benchmark::DoNotOptimize(lastPercent);
    SetBlockRate(state, 3 * kBlocksPerComponent);
}

// libjpeg-turbo's whole compression of the same picture, 4:4:4, quality 75:
// more work than the sampling passes (it also Huffman-codes), with SIMD.
void BM_PeerLibjpegCompress(benchmark::State& state) {
    const auto& rgb = Rgb();
    for (auto _ : state) {
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        {
            bench::PeerCompressor peer;
            jpeg_mem_dest(&peer.info, &buffer, &size);
            peer.Describe(kWidth, kHeight, 3, JCS_RGB);
            jpeg_set_quality(&peer.info, 75, TRUE);
            peer.Compress(rgb.data(), std::size_t{kWidth} * 3);
        }
        benchmark::DoNotOptimize(size);
        std::free(buffer);
    }
    SetBlockRate(state, 3 * kBlocksPerComponent);
}

BENCHMARK(BM_TransformBlock);
BENCHMARK(BM_TransformBlockPlain);
BENCHMARK(BM_PeerLibjpegFloatDct);
BENCHMARK(BM_SampleComponent);
BENCHMARK(BM_PeerLibjpegCompress);

// Prints the usual table, then each measured rate against its peer.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto rate = run.counters.find("blocks_per_second");
            if (rate == run.counters.end()) {
                continue;
            }
            if (run.run_type == Run::RT_Iteration) {
                rates_[run.run_name.function_name] = rate->second.value;
            } else if (run.aggregate_name == "median") {
                medians_[run.run_name.function_name] = rate->second.value;
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        PrintRatio("BM_TransformBlock", "BM_TransformBlockPlain");
        PrintRatio("BM_TransformBlock", "BM_PeerLibjpegFloatDct");
        PrintRatio("BM_SampleComponent", "BM_PeerLibjpegCompress");
    }

private:
    void PrintRatio(const std::string& measured, const std::string& peer) {
        const auto& rates = medians_.empty() ? rates_ : medians_;
        const auto a = rates.find(measured);
        const auto b = rates.find(peer);
        if (a != rates.end() && b != rates.end() && b->second > 0) {
            std::printf("ratio %s / %s = %.3f (%.0f vs %.0f blocks/s)\n", measured.c_str(),
                        peer.c_str(), a->second / b->second, a->second, b->second);
        }
    }

    std::map<std::string, double> rates_;
    std::map<std::string, double> medians_;
};

} // namespace
} // namespace jpeg

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    jpeg::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
