// --keyframes and --scenes over whole grabs, on clips made at test time: the
// keyframes of a clip with a fixed keyframe interval, read back from the
// frame numbers their pictures spell; the first frame of each shot of a clip
// of distinct shots joined at known frames, with a two-frame flash that
// --min-gap keeps to one frame; a pan that stays one shot; and the command
// lines each refuses.
#include "grab.h"
#include "grab_options.h"
#include "grab_report.h"

#include "images/decoded_jpeg.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// The frame number an index clip's 176 x 144 picture spells (white is 1).
int Marker(const images::testing::DecodedJpeg& picture) {
    int index = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const int x = (bit % 4) * 44 + 22;
        const int y = (bit / 4) * 48 + 24;
        if (picture.rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3 + 1] > 128)
            index |= 1 << bit;
    }
    return index;
}

class FrameSelection : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("frame-selection-" + std::to_string(::getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        settings_.outputDirectory = folder_ / "out";
        settings_.nativeSize = true;
        settings_.report = folder_ / "report.json";
    }
    void TearDown() override { fs::remove_all(folder_); }

    // A clip made with the ffmpeg command from its input and output options.
    fs::path MakeClip(const std::string& name, const std::string& options) {
        const fs::path path = folder_ / name;
        const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y " + options +
                                    " -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p '" +
                                    path.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }

    // The frames taken from the one video, by the report.
    std::vector<grab::FrameRecord> Grab(const fs::path& video) {
        settings_.videos = {video};
        std::ostringstream out, errors;
        EXPECT_EQ(grab::Run(settings_, out, errors), 0) << errors.str();
        std::string error;
        const auto report = grab::ReadReport(*settings_.report, error);
        EXPECT_TRUE(report && report->videos.size() == 1) << error;
        return report && report->videos.size() == 1 ? report->videos[0].frames
                                                    : std::vector<grab::FrameRecord>{};
    }

    static std::vector<std::int64_t> Numbers(const std::vector<grab::FrameRecord>& frames) {
        std::vector<std::int64_t> numbers;
        for (const grab::FrameRecord& frame : frames)
            numbers.push_back(frame.frame.value_or(-1));
        return numbers;
    }

    fs::path folder_;
    grab::Settings settings_;
};

// 100 frames of an index clip, each spelling its number.
const char* const kIndexSource =
    "-f lavfi -i \"color=c=black:s=176x144:r=25:d=4,format=yuv420p,geq=lum='if(bitand(N\\,"
    "pow(2\\,floor(X/44)+4*floor(Y/48)))\\,235\\,16)':cb=128:cr=128\" ";

TEST_F(FrameSelection, KeyframesAreEveryTwentyFifthFrameWhetherGopsAreClosedOrOpen) {
    settings_.keyframes = true;
    for (const std::string gop : {"-g 25 -keyint_min 25 -sc_threshold 0",
                                  "-x264-params keyint=25:min-keyint=25:scenecut=0:open-gop=1"}) {
        SCOPED_TRACE(gop);
        fs::remove_all(settings_.outputDirectory);
        const auto frames = Grab(MakeClip("index.mp4", kIndexSource + gop));
        EXPECT_EQ(Numbers(frames), (std::vector<std::int64_t>{0, 25, 50, 75}));
        for (const grab::FrameRecord& frame : frames) {
            EXPECT_EQ(frame.keyFrame, true);
            EXPECT_EQ(frame.requested, "keyframe");
            // The picture is whole: it spells its own number.
            const auto picture = images::testing::DecodeJpeg(
                images::testing::ReadFileBytes(frame.file));
            ASSERT_TRUE(picture) << frame.file;
            EXPECT_EQ(Marker(*picture), frame.frame.value_or(-1)) << frame.file;
        }
    }
}

// Three shots of 2 s at 25 fps: moving test pattern, colour bars, a zooming
// fractal; the third flashes white for frames 105 and 106.
const char* const kShots =
    "-f lavfi -i testsrc=s=176x144:r=25:d=2 -f lavfi -i smptebars=s=176x144:r=25:d=2 "
    "-f lavfi -i mandelbrot=s=176x144:r=25 -filter_complex "
    "\"[2]trim=duration=2,setpts=PTS-STARTPTS[m];[0][1][m]concat=n=3,format=yuv420p,"
    "drawbox=t=fill:c=white:enable='between(n,105,106)'\" ";

TEST_F(FrameSelection, ScenesAreTheFirstFrameOfEachShotAndAFlashIsOneAtMost) {
    const fs::path clip = MakeClip("shots.mp4", kShots);
    settings_.sceneThreshold = grab::kDefaultSceneThreshold;
    struct Case {
        double minGapSeconds;
        std::vector<std::int64_t> frames;
    };
    // Half a second after the cut at 100 covers the flash and its end.
    for (const Case& c : {Case{0.5, {0, 50, 100}}, Case{0.1, {0, 50, 100, 105}},
                          Case{0, {0, 50, 100, 105, 107}}}) {
        SCOPED_TRACE(c.minGapSeconds);
        fs::remove_all(settings_.outputDirectory);
        settings_.minGapSeconds = c.minGapSeconds;
        const auto frames = Grab(clip);
        EXPECT_EQ(Numbers(frames), c.frames);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            ASSERT_TRUE(frames[i].sceneScore);
            if (i == 0)
                EXPECT_EQ(*frames[i].sceneScore, 0);
            else
                EXPECT_GT(*frames[i].sceneScore, grab::kDefaultSceneThreshold);
        }
    }
}

// One shot panning fast across a still test pattern: motion, not a cut.
TEST_F(FrameSelection, APanIsOneShot) {
    const fs::path clip = MakeClip(
        "pan.mp4", "-f lavfi -i testsrc2=s=640x360:r=25:d=1 -vf "
                   "\"loop=loop=-1:size=1,crop=176:144:x='t*200':y='t*50'\" -t 3");
    settings_.sceneThreshold = grab::kDefaultSceneThreshold;
    EXPECT_EQ(Numbers(Grab(clip)), (std::vector<std::int64_t>{0}));
}

TEST(FrameSelectionOptions, ThresholdIsTheNextArgumentWhenANumber) {
    struct Case {
        std::vector<std::string> line;
        double threshold;
        std::vector<fs::path> videos;
    };
    for (const Case& c : {Case{{"--scenes", "0.25", "v.mp4", "out"}, 0.25, {"v.mp4"}},
                          Case{{"--scenes", "v.mp4", "out"}, grab::kDefaultSceneThreshold, {"v.mp4"}},
                          Case{{"--scenes=1", "--out", "o", "0.5"}, 1, {"0.5"}},
                          Case{{"--out", "o", "--scenes"}, grab::kDefaultSceneThreshold, {}}}) {
        std::string error;
        const auto settings = grab::ParseArguments(c.line, error);
        if (c.videos.empty()) {
            EXPECT_FALSE(settings); // no video given
            continue;
        }
        ASSERT_TRUE(settings) << error;
        EXPECT_EQ(settings->sceneThreshold, c.threshold);
        EXPECT_EQ(settings->videos, c.videos);
    }
}

TEST(FrameSelectionOptions, RefusedLines) {
    for (const std::vector<std::string>& line :
         {std::vector<std::string>{"--scenes", "1.5", "v", "o"},
          {"--scenes", "-0.1", "v", "o"},
          {"--scenes=abc", "v", "o"},
          {"--scenes", "--min-gap", "-1", "v", "o"},
          {"--min-gap", "1", "v", "o"},
          {"--keyframes", "--scenes", "v", "o"},
          {"--keyframes", "--every", "2", "v", "o"},
          {"--keyframes", "--interval", "1", "v", "o"},
          {"--scenes", "--every", "2", "v", "o"},
          {"--scenes", "0.2", "--interval", "1", "v", "o"},
          {"--keyframes", "--paced", "v", "o"}}) {
        std::string error;
        EXPECT_FALSE(grab::ParseArguments(line, error)) << line[0] << " " << line[1];
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
