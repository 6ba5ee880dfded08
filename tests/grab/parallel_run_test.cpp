// tesselon-grab over 20 videos under GNU parallel on every local core, one
// process and one report per video, then the reports merged: every video's
// folder holds its 100 pictures, each decoded by libjpeg-turbo at 360 x 240,
// and the merged report names each video, its digest and each frame taken,
// looping back to the first frame where the clip is shorter than 100 frames.
#include "grab_report.h"
#include "images/decoded_jpeg.h"
#include "support/shell_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using images::testing::DecodeJpeg;
using images::testing::ReadFileBytes;

constexpr int kCount = 100;
constexpr int kRate = 25;

struct Clip {
    const char* file;
    const char* codec; // as FFmpeg names it
    int width, height, frames;
    const char* options;
};

// Sizes from 160 x 120 to 352 x 288 and an odd one; frame counts below,
// at and above 100 in each codec.
const Clip kClips[] = {
    {"mpeg1_320x240_130f.mpg", "mpeg1video", 320, 240, 130, "-c:v mpeg1video -q:v 4 -bf 2 -g 12"},
    {"mpeg1_352x288_40f.mpg", "mpeg1video", 352, 288, 40, "-c:v mpeg1video -q:v 4 -bf 2 -g 12"},
    {"mpeg1_160x120_75f.mpg", "mpeg1video", 160, 120, 75, "-c:v mpeg1video -q:v 4"},
    {"mpeg1_320x180_100f.mpg", "mpeg1video", 320, 180, 100, "-c:v mpeg1video -q:v 4 -bf 2"},
    {"mpeg1_352x288_75f.mpg", "mpeg1video", 352, 288, 75, "-c:v mpeg1video -q:v 4"},
    {"mpeg4_175x97_40f.avi", "mpeg4", 175, 97, 40, "-c:v mpeg4 -q:v 3"},
    {"mpeg4_320x240_75f.avi", "mpeg4", 320, 240, 75, "-c:v mpeg4 -q:v 3 -bf 2"},
    {"mpeg4_160x120_130f.avi", "mpeg4", 160, 120, 130, "-c:v mpeg4 -q:v 3"},
    {"mpeg4_352x288_100f.avi", "mpeg4", 352, 288, 100, "-c:v mpeg4 -q:v 3 -bf 2 -g 10"},
    {"mpeg4_175x97_130f.avi", "mpeg4", 175, 97, 130, "-c:v mpeg4 -q:v 3"},
    {"h264_175x97_75f.mkv", "h264", 175, 97, 75,
     "-pix_fmt yuv444p -c:v libx264 -preset veryfast -crf 23"},
    {"h264_320x180_40f.mp4", "h264", 320, 180, 40, "-c:v libx264 -preset veryfast -crf 23"},
    {"h264_352x288_130f.mp4", "h264", 352, 288, 130, "-c:v libx264 -preset veryfast -crf 23 -g 25"},
    {"h264_160x120_100f.mkv", "h264", 160, 120, 100, "-c:v libx264 -preset veryfast -crf 23"},
    {"h264_320x240_40f.mp4", "h264", 320, 240, 40, "-c:v libx264 -preset veryfast -bf 3"},
    {"h264_175x97_100f.mp4", "h264", 175, 97, 100,
     "-pix_fmt yuv444p -c:v libx264 -preset veryfast -crf 23"},
    {"vp8_175x97_100f.webm", "vp8", 175, 97, 100,
     "-c:v libvpx -b:v 300k -deadline realtime -cpu-used 8"},
    {"vp8_320x240_40f.webm", "vp8", 320, 240, 40,
     "-c:v libvpx -b:v 300k -deadline realtime -cpu-used 8"},
    {"vp8_160x120_130f.webm", "vp8", 160, 120, 130,
     "-c:v libvpx -b:v 300k -deadline realtime -cpu-used 8"},
    {"vp8_352x288_75f.webm", "vp8", 352, 288, 75,
     "-c:v libvpx -b:v 300k -deadline realtime -cpu-used 8 -g 20"},
};

using Result = testing_support::ShellResult;
using testing_support::Quoted;
using testing_support::RunShell;

bool HasCommand(const std::string& name) {
    return RunShell("command -v " + name).status == 0;
}

bool MakeClip(const Clip& clip, const fs::path& path) {
    // Planar RGB keeps an odd size exact; the encoder's options pick its pixels.
    const std::string source = "testsrc2=s=" + std::to_string(clip.width) + "x" +
                               std::to_string(clip.height) + ":r=" + std::to_string(kRate) +
                               ",format=gbrp";
    const std::string options = clip.options;
    const std::string pixels =
        options.find("-pix_fmt") == std::string::npos ? "-pix_fmt yuv420p " : "";
    return RunShell("ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i " + source +
                    " -frames:v " + std::to_string(clip.frames) + " " + pixels + options + " " +
                    Quoted(path))
               .status == 0;
}

std::string Sha256Sum(const fs::path& path) {
    const Result result = RunShell("sha256sum " + Quoted(path));
    return result.status == 0 ? result.output.substr(0, 64) : std::string();
}

class ParallelGrab : public testing::Test {
protected:
    void SetUp() override {
        work_ = fs::temp_directory_path() / ("grab-parallel-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        fs::create_directories(work_ / "clips");
        fs::create_directories(work_ / "home");
    }
    void TearDown() override { fs::remove_all(work_); }

    fs::path work_;
};

TEST_F(ParallelGrab, TwentyVideosOnEveryCoreThenOneMergedReport) {
    if (!HasCommand("ffmpeg") || !HasCommand("parallel"))
        GTEST_SKIP() << "needs the ffmpeg command and GNU parallel";

    std::map<std::string, const Clip*> clipsByName;
    {
        std::ofstream list(work_ / "clips.txt");
        for (const Clip& clip : kClips) {
            const fs::path path = work_ / "clips" / clip.file;
            ASSERT_TRUE(MakeClip(clip, path)) << clip.file;
            list << path.string() << '\n';
            clipsByName[path.filename().string()] = &clip;
        }
    }

    // One job per core (parallel's default); its state goes under a private HOME.
    const fs::path out = work_ / "out";
    const Result grabs =
        RunShell("HOME=" + Quoted(work_ / "home") + " GRAB='" + TESSELON_GRAB_PROGRAM +
                 "' OUT_DIR=" + Quoted(out) + " parallel --will-cite --joblog " +
                 Quoted(work_ / "jobs.log") +
                 " '\"$GRAB\" --out \"$OUT_DIR\" --per-video --report \"$OUT_DIR\"/{/}.json {}' "
                 ":::: " +
                 Quoted(work_ / "clips.txt"));
    ASSERT_EQ(grabs.status, 0) << grabs.output;
    const fs::path merged = work_ / "merged.json";
    const Result merge = RunShell(std::string("'") + TESSELON_GRAB_PROGRAM + "' --merge-reports " +
                                  Quoted(merged) + " " + Quoted(out) + "/*.json");
    ASSERT_EQ(merge.status, 0) << merge.output;

    for (const auto& [name, clip] : clipsByName) {
        SCOPED_TRACE(clip->file);
        int pictures = 0;
        for (const auto& entry : fs::directory_iterator(out / name)) {
            SCOPED_TRACE(entry.path().filename().string());
            ASSERT_EQ(entry.path().extension(), ".JPG");
            const auto picture = DecodeJpeg(ReadFileBytes(entry.path()));
            ASSERT_TRUE(picture.has_value());
            EXPECT_EQ(picture->width, 360);
            EXPECT_EQ(picture->height, 240);
            ++pictures;
        }
        EXPECT_EQ(pictures, kCount);
    }

    std::string error;
    const auto report = grab::ReadReport(merged, error);
    ASSERT_TRUE(report.has_value()) << error;
    ASSERT_EQ(report->videos.size(), std::size(kClips));
    std::map<std::string, int> seen;
    for (const grab::VideoRecord& video : report->videos) {
        SCOPED_TRACE(video.path);
        const fs::path path = video.path;
        const auto found = clipsByName.find(path.filename().string());
        ASSERT_NE(found, clipsByName.end());
        const Clip& clip = *found->second;
        const fs::path clipPath = work_ / "clips" / clip.file;
        ASSERT_EQ(++seen[clip.file], 1) << "the report holds the video twice";
        EXPECT_EQ(path, clipPath);
        EXPECT_EQ(video.bytes, fs::file_size(clipPath));
        EXPECT_EQ(video.sha256, Sha256Sum(clipPath));
        EXPECT_EQ(video.codec, clip.codec);
        EXPECT_EQ(video.width, clip.width);
        EXPECT_EQ(video.height, clip.height);
        EXPECT_EQ(video.outputWidth, 360);
        EXPECT_EQ(video.outputHeight, 240);
        EXPECT_EQ(video.error, "");

        ASSERT_EQ(video.frames.size(), static_cast<std::size_t>(kCount));
        std::map<fs::path, int> files;
        for (int i = 0; i < kCount; ++i) {
            const grab::FrameRecord& frame = video.frames[i];
            SCOPED_TRACE("frame record " + std::to_string(i));
            EXPECT_TRUE(frame.written);
            EXPECT_EQ(frame.error, "");
            const fs::path file = frame.file;
            EXPECT_TRUE(fs::is_regular_file(file)) << file;
            EXPECT_EQ(file.parent_path(), out / found->first);
            EXPECT_EQ(++files[file], 1) << "two records name one file";
            // Consecutive from the first frame, back to it after the last.
            const int expected = i % clip.frames;
            ASSERT_TRUE(frame.frame.has_value());
            EXPECT_EQ(*frame.frame, expected);
            EXPECT_EQ(grab::ToString(frame.time), grab::ToString(grab::Reduced(expected, kRate)));
            EXPECT_DOUBLE_EQ(frame.ms, expected * 1000.0 / kRate);
        }
    }
}

} // namespace
