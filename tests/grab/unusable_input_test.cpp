// tesselon-grab run as a user runs it on inputs that hold no frame to take:
// each is named with its cause, the run exits 1 and not one picture is
// written. A pipe is refused at once, never waited on. Sampling runs to the
// end of the video unless --count bounds it.
#include "support/shell_run.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;
using testing_support::Quoted;
using testing_support::RunShell;

const std::string kGrab = TESSELON_GRAB_PROGRAM;
// An old build waiting on a pipe for ever fails the test instead of hanging it.
const std::string kTimeLimit = "timeout 120 ";

fs::path DataPath(const std::string& name) {
    return fs::path(TESSELON_TEST_DATA) / name;
}

class GrabInput : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(work_.empty()); }

    // The pictures' names under out, without ".JPG".
    std::set<std::string> Pictures() const {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(work_ / "out", error))
            if (entry.path().extension() == ".JPG")
                names.insert(entry.path().stem().string());
        return names;
    }

    const testing_support::TemporaryFolder folder_{"grab-input"};
    const fs::path work_ = folder_.Path();
};

TEST_F(GrabInput, NoFrameToTakeIsNamedWithItsCauseAndNothingIsWritten) {
    std::ifstream avi(DataPath("index_mpeg4.avi"), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(avi), {}};
    // Up to where its frames would begin: the headers of a 176 x 144 video.
    std::ofstream(work_ / "header_only.avi", std::ios::binary)
        << bytes.substr(0, bytes.find("movi") + 4);
    std::ofstream(work_ / "empty.mp4").close();
    fs::create_directories(work_ / "folder.mp4");
    // Nobody ever writes into it: opening it for reading would wait for ever.
    ASSERT_EQ(::mkfifo((work_ / "fifo.mpg").c_str(), 0600), 0);
    const std::string clip = Quoted(DataPath("index.mp4")); // 50 frames, 2 s
    const struct {
        std::string feed;      // what runs before, its output piped in
        std::string arguments; // after "tesselon-grab --out out"
        std::string said;
    } cases[] = {
        {"", "header_only.avi",
         "header_only.avi: not grabbed: no frame of its video could be decoded"},
        {"", "empty.mp4", "empty.mp4: not grabbed: empty file"},
        {"", "folder.mp4", "folder.mp4: not grabbed: is a folder"},
        {"", "missing.mp4", "missing.mp4: not grabbed: no such file"},
        {"", Quoted(DataPath("audio_only.wav")), "audio_only.wav: not grabbed: no video stream"},
        {"", "--report report.json fifo.mpg", "fifo.mpg: not grabbed: is a pipe"},
        {"cat " + clip + " | ", "/dev/stdin", "/dev/stdin: not grabbed: is a pipe"},
        {"", "--start 2 " + clip, "not grabbed: no frame at or after --start 2.000 s"},
        {"", "--start 5 --every 3 " + clip, "not grabbed: no frame at or after --start 5.000 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        fs::remove_all(work_ / "out");
        const auto run = RunShell("cd " + Quoted(work_) + " && " + c.feed + kTimeLimit +
                                  Quoted(kGrab) + " --out out " + c.arguments);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(c.said), std::string::npos) << run.output;
        EXPECT_TRUE(Pictures().empty()) << run.output;
    }
}

// long_59_9s.mp4: 599 frames, 10 a second.
TEST_F(GrabInput, SamplingRunsToTheEndUnlessCountBoundsIt) {
    const auto numbers = [](int step, int end) {
        std::set<std::string> names;
        for (int frame = 0; frame < end; frame += step)
            names.insert(std::to_string(frame));
        return names;
    };
    const struct {
        std::string options;
        std::set<std::string> frames;
    } cases[] = {
        {"--every 5", numbers(5, 599)},
        {"--interval 0.5", numbers(5, 599)},
        {"--every 5 --count 30", numbers(5, 150)},
        {"--every 1", numbers(1, 599)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        fs::remove_all(work_ / "out");
        const auto run = RunShell("cd " + Quoted(work_) + " && " + Quoted(kGrab) +
                                  " --out out --name {frame} --size 16x16 " + c.options + " " +
                                  Quoted(DataPath("long_59_9s.mp4")));
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(Pictures(), c.frames) << run.output;
    }
}

} // namespace
