// tesselon-jpeg run as a separate process on files in a scratch directory.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Result {
    int status = -1;
    std::string output; // stdout and stderr together
};

Result RunProgram(const std::string& arguments) {
    Result result;
    const std::string command =
        std::string("'") + TESSELON_JPEG_PROGRAM + "' " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        result.output += buffer;
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void Put16(Bytes& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& bytes, std::uint32_t value) {
    Put16(bytes, value & 0xFFFF);
    Put16(bytes, value >> 16);
}

// A 24-bit bottom-up BMP with a BITMAPINFOHEADER: a colour gradient.
void WriteBmp(const fs::path& path, std::uint32_t width, std::uint32_t height) {
    const std::uint32_t rowBytes = (width * 3 + 3) & ~3u;
    Bytes bytes = {'B', 'M'};
    Put32(bytes, 54 + rowBytes * height);
    Put32(bytes, 0);
    Put32(bytes, 54);
    Put32(bytes, 40);
    Put32(bytes, width);
    Put32(bytes, height);
    Put16(bytes, 1);
    Put16(bytes, 24);
    for (int field = 0; field < 6; ++field) {
        Put32(bytes, 0);
    }
    for (std::uint32_t row = 0; row < height; ++row) {
        for (std::uint32_t x = 0; x < width; ++x) {
            bytes.push_back(static_cast<std::uint8_t>(x * 255 / width));
            bytes.push_back(static_cast<std::uint8_t>(row * 255 / height));
            bytes.push_back(static_cast<std::uint8_t>(128 + (x + row) % 64));
        }
        bytes.resize(bytes.size() + rowBytes - width * 3, 0);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

struct DecodedInfo {
    bool ok = false;
    long warnings = 0;
    std::uint32_t width = 0, height = 0;
    int components = 0;
};

struct Errors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

DecodedInfo Decode(const Bytes& bytes) {
    jpeg_decompress_struct info{};
    Errors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<Errors*>(common->err)->jump, 1);
    };
    errors.manager.emit_message = [](j_common_ptr common, int level) {
        if (level < 0) {
            ++common->err->num_warnings;
        }
    };
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return DecodedInfo{};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    std::vector<std::uint8_t> row(std::size_t{info.output_width} * info.output_components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW pointer = row.data();
        jpeg_read_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_decompress(&info);
    DecodedInfo decoded{true, errors.manager.num_warnings, info.output_width, info.output_height,
                        info.output_components};
    jpeg_destroy_decompress(&info);
    return decoded;
}

std::size_t CountMarker(const Bytes& bytes, std::uint8_t marker) {
    std::size_t count = 0;
    for (std::size_t index = 0; index + 1 < bytes.size(); ++index) {
        count += bytes[index] == 0xFF && bytes[index + 1] == marker;
    }
    return count;
}

class TesselonJpegCli : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tesselon-cli-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        input = directory / "in.bmp";
        output = directory / "out.jpg";
        WriteBmp(input, 45, 29);
    }
    void TearDown() override { fs::remove_all(directory); }

    std::string Quote(const fs::path& path) const { return "'" + path.string() + "'"; }
    std::size_t FilesInDirectory() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
    }

    fs::path directory;
    fs::path input;
    fs::path output;
};

TEST_F(TesselonJpegCli, DefaultsWriteThreeScansOfAColourImage) {
    const Result result = RunProgram(Quote(input) + " " + Quote(output));
    ASSERT_EQ(result.status, 0) << result.output;
    const Bytes bytes = ReadFile(output);
    const DecodedInfo decoded = Decode(bytes);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.warnings, 0);
    EXPECT_EQ(decoded.width, 45u);
    EXPECT_EQ(decoded.height, 29u);
    EXPECT_EQ(decoded.components, 3);
    EXPECT_EQ(CountMarker(bytes, 0xDA), 3u);
    EXPECT_EQ(FilesInDirectory(), 2u);
}

TEST_F(TesselonJpegCli, OptionsReachTheWriter) {
    Result result = RunProgram("--gray --quality 100 --comment 'hello there' " + Quote(input) +
                               " " + Quote(output));
    ASSERT_EQ(result.status, 0) << result.output;
    Bytes bytes = ReadFile(output);
    EXPECT_EQ(Decode(bytes).components, 1);
    EXPECT_EQ(CountMarker(bytes, 0xFE), 2u);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_LT(text.find("hello there"), text.find("Created using"));

    result = RunProgram("--scans=14 --sampling 2x2,1x1 " + Quote(input) + " " + Quote(output));
    ASSERT_EQ(result.status, 0) << result.output;
    bytes = ReadFile(output);
    EXPECT_EQ(CountMarker(bytes, 0xDA), 1u);
    const DecodedInfo decoded = Decode(bytes);
    EXPECT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.warnings, 0);
}

// Each failure prints the codec's message, exits 1 (or 2 for settings that no
// image can be written with: a bad command line), and leaves an existing
// OUTPUT untouched and no temporary file behind.
struct FailureCase {
    const char* name;
    const char* options;
    bool corruptInput;
    const char* message;
    int status;
};

class TesselonJpegCliFailure : public TesselonJpegCli,
                               public testing::WithParamInterface<FailureCase> {};

TEST_P(TesselonJpegCliFailure, KeepsTheOldOutput) {
    const FailureCase& failure = GetParam();
    if (failure.corruptInput) {
        std::ofstream(input, std::ios::binary) << "PK" << std::string(100, '\x01');
    }
    std::ofstream(output) << "old contents";
    const Result result =
        RunProgram(std::string(failure.options) + " " + Quote(input) + " " + Quote(output));
    EXPECT_EQ(result.status, failure.status);
    EXPECT_NE(result.output.find(failure.message), std::string::npos) << result.output;
    const Bytes kept = ReadFile(output);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "old contents");
    EXPECT_EQ(FilesInDirectory(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TesselonJpegCliFailure,
    testing::Values(FailureCase{"ScanTwice", "--scans 6,12", false,
                                "Component in more than one scan", 2},
                    FailureCase{"Quality0", "--quality 0", false, "Value out of range", 2},
                    FailureCase{"Factor5", "--sampling 5x1", false, "Value out of range", 2},
                    FailureCase{"GrayWithoutY", "--gray --scans 4,10", false,
                                "Grayscale scan 0 does not hold component 1", 2},
                    FailureCase{"NotABmp", "", true, "Not a Windows Bitmap stream", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TesselonJpegCli, MissingInputCreatesNoOutput) {
    const Result result = RunProgram(Quote(directory / "none.bmp") + " " + Quote(output));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("cannot open"), std::string::npos) << result.output;
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(TesselonJpegCli, BadCommandLinesExitWith2) {
    for (const char* arguments : {"", "only-one.bmp", "--quality x a b", "--frobnicate a b",
                                  "--scans 1,2,3,4 a b", "--sampling 2 a b", "--quality"}) {
        const Result result = RunProgram(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_NE(result.output.find("--help"), std::string::npos) << arguments;
    }
}

TEST_F(TesselonJpegCli, HelpExplainsEveryOption) {
    const Result result = RunProgram("--help");
    EXPECT_EQ(result.status, 0);
    for (const char* option : {"--quality", "--scans", "--gray", "--sampling", "--comment", "--raw",
                               "--bmp-out", "-h, --help", "--version"}) {
        EXPECT_NE(result.output.find(option), std::string::npos) << option;
    }
}

} // namespace
