// tesselon-jpeg's command line in process: both forms of a value give the
// same settings, and every refusal, the codec's included, is a UsageError
// raised before a file is read.
#include "jpeg_options.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using jpeg_tool::Options;
using jpeg_tool::ParseCommandLine;
using jpeg_tool::UsageError;
using Line = std::vector<std::string>;

struct SameCase {
    const char* name;
    Line apart;
    Line joined;
    // What the option did, so that two lines that both ignore it do not pass.
    bool (*took)(const Options&);
};

class JpegOptionFormsTest : public ::testing::TestWithParam<SameCase> {};

TEST_P(JpegOptionFormsTest, GiveTheSameSettings) {
    const Options apart = ParseCommandLine(GetParam().apart);
    EXPECT_EQ(apart, ParseCommandLine(GetParam().joined));
    EXPECT_TRUE(GetParam().took(apart));
    EXPECT_EQ(apart.input, "in.bmp");
    EXPECT_EQ(apart.output, "out.jpg");
}

INSTANTIATE_TEST_SUITE_P(
    Forms, JpegOptionFormsTest,
    ::testing::Values(SameCase{"Quality",
                               {"--quality", "90", "in.bmp", "out.jpg"},
                               {"--quality=90", "in.bmp", "out.jpg"},
                               [](const Options& options) {
                                   return options.quality == 90 && options.encoderOptions;
                               }},
                      SameCase{"Abbreviated",
                               {"--qual", "90", "in.bmp", "out.jpg"},
                               {"--quality=90", "in.bmp", "out.jpg"},
                               [](const Options& options) {
                                   return options.quality == 90;
                               }},
                      SameCase{"CommentHoldingEquals",
                               {"--comment", "a = b", "in.bmp", "out.jpg"},
                               {"--comment=a = b", "in.bmp", "out.jpg"},
                               [](const Options& options) {
                                   return options.comment == "a = b";
                               }},
                      SameCase{"RawWithBmpOut",
                               {"--raw", "4x3", "--bmp-out", "x.bmp", "in.bmp", "out.jpg"},
                               {"--raw=4x3", "--bmp-out=x.bmp", "in.bmp", "out.jpg"},
                               [](const Options& options) {
                                   return options.raw == std::array<std::uint32_t, 2>{4, 3} &&
                                          options.bmpOut == "x.bmp";
                               }},
                      SameCase{"OptionsAfterTheFiles",
                               {"in.bmp", "out.jpg", "--gray"},
                               {"--gray", "in.bmp", "out.jpg"},
                               [](const Options& options) {
                                   return options.grayscale;
                               }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JpegOptions, FilesAfterDoubleDashAreFilesWhateverTheirNames) {
    const Options options = ParseCommandLine({"--gray", "--", "--x.bmp", "-"});
    EXPECT_EQ(options.input, "--x.bmp");
    EXPECT_EQ(options.output, "-");
    EXPECT_TRUE(options.grayscale);
}

TEST(JpegOptions, HelpAndVersionNeedNoFiles) {
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    EXPECT_TRUE(ParseCommandLine({"-h"}).help);
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
}

struct RefusedCase {
    const char* name;
    Line line;
    const char* reason;
};

class JpegRefusedLineTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(JpegRefusedLineTest, IsAUsageErrorWithItsReason) {
    try {
        ParseCommandLine(GetParam().line);
        ADD_FAILURE() << "accepted";
    } catch (const UsageError& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().reason), std::string::npos)
            << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, JpegRefusedLineTest,
    ::testing::Values(
        RefusedCase{"NotANumber", {"--quality=x", "a", "b"}, "invalid number 'x' for --quality"},
        RefusedCase{"Quality0", {"--quality", "0", "a", "b"}, "Value out of range"},
        RefusedCase{"Factor5", {"--sampling=5x1", "a", "b"}, "Value out of range"},
        RefusedCase{"GrayWithoutY",
                    {"--gray", "--scans=4,10", "a", "b"},
                    "Grayscale scan 0 does not hold component 1"},
        RefusedCase{"FourScans", {"--scans=1,2,3,4", "a", "b"}, "at most 3 values for --scans"},
        RefusedCase{"RawWithEncoderOptions",
                    {"--raw=4x3", "--quality=9", "a", "b"},
                    "--raw uses the save settings"},
        RefusedCase{"RawOfNothing", {"--raw=0x3", "a", "b"}, "--raw width and height"},
        RefusedCase{"BmpOutWithoutRaw", {"--bmp-out=x", "a", "b"}, "--bmp-out needs --raw"},
        RefusedCase{"OneFile", {"a"}, "expected INPUT.bmp and OUTPUT.jpg"},
        RefusedCase{"MissingValue", {"a", "b", "--samp"}, "missing value for --sampling"},
        RefusedCase{"Unknown", {"--frob", "a", "b"}, "unknown option '--frob'"},
        RefusedCase{"UnknownBesideHelp", {"--help", "--frob"}, "unknown option '--frob'"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
