// tesselon-jpeg --raw, run as a separate process: the same bytes as the save
// path in this process, and its refusals.
#include "decoded_jpeg.h"
#include "image_buffers.h"
#include "images/bmp_image_builder.h"
#include "images/save_picture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#ifdef TESSELON_JPEG_PROGRAM

namespace images {
namespace {

namespace fs = std::filesystem;
using testing::PictureBuffer;
using testing::ReadFileBytes;

struct ProgramRun {
    int status = -1;
    std::string output; // stdout and stderr together
};

ProgramRun RunProgram(const std::string& arguments) {
    ProgramRun run;
    const std::string command =
        std::string("'") + TESSELON_JPEG_PROGRAM + "' " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        run.output += buffer;
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class RawMode : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tesselon-raw-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    fs::path WriteBuffer(const std::vector<std::uint8_t>& pixels) const {
        const fs::path path = directory_ / "in.raw";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(pixels.data()),
                   static_cast<std::streamsize>(pixels.size()));
        return path;
    }

    std::string Quoted(const std::string& name) const {
        return "'" + (directory_ / name).string() + "'";
    }

    fs::path directory_;
};

// The program's BMP is the one BuildBmpImage makes here, and its JPEG is
// byte for byte the one SaveImage writes, and decodes close to the
// buffer.
TEST_F(RawMode, WritesWhatTheSavePathWrites) {
    for (const auto& [width, height] : {std::pair{47, 33}, std::pair{360, 256}}) {
        const auto pixels = PictureBuffer(width, height);
        WriteBuffer(pixels);
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        const ProgramRun run = RunProgram("--raw " + size + " --bmp-out " + Quoted("out.bmp") +
                                          " " + Quoted("in.raw") + " " + Quoted("out.jpg"));
        ASSERT_EQ(run.status, 0) << run.output;

        const auto w = static_cast<std::uint16_t>(width);
        const auto h = static_cast<std::uint16_t>(height);
        const BmpImage bmp = BuildBmpImage(w, h, pixels.data(), nullptr, 4);
        ASSERT_TRUE(bmp);
        EXPECT_EQ(ReadFileBytes(directory_ / "out.bmp"),
                  std::vector<std::uint8_t>(bmp.block.get(), bmp.block.get() + bmp.size));
        ASSERT_TRUE(
            SaveImage(SaveJob{w, h, pixels.data(), directory_ / "HERE.JPG", {}}).Written());
        const auto written = ReadFileBytes(directory_ / "out.jpg");
        EXPECT_EQ(written, ReadFileBytes(directory_ / "HERE.JPG")) << size;
        const auto decoded = testing::DecodeJpeg(written);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_GE(testing::PsnrAgainstBuffer(*decoded, pixels), 40.0);
    }
}

struct Refusal {
    const char* arguments; // before INPUT and OUTPUT
    int status;
    const char* message;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.arguments;
}

class RawModeRefusal : public RawMode, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RawModeRefusal, ExitsWithAMessageAndWritesNothing) {
    const Refusal& refusal = GetParam();
    WriteBuffer(PictureBuffer(6, 5));
    const ProgramRun run = RunProgram(std::string(refusal.arguments) + " " + Quoted("in.raw") +
                                      " " + Quoted("out.jpg"));
    EXPECT_EQ(run.status, refusal.status) << run.output;
    EXPECT_NE(run.output.find(refusal.message), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(directory_ / "out.jpg"));
}

INSTANTIATE_TEST_SUITE_P(CommandLines, RawModeRefusal,
                         ::testing::Values(Refusal{"--raw 6x4", 1, "holds 120 bytes"},
                                           Refusal{"--raw 7x5", 1, "holds 120 bytes"},
                                           Refusal{"--raw 0x5", 2, "1 to 65535"},
                                           Refusal{"--raw 65536x1", 2, "1 to 65535"},
                                           Refusal{"--raw 6", 2, "not WIDTHxHEIGHT"},
                                           Refusal{"--raw 6x5 --quality 90", 2,
                                                   "no encoder options"},
                                           Refusal{"--bmp-out x.bmp", 2, "needs --raw"}));

TEST_F(RawMode, UnopenableOutputIsAFailure) {
    WriteBuffer(PictureBuffer(6, 5));
    const ProgramRun run =
        RunProgram("--raw 6x5 " + Quoted("in.raw") + " " + Quoted("in.raw/out.jpg"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("Could not open the file"), std::string::npos) << run.output;
}

} // namespace
} // namespace images

#endif
