// The command-line writers as a user runs them: under a file size limit, with
// a run killed part-way, with two runs sharing a folder, and with report
// targets that are not regular files. A final name only ever holds a whole
// file, an old file stays whole until its replacement is complete, and what
// is not a regular file is written to, never replaced.
#include "images/decoded_jpeg.h"
#include "support/shell_run.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using images::testing::DecodeJpeg;
using images::testing::ReadFileBytes;
using testing_support::Quoted;
using testing_support::RunShell;
using testing_support::ShellResult;

const std::string kGrab = TESSELON_GRAB_PROGRAM;
const std::string kJpeg = TESSELON_JPEG_PROGRAM;

std::string ReadAll(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), {}};
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class OutputSafety : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        work_ = folder_.Path();
        clip_ = fs::path(TESSELON_TEST_DATA) / "index.mpg";
    }

    // Names in a folder that a writer left behind half-done.
    static std::vector<std::string> TemporaryFiles(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().find(".tmp-") != std::string::npos)
                names.push_back(entry.path().filename().string());
        return names;
    }

    // Every picture in the folder, checked by an independent decoder; the
    // sizes found, in order.
    static std::vector<std::pair<int, int>> DecodeEvery(const fs::path& folder) {
        std::vector<std::pair<int, int>> sizes;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() != ".JPG")
                continue;
            const auto picture = DecodeJpeg(ReadFileBytes(entry.path()));
            EXPECT_TRUE(picture.has_value()) << entry.path() << " does not decode";
            if (picture)
                sizes.emplace_back(picture->width, picture->height);
        }
        return sizes;
    }

    // A 360 x 240 image buffer of noise (it compresses to far more than the
    // file size limit below), and the BMP tesselon-jpeg builds from it.
    void MakeInputs() {
        std::mt19937 random(7);
        std::string pixels(360 * 240 * 4, '\0');
        for (char& byte : pixels)
            byte = static_cast<char>(random());
        WriteText(work_ / "in.raw", pixels);
        ASSERT_EQ(RunShell(Quoted(kJpeg) + " --raw 360x240 --bmp-out " + Quoted(work_ / "in.bmp") +
                           " " + Quoted(work_ / "in.raw") + " " + Quoted(work_ / "first.jpg"))
                      .status,
                  0);
    }

    testing_support::TemporaryFolder folder_{"tesselon-safety"};
    fs::path work_;
    fs::path clip_;
};

struct LimitedWriter {
    const char* name;
    // The command, after "cd WORK"; writes OLD (a file, or a folder of files).
    const char* command;
    const char* old;
};

void PrintTo(const LimitedWriter& writer, std::ostream* out) {
    *out << writer.name;
}

class UnderAFileSizeLimit : public OutputSafety,
                            public testing::WithParamInterface<LimitedWriter> {};

// 8 KiB per file (ulimit counts 1024-byte blocks) stops every writer's file
// part-way, as a full disk would. The process lives to say so (exit 1, not
// killed by SIGXFSZ), the old file keeps every byte, and no temporary file
// is left.
TEST_P(UnderAFileSizeLimit, KeepsTheOldFileAndLives) {
    const LimitedWriter& writer = GetParam();
    MakeInputs();
    // Reports of 100 frames, and pictures of 1280 x 720, are all above the limit.
    const std::string grab = "cd " + Quoted(work_) + " && " + Quoted(kGrab);
    ASSERT_EQ(RunShell(grab + " --count 3 --size 1280x720 --out frames " + Quoted(clip_)).status,
              0);
    ASSERT_EQ(RunShell(grab + " --count 100 --size 16x16 --out small --report in.json " +
                       Quoted(clip_) + " && cp in.json report.json")
                  .status,
              0);
    const fs::path old = work_ / writer.old;
    std::vector<fs::path> olds;
    if (fs::is_directory(old)) {
        for (const auto& entry : fs::directory_iterator(old))
            olds.push_back(entry.path());
    } else {
        olds.push_back(old);
    }
    ASSERT_FALSE(olds.empty());
    const std::string oldBytes(50000, 'o');
    for (const fs::path& file : olds)
        WriteText(file, oldBytes);

    const std::string command = "cd " + Quoted(work_) + " && export GRAB=" + Quoted(kGrab) +
                                " JPEG=" + Quoted(kJpeg) + " CLIP=" + Quoted(clip_) +
                                " && ulimit -f 8 && " + writer.command;
    const ShellResult run = RunShell("bash -c " + Quoted(command));
    EXPECT_EQ(run.status, 1) << run.output;
    for (const fs::path& file : olds)
        EXPECT_TRUE(ReadAll(file) == oldBytes) << file << " was changed";
    EXPECT_EQ(TemporaryFiles(work_), std::vector<std::string>{});
    EXPECT_EQ(TemporaryFiles(old.parent_path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Writers, UnderAFileSizeLimit,
    testing::Values(
        LimitedWriter{"Encoder", "\"$JPEG\" in.bmp first.jpg", "first.jpg"},
        LimitedWriter{"SavePathOfABuffer", "\"$JPEG\" --raw 360x240 in.raw first.jpg",
                      "first.jpg"},
        LimitedWriter{"GrabFrames", "\"$GRAB\" --count 3 --size 1280x720 --out frames \"$CLIP\"", "frames"},
        LimitedWriter{"GrabReport",
                      "\"$GRAB\" --count 100 --size 16x16 --out small --report report.json \"$CLIP\"",
                      "report.json"},
        LimitedWriter{"MergedReport", "\"$GRAB\" --merge-reports merged.json in.json in.json",
                      "merged.json"}));

// Killed while writing, a run leaves only whole pictures under their final
// names; run again with --skip-existing it completes the set.
TEST_F(OutputSafety, KilledGrabLeavesOnlyWholePicturesAndResumes) {
    const fs::path out = work_ / "out";
    const std::string grab = Quoted(kGrab) + " --count 100 --size 1280x720 --out " + Quoted(out) +
                             " " + Quoted(clip_);
    // Killed as soon as its first pictures are in place, while it writes more.
    const ShellResult killed = RunShell(
        grab + " >/dev/null & pid=$!; for i in $(seq 600); do "
               "n=$(ls " + Quoted(out) + " 2>/dev/null | wc -l); [ \"$n\" -ge 5 ] && break; "
               "sleep 0.05; done; kill -KILL $pid; wait $pid; echo status=$?");
    ASSERT_NE(killed.output.find("status=137"), std::string::npos) << killed.output;
    const auto before = DecodeEvery(out);
    EXPECT_GE(before.size(), 5u);
    EXPECT_LT(before.size(), 100u) << "the run ended before it was killed";

    const ShellResult resumed = RunShell(grab + " --skip-existing");
    EXPECT_EQ(resumed.status, 0) << resumed.output;
    const auto after = DecodeEvery(out);
    EXPECT_EQ(after.size(), 100u);
    for (const auto& size : after)
        EXPECT_EQ(size, (std::pair{1280, 720}));
}

// Two runs of different picture sizes writing the same names at once: every
// file is one run's whole picture. Noise makes each picture span many
// writes, as a detailed frame does, so that interleaved writes would show.
TEST_F(OutputSafety, TwoGrabsIntoOneFolderNeverSpliceAPicture) {
    const fs::path noisy = work_ / "noisy.avi";
    if (RunShell("ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
                 "'testsrc2=s=640x360:r=25,noise=alls=60:allf=t' -frames:v 30 -c:v mpeg4 "
                 "-q:v 4 " + Quoted(noisy))
            .status != 0)
        GTEST_SKIP() << "needs the ffmpeg command";
    const fs::path out = work_ / "out";
    const std::string grab =
        Quoted(kGrab) + " --count 30 --out " + Quoted(out) + " " + Quoted(noisy) + " >/dev/null";
    const ShellResult both = RunShell(grab + " --size 1280x720 & a=$!; " + grab +
                                      " --size 1024x768 & b=$!; wait $a; ra=$?; wait $b; "
                                      "echo statuses=$ra,$?");
    ASSERT_NE(both.output.find("statuses=0,0"), std::string::npos) << both.output;
    const auto sizes = DecodeEvery(out);
    EXPECT_EQ(sizes.size(), 30u);
    for (const auto& size : sizes)
        EXPECT_TRUE(size == (std::pair{1280, 720}) || size == (std::pair{1024, 768}))
            << size.first << " x " << size.second;
    EXPECT_EQ(TemporaryFiles(out), std::vector<std::string>{});
}

// Report targets that are not regular files are written to and stay what
// they are; "-" is standard output.
TEST_F(OutputSafety, ReportTargetsThatAreNotRegularFiles) {
    const std::string grab = "cd " + Quoted(work_) + " && " + Quoted(kGrab) +
                             " --count 2 --out out " + Quoted(clip_) + " --report ";

    const fs::path fifo = work_ / "report.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ShellResult throughFifo =
        RunShell("cat " + Quoted(fifo) + " > " + Quoted(work_ / "from-fifo.json") + " & " + grab +
                 Quoted(fifo) + " >/dev/null; s=$?; wait; exit $s");
    EXPECT_EQ(throughFifo.status, 0) << throughFifo.output;
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_NE(ReadAll(work_ / "from-fifo.json").find("\"frames\""), std::string::npos);

    fs::create_directory(work_ / "elsewhere");
    fs::create_symlink("elsewhere/report.json", work_ / "link.json");
    EXPECT_EQ(RunShell(grab + Quoted(work_ / "link.json")).status, 0);
    EXPECT_TRUE(fs::is_symlink(work_ / "link.json"));
    EXPECT_NE(ReadAll(work_ / "elsewhere" / "report.json").find("\"frames\""), std::string::npos);

    const ShellResult toStandardOutput = RunShell(grab + "- 2>/dev/null");
    EXPECT_EQ(toStandardOutput.status, 0);
    EXPECT_NE(toStandardOutput.output.find("\"frames\""), std::string::npos);
    EXPECT_FALSE(fs::exists(work_ / "-"));

    // The null device's numbers, made here: never the machine's own /dev.
    const fs::path device = work_ / "null";
    if (::geteuid() == 0 && ::mknod(device.c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0) {
        EXPECT_EQ(RunShell(grab + Quoted(device)).status, 0);
        EXPECT_TRUE(fs::is_character_file(device));
    }
    EXPECT_EQ(TemporaryFiles(work_), std::vector<std::string>{});
}

// tesselon-jpeg writes its picture to standard output for "-".
TEST_F(OutputSafety, JpegToStandardOutput) {
    MakeInputs();
    const ShellResult run = RunShell(Quoted(kJpeg) + " " + Quoted(work_ / "in.bmp") + " - > " +
                                     Quoted(work_ / "piped.jpg"));
    EXPECT_EQ(run.status, 0) << run.output;
    const auto picture = DecodeJpeg(ReadFileBytes(work_ / "piped.jpg"));
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->width, 360);
}

} // namespace
