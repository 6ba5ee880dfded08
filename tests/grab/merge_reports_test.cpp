// tesselon-grab --merge-reports run as a program on reports in a temporary
// folder: an output that would destroy a report is refused with the way to
// write it, a video listed twice is warned about, names that are not UTF-8
// keep their bytes, and an endless or huge input is refused by name while
// the others are merged.
#include "grab_report.h"
#include "support/shell_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testing_support::RunShell;

// A file name in Latin-1 and a byte that starts no UTF-8 sequence.
const std::string kOddName = "clips/caf\xE9 \xFF.mp4";

std::string ReadAll(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), {}};
}

grab::VideoRecord Video(const std::string& path) {
    grab::VideoRecord video;
    video.path = path;
    grab::FrameRecord frame;
    frame.file = "out/" + path + ".JPG";
    frame.time = {1, 25};
    frame.ms = 40;
    frame.written = true;
    video.frames = {frame};
    return video;
}

struct MergeCase {
    const char* name;
    const char* command; // run in the folder of the inputs below
    int status;
    const char* message; // a part of what it prints
    const char* output;  // the file it writes, or the input it leaves alone
    // The videos the output holds; none: the output is left as it was.
    std::optional<std::vector<std::string>> videos;
};

// By name: GoogleTest would otherwise print the case's bytes, padding too.
void PrintTo(const MergeCase& c, std::ostream* out) {
    *out << c.name;
}

// Inputs: a.json (a.mp4), b.csv (b.mp4), again.json (a.mp4 again), link.json
// (a hard link to a.json), odd.json (kOddName), big.json (a sparse file past
// the limit), pipe.json (a FIFO fed without end while the case runs).
const MergeCase kCases[] = {
    {"OutputAmongTheInputs", "--merge-reports a.json b.csv a.json", 2,
     "a.json is also one of the reports to merge", "a.json", std::nullopt},
    {"OutputHardLinkedToAnInput", "--merge-reports link.json b.csv a.json", 2,
     "link.json is also one of the reports to merge", "a.json", std::nullopt},
    {"ForgottenOutputIsAReport", "--merge-reports a.json b.csv again.json", 2,
     "tesselon-grab --merge-output a.json IN...", "a.json", std::nullopt},
    {"ExplicitOutputReplacesAReport", "--merge-output a.json b.csv again.json", 0, "", "a.json",
     std::vector<std::string>{"b.mp4", "a.mp4"}},
    {"RepeatedVideoIsWarnedAbout", "--merge-reports all.json a.json b.csv again.json", 0,
     "warning: the video a.mp4 is listed twice, in a.json and in again.json", "all.json",
     std::vector<std::string>{"a.mp4", "b.mp4", "a.mp4"}},
    {"NamesNotUtf8ThroughJson", "--merge-reports all.json odd.json b.csv", 0, "", "all.json",
     std::vector<std::string>{kOddName, "b.mp4"}},
    {"NamesNotUtf8ThroughCsv", "--merge-reports all.csv odd.json", 0, "", "all.csv",
     std::vector<std::string>{kOddName}},
    {"HugeFile", "--merge-reports all.json big.json a.json", 1, "big.json: larger than 256 MB",
     "all.json", std::vector<std::string>{"a.mp4"}},
    {"EndlessPipe", "--merge-reports all.json b.csv pipe.json", 1, "pipe.json: larger than 256 MB",
     "all.json", std::vector<std::string>{"b.mp4"}},
};

class MergeReports : public testing::TestWithParam<MergeCase> {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tesselon-merge-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        work_ = pattern;
        std::string error;
        for (const auto& [file, video] : {std::pair{"a.json", "a.mp4"},
                                          {"b.csv", "b.mp4"},
                                          {"again.json", "a.mp4"},
                                          {"odd.json", kOddName.c_str()}})
            ASSERT_TRUE(grab::WriteReport({{Video(video)}}, work_ / file, error)) << error;
        fs::create_hard_link(work_ / "a.json", work_ / "link.json");
        std::ofstream(work_ / "big.json").close();
        fs::resize_file(work_ / "big.json", grab::kMaxReportBytes + 1); // sparse: no disk used
        ASSERT_EQ(::mkfifo((work_ / "pipe.json").c_str(), 0644), 0);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(work_, ignored);
    }

    fs::path work_;
};

TEST_P(MergeReports, RefusesWarnsOrMerges) {
    const MergeCase& c = GetParam();
    const fs::path output = work_ / c.output;
    const std::string before = ReadAll(output);
    // The feeder ends with SIGPIPE once the pipe is closed; opening the pipe
    // for writing lets a case that never reads it end too.
    const auto run = RunShell("(cd '" + work_.string() + "' && { yes > pipe.json & } && '" +
                              TESSELON_GRAB_PROGRAM + "' " + c.command +
                              "; status=$?; exec 3<>pipe.json; exit $status)");
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    if (!c.videos) {
        EXPECT_EQ(ReadAll(output), before);
        return;
    }
    std::string error;
    const auto merged = grab::ReadReport(output, error);
    ASSERT_TRUE(merged) << error;
    std::vector<std::string> paths;
    for (const grab::VideoRecord& video : merged->videos)
        paths.push_back(video.path);
    EXPECT_EQ(paths, *c.videos);
    for (const grab::VideoRecord& video : merged->videos)
        EXPECT_EQ(video, Video(video.path)) << "every field, the frame's file name too";
}

INSTANTIATE_TEST_SUITE_P(Cases, MergeReports, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<MergeCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
