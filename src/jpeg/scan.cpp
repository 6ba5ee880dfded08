#include "jpeg/scan.h"

#include "jpeg/errors.h"
#include "jpeg/markers.h"

#include <algorithm>
#include <array>

namespace tesselon::jpeg {

namespace {

using namespace marker;

constexpr std::uint32_t kRestartMarkerCount = 8;

// Progress is kept in 1/256 percent: 25600 = 100 × 256. The statistics pass
// reports the first half, the output pass the second.
constexpr std::uint32_t kFullScale = 25600;

enum class PassKind { Statistics, Output };

constexpr std::uint32_t kTableSetCount = 2;

// The component that carries table set `set` in this scan, or null when the
// set is not used. Components that share a set share its tables.
const JpegComponent* TableSetOwner(const ScanContext& scan, std::uint32_t set) {
    for (const ScanComponent& entry : scan.components) {
        if (entry.tableNumber == set) {
            return entry.component;
        }
    }
    return nullptr;
}

// B.2.4.4: Restart interval definition syntax.
void WriteRestartInterval(BitOutput& output, std::uint32_t interval) {
    output.WriteMarker(kDefineRestartInterval);
    output.WriteWord(4);
    output.WriteWord(interval);
}

// T.81 B.2.4.2: Huffman table syntax. The class (0 DC, 1 AC) is the
// high nibble of the first byte, the table number the low nibble.
void WriteHuffmanTables(const ScanContext& scan) {
    std::uint32_t length = 2;
    for (std::uint32_t set = 0; set < kTableSetCount; ++set) {
        if (const JpegComponent* owner = TableSetOwner(scan, set)) {
            length += owner->DcTable()->TableBodySize() + owner->AcTable()->TableBodySize();
        }
    }
    scan.output.WriteMarker(kDefineHuffmanTables);
    scan.output.WriteWord(length);
    for (std::uint32_t set = 0; set < kTableSetCount; ++set) {
        if (const JpegComponent* owner = TableSetOwner(scan, set)) {
            scan.output.WriteByte(static_cast<std::uint8_t>(0x00 | set));
            owner->DcTable()->WriteTableBody(scan.output);
            scan.output.WriteByte(static_cast<std::uint8_t>(0x10 | set));
            owner->AcTable()->WriteTableBody(scan.output);
        }
    }
}

// B.2.3: Scan header syntax. Baseline: spectral selection 0 to 63 and no
// successive approximation.
void WriteScanHeader(const ScanContext& scan) {
    const auto count = static_cast<std::uint32_t>(scan.components.size());
    scan.output.WriteMarker(kStartOfScan);
    scan.output.WriteWord(6 + 2 * count);
    scan.output.WriteByte(static_cast<std::uint8_t>(count));
    for (const ScanComponent& entry : scan.components) {
        scan.output.WriteByte(entry.id);
        scan.output.WriteByte(
            static_cast<std::uint8_t>(entry.tableNumber << 4 | entry.tableNumber));
    }
    scan.output.WriteByte(0);
    scan.output.WriteByte(63);
    scan.output.WriteByte(0);
}

void ForEachUsedTable(const ScanContext& scan, void (HuffmanCodeTable::*operation)()) {
    for (std::uint32_t set = 0; set < kTableSetCount; ++set) {
        if (const JpegComponent* owner = TableSetOwner(scan, set)) {
            (owner->DcTable()->*operation)();
            (owner->AcTable()->*operation)();
        }
    }
}

void ResetPredictors(const ScanContext& scan) {
    for (const ScanComponent& entry : scan.components) {
        entry.component->SetLastDc(0);
    }
}

// Reports after each row of coding units and once at the end of the pass.
class PassProgress {
public:
    PassProgress(const ScanContext& scan, PassKind kind, std::uint32_t rows)
        : report_(scan.report)
        , accumulator_(kind == PassKind::Statistics ? 0 : kFullScale / 2)
        , step_(rows == 0 ? 0 : kFullScale / (2 * rows)) {}

    void RowDone() {
        accumulator_ += step_;
        Report(std::min<std::uint32_t>(accumulator_ / 256, 100));
    }
    void PassDone() { Report(100); }

private:
    void Report(std::uint32_t percent) const {
        if (report_ && report_(static_cast<std::int32_t>(percent))) {
            throw EJpegAbort();
        }
    }

    const PercentReporter& report_;
    std::uint32_t accumulator_;
    std::uint32_t step_;
};

// E.1.4: every `interval` coding units the entropy-coded data is ended by
// RST0 to RST7 in turn (the marker write completes the partial byte with
// 0-bits) and every DC predictor starts again from 0. The test runs before a
// unit, so the last interval is never followed by a marker.
class RestartControl {
public:
    RestartControl(const ScanContext& scan, PassKind kind)
        : scan_(scan)
        , kind_(kind)
        , interval_(RestartInterval(scan)) {}

    void BeforeCodingUnit() {
        if (interval_ == 0 || count_ != interval_) {
            return;
        }
        if (kind_ == PassKind::Output) {
            scan_.output.WriteMarker(static_cast<std::uint8_t>(kRestart0 + index_));
        }
        ResetPredictors(scan_);
        index_ = (index_ + 1) % kRestartMarkerCount;
        count_ = 0;
    }
    void AfterCodingUnit() { ++count_; }

private:
    const ScanContext& scan_;
    PassKind kind_;
    std::uint32_t interval_;
    std::uint32_t count_ = 0;
    std::uint32_t index_ = 0;
};

// Output pass: writes each symbol's code followed by its extra bits, as one
// write of at most 16 + 11 bits. The codes of the scan's tables are looked up
// once; a symbol without a code is looked up again in its table, which raises
// the table's own error.
class CodeWriter {
public:
    explicit CodeWriter(const ScanContext& scan)
        : output_(scan.output) {
        for (std::uint32_t set = 0; set < kTableSetCount; ++set) {
            if (const JpegComponent* owner = TableSetOwner(scan, set)) {
                Cache(*owner->DcTable(), dcCaches_[dcCount_++]);
                Cache(*owner->AcTable(), acCaches_[acCount_++]);
            }
        }
    }

    void Dc(JpegComponent& component, std::uint32_t size, std::uint32_t bits) const {
        Write(*component.DcTable(), Find(dcCaches_, dcCount_, *component.DcTable()), size, bits,
              size);
    }
    void Ac(JpegComponent& component, std::uint32_t symbol, std::uint32_t bits,
            std::uint32_t size) const {
        Write(*component.AcTable(), Find(acCaches_, acCount_, *component.AcTable()), symbol, bits,
              size);
    }

private:
    struct CachedTable {
        const HuffmanCodeTable* table = nullptr;
        std::array<HuffmanCode, HuffmanCodeTable::kSymbolCount> codes{};
    };
    using Caches = std::array<CachedTable, kTableSetCount>;

    static void Cache(const HuffmanCodeTable& table, CachedTable& cached) {
        cached.table = &table;
        for (const std::uint8_t symbol : table.Values()) {
            cached.codes[symbol] = table.LookupCode(symbol);
        }
    }

    static const CachedTable* Find(const Caches& caches, std::uint32_t count,
                                   const HuffmanCodeTable& table) {
        for (std::uint32_t index = 0; index < count; ++index) {
            if (caches[index].table == &table) {
                return &caches[index];
            }
        }
        return nullptr;
    }

    void Write(const HuffmanCodeTable& table, const CachedTable* cached, std::uint32_t symbol,
               std::uint32_t bits, std::uint32_t size) const {
        HuffmanCode code;
        if (cached != nullptr && symbol < HuffmanCodeTable::kSymbolCount) {
            code = cached->codes[symbol];
        }
        if (code.length == 0) {
            code = table.LookupCode(symbol);
        }
        output_.WriteBits(std::uint32_t{code.code} << size | bits, code.length + size);
    }

    BitOutput& output_;
    Caches dcCaches_{};
    Caches acCaches_{};
    std::uint32_t dcCount_ = 0;
    std::uint32_t acCount_ = 0;
};

// A.2.2: a one-component scan walks the component's own grid of data units.
template <typename Action>
void TraverseOneComponent(const ScanContext& scan, const Action& action, PassKind kind) {
    JpegComponent& component = *scan.components.front().component;
    PassProgress progress(scan, kind, component.DataUnitRows());
    RestartControl restart(scan, kind);
    for (std::uint32_t row = 0; row < component.DataUnitRows(); ++row) {
        for (std::uint32_t column = 0; column < component.DataUnitColumns(); ++column) {
            restart.BeforeCodingUnit();
            EncodeDataUnit(component, row, column, action);
            restart.AfterCodingUnit();
        }
        progress.RowDone();
    }
    progress.PassDone();
}

// A.2.3: an interleaved scan walks the frame's coding units; each holds V rows
// of H data units of every component in turn. Where the coding-unit grid
// reaches past a component's grid of data units (A.2.4, an image size that is
// not a multiple of the coding unit), EncodeDataUnit codes the nearest edge
// unit again: the missing units repeat the edge unit, and nothing is read
// outside the stored coefficients.
template <typename Action>
void TraverseInterleaved(const ScanContext& scan, const Action& action, PassKind kind) {
    PassProgress progress(scan, kind, scan.mcuRows);
    RestartControl restart(scan, kind);
    for (std::uint32_t mcuRow = 0; mcuRow < scan.mcuRows; ++mcuRow) {
        for (std::uint32_t mcuColumn = 0; mcuColumn < scan.mcuColumns; ++mcuColumn) {
            restart.BeforeCodingUnit();
            for (const ScanComponent& entry : scan.components) {
                JpegComponent& component = *entry.component;
                const std::uint32_t vertical = component.VerticalFactor();
                const std::uint32_t horizontal = component.HorizontalFactor();
                for (std::uint32_t y = 0; y < vertical; ++y) {
                    for (std::uint32_t x = 0; x < horizontal; ++x) {
                        EncodeDataUnit(component, vertical * mcuRow + y, horizontal * mcuColumn + x,
                                       action);
                    }
                }
            }
            restart.AfterCodingUnit();
        }
        progress.RowDone();
    }
    progress.PassDone();
}

// Both passes walk the same units in the same order; only the action differs.
template <typename Action>
void TraverseScan(const ScanContext& scan, const Action& action, PassKind kind) {
    ResetPredictors(scan);
    if (scan.components.size() == 1) {
        TraverseOneComponent(scan, action, kind);
    } else {
        TraverseInterleaved(scan, action, kind);
    }
}

} // namespace

std::uint32_t RestartInterval(const ScanContext& scan) {
    const std::uint32_t columns = scan.components.size() == 1
                                      ? scan.components.front().component->DataUnitColumns()
                                      : scan.mcuColumns;
    return columns * scan.restartRows;
}

void EncodeScan(const ScanContext& scan) {
    if (scan.components.empty()) {
        throw EJpegFatal("INTERNAL ERROR - No components defined for scan");
    }
    const std::uint32_t interval = RestartInterval(scan);
    if (interval != scan.lastRestartInterval) {
        WriteRestartInterval(scan.output, interval);
        scan.lastRestartInterval = interval;
    }

    // Annex K.2: the tables are built from this scan's own symbol counts.
    ForEachUsedTable(scan, &HuffmanCodeTable::ResetCounts);
    TraverseScan(scan, SymbolCounter{}, PassKind::Statistics);
    ForEachUsedTable(scan, &HuffmanCodeTable::BuildCodes);

    WriteHuffmanTables(scan);
    WriteScanHeader(scan);
    TraverseScan(scan, CodeWriter(scan), PassKind::Output);
}

} // namespace tesselon::jpeg
