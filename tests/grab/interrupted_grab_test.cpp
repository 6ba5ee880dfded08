// tesselon-grab run as a program: stopped by SIGTERM or SIGINT part-way, it
// writes the frames in hand, leaves no temporary file, writes its report
// marked interrupted and exits 128 + the signal; resumed with --skip-existing
// it counts what it kept as skipped. And a 1080p grab under an address-space
// limit writes every frame, since frames waiting to be written are bounded.
#include "grab_report.h"
#include "images/decoded_jpeg.h"
#include "support/shell_run.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using images::testing::DecodeJpeg;
using images::testing::ReadFileBytes;
using testing_support::Quoted;
using testing_support::RunShell;

const std::string kGrab = TESSELON_GRAB_PROGRAM;

// Starts the program with SIGINT and SIGTERM at their defaults (a shell's
// background job would ignore SIGINT), its output into log.
pid_t Spawn(const std::vector<std::string>& arguments, const fs::path& log) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(kGrab.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    if (posix_spawn(&pid, kGrab.c_str(), &actions, &attributes, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

int Pictures(const fs::path& folder) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        count += entry.path().extension() == ".JPG";
    return count;
}

// Every name in folder ends in .JPG and is not hidden (no temporary file),
// and every picture decodes at width x height; their number.
int CheckPictures(const fs::path& folder, int width, int height) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(entry.path().extension() == ".JPG" && name.front() != '.') << name;
        const auto picture = DecodeJpeg(ReadFileBytes(entry.path()));
        EXPECT_TRUE(picture && picture->width == width && picture->height == height) << name;
        ++count;
    }
    return count;
}

class Interrupted : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        work_ = folder_.Path();
    }

    testing_support::TemporaryFolder folder_{"tesselon-interrupt"};
    fs::path work_;
};

// 1920 x 1080 pictures of a small clip, looped: each takes long enough to
// encode that the signal comes with frames in hand.
TEST_P(Interrupted, WritesTheFramesInHandAndAReportThenResumes) {
    const int signal = GetParam();
    const fs::path out = work_ / "out";
    const fs::path report = work_ / "report.json";
    const fs::path video = fs::path(TESSELON_TEST_DATA) / "index.mp4";
    const std::vector<std::string> grab = {"--size", "1920x1080", "--out", out.string(),
                                           video.string()};
    std::vector<std::string> first = {"--count", "2000", "--report", report.string()};
    first.insert(first.end(), grab.begin(), grab.end());
    const pid_t pid = Spawn(first, work_ / "log");
    ASSERT_GT(pid, 0);
    // Not a time limit on the program: a bound on waiting for its first pictures.
    for (int i = 0; i < 6000 && Pictures(out) < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(::kill(pid, signal), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal);

    std::string error;
    const auto read = grab::ReadReport(report, error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->videos.size(), 1u);
    const grab::VideoRecord& record = read->videos[0];
    EXPECT_TRUE(record.interrupted);
    const int kept = static_cast<int>(record.frames.size());
    EXPECT_LT(kept, 2000) << "the run ended before the signal";
    for (const grab::FrameRecord& frame : record.frames)
        EXPECT_TRUE(frame.written && fs::exists(frame.file)) << frame.file << ": " << frame.error;
    EXPECT_EQ(CheckPictures(out, 1920, 1080), kept);
    for (const auto& entry : fs::directory_iterator(work_))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();

    // The same frames come first again: those kept are skipped, 5 more written.
    std::string again = "'" + kGrab + "' --skip-existing --count " + std::to_string(kept + 5);
    for (const std::string& argument : grab)
        again += " " + Quoted(argument);
    const auto resumed = RunShell(again);
    EXPECT_EQ(resumed.status, 0) << resumed.output;
    const std::string summary =
        "wrote 5 of " + std::to_string(kept + 5) + " frames, " + std::to_string(kept) + " skipped";
    EXPECT_NE(resumed.output.find(summary), std::string::npos) << resumed.output;
    EXPECT_EQ(CheckPictures(out, 1920, 1080), kept + 5);
}

INSTANTIATE_TEST_SUITE_P(BySignal, Interrupted, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "Term" : "Int");
                         });

// 300 frames of 1920 x 1080 with a few frames in flight need about 600 MB
// of address space on two cores, most of it libraries and thread stacks;
// with every frame queued (8 MB each) they would need 2.5 GB. FFmpeg's
// decoder adds a thread per core (to 16), each with an 8 MB stack and frames
// of its own, and the writers one per core (to 4): the limit grows with them.
int AddressSpaceLimitKb() {
    const int cores = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 2, 16);
    return 800'000 + 32'000 * (cores - 2);
}

TEST(BoundedMemory, A1080pGrabUnderAnAddressSpaceLimitWritesEveryFrame) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer reserves terabytes of address space";
#endif
    if (RunShell("command -v ffmpeg").status != 0)
        GTEST_SKIP() << "needs the ffmpeg command";
    const testing_support::TemporaryFolder folder("tesselon-memory");
    const fs::path work = folder.Path();
    const fs::path clip = work / "clip.avi";
    ASSERT_EQ(RunShell("ffmpeg -hide_banner -loglevel error -nostdin -f lavfi -i "
                       "testsrc2=s=1920x1080:r=25 -frames:v 30 -c:v mpeg4 -q:v 5 " +
                       Quoted(clip))
                  .status,
              0);
    const auto grab =
        RunShell("ulimit -v " + std::to_string(AddressSpaceLimitKb()) + " && '" + kGrab +
                 "' --size native --count 300 --out " + Quoted(work / "out") + " " + Quoted(clip));
    EXPECT_EQ(grab.status, 0) << grab.output;
    EXPECT_EQ(CheckPictures(work / "out", 1920, 1080), 300);
}

} // namespace
