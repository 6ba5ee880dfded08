// tesselon-grab --count 100, run as a user runs it, on every clip of the clip
// matrix: 100 JPEG files, each of which libjpeg-turbo decodes at 360 x 240
// showing the clip's colour, and a summary that counts them all.
#include "images/decoded_jpeg.h"
#include "support/clip_matrix.h"
#include "support/shell_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using images::testing::DecodedJpeg;
using images::testing::DecodeJpeg;
using images::testing::ReadFileBytes;
using testing_support::ExpectedMatrixColour;
using testing_support::MatrixClip;
using testing_support::MatrixClipPath;
using testing_support::MatrixClipTest;
using testing_support::MatrixClipTestName;
using testing_support::SelectedMatrixClips;

constexpr int kCount = 100;
// As in the media stream's test, plus the JPEG encoder's own rounding.
constexpr double kColourTolerance = 12;

using Result = testing_support::ShellResult;

Result RunGrab(const fs::path& video, const fs::path& folder) {
    return testing_support::RunShell(std::string("'") + TESSELON_GRAB_PROGRAM +
                                               "' --count " + std::to_string(kCount) + " '" +
                                               video.string() + "' '" + folder.string() + "'");
}

double ColourError(const DecodedJpeg& picture, const std::array<double, 3>& expected) {
    std::array<double, 3> sums{};
    for (std::size_t at = 0; at < picture.rgb.size(); at += 3) {
        for (int channel = 0; channel < 3; ++channel)
            sums[channel] += picture.rgb[at + channel];
    }
    const double count = static_cast<double>(picture.rgb.size() / 3);
    double worst = 0;
    for (int channel = 0; channel < 3; ++channel)
        worst = std::max(worst, std::abs(sums[channel] / count - expected[channel]));
    return worst;
}

class MatrixClipGrab : public MatrixClipTest {
protected:
    void SetUp() override {
        MatrixClipTest::SetUp();
        folder_ = fs::temp_directory_path() /
                  ("grab-matrix-" + std::to_string(::getpid()) + "-" + GetParam().file);
        fs::remove_all(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
};

TEST_P(MatrixClipGrab, WritesAHundredPicturesOfTheClip) {
    const MatrixClip& clip = GetParam();
    const Result result = RunGrab(MatrixClipPath(clip), folder_);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("wrote 100 of 100 frames"), std::string::npos) << result.output;

    int pictures = 0;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        SCOPED_TRACE(entry.path().filename().string());
        ASSERT_EQ(entry.path().extension(), ".JPG");
        const auto picture = DecodeJpeg(ReadFileBytes(entry.path()));
        ASSERT_TRUE(picture.has_value());
        EXPECT_EQ(picture->width, 360);
        EXPECT_EQ(picture->height, 240);
        EXPECT_LE(ColourError(*picture, ExpectedMatrixColour(clip)), kColourTolerance);
        ++pictures;
    }
    EXPECT_EQ(pictures, kCount);
}

INSTANTIATE_TEST_SUITE_P(ClipMatrix, MatrixClipGrab, testing::ValuesIn(SelectedMatrixClips()),
                         MatrixClipTestName);

} // namespace
