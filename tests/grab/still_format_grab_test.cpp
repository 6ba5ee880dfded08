// Whole grabs of a 16:9 clip in each format: a given width or height keeps
// the shape, the files carry their format's extension and decode to the
// size asked for, and --skip-existing looks for that extension.
#include "grab.h"

#include "images/decoded_jpeg.h"
#include "images/decoded_still.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using images::ImageFormat;

class StillFormatGrab : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("grab-still-" + std::to_string(::getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        clip_ = folder_ / "wide.mp4";
        const std::string command =
            "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi "
            "-i testsrc2=s=320x180:r=25:d=0.2 -c:v mpeg4 -q:v 3 '" +
            clip_.string() + "' 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            GTEST_SKIP() << "the ffmpeg command could not make the clip";
        settings_.videos = {clip_};
        settings_.outputDirectory = folder_ / "out";
        settings_.count = 2;
    }
    void TearDown() override { fs::remove_all(folder_); }

    int Run() {
        std::ostringstream out;
        errors_.str("");
        return grab::Run(settings_, out, errors_);
    }
    std::vector<fs::path> Files() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(settings_.outputDirectory))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    fs::path folder_;
    fs::path clip_;
    grab::Settings settings_;
    std::ostringstream errors_;
};

std::optional<images::testing::DecodedJpeg> Decode(ImageFormat format, const fs::path& path) {
    const auto bytes = images::testing::ReadFileBytes(path);
    if (format == ImageFormat::Png)
        return images::testing::DecodePng(bytes);
    if (format == ImageFormat::Webp)
        return images::testing::DecodeWebp(bytes);
    return images::testing::DecodeJpeg(bytes);
}

TEST_F(StillFormatGrab, OneSideKeepsTheShapeInEveryFormat) {
    const struct {
        const char* size;
        const char* format;
        const char* extension;
        ImageFormat decoder;
    } cases[] = {
        {"640", "jpg", ".JPG", ImageFormat::Jpeg},
        {"x360", "jpg", ".JPG", ImageFormat::Jpeg},
        {"640", "png", ".PNG", ImageFormat::Png},
        {"x360", "webp", ".WEBP", ImageFormat::Webp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.size) + " " + c.format);
        std::string why;
        const auto parsed = grab::ParseArguments(
            {"--size", c.size, "--format", c.format, "--count", "2", "--out",
             (folder_ / "out").string(), clip_.string()},
            why);
        ASSERT_TRUE(parsed) << why;
        settings_ = *parsed;
        fs::remove_all(settings_.outputDirectory);
        ASSERT_EQ(Run(), 0) << errors_.str();
        const auto files = Files();
        ASSERT_EQ(files.size(), 2u);
        for (const fs::path& file : files) {
            EXPECT_EQ(file.extension(), c.extension);
            const auto decoded = Decode(c.decoder, file);
            ASSERT_TRUE(decoded) << file;
            EXPECT_EQ(decoded->width, 640);
            EXPECT_EQ(decoded->height, 360);
        }
    }
}

// A .JPG of the same name is not the PNG that --skip-existing looks for;
// the PNG itself is left as it is.
TEST_F(StillFormatGrab, SkipExistingLooksForTheFormatsExtension) {
    settings_.format = {ImageFormat::Png, 75, false};
    settings_.skipExisting = true;
    ASSERT_EQ(Run(), 0) << errors_.str();
    const auto written = Files();
    ASSERT_EQ(written.size(), 2u);
    for (const fs::path& file : written) {
        fs::path jpeg = file;
        std::ofstream(jpeg.replace_extension(".JPG")) << "not this one";
    }
    std::ofstream(written[0]) << "kept";
    fs::remove(written[1]);
    ASSERT_EQ(Run(), 0) << errors_.str();
    EXPECT_EQ(fs::file_size(written[0]), 4u);
    ASSERT_TRUE(fs::exists(written[1]));
    EXPECT_TRUE(images::testing::DecodePng(images::testing::ReadFileBytes(written[1])));
}

} // namespace
