// tesselon-grab's report: exact fractions, JSON and CSV written and read back
// with every field, files replaced whole, merging, and the source's SHA-256.
#include "grab_report.h"
#include "report_csv.h"
#include "report_json.h"
#include "source_digest.h"
#include "support/sha256.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <limits>
#include <random>

namespace {

namespace fs = std::filesystem;
using grab::Fraction;
using grab::FrameRecord;
using grab::Report;
using grab::VideoRecord;

void WriteFile(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

FrameRecord Frame(std::string file, Fraction time, std::optional<std::int64_t> number) {
    FrameRecord frame;
    frame.file = std::move(file);
    frame.time = time;
    frame.ms = 1000.0 * static_cast<double>(time.num) / static_cast<double>(time.den);
    frame.frame = number;
    frame.written = true;
    return frame;
}

// Every field set, with the strings a naive writer breaks on.
Report AwkwardReport() {
    VideoRecord first;
    first.path = "clips/a, \"quoted\"\nnext line/Vidéo 東京.mp4";
    first.bytes = (std::uintmax_t{1} << 53) + 1; // past a double's exact integers
    first.sha256 = std::string(64, 'f');
    first.codec = "h264";
    first.width = 1440;
    first.height = 1080;
    first.sampleAspect = {4, 3};
    first.displayAspect = grab::DisplayAspect(1440, 1080, {4, 3});
    first.outputWidth = 360;
    first.outputHeight = 240;
    first.rotation = 270;
    first.mirrored = true;

    FrameRecord written = Frame("out/0000,1.jpg", {1001, 30000}, (std::int64_t{1} << 62) + 3);
    written.keyFrame = true;
    written.pictureType = "I";
    written.gap = true;
    written.requested = "time 00:00:01.5, \"cut\"";
    written.sceneScore = 0.1 + 0.2;
    written.sharpness = 1234.5625;
    FrameRecord skipped = Frame("out/\"2\".jpg", {1001, 15000}, std::nullopt);
    skipped.written = false;
    skipped.skipped = true;
    skipped.repeat = true;
    skipped.keyFrame = false;
    skipped.pictureType = "BI";
    skipped.nearDuplicate = true;
    skipped.sharpness = 0;
    FrameRecord failed = Frame("out/\xE2\x82\xAC\r\n3.jpg", {-1, 3}, 0);
    failed.written = false;
    failed.error = "disk full, \"really\"\r\nsecond line\ttab \x01";
    failed.irregularStep = true;
    failed.ms = 0.1 + 0.2; // no short decimal form
    first.frames = {written, skipped, failed};

    VideoRecord unopened;
    unopened.path = "missing.mkv";
    unopened.error = "cannot open: No such file or directory";

    VideoRecord empty; // opened, interrupted before a frame was taken
    // Latin-1, a byte no UTF-8 sequence starts with, and an encoded surrogate.
    empty.path = "caf\xE9 \xFF\xED\xB3\x80.mkv";
    empty.interrupted = true;
    empty.bytes = 0;
    empty.sampleAspect = {0, 1};

    return {{first, unopened, empty}};
}

// Every field but the picture hash, which reports leave out; the JSON shows
// where two reports differ.
void ExpectSameReport(const Report& got, Report want) {
    for (VideoRecord& video : want.videos)
        for (FrameRecord& frame : video.frames)
            frame.pictureHash = 0;
    EXPECT_EQ(grab::ToJson(got), grab::ToJson(want));
    EXPECT_TRUE(got.videos == want.videos);
}

TEST(ReportFraction, ReducesAndPrintsBothWays) {
    EXPECT_EQ(grab::Reduced(2002, 60000), (Fraction{1001, 30000}));
    EXPECT_EQ(grab::Reduced(3, -6), (Fraction{-1, 2}));
    EXPECT_EQ(grab::Reduced(-3, -6), (Fraction{1, 2}));
    EXPECT_EQ(grab::Reduced(0, -7), (Fraction{0, 1}));
    EXPECT_EQ(grab::ToString({1001, 30000}), "1001/30000");
    EXPECT_EQ(grab::ToString({0, 1}), "0");
    EXPECT_EQ(grab::ToString({2, 1}), "2");
    EXPECT_EQ(grab::ToString({-1, 3}), "-1/3");
    for (const Fraction f : {Fraction{1001, 30000}, Fraction{0, 1}, Fraction{-7, 2},
                             Fraction{INT64_MAX, 1}, Fraction{1, INT64_MAX}})
        EXPECT_EQ(grab::ParseFraction(grab::ToString(f)), f) << grab::ToString(f);
    EXPECT_EQ(grab::ParseFraction("4/6"), (Fraction{2, 3}));
    for (const char* bad : {"", "/", "1/", "/2", "1/0", "1/-2", " 1", "1 ", "+1", "1/2/3", "0x10",
                            "1.5", "9223372036854775808", "-9223372036854775808"})
        EXPECT_FALSE(grab::ParseFraction(bad)) << '"' << bad << '"';
}

TEST(ReportFraction, DisplayAspectOfCodedSizeAndPixelShape) {
    EXPECT_EQ(grab::DisplayAspect(1920, 1080, {1, 1}), (Fraction{16, 9}));
    EXPECT_EQ(grab::DisplayAspect(720, 576, {64, 45}), (Fraction{16, 9}));
    EXPECT_EQ(grab::DisplayAspect(1440, 1080, {4, 3}), (Fraction{16, 9}));
    EXPECT_EQ(grab::DisplayAspect(0, 1080, {1, 1}), (Fraction{0, 1}));
    EXPECT_EQ(grab::DisplayAspect(720, 480, {0, 1}), (Fraction{0, 1})); // unknown shape
}

TEST(ReportTotals, CountFramesAndFailedVideos) {
    const Report report = AwkwardReport();
    const grab::Totals first = grab::TotalsOf(report.videos[0]);
    EXPECT_EQ(first, (grab::Totals{1, 1, 1, 1, 1, 1, 1, 1}));
    const grab::Totals all = grab::TotalsOf(report.videos);
    EXPECT_EQ(all, (grab::Totals{3, 2, 1, 1, 1, 1, 1, 1, 1}));
    VideoRecord clean;
    clean.frames = {Frame("a.jpg", {0, 1}, 0)};
    EXPECT_EQ(grab::TotalsOf(clean).videosFailed, 0);
}

TEST(ReportRoundTrip, JsonAndCsvGiveBackEveryField) {
    Report report = AwkwardReport();
    report.videos[0].frames[0].pictureHash = 0x1234; // never written
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : {"report.json", "report.csv", "REPORT.CSV"}) {
        SCOPED_TRACE(name);
        const fs::path path = fs::path(folder.path().toStdString()) / name;
        std::string error;
        ASSERT_TRUE(grab::WriteReport(report, path, error)) << error;
        EXPECT_EQ(ReadFile(path).front() == '{', std::string(name) == "report.json");
        const auto back = grab::ReadReport(path, error);
        ASSERT_TRUE(back) << error;
        ExpectSameReport(*back, report);
    }
}

TEST(ReportJson, IsValidJsonWithExactIntegersAndRecomputedTotals) {
    const Report report = AwkwardReport();
    const std::string json = grab::ToJson(report);
    // Read by Qt's parser, independently of ours.
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(json), &parseError);
    ASSERT_EQ(parseError.error, QJsonParseError::NoError) << parseError.errorString().toStdString();
    const QJsonObject top = document.object();
    EXPECT_EQ(top["tool"].toString(), "tesselon-grab");
    EXPECT_EQ(top["totals"]["videosFailed"].toInteger(), 2);
    const QJsonObject video = top["videos"][0].toObject();
    EXPECT_EQ(video["totals"]["framesFailed"].toInteger(), 1);
    EXPECT_EQ(video["displayAspect"].toString(), "16/9");
    const QJsonObject frame = video["frames"][0].toObject();
    EXPECT_EQ(frame["time"].toString(), "1001/30000");
    EXPECT_FALSE(frame.contains("pictureHash"));
    EXPECT_TRUE(video["frames"][1]["frame"].isNull());
    // Written as digits, not through a double.
    EXPECT_NE(json.find("\"frame\": 4611686018427387907"), std::string::npos);
    EXPECT_NE(json.find("\"bytes\": 9007199254740993"), std::string::npos);
    EXPECT_TRUE(top["videos"][1]["frames"].toArray().isEmpty());
    // Bytes that are not UTF-8 as lone surrogates, one per byte.
    EXPECT_NE(json.find("\"caf\\udce9 \\udcff\\udced\\udcb3\\udc80.mkv\""), std::string::npos);
    EXPECT_TRUE(top["videos"][2]["interrupted"].toBool());
    EXPECT_EQ(top["totals"]["videosInterrupted"].toInteger(), 1);
    std::string error;
    const auto none = grab::ParseJsonReport(grab::ToJson(Report{}), error);
    ASSERT_TRUE(none) << error;
    EXPECT_TRUE(none->videos.empty());
}

// Reports of earlier runs are compared and merged with new ones, so the text
// stays as it was: a video's fields one to a line, each frame and each totals
// on one line, keys in this order. A JSON library's pretty printer gives none
// of this layout.
TEST(ReportJson, KeepsTheLayoutOfEarlierReports) {
    VideoRecord opened;
    opened.path = "a.mp4";
    opened.bytes = 10;
    opened.sha256 = "ab";
    opened.codec = "h264";
    opened.width = opened.height = 2;
    opened.displayAspect = {1, 1};
    opened.outputWidth = 360;
    opened.outputHeight = 240;
    FrameRecord frame = Frame("0.JPG", {0, 1}, 0);
    frame.keyFrame = true;
    frame.pictureType = "I";
    opened.frames = {frame};
    opened.deinterlace = "auto";
    opened.deinterlaced = true;
    VideoRecord unopened;
    unopened.path = "b.mp4";
    unopened.error = "no such file";
    EXPECT_EQ(grab::ToJson(Report{{opened, unopened}}), R"({
  "tool": "tesselon-grab",
  "videos": [
    {
      "path": "a.mp4",
      "bytes": 10,
      "sha256": "ab",
      "codec": "h264",
      "width": 2,
      "height": 2,
      "sampleAspect": "1",
      "displayAspect": "1",
      "outputWidth": 360,
      "outputHeight": 240,
      "error": "",
      "interrupted": false,
      "frames": [
        {"file": "0.JPG", "time": "0", "ms": 0, "frame": 0, "keyFrame": true, "pictureType": "I", "written": true, "skipped": false, "error": "", "gap": false, "repeat": false, "irregularStep": false}
      ],
      "totals": {"videos": 1, "videosFailed": 0, "videosInterrupted": 0, "framesWritten": 1, "framesSkipped": 0, "framesFailed": 0, "gaps": 0, "repeats": 0, "irregularSteps": 0},
      "rotation": 0,
      "mirrored": false,
      "deinterlace": "auto",
      "deinterlaced": true
    },
    {
      "path": "b.mp4",
      "bytes": null,
      "sha256": "",
      "codec": "",
      "width": 0,
      "height": 0,
      "sampleAspect": "1",
      "displayAspect": "0",
      "outputWidth": 0,
      "outputHeight": 0,
      "error": "no such file",
      "interrupted": false,
      "frames": [],
      "totals": {"videos": 1, "videosFailed": 1, "videosInterrupted": 0, "framesWritten": 0, "framesSkipped": 0, "framesFailed": 0, "gaps": 0, "repeats": 0, "irregularSteps": 0},
      "rotation": 0,
      "mirrored": false,
      "deinterlace": "",
      "deinterlaced": false
    }
  ],
  "totals": {"videos": 2, "videosFailed": 1, "videosInterrupted": 0, "framesWritten": 1, "framesSkipped": 0, "framesFailed": 0, "gaps": 0, "repeats": 0, "irregularSteps": 0}
}
)");
    EXPECT_EQ(grab::ToJson(Report{}), R"({
  "tool": "tesselon-grab",
  "videos": [],
  "totals": {"videos": 0, "videosFailed": 0, "videosInterrupted": 0, "framesWritten": 0, "framesSkipped": 0, "framesFailed": 0, "gaps": 0, "repeats": 0, "irregularSteps": 0}
}
)");
}

// Numbers in their shortest form that reads back the same, a whole number
// without ".0"; control characters as \u escapes; each byte that is not part
// of well-formed UTF-8 as its own lone surrogate, which our reader maps back.
TEST(ReportJson, WritesNumbersAndNamesAsEarlierReports) {
    const struct {
        double ms;
        std::string written;
    } numbers[] = {
        {0, "0"},
        {40, "40"},
        {1001.0 / 30, "33.36666666666667"},
        {0.1 + 0.2, "0.30000000000000004"},
        {0.0001, "1e-04"},
        {1e21, "1e+21"},
        {-0.0, "-0"},
        {std::numeric_limits<double>::infinity(), "null"},
    };
    for (const auto& number : numbers) {
        VideoRecord video;
        video.frames = {Frame("f", {0, 1}, 0)};
        video.frames[0].ms = number.ms;
        EXPECT_NE(grab::ToJson(Report{{video}}).find(", \"ms\": " + number.written + ", "),
                  std::string::npos)
            << number.written;
    }
    const struct {
        std::string name;
        std::string written;
    } names[] = {
        {"\b\f\n\r\t\x01\x1f", "\\u0008\\u000c\\n\\r\\t\\u0001\\u001f"},
        {"\"\\/\x7f", "\\\"\\\\/\x7f"},
        {"Vid\xC3\xA9o \xF0\x9F\x8E\xAC", "Vid\xC3\xA9o \xF0\x9F\x8E\xAC"},
        {"caf\xE9", "caf\\udce9"},
        {"\xC0\xAF", "\\udcc0\\udcaf"},                       // an overlong "/"
        {"\xED\xA0\x80", "\\udced\\udca0\\udc80"},            // an encoded surrogate
        {"\xF4\x90\x80\x80", "\\udcf4\\udc90\\udc80\\udc80"}, // past U+10FFFF
        {"\xE2\x82", "\\udce2\\udc82"},                       // cut short
    };
    for (const auto& name : names) {
        VideoRecord video;
        video.path = name.name;
        const std::string json = grab::ToJson(Report{{video}});
        EXPECT_NE(json.find("\"path\": \"" + name.written + "\",\n"), std::string::npos)
            << name.written;
        std::string error;
        const auto back = grab::ParseJsonReport(json, error);
        ASSERT_TRUE(back) << error;
        EXPECT_EQ(back->videos.at(0).path, name.name) << name.written;
    }
}

TEST(ReportCsv, QuotesAsRfc4180AndKeepsVideosWithoutFrames) {
    const std::string csv = grab::ToCsv(AwkwardReport());
    const std::string header =
        "video,path,bytes,sha256,codec,width,height,sampleAspect,displayAspect,outputWidth,"
        "outputHeight,videoError,interrupted,file,time,ms,frame,keyFrame,pictureType,written,"
        "skipped,error,gap,repeat,irregularStep,rotation,mirrored,deinterlace,deinterlaced,"
        "requested,sceneScore,sharpness,nearDuplicate\r\n";
    ASSERT_EQ(csv.substr(0, header.size()), header);
    // A quote is doubled and a field holding one, a comma or a line break is
    // quoted; the line break stays inside the field.
    EXPECT_NE(
        csv.find("\r\n1,\"clips/a, \"\"quoted\"\"\nnext line/Vidéo 東京.mp4\",9007199254740993,"),
        std::string::npos);
    EXPECT_NE(csv.find(",\"out/\"\"2\"\".jpg\",1001/15000,66.7333333333333"), std::string::npos);
    // The unopened video: one row, frame fields empty, its error in videoError.
    // A name that is not UTF-8 keeps its bytes.
    EXPECT_NE(csv.find("\r\n2,missing.mkv,,,,0,0,1,0,0,0,cannot open: No such file or "
                       "directory,false,,,,,,,,,,,,,0,false,,false,,,,\r\n3,caf\xE9 \xFF\xED\xB3\x80.mkv,0,"),
              std::string::npos);
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
}

TEST(ReportRead, AcceptsWhatOtherToolsMayLeave) {
    std::string error;
    // A spreadsheet saving it again: byte order mark, bare LF, columns moved,
    // a column added, no final line break.
    const std::string csv =
        "\xEF\xBB\xBFnote,time,video,path,bytes,sha256,codec,width,height,sampleAspect,"
        "displayAspect,outputWidth,outputHeight,videoError,file,ms,frame,keyFrame,pictureType,"
        "written,skipped,error,gap,repeat,irregularStep\n"
        "x,1/25,1,a.mp4,10,,h264,2,2,1,1,2,2,,\"f\nx.jpg\",40,1,,P,true,false,,false,false,false";
    QTemporaryDir folder;
    const fs::path path = fs::path(folder.path().toStdString()) / "edited.txt"; // by content
    WriteFile(path, csv);
    const auto report = grab::ReadReport(path, error);
    ASSERT_TRUE(report) << error;
    ASSERT_EQ(report->videos.size(), 1u);
    ASSERT_EQ(report->videos[0].frames.size(), 1u);
    EXPECT_EQ(report->videos[0].frames[0].file, "f\nx.jpg");
    EXPECT_EQ(report->videos[0].frames[0].time, (Fraction{1, 25}));
    EXPECT_EQ(report->videos[0].frames[0].pictureType, "P");

    // Stored totals are not trusted, nor needed.
    std::string json = grab::ToJson(AwkwardReport());
    json.replace(json.rfind("\"totals\""), 8, "\"ignored\"");
    const auto fromJson = grab::ParseJsonReport(json, error);
    ASSERT_TRUE(fromJson) << error;
    ExpectSameReport(*fromJson, AwkwardReport());
}

TEST(ReportRead, RefusesMissingAndMalformedFilesWithAReason) {
    QTemporaryDir folder;
    const fs::path dir = folder.path().toStdString();
    std::string error;
    EXPECT_FALSE(grab::ReadReport(dir / "none.json", error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(grab::ReadReport(dir, error)); // a folder
    EXPECT_FALSE(error.empty());

    const std::string good = grab::ToJson(AwkwardReport());
    const auto broken = [&](std::string from, std::string to) {
        std::string text = good;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const std::string csvGood = grab::ToCsv(AwkwardReport());
    const std::string csvHeader = csvGood.substr(0, csvGood.find("\r\n") + 2);
    const struct {
        const char* name;
        std::string text;
        const char* reason;
    } cases[] = {
        {"empty.json", " \n", "empty"},
        {"cut.json", good.substr(0, good.size() / 2), "not JSON"},
        {"other.json", "{\"videos\": []}", "not a tesselon-grab report"},
        {"frame.json", broken("4611686018427387907", "\"7\""), "\"frame\""},
        {"fraction.json", broken("\"1001/30000\"", "\"1001/0\""), "\"time\""},
        {"missing.json", broken("\"codec\": \"h264\",", ""), "video 1: \"codec\" is missing"},
        {"size.json", broken("\"width\": 1440", "\"width\": 14.5"), "\"width\""},
        {"flag.json", broken("\"gap\": true", "\"gap\": 1"), "frame 1: \"gap\""},
        {"column.csv", "video,path\r\n1,a\r\n", "column"},
        {"fields.csv", csvHeader + "1,a\r\n", "row 2 has 2 fields"},
        {"quote.csv", csvHeader + "1,\"a", "not closed"},
        {"order.csv",
         csvGood.substr(0, csvGood.find("\r\n2,")) + "\r\n" +
             csvGood.substr(csvGood.find("\r\n3,") + 2),
         "out of order"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / c.name, c.text);
        error.clear();
        EXPECT_FALSE(grab::ReadReport(dir / c.name, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    std::string csvBool = csvGood;
    csvBool.replace(csvBool.find(",true,false,,true,"), 18, ",yes,false,,true,");
    EXPECT_FALSE(grab::ParseCsvReport(csvBool, error));
    EXPECT_EQ(error, "row 2: \"written\" is not true or false");
}

TEST(ReportWrite, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    QTemporaryDir folder;
    const fs::path dir = folder.path().toStdString();
    const fs::path path = dir / "r.json";
    WriteFile(path, "old");
    std::string error;
    ASSERT_TRUE(grab::WriteReport(AwkwardReport(), path, error)) << error;
    EXPECT_EQ(ReadFile(path), grab::ToJson(AwkwardReport()));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"r.json"});

    EXPECT_FALSE(grab::WriteReport(AwkwardReport(), dir / "no" / "r.json", error));
    EXPECT_NE(error.find("no/r.json"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    fs::create_directory(dir / "taken.json");
    EXPECT_FALSE(grab::WriteReport(AwkwardReport(), dir / "taken.json", error));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST(ReportMerge, KeepsTheOrderGivenWithFramesAndChecks) {
    const Report all = AwkwardReport();
    QTemporaryDir folder;
    const fs::path dir = folder.path().toStdString();
    std::vector<Report> parts;
    for (std::size_t v = 0; v < all.videos.size(); ++v) {
        // Each video from a run of its own, in either format.
        const fs::path path = dir / ("part" + std::to_string(v) + (v == 1 ? ".csv" : ".json"));
        std::string error;
        ASSERT_TRUE(grab::WriteReport(Report{{all.videos[v]}}, path, error)) << error;
        auto part = grab::ReadReport(path, error);
        ASSERT_TRUE(part) << error;
        parts.push_back(std::move(*part));
    }
    parts.insert(parts.begin() + 1, Report{}); // a run that grabbed nothing
    ExpectSameReport(grab::MergeReports(std::move(parts)), all);
}

TEST(SourceDigest, MatchesKnownDigests) {
    QTemporaryDir folder;
    const fs::path dir = folder.path().toStdString();
    WriteFile(dir / "empty", "");
    WriteFile(dir / "abc", "abc");
    EXPECT_EQ(grab::Sha256OfFile(dir / "empty"),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(grab::Sha256OfFile(dir / "abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_FALSE(grab::Sha256OfFile(dir / "none"));
    EXPECT_FALSE(grab::Sha256OfFile(dir)); // a folder opens but does not read
}

TEST(SourceDigest, LargeFileMatchesOtherImplementations) {
    QTemporaryDir folder;
    const fs::path path = fs::path(folder.path().toStdString()) / "large file.bin";
    std::vector<std::uint8_t> bytes((std::size_t{3} << 20) + 17); // several read blocks and a tail
    std::mt19937 random(7);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    WriteFile(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    const auto digest = grab::Sha256OfFile(path);
    ASSERT_TRUE(digest);
    EXPECT_EQ(*digest, testing_support::Sha256Hex(bytes));

    const std::string command = "sha256sum '" + path.string() + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    char line[128] = {};
    const bool ran = pipe && std::fgets(line, sizeof line, pipe);
    const int status = pipe ? ::pclose(pipe) : -1;
    if (!ran || status != 0)
        GTEST_SKIP() << "no sha256sum command";
    EXPECT_EQ(*digest, std::string(line, 64));
}

} // namespace

namespace {

// The deinterlace setting and whether frames were deinterlaced come back from
// both formats; reports written before they existed read as "" and false.
TEST(Report, KeepsTheDeinterlaceSettingAndOutcome) {
    VideoRecord woven;
    woven.path = "interlaced.mpg";
    woven.deinterlace = "on";
    woven.deinterlaced = true;
    woven.frames = {Frame("0.JPG", {0, 1}, 0)};
    VideoRecord progressive;
    progressive.path = "progressive.mp4";
    progressive.deinterlace = "off";
    const Report report{{woven, progressive}};
    std::string error;
    const auto json = grab::ParseJsonReport(grab::ToJson(report), error);
    ASSERT_TRUE(json) << error;
    EXPECT_EQ(json->videos, report.videos);
    const auto csv = grab::ParseCsvReport(grab::ToCsv(report), error);
    ASSERT_TRUE(csv) << error;
    EXPECT_EQ(csv->videos, report.videos);

    std::string older = grab::ToJson(Report{{woven}});
    const std::size_t added = older.find(",\n      \"deinterlace\"");
    ASSERT_NE(added, std::string::npos);
    older.erase(added, older.find("\n    }", added) - added);
    const auto old = grab::ParseJsonReport(older, error);
    ASSERT_TRUE(old) << error << older;
    EXPECT_EQ(old->videos.at(0).deinterlace, "");
    EXPECT_FALSE(old->videos.at(0).deinterlaced);
}

} // namespace
