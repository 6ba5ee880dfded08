// --best-of and the sharpness and near-duplicate marks of the report, on
// index clips made at test time: every frame but 1, 5, 9, ... blurred with the
// ffmpeg command's boxblur, and a clip whose every picture is shown four
// times.
#include "grab.h"
#include "grab_options.h"
#include "grab_report.h"

#include "support/shell_run.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

namespace fs = std::filesystem;
using testing_support::Quoted;
using testing_support::RunShell;

// 40 frames at 25 per second of an index clip, through `filters`.
fs::path MakeIndexClip(const fs::path& folder, const std::string& name, const std::string& rate,
                       const std::string& filters) {
    const std::string source =
        "color=c=black:s=176x144:r=" + rate +
        ":d=1.6,format=yuv420p,geq=lum='if(bitand(N\\,pow(2\\,floor(X/44)+4*floor(Y/48)))"
        "\\,235\\,16)':cb=128:cr=128";
    const fs::path path = folder / name;
    const auto made = RunShell("ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i \"" +
                               source + "\" -vf \"" + filters +
                               "\" -c:v libx264 -preset veryfast -crf 20 " + Quoted(path));
    return made.status == 0 ? path : fs::path();
}

class BestOf : public ::testing::Test {
protected:
    void SetUp() override {
        if (RunShell("command -v ffmpeg").status != 0)
            GTEST_SKIP() << "needs the ffmpeg command";
        // Only frames 1, 5, 9, ... are left sharp.
        blurred_ = MakeIndexClip(folder_.Path(), "blurred.mp4", "25",
                                 "boxblur=5:enable='not(eq(mod(n\\,4)\\,1))'");
        ASSERT_FALSE(blurred_.empty()) << "needs the ffmpeg command with libx264";
        settings_.outputDirectory = folder_.Path() / "out";
        settings_.report = folder_.Path() / "report.json";
    }

    std::vector<grab::FrameRecord> Grab(const fs::path& video) {
        settings_.videos = {video};
        std::ostringstream out;
        std::ostringstream errors;
        EXPECT_EQ(grab::Run(settings_, out, errors), grab::kExitAllWritten) << errors.str();
        std::string error;
        const auto report = grab::ReadReport(*settings_.report, error);
        if (!report || report->videos.size() != 1) {
            ADD_FAILURE() << error;
            return {};
        }
        return report->videos.front().frames;
    }

    static std::vector<std::int64_t> Numbers(const std::vector<grab::FrameRecord>& frames) {
        std::vector<std::int64_t> numbers;
        for (const grab::FrameRecord& frame : frames)
            numbers.push_back(frame.frame.value_or(-1));
        return numbers;
    }

    testing_support::TemporaryFolder folder_{"best-of"};
    fs::path blurred_;
    grab::Settings settings_;
};

const std::vector<std::int64_t> kSharpFrames = {1, 5, 9, 13, 17, 21, 25, 29, 33, 37};

TEST_F(BestOf, OfEveryFourFramesTakesTheOneNotBlurred) {
    settings_.bestOf = 4;
    const auto frames = Grab(blurred_);
    EXPECT_EQ(Numbers(frames), kSharpFrames);
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(frames.front().sharpness.has_value());
    EXPECT_EQ(frames.front().requested, "best of frames 0-3");
    EXPECT_EQ(frames.back().requested, "best of frames 36-39");
}

TEST_F(BestOf, OfEveryIntervalTakesTheOneNotBlurred) {
    // Four frames at 25 per second: the same groups, by time.
    settings_.bestOf = 2;
    settings_.interval = 1'600'000;
    EXPECT_EQ(Numbers(Grab(blurred_)), kSharpFrames);
}

TEST_F(BestOf, CountBoundsTheGroups) {
    settings_.bestOf = 4;
    settings_.count = 3;
    settings_.countGiven = true;
    EXPECT_EQ(Numbers(Grab(blurred_)), std::vector<std::int64_t>({1, 5, 9}));
}

TEST_F(BestOf, EveryFrameIsScoredAndTheSharpOnesScoreHigher) {
    settings_.every = 1;
    settings_.everyGiven = true;
    const auto frames = Grab(blurred_);
    ASSERT_EQ(frames.size(), 40u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(frames[i].sharpness.has_value()) << i;
        EXPECT_FALSE(frames[i].nearDuplicate) << i;
    }
    for (std::size_t sharp = 1; sharp < frames.size(); sharp += 4) {
        EXPECT_GT(*frames[sharp].sharpness, 10 * *frames[sharp + 1].sharpness) << sharp;
        EXPECT_GT(*frames[sharp].sharpness, 10 * *frames[sharp + 2].sharpness) << sharp;
    }
}

TEST_F(BestOf, PicturesShownAgainAreNearDuplicates) {
    // Ten pictures, each shown four times over.
    const fs::path repeated =
        MakeIndexClip(folder_.Path(), "repeated.mp4", "25/4", "fps=25");
    ASSERT_FALSE(repeated.empty());
    settings_.every = 1;
    settings_.everyGiven = true;
    const auto frames = Grab(repeated);
    ASSERT_EQ(frames.size(), 40u);
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(frames[i].nearDuplicate, i % 4 != 0) << i;
}

TEST(BestOfOptions, CombinesWithIntervalOnly) {
    const struct {
        std::vector<std::string> arguments;
        const char* refusal; // none when the line is good
    } cases[] = {
        {{"--best-of", "4", "a", "o"}, nullptr},
        {{"--best-of=1", "a", "o"}, nullptr},
        {{"--best-of", "3", "--interval", "2", "a", "o"}, nullptr},
        {{"--best-of", "0", "a", "o"}, "--best-of needs a whole number"},
        {{"--best-of", "x", "a", "o"}, "--best-of needs a whole number"},
        {{"--best-of", "2", "--every", "3", "a", "o"}, "--every and --best-of"},
        {{"--best-of", "2", "--paced", "a", "o"}, "consecutive"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto settings = grab::ParseArguments(c.arguments, error);
        if (c.refusal == nullptr) {
            ASSERT_TRUE(settings) << error;
            EXPECT_GT(settings->bestOf, 0);
            EXPECT_TRUE(settings->Sampling());
        } else {
            EXPECT_FALSE(settings) << c.arguments.front();
            EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
        }
    }
    EXPECT_NE(grab::HelpText().find("--best-of N"), std::string::npos);
}

} // namespace
