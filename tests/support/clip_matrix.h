// The clip matrix of tests/data/clip-matrix.txt: clips of every size, pixel
// format, frame count and codec the playback path must handle, made at test
// time by tests/data/make-clip-matrix.sh into TESSELON_CLIP_MATRIX. With
// TESSELON_CLIP_MATRIX_SUBSET set (and not "0") only the clips marked for the
// memory check are listed.
#pragma once

#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

namespace testing_support {

// The colour every clip shows, red, green, blue (made with a little noise).
inline constexpr std::array<double, 3> kMatrixColour = {0x30, 0x80, 0xC0};

struct MatrixClip {
    std::string file;
    int width = 0;
    int height = 0;
    std::string pixelFormat; // the format the encoder was given
    int frames = 0;
    int framesPerSecond = 0;
    bool inMemorySubset = false;
};

inline void PrintTo(const MatrixClip& clip, std::ostream* out) {
    *out << clip.file;
}

inline std::vector<MatrixClip> ReadClipMatrix(const std::filesystem::path& table) {
    std::vector<MatrixClip> clips;
    std::ifstream in(table);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        MatrixClip clip;
        std::string size;
        std::string sound;
        std::string subset;
        if (!(fields >> clip.file) || clip.file.front() == '#')
            continue;
        char times = 0;
        fields >> size >> clip.pixelFormat >> clip.frames >> clip.framesPerSecond >> sound >>
            subset;
        std::istringstream(size) >> clip.width >> times >> clip.height;
        clip.inMemorySubset = subset == "memory";
        clips.push_back(clip);
    }
    return clips;
}

// What the clip shows on average: its colour, or for a gray clip that
// colour's luma (BT.601 weights) in every channel.
inline std::array<double, 3> ExpectedMatrixColour(const MatrixClip& clip) {
    if (clip.pixelFormat != "gray")
        return kMatrixColour;
    const double luma =
        0.299 * kMatrixColour[0] + 0.587 * kMatrixColour[1] + 0.114 * kMatrixColour[2];
    return {luma, luma, luma};
}

inline bool MatrixSubsetOnly() {
    const char* subset = std::getenv("TESSELON_CLIP_MATRIX_SUBSET");
    return subset != nullptr && *subset != '\0' && std::string(subset) != "0";
}

// The clips to play: every row, or only the subset.
inline std::vector<MatrixClip> SelectedMatrixClips() {
    std::vector<MatrixClip> selected;
    for (const MatrixClip& clip :
         ReadClipMatrix(std::filesystem::path(TESSELON_TEST_DATA) / "clip-matrix.txt")) {
        if (clip.inMemorySubset || !MatrixSubsetOnly())
            selected.push_back(clip);
    }
    return selected;
}

inline bool FfmpegOnPath() {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && ::access((folder + "/ffmpeg").c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

inline std::filesystem::path MatrixClipPath(const MatrixClip& clip) {
    return std::filesystem::path(TESSELON_CLIP_MATRIX) / clip.file;
}

// "raw_pal8_7x5_1f.avi" becomes "raw_pal8_7x5_1f_avi".
inline std::string MatrixClipTestName(const ::testing::TestParamInfo<MatrixClip>& info) {
    std::string name = info.param.file;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

// A test of one clip. Skips when the clip could not be made for want of the
// ffmpeg command; fails when ffmpeg is there but the clip is not (the set-up
// test that makes the matrix did not run).
class MatrixClipTest : public ::testing::TestWithParam<MatrixClip> {
protected:
    void SetUp() override {
        if (std::filesystem::exists(MatrixClipPath(GetParam())))
            return;
        if (!FfmpegOnPath())
            GTEST_SKIP() << "no ffmpeg command to make the clip matrix";
        FAIL() << MatrixClipPath(GetParam())
               << " is missing: run tests/data/make-clip-matrix.sh " TESSELON_CLIP_MATRIX;
    }
};

} // namespace testing_support
