// tesselon-grab --sheet: its options, and whole grabs of an index clip read
// back from the sheet: its size, each cell's frame number in order, the
// header, the label band and the comment naming every frame.
#include "contact_sheet_sink.h"
#include "evenly_spaced.h"
#include "grab.h"
#include "grab_options.h"

#include "images/contact_sheet.h"
#include "images/decoded_jpeg.h"
#include "playback/frame_capture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using images::testing::DecodedJpeg;

std::optional<grab::Settings> Parse(std::vector<std::string> arguments, std::string* why) {
    return grab::ParseArguments(arguments, *why);
}

TEST(SheetOptions, GridWidthAndTheCountTheSheetHolds) {
    std::string why;
    const auto sheet = Parse({"--sheet", "4x5", "--sheet-width=900", "v.mp4", "out"}, &why);
    ASSERT_TRUE(sheet) << why;
    EXPECT_EQ(sheet->sheetColumns, 4);
    EXPECT_EQ(sheet->sheetRows, 5);
    EXPECT_EQ(sheet->sheetWidth, 900);
    EXPECT_EQ(sheet->count, 20);
    EXPECT_EQ(Parse({"--sheet", "4x5", "--count", "7", "v", "o"}, &why)->count, 7);
    EXPECT_EQ(Parse({"--sheet", "4x5", "--count", "70", "v", "o"}, &why)->count, 20);
    EXPECT_EQ(Parse({"--sheet", "3X2", "--every", "5", "v", "o"}, &why)->count, 6);

    const struct {
        std::vector<std::string> arguments;
        const char* reason;
    } refused[] = {
        {{"--sheet", "0x3", "v", "o"}, "--sheet needs COLSxROWS"},
        {{"--sheet", "4", "v", "o"}, "--sheet needs COLSxROWS"},
        {{"--sheet", "101x1", "v", "o"}, "--sheet needs COLSxROWS"},
        {{"--sheet-width", "800", "v", "o"}, "--sheet-width needs --sheet"},
        {{"--sheet", "10x2", "--sheet-width", "39", "v", "o"}, "at least 4 pixels per column"},
        {{"--sheet", "2x2", "--size", "native", "v", "o"}, "--sheet and --size"},
        {{"--sheet", "2x2", "--name", "{frame}", "v", "o"}, "--sheet and --name"},
        {{"--sheet", "2x2", "--paced", "v", "o"}, "--sheet and --paced"},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(Parse(c.arguments, &why)) << c.reason;
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
    for (const char* option : {"--sheet COLSxROWS", "--sheet-width PIXELS", "tesselon-grab --sheet"})
        EXPECT_NE(grab::HelpText().find(option), std::string::npos) << option;
}

TEST(SheetOptions, EvenTimesAreTheMiddlesOfEqualParts) {
    EXPECT_EQ(grab::EvenTimes(0, 60, 3), (std::vector<media::StreamTime>{10, 30, 50}));
    EXPECT_EQ(grab::EvenTimes(100, 7, 2), (std::vector<media::StreamTime>{101, 105}));
    EXPECT_EQ(grab::EvenTimes(0, 20'000'000, 1), std::vector<media::StreamTime>{10'000'000});
}

class SheetGrab : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("grab-sheet-" + std::to_string(::getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        settings_.outputDirectory = folder_;
        settings_.videos = {fs::path(TESSELON_TEST_DATA) / "index.mp4"};
        settings_.report = folder_ / "report.json";
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Runs the grab; the report's one video.
    grab::VideoRecord Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.end(),
                         {"--report", settings_.report->string(), "--out", folder_.string(),
                          settings_.videos.front().string()});
        std::string why;
        const auto settings = grab::ParseArguments(arguments, why);
        EXPECT_TRUE(settings) << why;
        std::ostringstream out, errors;
        EXPECT_EQ(grab::Run(*settings, out, errors), 0) << errors.str();
        auto report = grab::ReadReport(*settings_.report, why);
        EXPECT_TRUE(report && report->videos.size() == 1) << why;
        return report ? report->videos.front() : grab::VideoRecord{};
    }

    // The frame number the index clip spells in `area` of the sheet.
    static int Marker(const DecodedJpeg& sheet, const QRect& area) {
        int index = 0;
        for (int bit = 0; bit < 12; ++bit) {
            const int x = area.left() + ((bit % 4) * 44 + 22) * area.width() / 176;
            const int y = area.top() + ((bit / 4) * 48 + 24) * area.height() / 144;
            if (sheet.rgb[(std::size_t(y) * std::size_t(sheet.width) + std::size_t(x)) * 3 + 1] > 128)
                index |= 1 << bit;
        }
        return index;
    }

    fs::path folder_;
    grab::Settings settings_;
};

TEST_F(SheetGrab, EvenlySpacedFramesInOrderUnderTheHeader) {
    const grab::VideoRecord video = Run({"--sheet", "3x2", "--sheet-width", "1056"});
    const fs::path sheetPath = folder_ / "index-sheet.JPG";
    const auto sheet = images::testing::DecodeJpeg(images::testing::ReadFileBytes(sheetPath));
    ASSERT_TRUE(sheet);

    // The clip: 50 frames at 25 a second over 2 s, 176 x 144, its size on disk.
    const std::uintmax_t bytes = fs::file_size(settings_.videos.front());
    const QStringList header = grab::SheetHeader(video, 20'000'000, {25, 1});
    ASSERT_EQ(header.size(), 4);
    EXPECT_EQ(header[0], QStringLiteral("File: index.mp4"));
    EXPECT_EQ(header[1], QStringLiteral("Size: %1 bytes (%2 KiB)").arg(bytes).arg(bytes / 1024.0, 0, 'f', 1));
    EXPECT_EQ(header[2], QStringLiteral("Duration: 00:00:02.000"));
    EXPECT_EQ(header[3], QStringLiteral("Video: h264, 176 x 144, 25 fps"));

    const images::SheetLayout layout = images::LayOutSheet(3, 2, 1056, 176, 144, 4);
    ASSERT_EQ(sheet->width, 1056);
    ASSERT_EQ(sheet->height, layout.Height());
    ASSERT_EQ(video.frames.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        // The first frame at or after (i + 0.5) × 2 s ÷ 6, at 25 frames a second.
        const int expected = static_cast<int>(std::ceil((i + 0.5) * 50 / 6));
        EXPECT_EQ(Marker(*sheet, layout.FrameRect(i)), expected) << i;
        EXPECT_EQ(video.frames[std::size_t(i)].frame, expected) << i;
        EXPECT_EQ(video.frames[std::size_t(i)].file, sheetPath.string());
        EXPECT_TRUE(video.frames[std::size_t(i)].written);
    }
    int lit = 0;
    const QRect area = layout.HeaderRect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            lit += sheet->rgb[(std::size_t(y) * 1056 + std::size_t(x)) * 3] > 128 ? 1 : 0;
    EXPECT_GT(lit, 300);
}

TEST_F(SheetGrab, ASelectionFillsTheRowsItNeedsWithTheBandAndTheFramesNamed) {
    const grab::VideoRecord video =
        Run({"--sheet", "4x4", "--every", "7", "--label", "Sheet", "--provenance"});
    const fs::path sheetPath = folder_ / "index-sheet.JPG";
    const auto sheet = images::testing::DecodeJpeg(images::testing::ReadFileBytes(sheetPath));
    ASSERT_TRUE(sheet);
    // Frames 0, 7, ... 49: 8 of them, two rows of four; the default width is
    // the four frames' own, 704.
    const images::SheetLayout layout = images::LayOutSheet(4, 2, 704, 176, 144, 4);
    const int bandRows = playback::LabelBandRowsFor(704);
    ASSERT_EQ(sheet->width, 704);
    ASSERT_EQ(sheet->height, layout.Height() + bandRows);
    ASSERT_EQ(video.frames.size(), 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Marker(*sheet, layout.FrameRect(i)), 7 * i) << i;
    int yellow = 0;
    for (int y = layout.Height(); y < sheet->height; ++y)
        for (int x = 0; x < 704; ++x) {
            const auto* p = &sheet->rgb[(std::size_t(y) * 704 + std::size_t(x)) * 3];
            yellow += p[0] > 160 && p[1] > 160 && p[2] < 100 ? 1 : 0;
        }
    EXPECT_GT(yellow, 30);
    const std::string bytes(reinterpret_cast<const char*>(images::testing::ReadFileBytes(sheetPath).data()),
                            fs::file_size(sheetPath));
    // One line per frame on the sheet, as a file of its own would carry.
    int lines = 0;
    for (std::size_t at = bytes.find("source=index.mp4 time="); at != std::string::npos;
         at = bytes.find("source=index.mp4 time=", at + 1))
        ++lines;
    EXPECT_EQ(lines, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_NE(bytes.find("frame=" + std::to_string(7 * i)), std::string::npos) << i;
}

} // namespace
