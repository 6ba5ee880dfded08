// tesselon-grab: its command line, its file names, and whole grabs whose
// JPEG files are decoded with libjpeg-turbo to read which frame each holds
// (index clips spell the frame number in a 4 x 3 grid of 44 x 48 blocks).
#include "grab.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <jpeglib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path DataPath(const std::string& name) {
    return fs::path(TESSELON_TEST_DATA) / name;
}

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

Decoded DecodeJpeg(const fs::path& path) {
    Decoded decoded;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return decoded;
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    decoded.width = static_cast<int>(info.output_width);
    decoded.height = static_cast<int>(info.output_height);
    decoded.rgb.resize(static_cast<std::size_t>(decoded.width) * decoded.height * 3);
    while (info.output_scanline < info.output_height) {
        unsigned char* row =
            &decoded.rgb[static_cast<std::size_t>(info.output_scanline) * decoded.width * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return decoded;
}

// The frame number in a 360 x 240 picture of a 176 x 144 index frame.
int FrameIndex(const Decoded& picture) {
    int index = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const int x = ((bit % 4) * 44 + 22) * 360 / 176;
        const int y = ((bit / 4) * 48 + 24) * 240 / 144;
        if (picture.rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3 + 1] > 128)
            index |= 1 << bit;
    }
    return index;
}

class GrabRun : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("grab-test-" + std::to_string(::getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    int Grab(const std::string& clip, int count, std::int32_t startMs = 0) {
        grab::Settings settings;
        settings.videos = {DataPath(clip)};
        settings.outputDirectory = folder_;
        settings.count = count;
        settings.startMs = startMs;
        return grab::Run(settings, output_);
    }
    int Shown(const std::string& name) {
        const Decoded picture = DecodeJpeg(folder_ / (name + ".JPG"));
        EXPECT_EQ(picture.width, 360) << name;
        EXPECT_EQ(picture.height, 240) << name;
        return picture.width == 360 && picture.height == 240 ? FrameIndex(picture) : -1;
    }
    std::size_t FileCount() {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }

    fs::path folder_;
    std::ostringstream output_;
};

TEST(GrabArguments, Parse) {
    const struct {
        std::vector<std::string> arguments;
        bool valid;
        std::int32_t startMs;
        int count;
        bool paced;
    } cases[] = {
        {{"a.mpg", "out"}, true, 0, 100, false},
        {{"--start", "12.345", "--count", "7", "--paced", "a.mpg", "out"}, true, 12345, 7, true},
        {{"a.mpg", "--count", "1", "out"}, true, 0, 1, false},
        {{"a.mpg"}, false, 0, 0, false},
        {{"a.mpg", "out", "extra"}, false, 0, 0, false},
        {{"--count", "0", "a.mpg", "out"}, false, 0, 0, false},
        {{"--count", "2.5", "a.mpg", "out"}, false, 0, 0, false},
        {{"--start", "-1", "a.mpg", "out"}, false, 0, 0, false},
        {{"--start", "a.mpg", "out"}, false, 0, 0, false},
        {{"--loud", "a.mpg", "out"}, false, 0, 0, false},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto settings = grab::ParseArguments(c.arguments, error);
        ASSERT_EQ(settings.has_value(), c.valid) << c.arguments.front();
        if (!settings) {
            EXPECT_NE(error.find("usage: tesselon-grab"), std::string::npos);
            continue;
        }
        EXPECT_EQ(settings->startMs, c.startMs);
        EXPECT_EQ(settings->count, c.count);
        EXPECT_EQ(settings->paced, c.paced);
        EXPECT_EQ(settings->videos, std::vector<fs::path>{"a.mpg"});
        EXPECT_EQ(settings->outputDirectory, "out");
    }
}

TEST_F(GrabRun, CapturesConsecutiveFramesAndLoopsAtTheEnd) {
    ASSERT_EQ(Grab("index.mpg", 60), 0) << output_.str();
    EXPECT_EQ(FileCount(), 60u);
    for (int frame = 0; frame < 50; ++frame)
        EXPECT_EQ(Shown(std::to_string(frame * 40)), frame);
    // After the last frame the batch goes on from frame 0, each frame once;
    // the repeated times get a suffix.
    for (int frame = 0; frame < 10; ++frame)
        EXPECT_EQ(Shown(std::to_string(frame * 40) + "_2"), frame);
    EXPECT_EQ(FileCount(), 60u);
    EXPECT_NE(output_.str().find("wrote 60 of 60 frames, first 0 ms, last 360 ms"),
              std::string::npos)
        << output_.str();
}

TEST_F(GrabRun, StartsAtTheFirstFrameAtOrAfterTheStart) {
    ASSERT_EQ(Grab("index.mp4", 5, 1010), 0) << output_.str();
    for (int frame = 26; frame < 31; ++frame)
        EXPECT_EQ(Shown(std::to_string(frame * 40)), frame);
}

TEST_F(GrabRun, PacedGrabFollowsTheStreamClock) {
    grab::Settings settings;
    settings.videos = {DataPath("index.mp4")};
    settings.outputDirectory = folder_;
    settings.count = 5;
    settings.paced = true;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(grab::Run(settings, output_), 0) << output_.str();
    // The fifth fetch brings frame 5, due 200 ms after the first.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
    for (int frame = 0; frame < 5; ++frame)
        EXPECT_EQ(Shown(std::to_string(frame * 40)), frame);
}

TEST_F(GrabRun, FailuresGiveALineAndANonZeroStatus) {
    EXPECT_EQ(Grab("not_a_video.mpg", 3), 1);
    EXPECT_NE(output_.str().find("not grabbed: invalid data found when processing input"),
              std::string::npos)
        << output_.str();
    output_.str("");
    EXPECT_EQ(Grab("audio_only.wav", 3), 1);
    EXPECT_NE(output_.str().find("not grabbed: no video stream"), std::string::npos);
}

// A folder that cannot be made or written is named once with its cause
// before any frame is decoded: no summary of frames, no failure per frame.
TEST_F(GrabRun, AnOutputFolderThatCannotBeWrittenIsCheckedFirst) {
    fs::create_directories(folder_ / "perVideo");
    std::ofstream(folder_ / "file").close();
    std::ofstream(folder_ / "perVideo" / "index.mp4").close();
    fs::create_directories(folder_ / "readOnly");
    fs::permissions(folder_ / "readOnly", fs::perms::owner_read | fs::perms::owner_exec);
    const bool root = ::geteuid() == 0; // root writes into a read-only folder
    const struct {
        fs::path out;
        bool perVideo;
        const char* cause;
        const char* summary; // "" when nothing is printed: no video is even opened
    } cases[] = {
        {folder_ / "file" / "out", false, "cannot make the folder", ""},
        {folder_ / "file", false, "cannot make the folder", ""},
        {folder_ / "perVideo", true, "cannot make the folder", "not grabbed"},
        {folder_ / "readOnly", false, "cannot write into the folder", ""},
    };
    for (const auto& c : cases) {
        if (root && c.out.filename() == "readOnly")
            continue;
        SCOPED_TRACE(c.out);
        grab::Settings settings;
        settings.videos = {DataPath("index.mp4")};
        settings.outputDirectory = c.out;
        settings.perVideo = c.perVideo;
        settings.count = 2;
        std::ostringstream out, errors;
        EXPECT_EQ(grab::Run(settings, out, errors), 1);
        const fs::path named = c.perVideo ? c.out / "index.mp4" : c.out;
        const std::string message = std::string(c.cause) + " " + named.string() + ": ";
        const std::string text = errors.str();
        EXPECT_NE(text.find(message), std::string::npos) << text;
        EXPECT_EQ(text.find(message), text.rfind(message)) << "said once";
        EXPECT_EQ(text.find("could not write"), std::string::npos) << text;
        EXPECT_EQ(out.str(), std::string(c.summary) + (*c.summary ? "\n" : ""));
    }
}

} // namespace
