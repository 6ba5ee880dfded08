// Whole grabs with the options for many videos: names, sampling by true
// frame number and by time, sizes and aspect, the label, provenance, the
// report's checks on clips with a dropped and a repeated frame, skipping,
// and failures among good videos. Index clips spell each frame's number in a
// 4 x 3 grid of 44 x 48 blocks, read back from the decoded JPEG files.
#include "grab.h"
#include "grab_report.h"

#include "images/decoded_jpeg.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using images::testing::DecodedJpeg;

fs::path DataPath(const std::string& name) {
    return fs::path(TESSELON_TEST_DATA) / name;
}

std::optional<DecodedJpeg> Decode(const fs::path& path) {
    return images::testing::DecodeJpeg(images::testing::ReadFileBytes(path));
}

// The frame number an index clip's picture spells, in `rows` frame rows of
// the decoded picture (the rest is the label band).
int Marker(const DecodedJpeg& picture, int rows) {
    int index = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const int x = ((bit % 4) * 44 + 22) * picture.width / 176;
        const int y = ((bit / 4) * 48 + 24) * rows / 144;
        if (picture.rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3 + 1] > 128)
            index |= 1 << bit;
    }
    return index;
}

// The text of the first comment segment (before the image data).
std::string FirstComment(const fs::path& path) {
    const auto bytes = images::testing::ReadFileBytes(path);
    for (std::size_t i = 2; i + 4 < bytes.size();) {
        if (bytes[i] != 0xFF)
            return {};
        const int length = bytes[i + 2] << 8 | bytes[i + 3];
        if (bytes[i + 1] == 0xFE)
            return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(i + 4),
                               bytes.begin() + static_cast<std::ptrdiff_t>(i + 2 + length));
        i += 2 + static_cast<std::size_t>(length);
    }
    return {};
}

class GrabFeatures : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("grab-features-" + std::to_string(::getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        settings_.outputDirectory = folder_ / "out";
    }
    void TearDown() override { fs::remove_all(folder_); }

    int Run() {
        out_.str("");
        errors_.str("");
        return grab::Run(settings_, out_, errors_);
    }
    grab::Report ReadBack() {
        std::string error;
        auto report = grab::ReadReport(*settings_.report, error);
        EXPECT_TRUE(report) << error;
        return report.value_or(grab::Report{});
    }
    std::vector<std::string> Names(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // An index clip made with the ffmpeg command; empty without it.
    fs::path MakeClip(const std::string& name, const std::string& filters,
                      const std::string& extra = "") {
        const fs::path path = folder_ / name;
        const std::string source =
            "color=c=black:s=176x144:r=25:d=2,format=yuv420p,geq=lum='if(bitand(N\\,"
            "pow(2\\,floor(X/44)+4*floor(Y/48)))\\,235\\,16)':cb=128:cr=128";
        const std::string command =
            "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i \"" + source + "\" " +
            (filters.empty() ? "" : "-vf \"" + filters + "\" ") + extra +
            " -c:v libx264 -preset veryfast -crf 20 '" + path.string() + "' 2>/dev/null";
        return std::system(command.c_str()) == 0 ? path : fs::path();
    }

    fs::path folder_;
    grab::Settings settings_;
    std::ostringstream out_;
    std::ostringstream errors_;
};

TEST_F(GrabFeatures, TemplatesNameEachFrameBySourceTimeNumberAndPlace) {
    settings_.videos = {DataPath("index_bframes.mp4"), DataPath("index.mpg")};
    settings_.nameTemplate = "{src}_{frame}_{i}_{time}";
    settings_.count = 12;
    settings_.startMs = 1000;
    ASSERT_EQ(Run(), 0) << errors_.str();
    const auto names = Names(settings_.outputDirectory);
    ASSERT_EQ(names.size(), 24u);
    for (const std::string src : {"index_bframes", "index"}) {
        for (int i = 0; i < 12; ++i) {
            const int frame = 25 + i;
            char time[16];
            std::snprintf(time, sizeof time, "00-00-%02d.%03d", frame * 40 / 1000,
                          frame * 40 % 1000);
            const fs::path path = settings_.outputDirectory /
                                  (src + "_" + std::to_string(frame) + "_" + (i < 10 ? "0" : "") +
                                   std::to_string(i) + "_" + time + ".JPG");
            const auto picture = Decode(path);
            ASSERT_TRUE(picture) << path;
            EXPECT_EQ(Marker(*picture, 240), frame) << path;
        }
    }
}

TEST_F(GrabFeatures, EveryNthFrameByTrueFrameNumber) {
    // The cut clip's first frame spells 13: its frame 0 is the source's 13th.
    for (const auto& [clip, offset] : {std::pair{"index_bframes.mp4", 0},
                                       {"index_cut.mp4", 13},
                                       {"index_mpeg4.avi", 0},
                                       {"index.mpg", 0}}) {
        settings_.videos = {DataPath(clip)};
        settings_.outputDirectory = folder_ / clip;
        settings_.nameTemplate = "{frame}";
        settings_.every = 7;
        settings_.everyGiven = true;
        settings_.startMs = 80; // frame 2
        ASSERT_EQ(Run(), 0) << clip << errors_.str();
        const auto names = Names(settings_.outputDirectory);
        const int frames = 50 - offset;
        std::vector<std::string> expected;
        for (int frame = 2; frame < frames; frame += 7)
            expected.push_back(std::to_string(frame) + ".JPG");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected) << clip;
        for (const std::string& name : names) {
            const auto picture = Decode(settings_.outputDirectory / name);
            ASSERT_TRUE(picture);
            EXPECT_EQ(Marker(*picture, 240), std::stoi(name) + offset) << clip << " " << name;
        }
    }
}

TEST_F(GrabFeatures, IntervalTakesTheFirstFrameAtOrAfterEachMultiple) {
    // 20 frames 40 ms apart, a 140 ms gap, then 20 ms steps: frames 0 to 49.
    settings_.videos = {DataPath("index_vfr.mkv")};
    settings_.nameTemplate = "{frame}_{ms}";
    settings_.interval = 1'000'000; // 0.1 s
    settings_.report = folder_ / "report.json";
    ASSERT_EQ(Run(), 0) << errors_.str();
    // 800 ms and 900 ms both find frame 20 (900 ms): taken once. Frame 45
    // is stored at 1399 ms, so 1400 ms finds frame 46.
    const std::vector<std::pair<int, int>> picks{
        {0, 0},    {3, 120},  {5, 200},   {8, 320},   {10, 400},  {13, 520},  {15, 600},
        {18, 720}, {20, 900}, {25, 1000}, {30, 1100}, {35, 1200}, {40, 1300}, {46, 1420}};
    const auto report = ReadBack();
    ASSERT_EQ(report.videos.size(), 1u);
    const auto& frames = report.videos[0].frames;
    ASSERT_EQ(frames.size(), picks.size());
    for (std::size_t i = 0; i < picks.size(); ++i) {
        const auto [frame, ms] = picks[i];
        EXPECT_EQ(frames[i].frame, frame);
        EXPECT_EQ(frames[i].time, grab::Reduced(ms, 1000)) << frame;
        const fs::path path =
            settings_.outputDirectory / (std::to_string(frame) + "_" + std::to_string(ms) + ".JPG");
        EXPECT_EQ(frames[i].file, path.string());
        const auto picture = Decode(path);
        ASSERT_TRUE(picture) << path;
        EXPECT_EQ(Marker(*picture, 240), frame);
        EXPECT_FALSE(frames[i].repeat || frames[i].gap || frames[i].irregularStep);
    }
}

TEST_F(GrabFeatures, SizesKeepTheShapeOfNonSquarePixels) {
    const fs::path wide = MakeClip("wide.mp4", "setsar=2/1");
    const fs::path tall = MakeClip("tall.mp4", "setsar=1/2");
    // Stored 176 x 144 and tagged, as it is copied, as turned a quarter turn
    // counterclockwise: its wide pixels stand on end.
    const fs::path turned = folder_ / "turned.mp4";
    if (!wide.empty())
        std::system(("ffmpeg -hide_banner -loglevel error -nostdin -y -i '" + wide.string() +
                     "' -c copy -metadata:s:v:0 rotate=90 '" + turned.string() + "'")
                        .c_str());
    if (wide.empty() || tall.empty() || !fs::exists(turned))
        GTEST_SKIP() << "needs the ffmpeg command with libx264";
    settings_.videos = {wide, tall, DataPath("index.mp4"), turned};
    settings_.nativeSize = true;
    settings_.perVideo = true;
    settings_.count = 3;
    settings_.report = folder_ / "report.csv";
    ASSERT_EQ(Run(), 0) << errors_.str();
    const struct {
        const char* folder;
        int width, height;
        grab::Fraction sar, dar;
        int rotation;
    } expected[] = {{"wide.mp4", 352, 144, {2, 1}, {22, 9}, 0},
                    {"tall.mp4", 176, 288, {1, 2}, {11, 18}, 0},
                    {"index.mp4", 176, 144, {1, 1}, {11, 9}, 0},
                    {"turned.mp4", 144, 352, {1, 2}, {9, 22}, 270}};
    const auto report = ReadBack();
    ASSERT_EQ(report.videos.size(), 4u);
    for (std::size_t v = 0; v < 4; ++v) {
        const auto& e = expected[v];
        EXPECT_EQ(report.videos[v].sampleAspect, e.sar) << e.folder;
        EXPECT_EQ(report.videos[v].displayAspect, e.dar) << e.folder;
        EXPECT_EQ(report.videos[v].outputWidth, e.width);
        EXPECT_EQ(report.videos[v].outputHeight, e.height);
        EXPECT_EQ(report.videos[v].rotation, e.rotation) << e.folder;
        for (int frame = 0; frame < 3; ++frame) {
            const auto picture = Decode(settings_.outputDirectory / e.folder /
                                        (std::to_string(frame * 40) + ".JPG"));
            ASSERT_TRUE(picture) << e.folder;
            EXPECT_EQ(picture->width, e.width) << e.folder;
            EXPECT_EQ(picture->height, e.height) << e.folder;
            if (e.rotation == 0) { // the marker's grid is read upright
                EXPECT_EQ(Marker(*picture, e.height), frame) << e.folder;
            }
        }
    }

    settings_ = {};
    settings_.videos = {DataPath("index.mp4")};
    settings_.outputDirectory = folder_ / "fixed";
    settings_.width = 200;
    settings_.height = 100;
    settings_.count = 2;
    ASSERT_EQ(Run(), 0) << errors_.str();
    const auto picture = Decode(settings_.outputDirectory / "40.JPG");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 200);
    EXPECT_EQ(picture->height, 100);
    EXPECT_EQ(Marker(*picture, 100), 1);
}

TEST_F(GrabFeatures, LabelAndProvenanceGoIntoEveryFile) {
    settings_.videos = {DataPath("index.mp4")};
    settings_.label = "Label text";
    settings_.provenance = true;
    settings_.count = 3;
    settings_.startMs = 80;
    ASSERT_EQ(Run(), 0) << errors_.str();
    for (int frame = 2; frame < 5; ++frame) {
        const fs::path path = settings_.outputDirectory / (std::to_string(frame * 40) + ".JPG");
        const auto picture = Decode(path);
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->height, 256) << "240 frame rows and the 16-row band";
        EXPECT_EQ(Marker(*picture, 240), frame);
        int yellow = 0;
        for (int y = 240; y < 256; ++y)
            for (int x = 0; x < 360; ++x) {
                const auto* p = &picture->rgb[(static_cast<std::size_t>(y) * 360 + x) * 3];
                yellow += p[0] > 160 && p[1] > 160 && p[2] < 100 ? 1 : 0;
            }
        EXPECT_GT(yellow, 40) << "the text is drawn in yellow";
        char expected[96];
        std::snprintf(expected, sizeof expected,
                      "source=index.mp4 time=%d/25 s (%d.000 ms) frame=%d", frame, frame * 40,
                      frame);
        EXPECT_EQ(FirstComment(path), std::string(expected) + '\0');
    }
}

TEST_F(GrabFeatures, TheReportFlagsADroppedAndARepeatedFrame) {
    // Frame 10 left out with the others' times kept; the loop filter shows
    // frame 9 twice, as frames 9 and 10.
    const fs::path dropped =
        MakeClip("dropped.mp4", "select='not(eq(n\\,10))'", "-fps_mode passthrough");
    const fs::path repeated =
        MakeClip("repeated.mp4", "loop=loop=1:size=1:start=10,setpts=N/25/TB");
    if (dropped.empty() || repeated.empty())
        GTEST_SKIP() << "needs the ffmpeg command with libx264";
    settings_.videos = {dropped, repeated, DataPath("index.mp4")};
    settings_.perVideo = true;
    settings_.count = 30;
    settings_.report = folder_ / "report.json";
    ASSERT_EQ(Run(), 0) << errors_.str();
    const auto report = ReadBack();
    ASSERT_EQ(report.videos.size(), 3u);
    for (const auto& video : report.videos) {
        ASSERT_EQ(video.frames.size(), 30u) << video.path;
        EXPECT_EQ(video.codec, "h264");
        EXPECT_EQ(video.width, 176);
        EXPECT_EQ(video.sha256.size(), 64u);
        EXPECT_EQ(video.bytes, fs::file_size(video.path));
        for (std::size_t i = 0; i < 30; ++i) {
            const auto& frame = video.frames[i];
            EXPECT_EQ(frame.frame, static_cast<std::int64_t>(i)) << video.path;
            EXPECT_TRUE(frame.written);
            if (i == 0) {
                EXPECT_EQ(frame.keyFrame, true) << video.path;
                EXPECT_EQ(frame.pictureType, "I") << video.path;
            } else if (video.path != DataPath("index.mp4").string()) {
                EXPECT_EQ(frame.keyFrame, false) << "one keyframe in our clips";
                EXPECT_TRUE(frame.pictureType == "P" || frame.pictureType == "B")
                    << frame.pictureType;
            }
            const bool droppedBefore = video.path == dropped.string() && i == 10;
            const bool repeatedHere = video.path == repeated.string() && i == 10;
            EXPECT_EQ(frame.gap, droppedBefore) << video.path << " " << i;
            EXPECT_EQ(frame.repeat, repeatedHere) << video.path << " " << i;
        }
    }
    // The dropped clip's frame 10 is the source's 11th, 80 ms after frame 9.
    EXPECT_EQ(report.videos[0].frames[10].time, grab::Reduced(440, 1000));
}

TEST_F(GrabFeatures, SkipExistingLeavesWrittenFilesAlone) {
    settings_.videos = {DataPath("index.mp4")};
    settings_.count = 4;
    settings_.skipExisting = true;
    settings_.report = folder_ / "report.json";
    ASSERT_EQ(Run(), 0);
    const fs::path kept = settings_.outputDirectory / "40.JPG";
    const auto written = fs::last_write_time(kept);
    fs::remove(settings_.outputDirectory / "80.JPG");
    ASSERT_EQ(Run(), 0) << errors_.str();
    EXPECT_EQ(fs::last_write_time(kept), written);
    const auto report = ReadBack();
    ASSERT_EQ(report.videos.at(0).frames.size(), 4u);
    for (const auto& frame : report.videos[0].frames)
        EXPECT_EQ(frame.skipped, frame.ms != 80) << frame.file;
    EXPECT_TRUE(report.videos[0].frames[2].written);
    EXPECT_TRUE(fs::exists(settings_.outputDirectory / "80.JPG"));
}

// Videos of one name with different extensions, and the same name in two
// folders: each gets a folder of its own, named with its extension.
TEST_F(GrabFeatures, PerVideoFoldersNeverShareAName) {
    for (const char* name : {"movie.avi", "movie.mp4", "other/movie.mp4"}) {
        fs::create_directories((folder_ / name).parent_path());
        fs::copy_file(DataPath("index.mp4"), folder_ / name);
    }
    settings_.videos = {folder_ / "movie.avi", folder_ / "movie.mp4", folder_ / "other/movie.mp4"};
    settings_.perVideo = true;
    settings_.count = 2;
    ASSERT_EQ(Run(), 0) << errors_.str();
    EXPECT_EQ(Names(settings_.outputDirectory),
              (std::vector<std::string>{"movie.avi", "movie.mp4", "movie.mp4_2"}));
    for (const char* name : {"movie.avi", "movie.mp4", "movie.mp4_2"})
        EXPECT_EQ(Names(settings_.outputDirectory / name),
                  (std::vector<std::string>{"0.JPG", "40.JPG"}))
            << name;
}

TEST_F(GrabFeatures, BadVideosAmongGoodOnesAreNamedAndTheRestWritten) {
    settings_.videos = {DataPath("index.mp4"), DataPath("not_a_video.mpg"), folder_ / "missing.mp4",
                        DataPath("index.mpg")};
    settings_.count = 3;
    settings_.report = folder_ / "reports" / "report.csv"; // its folder is made
    settings_.nameTemplate = "{src}_{ms}";
    EXPECT_EQ(Run(), 1);
    for (const char* name : {"not_a_video.mpg", "missing.mp4"})
        EXPECT_NE(errors_.str().find(name), std::string::npos) << errors_.str();
    EXPECT_EQ(Names(settings_.outputDirectory).size(), 6u);
    const auto report = ReadBack();
    ASSERT_EQ(report.videos.size(), 4u);
    EXPECT_TRUE(report.videos[0].error.empty());
    EXPECT_EQ(report.videos[1].error, "invalid data found when processing input");
    EXPECT_FALSE(report.videos[2].error.empty());
    EXPECT_EQ(report.videos[3].frames.size(), 3u);
    EXPECT_EQ(grab::TotalsOf(report.videos).videosFailed, 2);
}

TEST(GrabProgram, ExitStatusesAndMergedReports) {
    const fs::path folder =
        fs::temp_directory_path() / ("grab-program-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string program = TESSELON_GRAB_PROGRAM;
    const auto status = [](const std::string& command) {
        const int result = std::system((command + " >/dev/null 2>&1").c_str());
        return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    };
    EXPECT_EQ(status(program + " --help"), 0);
    EXPECT_EQ(status(program + " --name '{bad}' --out " + folder.string() + " x.mp4"), 2);
    EXPECT_EQ(status(program + " --count"), 2);
    const std::string a = (folder / "a.json").string();
    const std::string b = (folder / "b.csv").string();
    EXPECT_EQ(status(program + " --count 2 --report " + a + " --out " + folder.string() + " '" +
                     DataPath("index.mp4").string() + "'"),
              0);
    EXPECT_EQ(status(program + " --count 2 --report " + b + " --out " + folder.string() + " '" +
                     DataPath("index.mpg").string() + "' '" + DataPath("not_a_video.mpg").string() +
                     "'"),
              1);
    const std::string merged = (folder / "merged.json").string();
    EXPECT_EQ(status(program + " --merge-reports " + merged + " " + a + " " + b), 0);
    std::string error;
    auto report = grab::ReadReport(merged, error);
    ASSERT_TRUE(report) << error;
    ASSERT_EQ(report->videos.size(), 3u);
    EXPECT_EQ(report->videos[0].path, DataPath("index.mp4").string());
    EXPECT_EQ(report->videos[2].frames.size(), 0u);
    // An unreadable input is named and fails the status; the rest still merge.
    EXPECT_EQ(status(program + " --merge-output " + merged + " " + a + " " +
                     (folder / "none.json").string()),
              1);
    report = grab::ReadReport(merged, error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->videos.size(), 1u);
    fs::remove_all(folder);
}

} // namespace
