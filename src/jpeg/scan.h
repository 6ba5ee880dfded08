// One scan of the JPEG writer: the restart interval, the Huffman tables built
// for this scan alone, the scan header and the entropy-coded data, each unit
// walked twice in the same order (a statistics pass, then an output pass).
#pragma once

#include "jpeg/bit_output.h"
#include "jpeg/huffman.h"
#include "jpeg/jpeg_component.h"
#include "jpeg/transform.h"

#include <cstdint>
#include <span>

namespace tesselon::jpeg {

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

// The number of coding units per restart interval: restart rows of the
// component's data units for a one-component scan, of the frame's coding
// units otherwise.
std::uint32_t RestartInterval(const ScanContext& scan);

} // namespace tesselon::jpeg
