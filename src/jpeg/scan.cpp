#include "jpeg/scan.h"

#include "jpeg/errors.h"
#include "jpeg/markers.h"
#include "jpeg/symbol_stream.h"

#include <algorithm>
#include <array>
#include <optional>

namespace tesselon::jpeg {

namespace {

using namespace marker;

constexpr std::uint32_t kRestartMarkerCount = 8;

// Progress is kept in 1/256 percent: 25600 = 100 × 256. The statistics pass
// reports the first half, the output pass the second.
constexpr std::uint32_t kFullScale = 25600;

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
    PassProgress(const ScanContext& scan, bool outputPass, std::uint32_t rows)
        : report_(scan.report)
        , accumulator_(outputPass ? kFullScale / 2 : 0)
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

// The rows of coding units the scan walks.
std::uint32_t CodingUnitRows(const ScanContext& scan) {
    return scan.components.size() == 1 ? scan.components.front().component->DataUnitRows()
                                       : scan.mcuRows;
}

// Statistics pass: counts each symbol in its component's table and records it
// in the stream, with the restart markers and the ends of rows in between.
class SymbolRecorder {
public:
    SymbolRecorder(SymbolStream& stream, std::uint32_t componentIndex)
        : stream_(stream)
        , dcSlot_(SymbolStream::TableSlot(componentIndex, false))
        , acSlot_(SymbolStream::TableSlot(componentIndex, true)) {}

    void Dc(JpegComponent& component, std::uint32_t size, std::uint32_t bits) const {
        component.DcTable()->CountSymbol(size);
        stream_.AddSymbol(dcSlot_, size, bits, size);
    }
    void Ac(JpegComponent& component, std::uint32_t symbol, std::uint32_t bits,
            std::uint32_t size) const {
        component.AcTable()->CountSymbol(symbol);
        stream_.AddSymbol(acSlot_, symbol, bits, size);
    }

private:
    SymbolStream& stream_;
    std::uint32_t dcSlot_;
    std::uint32_t acSlot_;
};

// E.1.4: every `interval` coding units the entropy-coded data is ended by
// RST0 to RST7 in turn (the marker write completes the partial byte with
// 0-bits) and every DC predictor starts again from 0. The test runs before a
// unit, so the last interval is never followed by a marker.
class RestartControl {
public:
    RestartControl(const ScanContext& scan, SymbolStream& stream)
        : scan_(scan)
        , stream_(stream)
        , interval_(RestartInterval(scan)) {}

    void BeforeCodingUnit() {
        if (interval_ == 0 || count_ != interval_) {
            return;
        }
        stream_.AddRestart(index_);
        ResetPredictors(scan_);
        index_ = (index_ + 1) % kRestartMarkerCount;
        count_ = 0;
    }
    void AfterCodingUnit() { ++count_; }

private:
    const ScanContext& scan_;
    SymbolStream& stream_;
    std::uint32_t interval_;
    std::uint32_t count_ = 0;
    std::uint32_t index_ = 0;
};

// A.2.2: a one-component scan walks the component's own grid of data units.
void RecordOneComponent(const ScanContext& scan, SymbolStream& stream) {
    JpegComponent& component = *scan.components.front().component;
    const SymbolRecorder recorder(stream, 0);
    PassProgress progress(scan, false, component.DataUnitRows());
    RestartControl restart(scan, stream);
    for (std::uint32_t row = 0; row < component.DataUnitRows(); ++row) {
        for (std::uint32_t column = 0; column < component.DataUnitColumns(); ++column) {
            restart.BeforeCodingUnit();
            EncodeDataUnit(component, row, column, recorder);
            restart.AfterCodingUnit();
        }
        stream.AddRowEnd();
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
void RecordInterleaved(const ScanContext& scan, SymbolStream& stream) {
    std::array<std::optional<SymbolRecorder>, 3> recorders;
    for (std::uint32_t index = 0; index < scan.components.size(); ++index) {
        recorders[index].emplace(stream, index);
    }
    PassProgress progress(scan, false, scan.mcuRows);
    RestartControl restart(scan, stream);
    for (std::uint32_t mcuRow = 0; mcuRow < scan.mcuRows; ++mcuRow) {
        for (std::uint32_t mcuColumn = 0; mcuColumn < scan.mcuColumns; ++mcuColumn) {
            restart.BeforeCodingUnit();
            for (std::uint32_t index = 0; index < scan.components.size(); ++index) {
                JpegComponent& component = *scan.components[index].component;
                const std::uint32_t vertical = component.VerticalFactor();
                const std::uint32_t horizontal = component.HorizontalFactor();
                for (std::uint32_t y = 0; y < vertical; ++y) {
                    for (std::uint32_t x = 0; x < horizontal; ++x) {
                        EncodeDataUnit(component, vertical * mcuRow + y, horizontal * mcuColumn + x,
                                       *recorders[index]);
                    }
                }
            }
            restart.AfterCodingUnit();
        }
        stream.AddRowEnd();
        progress.RowDone();
    }
    progress.PassDone();
}

// The statistics pass: the scan's units, coded into symbols and counted.
void RecordSymbols(const ScanContext& scan, SymbolStream& stream) {
    ResetPredictors(scan);
    if (scan.components.size() == 1) {
        RecordOneComponent(scan, stream);
    } else {
        RecordInterleaved(scan, stream);
    }
}

// The output pass: each recorded symbol's code followed by its extra bits, as
// one write of at most 16 + 16 bits. The codes are looked up once per scan; a
// symbol without a code is looked up again in its table, which raises the
// table's own error.
void WriteSymbols(const ScanContext& scan, const SymbolStream& stream) {
    std::array<const HuffmanCodeTable*, SymbolStream::kTableSlots> tables{};
    std::array<std::array<HuffmanCode, HuffmanCodeTable::kSymbolCount>, SymbolStream::kTableSlots>
        codes{};
    for (std::uint32_t index = 0; index < scan.components.size(); ++index) {
        const JpegComponent& component = *scan.components[index].component;
        tables[SymbolStream::TableSlot(index, false)] = component.DcTable();
        tables[SymbolStream::TableSlot(index, true)] = component.AcTable();
    }
    for (std::uint32_t slot = 0; slot < SymbolStream::kTableSlots; ++slot) {
        if (tables[slot] != nullptr) {
            for (const std::uint8_t symbol : tables[slot]->Values()) {
                codes[slot][symbol] = tables[slot]->LookupCode(symbol);
            }
        }
    }

    PassProgress progress(scan, true, CodingUnitRows(scan));
    for (const SymbolStream::Entry entry : stream.Entries()) {
        const std::uint32_t kind = entry.Kind();
        if (kind < SymbolStream::kTableSlots) [[likely]] {
            HuffmanCode code = codes[kind][entry.Symbol()];
            if (code.length == 0) [[unlikely]] {
                code = tables[kind]->LookupCode(entry.Symbol());
            }
            const std::uint32_t size = entry.ExtraSize();
            scan.output.WriteBits(std::uint32_t{code.code} << size | entry.ExtraBits(),
                                  code.length + size);
        } else if (kind == SymbolStream::kRestartKind) {
            scan.output.WriteMarker(static_cast<std::uint8_t>(kRestart0 + entry.Symbol()));
        } else {
            progress.RowDone();
        }
    }
    progress.PassDone();
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
    SymbolStream stream;
    RecordSymbols(scan, stream);
    ForEachUsedTable(scan, &HuffmanCodeTable::BuildCodes);

    WriteHuffmanTables(scan);
    WriteScanHeader(scan);
    WriteSymbols(scan, stream);
}

} // namespace tesselon::jpeg
