// Whole grabs of frames asked for by number or time, on an index clip made at
// test time with a keyframe every 250 frames: each picture's marker is the
// number asked for, whatever the order; an entry past the end fails alone;
// --list prints without writing; --progress json lines are JSON.
#include "grab.h"
#include "grab_options.h"
#include "grab_report.h"

#include "images/decoded_jpeg.h"
#include "support/shell_run.h"
#include "support/temporary_folder.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testing_support::Quoted;

constexpr int kFrames = 1000; // 40 s at 25 fps, keyframes at 0, 250, 500 and 750

// The frame number a decoded index picture of 176 x 144 spells.
int Marker(const images::testing::DecodedJpeg& picture) {
    int index = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const std::size_t x = (bit % 4) * 44 + 22;
        const std::size_t y = (bit / 4) * 48 + 24;
        if (picture.rgb[(y * static_cast<std::size_t>(picture.width) + x) * 3 + 1] > 128)
            index |= 1 << bit;
    }
    return index;
}

class ExactFrames : public testing::Test {
protected:
    // One clip for the suite: the index drawn 4 x 3 pixels large, then
    // enlarged, which is much faster than drawing it at full size.
    static void SetUpTestSuite() {
        clipFolder_ = new testing_support::TemporaryFolder("exact-frames");
        clip_ = clipFolder_->Path() / "marker.mp4";
        const auto made = testing_support::RunShell(
            "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
            "\"color=c=black:s=4x3:r=25:d=40,format=gray,"
            "geq=lum='if(bitand(N\\,pow(2\\,X+4*Y))\\,235\\,16)',"
            "scale=176:144:flags=neighbor,setsar=1,format=yuv420p\" "
            "-c:v libx264 -preset ultrafast -g 250 -keyint_min 250 -sc_threshold 0 " +
            Quoted(clip_));
        if (made.status != 0)
            clip_.clear();
    }
    static void TearDownTestSuite() {
        delete clipFolder_;
        clipFolder_ = nullptr;
    }
    void SetUp() override {
        if (clip_.empty())
            GTEST_SKIP() << "needs the ffmpeg command with libx264";
    }

    // The settings of a command line over the clip, pictures at its own size
    // named by their place in the list.
    grab::Settings Settings(std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--size", "native", "--name", "{i}", "--out",
                                           Out().string(), clip_.string()});
        std::string error;
        const auto settings = grab::ParseArguments(arguments, error);
        EXPECT_TRUE(settings) << error;
        return settings.value_or(grab::Settings{});
    }
    int Run(const grab::Settings& settings,
            grab::ProgressStyle progress = grab::ProgressStyle::None) {
        return grab::Run(settings, out_, errors_, progress);
    }
    fs::path Out() const { return folder_.Path() / "out"; }
    // The marker of picture {i} of count, or -1 when it is missing or does
    // not decode. {i} has as many digits as count - 1.
    int MarkerOf(int place, int count) const {
        std::string name = std::to_string(place);
        name.insert(0, std::to_string(count - 1).size() - name.size(), '0');
        const fs::path path = Out() / (name + ".JPG");
        const auto picture =
            images::testing::DecodeJpeg(images::testing::ReadFileBytes(path));
        return picture && picture->width == 176 ? Marker(*picture) : -1;
    }
    grab::Report Report(const grab::Settings& settings) {
        std::string error;
        const auto report = grab::ReadReport(*settings.report, error);
        EXPECT_TRUE(report) << error;
        return report.value_or(grab::Report{});
    }

    static inline testing_support::TemporaryFolder* clipFolder_ = nullptr;
    static inline fs::path clip_;
    testing_support::TemporaryFolder folder_;
    std::ostringstream out_;
    std::ostringstream errors_;
};

TEST_F(ExactFrames, RandomFramesInRandomOrderAreEachTheFrameAskedFor) {
    // Far from, next to and on keyframes alike; a seed of its own per run
    // would make a failure hard to reproduce.
    std::mt19937 random(30);
    std::uniform_int_distribution<int> frame(0, kFrames - 1);
    std::vector<int> asked;
    std::string list;
    for (int i = 0; i < 30; ++i) {
        asked.push_back(frame(random));
        list += (i ? "," : "") + std::to_string(asked.back());
    }
    grab::Settings settings = Settings({"--frames", list});
    settings.report = folder_.Path() / "report.json";
    ASSERT_EQ(Run(settings), grab::kExitAllWritten) << errors_.str();
    const grab::Report report = Report(settings);
    ASSERT_EQ(report.videos.size(), 1u);
    const auto& frames = report.videos[0].frames;
    ASSERT_EQ(frames.size(), asked.size());
    for (std::size_t place = 0; place < asked.size(); ++place) {
        EXPECT_EQ(MarkerOf(static_cast<int>(place), 30), asked[place]) << "picture " << place;
        EXPECT_EQ(frames[place].frame, asked[place]);
        EXPECT_EQ(frames[place].requested, "frame " + std::to_string(asked[place]));
    }
}

TEST_F(ExactFrames, AFramePastTheEndFailsAloneAndTheOthersAreWritten) {
    grab::Settings settings = Settings({"--frames", "999,5000,0,249-250"});
    settings.report = folder_.Path() / "report.json";
    EXPECT_EQ(Run(settings), grab::kExitSomeFailed);
    EXPECT_NE(errors_.str().find("frame 5000 is past the last frame, 999"), std::string::npos)
        << errors_.str();
    const std::vector<int> written = {999, -1, 0, 249, 250};
    for (int place = 0; place < static_cast<int>(written.size()); ++place)
        EXPECT_EQ(MarkerOf(place, 5), written[static_cast<std::size_t>(place)]) << place;
    const auto frames = Report(settings).videos.at(0).frames;
    ASSERT_EQ(frames.size(), written.size());
    EXPECT_EQ(frames[1].requested, "frame 5000");
    EXPECT_FALSE(frames[1].written);
    EXPECT_EQ(grab::TotalsOf(Report(settings).videos).framesFailed, 1);
}

TEST_F(ExactFrames, ListPrintsTheFirstFrameAtOrAfterEachTimeAndWritesNothing) {
    const std::vector<std::string> times = {"10", "1.5", "10.001", "00:00:00", "00:39.96",
                                            "0:00:20.02"};
    std::string list;
    for (const std::string& time : times)
        list += (list.empty() ? "" : ",") + time;
    const grab::Settings settings = Settings({"--list", "--times", list});
    ASSERT_EQ(Run(settings), grab::kExitAllWritten) << errors_.str();
    EXPECT_FALSE(fs::exists(Out()));

    std::istringstream lines(out_.str());
    std::string line;
    for (const std::string& time : times) {
        ASSERT_TRUE(std::getline(lines, line)) << out_.str();
        QJsonParseError error;
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        // The first frame at or after the time, at 25 frames a second.
        const std::int64_t units = *grab::ParseTime(time);
        const int expected = static_cast<int>((units * 25 + 9'999'999) / 10'000'000);
        EXPECT_EQ(object["frame"].toInt(-1), expected) << line;
        EXPECT_EQ(object["keyFrame"].toBool(), expected % 250 == 0) << line;
        EXPECT_EQ(object["ms"].toDouble(), expected * 40.0) << line;
        EXPECT_EQ(object["requested"].toString().toStdString(), "time " + time);
        EXPECT_EQ(object["video"].toString().toStdString(), settings.videos[0].string());
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;
}

TEST_F(ExactFrames, ProgressJsonLinesParseAndCountUp) {
    const grab::Settings settings = Settings({"--frames", "600,3,300,3"});
    ASSERT_EQ(Run(settings, grab::ProgressStyle::Json), grab::kExitAllWritten) << errors_.str();
    std::istringstream lines(errors_.str());
    std::string line;
    int written = -1;
    std::vector<int> frames;
    QJsonObject last;
    while (std::getline(lines, line)) {
        QJsonParseError error;
        last = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        EXPECT_EQ(last["total"].toInt(), 4);
        EXPECT_EQ(last["videos"].toInt(), 1);
        EXPECT_GE(last["written"].toInt(), written) << line;
        if (last["written"].toInt() > written && !last["frame"].isNull())
            frames.push_back(last["frame"].toInt());
        written = last["written"].toInt();
    }
    EXPECT_EQ(written, 4);
    EXPECT_TRUE(last["done"].toBool());
    // Read in order, once: the repeated frame comes twice in a row.
    EXPECT_EQ(frames, (std::vector<int>{3, 3, 300, 600}));
}

} // namespace
