// The command lines of the program and both tools, run as processes: one
// table of the GNU conventions they share and of every exit status a line
// can end with. The program runs without a display, so a line that reached
// QApplication would abort instead of answering.
#include "options/version.h"
#include "support/shell_run.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using options::kVersion;
using testing_support::Quoted;
using testing_support::TemporaryFolder;

enum class Program { kJpeg, kGrab, kTesselon };

// The program's path; empty when this build has none.
std::string PathOf(Program program) {
    switch (program) {
    case Program::kJpeg:
        return TESSELON_JPEG_PROGRAM;
#ifdef TESSELON_GRAB_PROGRAM
    case Program::kGrab:
        return TESSELON_GRAB_PROGRAM;
#endif
#ifdef TESSELON_PROGRAM
    case Program::kTesselon:
        // No display: Qt would abort if it were asked to start.
        return std::string("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb ") +
               Quoted(TESSELON_PROGRAM);
#endif
    default:
        return {};
    }
}

struct LineCase {
    const char* name;
    Program program;
    // The arguments, separated by spaces.
    const char* line;
    int status;
    // Text each stream must hold; none: the stream stays empty.
    std::optional<std::string> out;
    std::optional<std::string> errors;
    // A file the run must have written, in its working folder.
    const char* writes = nullptr;
    friend void PrintTo(const LineCase& line, std::ostream* out) { *out << line.name; }
};

struct Finished {
    int status = -1;
    std::string out;
    std::string errors;
};

std::string ReadText(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), {}};
}

// A 1 x 1 24-bit BMP: what tesselon-jpeg needs for a run that writes.
void WriteTinyBmp(const fs::path& path) {
    const std::uint8_t bytes[58] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0,   0, 0,  40,
                                    0,   0,   0,  1, 0, 0, 0, 1, 0, 0, 0,  1,   0, 24, 0,
                                    0,   0,   0,  0, 4, 0, 0, 0, 0, 0, 0,  0,   0, 0,  0,
                                    0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  200, 0};
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), 58);
}

Finished RunIn(const fs::path& folder, const std::string& program, const std::string& line) {
    std::string command = "(cd " + Quoted(folder) + " && " + program;
    std::istringstream words(line);
    for (std::string argument; words >> argument;)
        command += " " + Quoted(argument);
    // In parentheses: RunShell sends the group's standard error to its output.
    command += " >" + Quoted(folder / "stdout.txt") + " 2>" + Quoted(folder / "stderr.txt") + ")";
    Finished run;
    run.status = testing_support::RunShell(command).status;
    run.out = ReadText(folder / "stdout.txt");
    run.errors = ReadText(folder / "stderr.txt");
    return run;
}

void ExpectStream(const std::string& text, const std::optional<std::string>& expected,
                  const char* stream) {
    if (expected)
        EXPECT_NE(text.find(*expected), std::string::npos) << stream << ": " << text;
    else
        EXPECT_EQ(text, "") << stream;
}

class CommandLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLineTest, AnswersWithItsStatusOnTheRightStream) {
    const LineCase& line = GetParam();
    const std::string program = PathOf(line.program);
    if (program.empty())
        GTEST_SKIP() << "not built here";
    TemporaryFolder folder("tesselon-command-line");
    WriteTinyBmp(folder.Path() / "in.bmp");
    WriteTinyBmp(folder.Path() / "--x.bmp");
    const Finished run = RunIn(folder.Path(), program, line.line);
    EXPECT_EQ(run.status, line.status);
    ExpectStream(run.out, line.out, "standard output");
    ExpectStream(run.errors, line.errors, "standard error");
    if (line.writes != nullptr) {
        EXPECT_TRUE(fs::is_regular_file(folder.Path() / line.writes)) << line.writes;
    }
}

// Found in any text: the stream may hold anything.
const std::string kAny;
const std::string kJpegVersion = std::string("tesselon-jpeg (Tesselon) ") + kVersion + "\n";
const std::string kGrabVersion = std::string("tesselon-grab (Tesselon) ") + kVersion + "\n";
const std::string kProgramVersion = std::string("Tesselon ") + kVersion + "\n";
constexpr std::nullopt_t kEmpty = std::nullopt;
constexpr Program kJpeg = Program::kJpeg;
constexpr Program kGrab = Program::kGrab;
constexpr Program kTesselon = Program::kTesselon;

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineTest,
    ::testing::Values(
        // --help and --version: standard output, status 0.
        LineCase{"JpegHelp", kJpeg, "-h", 0, "Usage: tesselon-jpeg", kEmpty},
        LineCase{"JpegVersion", kJpeg, "--version", 0, kJpegVersion, kEmpty},
        LineCase{"GrabHelp", kGrab, "--help", 0, "usage: tesselon-grab", kEmpty},
        LineCase{"GrabVersion", kGrab, "--version", 0, kGrabVersion, kEmpty},
        LineCase{"ProgramHelp", kTesselon, "-h", 0, "Usage: tesselon", kEmpty},
        LineCase{"ProgramVersionAmongQtOptions", kTesselon, "-platform offscreen --vers", 0,
                 kProgramVersion, kEmpty},
        // An unknown option, or a value for an option that takes none: status 2.
        LineCase{"JpegUnknown", kJpeg, "--frobnicate in.bmp out.jpg", 2, kEmpty,
                 "unknown option '--frobnicate'"},
        LineCase{"JpegValueForHelp", kJpeg, "--help=yes", 2, kEmpty, "unknown option '--help=yes'"},
        LineCase{"GrabUnknown", kGrab, "--frobnicate=1 v.mp4 out", 2, kEmpty,
                 "unknown option --frobnicate=1"},
        LineCase{"ProgramUnknown", kTesselon, "--bogus", 2, kEmpty, "unknown option --bogus"},
        // A value missing at the end of the line: status 2.
        LineCase{"JpegMissingValue", kJpeg, "in.bmp out.jpg --quality", 2, kEmpty,
                 "missing value for --quality"},
        LineCase{"GrabMissingValue", kGrab, "v.mp4 out --cou", 2, kEmpty,
                 "--count needs a whole number of frames"},
        // A bad value, in either form: status 2, before any file is read.
        LineCase{"JpegQuality0", kJpeg, "--quality 0 none.bmp out.jpg", 2, kEmpty,
                 "Value out of range"},
        LineCase{"JpegScanTwice", kJpeg, "--scans=6,12 in.bmp out.jpg", 2, kEmpty,
                 "Component in more than one scan"},
        LineCase{"GrabCount0", kGrab, "--count 0 v.mp4 out", 2, kEmpty, "--count needs"},
        LineCase{"GrabCount0WithEquals", kGrab, "--count=0 v.mp4 out", 2, kEmpty, "--count needs"},
        LineCase{"ProgramTwoFiles", kTesselon, "a.mpg b.mpg", 2, kEmpty, "one file at most"},
        // Good lines, and `--` before a file named like an option.
        LineCase{"JpegQualityWithEquals", kJpeg, "--quality=90 in.bmp a.jpg", 0, kEmpty, kEmpty,
                 "a.jpg"},
        LineCase{"JpegFilesAfterDoubleDash", kJpeg, "--gray -- --x.bmp --y.jpg", 0, kEmpty, kEmpty,
                 "--y.jpg"},
        // The video is looked for, so it was taken for one: status 1, no such file.
        LineCase{"GrabVideoAfterDoubleDash", kGrab, "--count=1 --out=shots -- --x.mpg", 1, kAny,
                 "--x.mpg: not grabbed"},
        // A good line reaches QApplication: without a display, status 1 and no core dump.
        LineCase{"ProgramWithoutADisplay", kTesselon, "none.mpg", 1, kEmpty,
                 "could not connect to display"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
