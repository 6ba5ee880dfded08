// The libjpeg-turbo peer the codec benchmarks measure against, and the
// alternating thread-CPU timing they share. Header-only: each benchmark is
// one program.
#pragma once

#include "jpeg/tables.h"
#include "jpeg/transform.h"

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <vector>

namespace bench {

// Our quality-75 tables in natural order, as jpeg_add_quant_table takes them.
struct NaturalTables {
    unsigned int luminance[64];
    unsigned int chrominance[64];
};

inline NaturalTables OurTables() {
    jpeg::QuantTable luminance{};
    jpeg::QuantTable chrominance{};
    jpeg::BuildQuantTables(75, luminance, chrominance);
    NaturalTables tables{};
    for (std::size_t zigzag = 0; zigzag < 64; ++zigzag) {
        tables.luminance[jpeg::kZigzagToNatural[zigzag]] = luminance[zigzag];
        tables.chrominance[jpeg::kZigzagToNatural[zigzag]] = chrominance[zigzag];
    }
    return tables;
}

// One libjpeg-turbo compression: made with its standard error manager,
// destroyed with the object. Give it a destination (jpeg_mem_dest or
// jpeg_stdio_dest on `info`), describe the picture, then Compress.
class PeerCompressor {
public:
    PeerCompressor() {
        info.err = jpeg_std_error(&errors_);
        jpeg_create_compress(&info);
    }
    ~PeerCompressor() { jpeg_destroy_compress(&info); }
    PeerCompressor(const PeerCompressor&) = delete;
    PeerCompressor& operator=(const PeerCompressor&) = delete;

    // Size and pixel layout, libjpeg's defaults, then 1 × 1 sampling for all
    // three components (4:4:4, as our writer has).
    void Describe(std::uint32_t width, std::uint32_t height, int components, J_COLOR_SPACE space) {
        info.image_width = width;
        info.image_height = height;
        info.input_components = components;
        info.in_color_space = space;
        jpeg_set_defaults(&info);
        for (int component = 0; component < 3; ++component) {
            info.comp_info[component].h_samp_factor = 1;
            info.comp_info[component].v_samp_factor = 1;
        }
    }

    // The nearest equivalent of our writer's system settings: baseline, our
    // tables as custom tables, optimised Huffman tables, a restart every 4
    // rows, one scan per component, floating-point DCT. Call after Describe.
    void UseNearestEquivalent(const NaturalTables& tables) {
        // Scale 100 keeps the tables as given.
        jpeg_add_quant_table(&info, 0, tables.luminance, 100, TRUE);
        jpeg_add_quant_table(&info, 1, tables.chrominance, 100, TRUE);
        info.optimize_coding = TRUE;
        info.restart_in_rows = 4;
        info.dct_method = JDCT_FLOAT;
        // Three sequential scans of one component each (Ss 0, Se 63, no
        // successive approximation).
        static jpeg_scan_info scans[3] = {
            {1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
        info.scan_info = scans;
        info.num_scans = 3;
    }

    // Compresses the whole picture, top row first, rows rowBytes apart.
    void Compress(const std::uint8_t* pixels, std::size_t rowBytes) {
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
            JSAMPROW row =
                const_cast<JSAMPROW>(pixels + std::size_t{info.next_scanline} * rowBytes);
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
    }

    jpeg_compress_struct info{};

private:
    jpeg_error_mgr errors_{};
};

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// CPU time of this thread by default: the machine is shared, and wall time
// would count the time other programs hold the core. Work spread over
// threads is timed on the wall clock, or in the CPU time of every thread of
// the process.
enum class Clock { ThreadCpu, ProcessCpu, Wall };

inline double Microseconds(Clock clock) {
    timespec now{};
    clock_gettime(clock == Clock::Wall         ? CLOCK_MONOTONIC
                  : clock == Clock::ProcessCpu ? CLOCK_PROCESS_CPUTIME_ID
                                               : CLOCK_THREAD_CPUTIME_ID,
                  &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

template <typename Work> double TimeOnce(Clock clock, Work&& work) {
    const double start = Microseconds(clock);
    work();
    return Microseconds(clock) - start;
}

// Our work and the peer's, timed in turns; the order alternates so neither
// side always runs on a warm cache.
class AlternatingTimes {
public:
    explicit AlternatingTimes(Clock clock = Clock::ThreadCpu)
        : clock_(clock) {}

    template <typename Ours, typename Peer> void Run(Ours&& runOurs, Peer&& runPeer) {
        if (oursFirst_) {
            ours_.push_back(TimeOnce(clock_, runOurs));
            peer_.push_back(TimeOnce(clock_, runPeer));
        } else {
            peer_.push_back(TimeOnce(clock_, runPeer));
            ours_.push_back(TimeOnce(clock_, runOurs));
        }
        oursFirst_ = !oursFirst_;
    }

    bool Empty() const { return ours_.empty(); }
    double OursMedian() const { return Median(ours_); }
    double PeerMedian() const { return Median(peer_); }

private:
    std::vector<double> ours_;
    std::vector<double> peer_;
    Clock clock_;
    bool oursFirst_ = true;
};

} // namespace bench
