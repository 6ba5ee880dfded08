// One scan of the JPEG writer: the restart interval, the Huffman tables built
// for this scan alone, the scan header and the entropy-coded data. Each unit
// is walked once: the statistics pass counts its symbols and records them in
// a symbol stream, and the output pass replays that stream with the codes of
// the tables built from the counts, so the two passes cannot disagree.
#pragma once

#include "jpeg/bit_output.h"
#include "jpeg/huffman.h"
#include "jpeg/jpeg_component.h"
#include "jpeg/symbol_stream.h"
#include "jpeg/transform.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace jpeg {

// A component as one scan codes it: its id in the frame, the number of its
// DC and AC tables (0 for component 1, 1 for components 2 and 3: components
// with the same number share the same tables) and the component with its
// stored coefficients.
struct ScanComponent {
    std::uint8_t id = 0;
    std::uint8_t tableNumber = 0;
    JpegComponent* component = nullptr;
};

// Everything a scan needs from its writer. The writer owns all of it; the
// scan only borrows it for the length of EncodeScan.
struct ScanContext {
    BitOutput& output;
    // Up to three components, in id order; an empty list is an internal error.
    std::span<const ScanComponent> components;
    // The size of the frame in coding units (ceil of the image size over
    // 8 × the largest factor), used when the scan holds several components.
    std::uint32_t mcuRows = 0;
    std::uint32_t mcuColumns = 0;
    // Rows of coding units per restart interval.
    std::uint32_t restartRows = 4;
    // The interval of the last DRI segment written; updated when a DRI is written.
    std::uint32_t& lastRestartInterval;
    // Called after every row of coding units and at the end of each pass;
    // returning true stops the scan with EJpegAbort. May be empty.
    PercentReporter report;
};

// Writes DRI (only when the interval changes), DHT, SOS and the entropy-coded
// data of one scan. The last partial byte stays pending in the output until
// the next marker is written. Throws EJpegFatal "INTERNAL ERROR - No
// components defined for scan" for an empty list and EJpegAbort "JPEG
// Aborted" when the reporter asks to stop; errors of the tables pass through.
void EncodeScan(const ScanContext& scan);

struct ScanBand;
// The same, recording into `scratch`, whose memory then serves the next scan.
void EncodeScan(const ScanContext& scan, ScanBand& scratch);

// The same scan in bands of whole restart intervals, which code independently
// of each other, for several threads: SplitScan, then RecordBand for every
// band (the statistics pass), BuildScanTables, WriteBand for every band (the
// output pass, into the band's own bytes), and WriteScanBands writes DRI, DHT,
// SOS and the bands' bytes in order. The bytes are exactly EncodeScan's.
// Bands may be recorded, and then written, on different threads at the same
// time; the other steps run on one thread. Progress is not reported.
struct ScanBand {
    // Rows of coding units [firstRow, endRow).
    std::uint32_t firstRow = 0;
    std::uint32_t endRow = 0;
    SymbolStream stream;
    // Added to by RecordBand; a new band's are 0.
    std::array<std::array<std::uint32_t, HuffmanCodeTable::kSymbolCount>, SymbolStream::kTableSlots>
        counts{};
    std::string bytes;
};
std::vector<ScanBand> SplitScan(const ScanContext& scan);
void RecordBand(const ScanContext& scan, ScanBand& band);
void BuildScanTables(const ScanContext& scan, std::span<const ScanBand> bands);
void WriteBand(const ScanContext& scan, ScanBand& band);
void WriteScanBands(const ScanContext& scan, std::span<const ScanBand> bands);

// Rows of coding units: the component's rows of data units in a
// one-component scan, the frame's rows of coding units otherwise.
std::uint32_t CodingUnitRows(const ScanContext& scan);

// The number of coding units per restart interval: restart rows of the
// component's data units for a one-component scan, of the frame's coding
// units otherwise.
std::uint32_t RestartInterval(const ScanContext& scan);

} // namespace jpeg
