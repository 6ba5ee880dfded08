#include "jpeg/errors.h"
#include "jpeg/jpeg_writer.h"
#include "jpeg/raster_image.h"
#include "writer_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

namespace jpeg::writer_test {
namespace {

constexpr std::uint8_t kSoi = 0xD8, kApp0 = 0xE0, kCom = 0xFE, kSof0 = 0xC0, kDqt = 0xDB,
                       kDri = 0xDD, kDht = 0xC4, kSos = 0xDA, kEoi = 0xD9;

const std::string kFixedComment = "Created using the Corvantis JPEG library";

std::vector<Segment> Parse(const Bytes& bytes) {
    std::vector<Segment> segments;
    EXPECT_TRUE(ParseSegments(bytes, segments));
    return segments;
}

std::vector<Segment> SegmentsWith(const std::vector<Segment>& segments, std::uint8_t marker) {
    std::vector<Segment> found;
    for (const Segment& segment : segments) {
        if (segment.marker == marker) {
            found.push_back(segment);
        }
    }
    return found;
}

// The class-and-number bytes of the tables in a DHT body, in order.
std::vector<std::uint8_t> TableIds(const Segment& dht) {
    std::vector<std::uint8_t> ids;
    std::size_t position = 0;
    while (position < dht.body.size()) {
        ids.push_back(dht.body[position]);
        std::size_t values = 0;
        for (std::size_t length = 1; length <= 16; ++length) {
            values += dht.body[position + length];
        }
        position += 17 + values;
    }
    return ids;
}

// ---- Checks before writing --------------------------------------------------

struct RefusalCase {
    const char* name;
    std::function<void(JpegWriter&)> configure;
    std::uint32_t width;
    std::uint32_t height;
    const std::type_info& type;
    const char* message;
};

const RefusalCase kRefusals[] = {
    {"Quality0", [](JpegWriter& w) { w.SetQuality(0); }, 16, 16, typeid(EJpegValueOutOfRange),
     "Value out of range"},
    {"Quality101", [](JpegWriter& w) { w.SetQuality(101); }, 16, 16, typeid(EJpegValueOutOfRange),
     "Value out of range"},
    {"HorizontalFactors3And2",
     [](JpegWriter& w) {
         w.SetHorizontalSampling(1, 3);
         w.SetHorizontalSampling(2, 2);
     },
     16, 16, typeid(EJpegError), "Fractional Horizontal Sampling"},
    {"HorizontalFactors3And4",
     [](JpegWriter& w) {
         w.SetHorizontalSampling(3, 3);
         w.SetHorizontalSampling(1, 4);
     },
     16, 16, typeid(EJpegError), "Fractional Horizontal Sampling"},
    {"VerticalFactors3And4",
     [](JpegWriter& w) {
         w.SetVerticalSampling(2, 3);
         w.SetVerticalSampling(3, 4);
     },
     16, 16, typeid(EJpegError), "Fractional Vertical Sampling"},
    {"Masks2And4", [](JpegWriter& w) { w.SetScan(0, 2, 0, 0), w.SetScan(1, 4, 0, 0); }, 16, 16,
     typeid(EJpegError), "Not all components specified in scans"},
    {"MaskWithAnotherBit", [](JpegWriter& w) { w.SetScan(0, 15, 0, 0); }, 16, 16,
     typeid(EJpegError), "Not all components specified in scans"},
    {"Masks6And12", [](JpegWriter& w) { w.SetScan(0, 6, 0, 0), w.SetScan(1, 12, 0, 0); }, 16, 16,
     typeid(EJpegError), "Component in more than one scan"},
    {"TwelveUnitsInOneCodingUnit",
     [](JpegWriter& w) {
         for (std::uint32_t id = 1; id <= 3; ++id) {
             w.SetHorizontalSampling(id, 2);
             w.SetVerticalSampling(id, 2);
         }
     },
     16, 16, typeid(EJpegBadOutputParameter), "Data units in MCU exceeds 10"},
    {"ZeroWidth", [](JpegWriter&) {}, 0, 16, typeid(EJpegBadOutputParameter),
     "Image width and height must be 1 to 65535"},
    {"ZeroHeight", [](JpegWriter&) {}, 16, 0, typeid(EJpegBadOutputParameter),
     "Image width and height must be 1 to 65535"},
    {"WidthAbove65535", [](JpegWriter&) {}, 65536, 1, typeid(EJpegBadOutputParameter),
     "Image width and height must be 1 to 65535"},
    {"HeightAbove65535", [](JpegWriter& w) { w.SetGrayscale(true); }, 1, 65536,
     typeid(EJpegBadOutputParameter), "Image width and height must be 1 to 65535"},
    {"GrayscaleWithoutComponent1",
     [](JpegWriter& w) {
         w.SetGrayscale(true);
         w.SetScan(0, 12, 0, 0);
     },
     16, 16, typeid(EJpegBadOutputParameter), "Grayscale scan 0 does not hold component 1"},
    {"CommentTooLong", [](JpegWriter& w) { w.SetComment(std::string(65533, 'c')); }, 16, 16,
     typeid(EJpegBadOutputParameter), "Comment longer than 65532 bytes"},
};

class Refusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, RaisesItsMessageAndLeavesTheStreamEmpty) {
    const RefusalCase& refusal = GetParam();
    RasterImage image;
    FillImage(image, refusal.width, refusal.height, Pattern::Gradient);
    JpegWriter writer;
    refusal.configure(writer);
    std::ostringstream stream;
    try {
        writer.EncodeImage(stream, image);
        FAIL() << "no exception";
    } catch (const EGraphicsException& error) {
        EXPECT_EQ(typeid(error), refusal.type);
        EXPECT_STREQ(error.what(), refusal.message);
    }
    EXPECT_TRUE(stream.str().empty());
}

// A command line refuses bad settings before it reads an image: the same
// refusal, except where only the image's size is wrong.
TEST_P(Refusal, ValidateSettingsRaisesItWithoutAnImage) {
    const RefusalCase& refusal = GetParam();
    JpegWriter writer;
    refusal.configure(writer);
    if (refusal.width == 0 || refusal.height == 0 || refusal.width > 65535 ||
        refusal.height > 65535) {
        EXPECT_NO_THROW(writer.ValidateSettings());
        return;
    }
    try {
        writer.ValidateSettings();
        FAIL() << "no exception";
    } catch (const EGraphicsException& error) {
        EXPECT_EQ(typeid(error), refusal.type);
        EXPECT_STREQ(error.what(), refusal.message);
    }
}

INSTANTIATE_TEST_SUITE_P(ChecksBeforeWriting, Refusal, testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegWriterSettings, SettersRefuseOutOfRangeValuesAndKeepTheOldOnes) {
    JpegWriter writer;
    EXPECT_THROW(writer.SetScan(256, 2, 0, 0), EJpegError);
    try {
        writer.SetScan(256, 2, 0, 0);
    } catch (const EJpegError& error) {
        EXPECT_STREQ(error.what(), "Scan Index Out of Range");
    }
    writer.SetScan(255, 8, 1, 2);
    EXPECT_EQ(writer.Scan(255).componentMask, 8u);
    EXPECT_THROW(writer.SetHorizontalSampling(1, 0), EJpegValueOutOfRange);
    EXPECT_THROW(writer.SetVerticalSampling(2, 5), EJpegValueOutOfRange);
    EXPECT_THROW(writer.SetVerticalSampling(0, 1), EJpegIndexOutOfRange);
    EXPECT_THROW(writer.SetHorizontalSampling(4, 1), EJpegIndexOutOfRange);
    EXPECT_EQ(writer.Component(1).HorizontalFactor(), 1u);
    EXPECT_EQ(writer.Component(2).VerticalFactor(), 1u);
    EXPECT_EQ(writer.Quality(), 75u);
    EXPECT_EQ(writer.Scan(0).componentMask, 14u);
    EXPECT_FALSE(writer.Grayscale());
}

// Layouts the checks accept, including ones that look close to refused ones.
struct AcceptedCase {
    const char* name;
    std::function<void(JpegWriter&)> configure;
};

class Accepted : public testing::TestWithParam<AcceptedCase> {};

TEST_P(Accepted, WritesADecodableFile) {
    RasterImage image;
    FillImage(image, 50, 35, Pattern::Photographic);
    JpegWriter writer;
    GetParam().configure(writer);
    EXPECT_NO_THROW(writer.ValidateSettings());
    const Decoded decoded = DecodeWithLibjpeg(Encode(writer, image));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.warnings, 0);
}

INSTANTIATE_TEST_SUITE_P(ChecksBeforeWriting, Accepted,
                         testing::Values(AcceptedCase{"HorizontalFactors311",
                                                      [](JpegWriter& w) {
                                                          w.SetHorizontalSampling(1, 3);
                                                      }},
                                         AcceptedCase{"TwelveUnitsInThreeScans",
                                                      [](JpegWriter& w) {
                                                          UseSystemScans(w);
                                                          for (std::uint32_t id = 1; id <= 3;
                                                               ++id) {
                                                              w.SetHorizontalSampling(id, 2);
                                                              w.SetVerticalSampling(id, 2);
                                                          }
                                                      }},
                                         AcceptedCase{"SixteenUnitsInOneComponentScan",
                                                      [](JpegWriter& w) {
                                                          w.SetScan(0, 2, 0, 0),
                                                              w.SetScan(1, 12, 0, 0);
                                                          w.SetHorizontalSampling(1, 4);
                                                          w.SetVerticalSampling(1, 4);
                                                      }},
                                         AcceptedCase{"GrayscaleIgnoresLaterScans",
                                                      [](JpegWriter& w) {
                                                          w.SetGrayscale(true);
                                                          w.SetScan(0, 2, 0, 0),
                                                              w.SetScan(1, 2, 0, 0);
                                                      }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegWriterChecks, EmptyMiddleScanFailsAfterTheFirstScanIsWritten) {
    RasterImage image;
    FillImage(image, 16, 16, Pattern::Gradient);
    JpegWriter writer;
    writer.SetScan(0, 6, 0, 0);
    writer.SetScan(2, 8, 0, 0);
    std::ostringstream stream;
    try {
        writer.EncodeImage(stream, image);
        FAIL() << "no exception";
    } catch (const EJpegFatal& error) {
        EXPECT_STREQ(error.what(), "INTERNAL ERROR - No components defined for scan");
    }
    const std::string text = stream.str();
    std::vector<Segment> segments;
    ParseSegments(Bytes(text.begin(), text.end()), segments);
    EXPECT_EQ(SegmentsWith(segments, kSos).size(), 1u);
    EXPECT_TRUE(SegmentsWith(segments, kEoi).empty());
}

// ---- Structure of the system's file -----------------------------------------

class SystemFile : public testing::Test {
protected:
    void SetUp() override {
        FillImage(image, 360, 240, Pattern::Photographic);
        UseSystemScans(writer);
        segments = Parse(Encode(writer, image));
    }
    RasterImage image;
    JpegWriter writer;
    std::vector<Segment> segments;
};

TEST_F(SystemFile, SegmentsComeInOrder) {
    EXPECT_EQ(MarkerList(segments),
              (std::vector<std::uint8_t>{kSoi, kApp0, kCom, kSof0, kDqt, kDri, kDht, kSos, kDht,
                                         kSos, kDht, kSos, kEoi}));
}

TEST_F(SystemFile, HeaderSegmentsHoldTheirFields) {
    EXPECT_EQ(segments[1].body, (Bytes{'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}));
    EXPECT_EQ(segments[1].length, 16u);

    Bytes comment(kFixedComment.begin(), kFixedComment.end());
    comment.push_back(0);
    EXPECT_EQ(segments[2].body, comment);
    EXPECT_EQ(segments[2].length, kFixedComment.size() + 3);

    EXPECT_EQ(segments[3].length, 17u);
    EXPECT_EQ(segments[3].body, (Bytes{8, 0, 240, 1, 104, 3, 1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1}));

    const Segment& dqt = segments[4];
    ASSERT_EQ(dqt.length, 132u);
    EXPECT_EQ(dqt.body[0], 0);
    EXPECT_EQ(Bytes(dqt.body.begin() + 1, dqt.body.begin() + 9), (Bytes{2, 1, 1, 1, 1, 1, 2, 1}));
    EXPECT_EQ(dqt.body[65], 1);
    EXPECT_EQ(Bytes(dqt.body.begin() + 66, dqt.body.begin() + 72), (Bytes{2, 2, 2, 3, 2, 3}));
}

TEST_F(SystemFile, OneRestartIntervalOf180) {
    const auto dri = SegmentsWith(segments, kDri);
    ASSERT_EQ(dri.size(), 1u);
    EXPECT_EQ(dri[0].length, 4u);
    EXPECT_EQ(dri[0].body, (Bytes{0, 180}));
}

TEST_F(SystemFile, EveryScanHasRst0ToRst6AndItsOwnTables) {
    const auto dht = SegmentsWith(segments, kDht);
    const auto sos = SegmentsWith(segments, kSos);
    ASSERT_EQ(sos.size(), 3u);
    ASSERT_EQ(dht.size(), 3u);
    const std::vector<std::vector<std::uint8_t>> tables = {
        {0x00, 0x10}, {0x01, 0x11}, {0x01, 0x11}};
    const std::vector<Bytes> headers = {
        {1, 1, 0x00, 0, 63, 0}, {1, 2, 0x11, 0, 63, 0}, {1, 3, 0x11, 0, 63, 0}};
    for (std::size_t scan = 0; scan < 3; ++scan) {
        EXPECT_EQ(TableIds(dht[scan]), tables[scan]) << "scan " << scan;
        EXPECT_EQ(sos[scan].length, 8u);
        EXPECT_EQ(sos[scan].body, headers[scan]);
        EXPECT_EQ(sos[scan].restartMarkers,
                  (std::vector<std::uint8_t>{0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6}));
    }
    // Component 3's tables are rebuilt from its own counts.
    EXPECT_NE(dht[1].body, dht[2].body);
}

// A flat grey image codes every unit as the two bits 0 (DC) and 0 (EOB), so
// each interval of 180 units is exactly 45 zero bytes and the last one, 90
// units, 22.5 bytes completed to 23: the markers sit before units 180, 360,
// ..., 1260 of each scan.
TEST(JpegWriterRestarts, MarkersSitBeforeEvery180thUnit) {
    RasterImage image;
    FillImage(image, 360, 240, Pattern::Grey);
    JpegWriter writer;
    UseSystemScans(writer);
    const auto sos = SegmentsWith(Parse(Encode(writer, image)), kSos);
    ASSERT_EQ(sos.size(), 3u);
    for (const Segment& scan : sos) {
        ASSERT_EQ(scan.scanData.size(), 8u);
        for (std::size_t interval = 0; interval < 7; ++interval) {
            EXPECT_EQ(scan.scanData[interval], Bytes(45, 0)) << "interval " << interval;
        }
        EXPECT_EQ(scan.scanData[7], Bytes(23, 0));
    }
}

TEST(JpegWriterLayout, DefaultWriterWritesOneInterleavedScan) {
    RasterImage image;
    FillImage(image, 70, 40, Pattern::Photographic);
    JpegWriter writer;
    const auto segments = Parse(Encode(writer, image));
    const auto sos = SegmentsWith(segments, kSos);
    ASSERT_EQ(sos.size(), 1u);
    EXPECT_EQ(sos[0].length, 12u);
    EXPECT_EQ(sos[0].body, (Bytes{3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0}));
    EXPECT_EQ(TableIds(SegmentsWith(segments, kDht)[0]),
              (std::vector<std::uint8_t>{0x00, 0x10, 0x01, 0x11}));
    // 9 coding units per row (⌈70 ÷ 8⌉) × 4 rows.
    EXPECT_EQ(SegmentsWith(segments, kDri)[0].body, (Bytes{0, 36}));
    // 5 rows of coding units: one marker, before the fifth row.
    EXPECT_EQ(sos[0].restartMarkers, (std::vector<std::uint8_t>{0xD0}));
}

TEST(JpegWriterLayout, ScansOfTwoComponentsListTheirTables) {
    RasterImage image;
    FillImage(image, 30, 20, Pattern::Photographic);
    JpegWriter writer;
    writer.SetScan(0, 6, 0, 0);
    writer.SetScan(1, 8, 0, 0);
    auto segments = Parse(Encode(writer, image));
    auto dht = SegmentsWith(segments, kDht);
    auto sos = SegmentsWith(segments, kSos);
    ASSERT_EQ(sos.size(), 2u);
    EXPECT_EQ(TableIds(dht[0]), (std::vector<std::uint8_t>{0x00, 0x10, 0x01, 0x11}));
    EXPECT_EQ(sos[0].body, (Bytes{2, 1, 0x00, 2, 0x11, 0, 63, 0}));
    EXPECT_EQ(sos[0].length, 10u);

    JpegWriter second;
    second.SetScan(0, 2, 0, 0);
    second.SetScan(1, 12, 0, 0);
    segments = Parse(Encode(second, image));
    dht = SegmentsWith(segments, kDht);
    sos = SegmentsWith(segments, kSos);
    ASSERT_EQ(sos.size(), 2u);
    EXPECT_EQ(TableIds(dht[1]), (std::vector<std::uint8_t>{0x01, 0x11}));
    EXPECT_EQ(sos[1].body, (Bytes{2, 2, 0x11, 3, 0x11, 0, 63, 0}));
    // The one-component scan counts component 1's units (4 columns), the
    // interleaved one coding units (also 4): the interval does not change.
    EXPECT_EQ(SegmentsWith(segments, kDri).size(), 1u);
}

TEST(JpegWriterLayout, GrayscaleWritesOneComponent) {
    RasterImage image;
    FillImage(image, 20, 12, Pattern::Gradient);
    JpegWriter writer;
    writer.SetGrayscale(true);
    const auto segments = Parse(Encode(writer, image));
    EXPECT_EQ(MarkerList(segments),
              (std::vector<std::uint8_t>{kSoi, kApp0, kCom, kSof0, kDqt, kDri, kDht, kSos, kEoi}));
    EXPECT_EQ(segments[3].length, 11u);
    EXPECT_EQ(segments[3].body, (Bytes{8, 0, 12, 0, 20, 1, 1, 0x11, 0}));
    EXPECT_EQ(segments[4].length, 67u);
    EXPECT_EQ(TableIds(segments[6]), (std::vector<std::uint8_t>{0x00, 0x10}));
    EXPECT_EQ(segments[7].body, (Bytes{1, 1, 0x00, 0, 63, 0}));
}

TEST(JpegWriterComments, UserCommentComesBeforeTheFixedOne) {
    RasterImage image;
    FillImage(image, 8, 8, Pattern::Flat);
    JpegWriter writer;
    writer.SetComment("frame 1234");
    const auto comments = SegmentsWith(Parse(Encode(writer, image)), kCom);
    ASSERT_EQ(comments.size(), 2u);
    EXPECT_EQ(comments[0].body, (Bytes{'f', 'r', 'a', 'm', 'e', ' ', '1', '2', '3', '4', 0}));
    EXPECT_EQ(comments[0].length, 13u);
    EXPECT_EQ(comments[1].length, kFixedComment.size() + 3);
}

TEST(JpegWriterRestarts, EveryFileFromOneWriterDefinesItsInterval) {
    RasterImage image;
    FillImage(image, 64, 64, Pattern::Gradient);
    JpegWriter writer;
    Encode(writer, image);
    EXPECT_EQ(writer.LastRestartInterval(), 32u);
    const auto dri = SegmentsWith(Parse(Encode(writer, image)), kDri);
    ASSERT_EQ(dri.size(), 1u);
    EXPECT_EQ(dri[0].body, (Bytes{0, 32}));
}

// ---- Progress and abort -------------------------------------------------------

struct ProgressCall {
    std::int32_t pass, passCount, percent;
};

struct ProgressLog {
    std::vector<ProgressCall> calls;
    // Sets the abort flag on the call with this index (−1: never).
    int abortAt = -1;
    std::uint32_t userValue = 0;
};

ProgressLog* gProgressLog = nullptr;

void RecordProgress(RasterCoder&, std::uint32_t userValue, std::int32_t pass,
                    std::int32_t passCount, std::int32_t percent, std::uint8_t& abortFlag) {
    EXPECT_EQ(abortFlag, 0);
    gProgressLog->userValue = userValue;
    if (static_cast<int>(gProgressLog->calls.size()) == gProgressLog->abortAt) {
        abortFlag = 1;
    }
    gProgressLog->calls.push_back({pass, passCount, percent});
}

class JpegWriterProgress : public testing::Test {
protected:
    void SetUp() override {
        gProgressLog = &log;
        FillImage(image, 360, 240, Pattern::Photographic);
        UseSystemScans(writer);
        writer.SetProgressFunction(RecordProgress, 77);
    }
    void TearDown() override { gProgressLog = nullptr; }

    std::vector<std::int32_t> PercentsOfPass(std::int32_t pass) const {
        std::vector<std::int32_t> percents;
        for (const ProgressCall& call : log.calls) {
            if (call.pass == pass) {
                percents.push_back(call.percent);
            }
        }
        return percents;
    }

    ProgressLog log;
    RasterImage image;
    JpegWriter writer;
};

TEST_F(JpegWriterProgress, SixPassesOfThreeComponentsAndThreeScans) {
    Encode(writer, image);
    EXPECT_EQ(log.userValue, 77u);
    std::int32_t lastPass = 0;
    for (const ProgressCall& call : log.calls) {
        EXPECT_EQ(call.passCount, 6);
        EXPECT_GE(call.pass, lastPass);
        lastPass = call.pass;
    }
    EXPECT_EQ(lastPass, 6);
    // A sampling pass reports once per row of 30 data units.
    EXPECT_EQ(PercentsOfPass(1).size(), 30u);
    // A scan of 30 rows (step 426): 1 … 49, 100, then 51 … 99, 100.
    const std::vector<std::int32_t> scan = PercentsOfPass(4);
    ASSERT_EQ(scan.size(), 62u);
    EXPECT_EQ(scan[0], 1);
    EXPECT_EQ(scan[29], 49);
    EXPECT_EQ(scan[30], 100);
    EXPECT_EQ(scan[31], 51);
    EXPECT_EQ(scan[60], 99);
    EXPECT_EQ(scan[61], 100);
    EXPECT_TRUE(std::is_sorted(scan.begin(), scan.begin() + 31));
    EXPECT_TRUE(std::is_sorted(scan.begin() + 31, scan.end()));
}

TEST_F(JpegWriterProgress, GrayscaleHasTwoPasses) {
    writer.SetGrayscale(true);
    Encode(writer, image);
    ASSERT_FALSE(log.calls.empty());
    EXPECT_EQ(log.calls.back().pass, 2);
    EXPECT_EQ(log.calls.back().passCount, 2);
}

// Call indices: pass 1 makes calls 0 to 29; scan pass 4 starts at call 90,
// its statistics pass ends at 120 and its output pass runs from 121.
class AbortInPass : public JpegWriterProgress, public testing::WithParamInterface<int> {};

TEST_P(AbortInPass, RaisesJpegAbortedAtOnce) {
    log.abortAt = GetParam();
    std::ostringstream stream;
    try {
        writer.EncodeImage(stream, image);
        FAIL() << "no exception";
    } catch (const EJpegAbort& error) {
        EXPECT_STREQ(error.what(), "JPEG Aborted");
    }
    EXPECT_EQ(static_cast<int>(log.calls.size()), GetParam() + 1);
}

INSTANTIATE_TEST_SUITE_P(SamplingStatisticsOutput, AbortInPass,
                         testing::Values(5, 29, 90, 120, 121, 151));

TEST(JpegWriterProgressOff, NoProgressFunctionMeansNoAbort) {
    RasterImage image;
    FillImage(image, 40, 40, Pattern::Noise);
    JpegWriter writer;
    writer.SetProgressFunction(nullptr, 5);
    EXPECT_NO_THROW(Encode(writer, image));
}

} // namespace
} // namespace jpeg::writer_test
