// The command line of tesselon-jpeg: the encoder's settings, or --raw for the
// program's own save path, and the input and output files. A line is refused
// with UsageError before any file is read, settings the codec cannot write
// with included.
#pragma once

#include "jpeg/jpeg_writer.h"

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace jpeg_tool {

// A bad command line: reported with a pointer to --help, exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::uint32_t quality = 75;
    std::array<std::uint32_t, 3> masks = {2, 4, 8};
    bool grayscale = false;
    std::array<std::array<std::uint32_t, 2>, 3> sampling = {{{1, 1}, {1, 1}, {1, 1}}};
    std::optional<std::string> comment;
    // Any of --quality, --scans, --gray, --sampling, --comment was given.
    bool encoderOptions = false;
    // --raw: width and height of the image buffer in INPUT.
    std::optional<std::array<std::uint32_t, 2>> raw;
    std::optional<std::string> bmpOut;
    std::string input;
    std::string output;
    bool help = false;
    bool version = false;

    bool operator==(const Options&) const = default;
};

// `arguments` is the command line without the program's name. Throws
// UsageError.
Options ParseCommandLine(const std::vector<std::string>& arguments);

// Gives `writer` the settings of `options`. Throws the codec's EJpegError for
// a setting it refuses at once (a sampling factor of 5).
void ConfigureWriter(const Options& options, jpeg::JpegWriter& writer);

// The texts of --help and --version.
const char* HelpText();
std::string VersionText();

} // namespace jpeg_tool
