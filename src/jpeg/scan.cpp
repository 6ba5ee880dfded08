#include "jpeg/scan.h"

#include "jpeg/entropy_coder.h"
#include "jpeg/errors.h"
#include "jpeg/markers.h"
#include "jpeg/symbol_stream.h"

#include <algorithm>
#include <array>
#include <sstream>

namespace jpeg {

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

// Statistics pass: counts each symbol for its table slot and records it in
// the stream.
class SymbolRecorder {
public:
    SymbolRecorder(ScanBand& band, std::uint32_t componentIndex)
        : band_(band)
        , dcSlot_(SymbolStream::TableSlot(componentIndex, false))
        , acSlot_(SymbolStream::TableSlot(componentIndex, true)) {}

    void Dc(std::uint32_t size, std::uint32_t bits) const { Add(dcSlot_, size, bits, size); }
    void Ac(std::uint32_t symbol, std::uint32_t bits, std::uint32_t size) const {
        Add(acSlot_, symbol, bits, size);
    }

private:
    void Add(std::uint32_t slot, std::uint32_t symbol, std::uint32_t bits,
             std::uint32_t size) const {
        ++band_.counts[slot][symbol];
        band_.stream.AddSymbol(slot, symbol, bits, size);
    }

    ScanBand& band_;
    std::uint32_t dcSlot_;
    std::uint32_t acSlot_;
};

// Before coding unit `unitIndex`: the marker and predictor reset of E.1.4
// when an interval ends there. Makes room for the marker itself.
void RestartIfDue(std::uint32_t interval, std::uint64_t unitIndex,
                  std::array<std::int32_t, 3>& predictors, SymbolStream& stream) {
    if (interval != 0 && unitIndex != 0 && unitIndex % interval == 0) {
        stream.Reserve(1);
        stream.AddRestart(
            static_cast<std::uint32_t>((unitIndex / interval - 1) % kRestartMarkerCount));
        predictors.fill(0);
    }
}

// The coding units of one row: a one-component scan walks the component's
// own grid of data units (A.2.2); an interleaved scan walks the frame's coding
// units, each holding V rows of H data units of every component in turn
// (A.2.3). Where the coding-unit grid reaches past a component's grid of data
// units (A.2.4, an image size that is not a multiple of the coding unit),
// EncodeDataUnit codes the nearest edge unit again: the missing units repeat
// the edge unit, and nothing is read outside the stored coefficients.
//
// E.1.4: every `interval` coding units the entropy-coded data is ended by
// RST0 to RST7 in turn (the marker write completes the partial byte with
// 0-bits) and every DC predictor starts again from 0; the last interval is
// never followed by a marker. A band starts on an interval, so its
// predictors start from 0 too.
void RecordRow(const ScanContext& scan, std::uint32_t row,
               std::span<const SymbolRecorder> recorders, std::array<std::int32_t, 3>& predictors,
               ScanBand& band) {
    const std::uint32_t interval = RestartInterval(scan);
    SymbolStream& stream = band.stream;
    if (scan.components.size() == 1) {
        const JpegComponent& component = *scan.components.front().component;
        const std::uint32_t columns = component.DataUnitColumns();
        for (std::uint32_t column = 0; column < columns; ++column) {
            stream.Reserve(SymbolStream::kMostPerUnit + 2);
            RestartIfDue(interval, std::uint64_t{row} * columns + column, predictors, stream);
            EncodeDataUnit(component.Unit(row, column), predictors[0], recorders[0]);
        }
    } else {
        for (std::uint32_t column = 0; column < scan.mcuColumns; ++column) {
            RestartIfDue(interval, std::uint64_t{row} * scan.mcuColumns + column, predictors,
                         stream);
            for (std::uint32_t index = 0; index < scan.components.size(); ++index) {
                const JpegComponent& component = *scan.components[index].component;
                const std::uint32_t vertical = component.VerticalFactor();
                const std::uint32_t horizontal = component.HorizontalFactor();
                for (std::uint32_t y = 0; y < vertical; ++y) {
                    for (std::uint32_t x = 0; x < horizontal; ++x) {
                        stream.Reserve(SymbolStream::kMostPerUnit + 2);
                        EncodeDataUnit(
                            component.ClampedUnit(vertical * row + y, horizontal * column + x),
                            predictors[index], recorders[index]);
                    }
                }
            }
        }
    }
    stream.Reserve(1);
    stream.AddRowEnd();
}

// Room for every entry a band can give (a coding unit's data units, each with
// up to 64 symbols, a marker before each unit and a row end), as long as that
// stays below 64 MB: untouched pages of a large block cost nothing, and the
// record then never moves. A larger band starts at 8 entries per data unit
// and grows.
std::size_t LikelyEntries(const ScanContext& scan, const ScanBand& band) {
    std::uint64_t unitsPerRow = 0;
    if (scan.components.size() == 1) {
        unitsPerRow = scan.components.front().component->DataUnitColumns();
    } else {
        for (const ScanComponent& entry : scan.components) {
            unitsPerRow += std::uint64_t{entry.component->HorizontalFactor()} *
                           entry.component->VerticalFactor() * scan.mcuColumns;
        }
    }
    const std::uint64_t units = unitsPerRow * (band.endRow - band.firstRow);
    const std::uint64_t most = units * (SymbolStream::kMostPerUnit + 1) + band.endRow;
    constexpr std::uint64_t kLargestReserve = (64u << 20) / sizeof(SymbolStream::Entry);
    return static_cast<std::size_t>(most <= kLargestReserve ? most : units * 8);
}

// The statistics pass over a band's rows, calling `rowDone` after each.
template <typename RowDone>
void RecordRows(const ScanContext& scan, ScanBand& band, const RowDone& rowDone) {
    band.stream.Clear();
    band.stream.Reserve(LikelyEntries(scan, band));
    // Unused slots are never handed a symbol.
    const std::array<SymbolRecorder, 3> recorders = {
        SymbolRecorder(band, 0), SymbolRecorder(band, 1), SymbolRecorder(band, 2)};
    std::array<std::int32_t, 3> predictors{};
    for (std::uint32_t row = band.firstRow; row < band.endRow; ++row) {
        RecordRow(scan, row, recorders, predictors, band);
        rowDone();
    }
}

// Each slot's table: the DC or AC table of the scan's component at that index.
std::array<const HuffmanCodeTable*, SymbolStream::kTableSlots> SlotTables(const ScanContext& scan) {
    std::array<const HuffmanCodeTable*, SymbolStream::kTableSlots> tables{};
    for (std::uint32_t index = 0; index < scan.components.size(); ++index) {
        const JpegComponent& component = *scan.components[index].component;
        tables[SymbolStream::TableSlot(index, false)] = component.DcTable();
        tables[SymbolStream::TableSlot(index, true)] = component.AcTable();
    }
    return tables;
}

// Adds a band's counts to the tables of the scan's components (components
// that share a table add to it both).
void AddBandCounts(const ScanContext& scan, const ScanBand& band) {
    for (std::uint32_t index = 0; index < scan.components.size(); ++index) {
        JpegComponent& component = *scan.components[index].component;
        component.DcTable()->AddCounts(band.counts[SymbolStream::TableSlot(index, false)]);
        component.AcTable()->AddCounts(band.counts[SymbolStream::TableSlot(index, true)]);
    }
}

// The output pass over a band's record: each symbol's code followed by its
// extra bits, as one write of at most 16 + 16 bits, calling `rowDone` at the
// end of every row. The codes are looked up once; a symbol without a code is
// looked up again in its table, which raises the table's own error.
template <typename RowDone>
void WriteRecord(const ScanContext& scan, const ScanBand& band, BitOutput& output,
                 const RowDone& rowDone) {
    const auto tables = SlotTables(scan);
    std::array<std::array<HuffmanCode, HuffmanCodeTable::kSymbolCount>, SymbolStream::kTableSlots>
        codes{};
    for (std::uint32_t slot = 0; slot < SymbolStream::kTableSlots; ++slot) {
        if (tables[slot] != nullptr) {
            for (const std::uint8_t symbol : tables[slot]->Values()) {
                codes[slot][symbol] = tables[slot]->LookupCode(symbol);
            }
        }
    }
    EntropyCoder coder(output);
    for (const SymbolStream::Entry entry : band.stream.Entries()) {
        const std::uint32_t kind = entry.Kind();
        if (kind < SymbolStream::kTableSlots) [[likely]] {
            HuffmanCode code = codes[kind][entry.Symbol()];
            if (code.length == 0) [[unlikely]] {
                code = tables[kind]->LookupCode(entry.Symbol());
            }
            const std::uint32_t size = entry.ExtraSize();
            coder.Put(std::uint32_t{code.code} << size | entry.ExtraBits(), code.length + size);
        } else if (kind == SymbolStream::kRestartKind) {
            coder.PutMarker(static_cast<std::uint8_t>(kRestart0 + entry.Symbol()));
        } else {
            // What is written so far is in the stream when progress is reported.
            coder.Flush();
            rowDone();
        }
    }
    coder.Finish();
}

// DRI, only when the interval changes.
void WriteRestartIntervalIfChanged(const ScanContext& scan) {
    const std::uint32_t interval = RestartInterval(scan);
    if (interval != scan.lastRestartInterval) {
        WriteRestartInterval(scan.output, interval);
        scan.lastRestartInterval = interval;
    }
}

void CheckComponents(const ScanContext& scan) {
    if (scan.components.empty()) {
        throw EJpegFatal("INTERNAL ERROR - No components defined for scan");
    }
}

} // namespace

std::uint32_t RestartInterval(const ScanContext& scan) {
    const std::uint32_t columns = scan.components.size() == 1
                                      ? scan.components.front().component->DataUnitColumns()
                                      : scan.mcuColumns;
    return columns * scan.restartRows;
}

std::uint32_t CodingUnitRows(const ScanContext& scan) {
    return scan.components.size() == 1 ? scan.components.front().component->DataUnitRows()
                                       : scan.mcuRows;
}

void EncodeScan(const ScanContext& scan) {
    ScanBand scratch;
    EncodeScan(scan, scratch);
}

void EncodeScan(const ScanContext& scan, ScanBand& whole) {
    CheckComponents(scan);
    WriteRestartIntervalIfChanged(scan);

    // Annex K.2: the tables are built from this scan's own symbol counts.
    whole.firstRow = 0;
    whole.endRow = CodingUnitRows(scan);
    for (auto& counts : whole.counts) {
        counts.fill(0);
    }
    PassProgress statistics(scan, false, whole.endRow);
    RecordRows(scan, whole, [&] { statistics.RowDone(); });
    statistics.PassDone();
    ForEachUsedTable(scan, &HuffmanCodeTable::ResetCounts);
    AddBandCounts(scan, whole);
    ForEachUsedTable(scan, &HuffmanCodeTable::BuildCodes);

    WriteHuffmanTables(scan);
    WriteScanHeader(scan);
    PassProgress output(scan, true, whole.endRow);
    WriteRecord(scan, whole, scan.output, [&] { output.RowDone(); });
    output.PassDone();
}

std::vector<ScanBand> SplitScan(const ScanContext& scan) {
    CheckComponents(scan);
    const std::uint32_t rows = CodingUnitRows(scan);
    // Without restart intervals the predictors run through the whole scan.
    const std::uint32_t step = scan.restartRows == 0 ? std::max(rows, 1u) : scan.restartRows;
    std::vector<ScanBand> bands((rows + step - 1) / step);
    for (std::size_t index = 0; index < bands.size(); ++index) {
        bands[index].firstRow = static_cast<std::uint32_t>(index * step);
        bands[index].endRow = std::min<std::uint32_t>(rows, bands[index].firstRow + step);
    }
    return bands;
}

void RecordBand(const ScanContext& scan, ScanBand& band) {
    RecordRows(scan, band, [] {});
}

void BuildScanTables(const ScanContext& scan, std::span<const ScanBand> bands) {
    ForEachUsedTable(scan, &HuffmanCodeTable::ResetCounts);
    for (const ScanBand& band : bands) {
        AddBandCounts(scan, band);
    }
    ForEachUsedTable(scan, &HuffmanCodeTable::BuildCodes);
}

void WriteBand(const ScanContext& scan, ScanBand& band) {
    std::ostringstream bytes;
    BitOutput output(bytes);
    WriteRecord(scan, band, output, [] {});
    output.FlushBits();
    band.bytes = std::move(bytes).str();
    band.stream.Release();
}

void WriteScanBands(const ScanContext& scan, std::span<const ScanBand> bands) {
    WriteRestartIntervalIfChanged(scan);
    WriteHuffmanTables(scan);
    WriteScanHeader(scan);
    for (const ScanBand& band : bands) {
        scan.output.WriteBlock(reinterpret_cast<const std::uint8_t*>(band.bytes.data()),
                               band.bytes.size());
    }
}

} // namespace jpeg
