// EncodeScan on hand-made components, without the writer around it.
#include "jpeg/errors.h"
#include "jpeg/huffman.h"
#include "jpeg/jpeg_component.h"
#include "jpeg/scan.h"
#include "writer_test_support.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace jpeg::writer_test {
namespace {

class ScanFixture : public testing::Test {
protected:
    ScanFixture() {
        luma.SetTables(&quantization, &dcTables[0], &acTables[0]);
        chroma.SetTables(&quantization, &dcTables[1], &acTables[1]);
    }

    // Every unit gets the DC value `dc` and one AC coefficient that varies.
    static void Fill(JpegComponent& component, std::uint32_t rows, std::uint32_t columns,
                     std::int16_t dc) {
        component.AllocateCoefficients(rows, columns);
        for (std::uint32_t row = 0; row < rows; ++row) {
            for (std::uint32_t column = 0; column < columns; ++column) {
                CoefficientUnit& unit = component.Unit(row, column);
                unit[0] = dc;
                unit[1] = static_cast<std::int16_t>((row * 7 + column) % 5 - 2);
            }
        }
    }

    Bytes Run(std::span<const ScanComponent> components, std::uint32_t mcuRows = 0,
              std::uint32_t mcuColumns = 0, PercentReporter report = {}) {
        std::ostringstream stream;
        BitOutput output(stream);
        EncodeScan(ScanContext{.output = output,
                               .components = components,
                               .mcuRows = mcuRows,
                               .mcuColumns = mcuColumns,
                               .restartRows = 4,
                               .lastRestartInterval = lastRestartInterval,
                               .report = std::move(report)});
        output.FlushBits();
        const std::string text = stream.str();
        return Bytes(text.begin(), text.end());
    }

    // The scan's segments, parsed after a made-up SOI.
    static std::vector<Segment> Segments(const Bytes& scan) {
        Bytes bytes = {0xFF, 0xD8};
        bytes.insert(bytes.end(), scan.begin(), scan.end());
        std::vector<Segment> segments;
        EXPECT_TRUE(ParseSegments(bytes, segments));
        segments.erase(segments.begin());
        return segments;
    }

    QuantTable quantization{};
    std::array<HuffmanCodeTable, 2> dcTables;
    std::array<HuffmanCodeTable, 2> acTables;
    JpegComponent luma;
    JpegComponent chroma;
    std::uint32_t lastRestartInterval = 0;
};

TEST_F(ScanFixture, EmptyScanIsAnInternalErrorAndWritesNothing) {
    std::ostringstream stream;
    BitOutput output(stream);
    const ScanContext scan{.output = output,
                           .components = {},
                           .mcuRows = 0,
                           .mcuColumns = 0,
                           .restartRows = 4,
                           .lastRestartInterval = lastRestartInterval,
                           .report = {}};
    try {
        EncodeScan(scan);
        FAIL() << "no exception";
    } catch (const EJpegFatal& error) {
        EXPECT_STREQ(error.what(), "INTERNAL ERROR - No components defined for scan");
    }
    EXPECT_TRUE(stream.str().empty());
}

TEST_F(ScanFixture, DriOnlyWhenTheIntervalChanges) {
    Fill(luma, 2, 5, 3);
    const ScanComponent list[] = {{1, 0, &luma}};
    auto segments = Segments(Run(list));
    ASSERT_EQ(segments.front().marker, 0xDD);
    EXPECT_EQ(segments.front().body, (Bytes{0, 20}));
    EXPECT_EQ(lastRestartInterval, 20u);
    // Fewer than 4 rows: an interval is defined but no marker is needed.
    EXPECT_TRUE(segments.back().restartMarkers.empty());

    segments = Segments(Run(list));
    EXPECT_EQ(segments.front().marker, 0xC4);

    Fill(luma, 2, 6, 3);
    segments = Segments(Run(list));
    EXPECT_EQ(segments.front().marker, 0xDD);
    EXPECT_EQ(segments.front().body, (Bytes{0, 24}));
}

TEST_F(ScanFixture, RestartIndexWrapsAfterRst7) {
    Fill(luma, 40, 1, 9);
    const ScanComponent list[] = {{1, 0, &luma}};
    const auto segments = Segments(Run(list));
    EXPECT_EQ(segments.back().restartMarkers,
              (std::vector<std::uint8_t>{0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD0}));
}

// Every unit has DC 9 and no AC: without restarts only the first unit has a
// nonzero difference. With a restart every 4 units the predictor starts again
// from 0, so each interval begins with the same difference 9 and the two
// intervals' data are identical.
TEST_F(ScanFixture, RestartResetsTheDcPredictor) {
    Fill(luma, 8, 1, 9);
    for (std::uint32_t row = 0; row < 8; ++row) {
        luma.Unit(row, 0)[1] = 0;
    }
    const ScanComponent list[] = {{1, 0, &luma}};
    const auto segments = Segments(Run(list));
    const Segment& sos = segments.back();
    ASSERT_EQ(sos.scanData.size(), 2u);
    EXPECT_EQ(sos.scanData[0], sos.scanData[1]);
}

TEST_F(ScanFixture, OneChromaComponentUsesTableSet1Alone) {
    Fill(chroma, 3, 3, -4);
    const ScanComponent list[] = {{2, 1, &chroma}};
    const auto segments = Segments(Run(list));
    ASSERT_EQ(segments.size(), 3u);
    const Segment& dht = segments[1];
    EXPECT_EQ(dht.body[0], 0x01);
    EXPECT_EQ(dht.length, 2 + dcTables[1].TableBodySize() + acTables[1].TableBodySize());
    EXPECT_EQ(segments[2].length, 8u);
    EXPECT_EQ(segments[2].body, (Bytes{1, 2, 0x11, 0, 63, 0}));
    EXPECT_FALSE(dcTables[0].IsBuilt());
    EXPECT_TRUE(dcTables[1].IsBuilt());
}

// Component 1 at 2 × 2 in a 3 × 3 grid of data units while the coding-unit
// grid is 2 × 2 (4 × 4 units of component 1): the units past the grid repeat
// the edge units, which an interleaved scan of the same edge units without
// the missing ones could not show. The output must equal a scan over a grid
// that holds those repeated units for real.
TEST_F(ScanFixture, MissingInterleavedUnitsRepeatTheEdgeUnit) {
    luma.SetHorizontalSampling(2);
    luma.SetVerticalSampling(2);
    Fill(luma, 3, 3, 5);
    Fill(chroma, 2, 2, -3);
    const ScanComponent list[] = {{1, 0, &luma}, {2, 1, &chroma}};
    const Bytes clipped = Run(list, 2, 2);

    JpegComponent padded;
    padded.SetTables(&quantization, &dcTables[0], &acTables[0]);
    padded.SetHorizontalSampling(2);
    padded.SetVerticalSampling(2);
    padded.AllocateCoefficients(4, 4);
    for (std::uint32_t row = 0; row < 4; ++row) {
        for (std::uint32_t column = 0; column < 4; ++column) {
            padded.Unit(row, column) = luma.Unit(std::min(row, 2u), std::min(column, 2u));
        }
    }
    const ScanComponent paddedList[] = {{1, 0, &padded}, {2, 1, &chroma}};
    lastRestartInterval = 0;
    EXPECT_EQ(Run(paddedList, 2, 2), clipped);
}

TEST_F(ScanFixture, ProgressRisesThroughBothPassesOfOneScan) {
    Fill(luma, 30, 2, 1);
    const ScanComponent list[] = {{1, 0, &luma}};
    std::vector<std::int32_t> percents;
    Run(list, 0, 0, [&](std::int32_t percent) {
        percents.push_back(percent);
        return false;
    });
    ASSERT_EQ(percents.size(), 62u);
    EXPECT_EQ(percents[0], 1);
    EXPECT_EQ(percents[29], 49);
    EXPECT_EQ(percents[30], 100);
    EXPECT_EQ(percents[31], 51);
    EXPECT_EQ(percents[60], 99);
    EXPECT_EQ(percents[61], 100);
}

// The reporter asks to stop at call n: first row of the statistics pass, its
// end, first row of the output pass, the output pass's end.
class ScanAbort : public ScanFixture, public testing::WithParamInterface<int> {};

TEST_P(ScanAbort, StopsWithJpegAborted) {
    Fill(luma, 6, 2, 1);
    const ScanComponent list[] = {{1, 0, &luma}};
    int calls = 0;
    const PercentReporter report = [&](std::int32_t) {
        return calls++ == GetParam();
    };
    try {
        Run(list, 0, 0, report);
        FAIL() << "no exception";
    } catch (const EJpegAbort& error) {
        EXPECT_STREQ(error.what(), "JPEG Aborted");
    }
    EXPECT_EQ(calls, GetParam() + 1);
}

INSTANTIATE_TEST_SUITE_P(EachPass, ScanAbort, testing::Values(0, 6, 7, 13));

} // namespace
} // namespace jpeg::writer_test
