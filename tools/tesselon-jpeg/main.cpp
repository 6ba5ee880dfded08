// tesselon-jpeg: reads a Windows BMP file with BmpReader and writes it as a
// baseline JPEG file with JpegWriter. OUTPUT is written whole or not at all,
// as the program writes every file. With --raw it runs the program's own save
// path on an image buffer instead.
#include "files/output_file.h"
#include "jpeg/bmp_reader.h"
#include "jpeg/errors.h"
#include "jpeg/jpeg_writer.h"
#include "jpeg/raster_image.h"

#ifdef TESSELON_JPEG_SAVE_PATH
#include "images/bmp_image_builder.h"
#include "images/jpeg_file_writer.h"
#include "images/save_progress.h"
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace tesselon::jpeg;

constexpr const char* kProgram = "tesselon-jpeg";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kHelp = R"(Usage: tesselon-jpeg [OPTION]... INPUT.bmp OUTPUT.jpg
       tesselon-jpeg --raw WIDTHxHEIGHT [--bmp-out FILE] INPUT.raw OUTPUT.jpg

Writes the Windows BMP image INPUT.bmp as a baseline JPEG (JFIF) file
OUTPUT.jpg. Without options it uses the program's own save settings: colour,
quality 75, three scans of one component each (masks 2,4,8), sampling
factors 1x1 for every component. OUTPUT.jpg is replaced only when the whole
file has been written; on any failure it is left as it was. OUTPUT - writes
to standard output; a device or FIFO is written to, never replaced.

Options:
  --quality N           quality 1 to 100 (default 75); higher keeps more detail
  --scans M0,M1,M2      the component mask of each scan, 1 to 3 values (default
                        2,4,8); bit value 2 is Y, 4 is Cb, 8 is Cr. Every
                        component must be in exactly one scan: 14 is one
                        interleaved scan, 6,8 puts Y and Cb together
  --gray                write Y alone (grayscale); scan 0 must hold Y
  --sampling HxV,HxV,HxV
                        sampling factors (1 to 4) of Y, Cb and Cr, 1 to 3
                        entries (default 1x1,1x1,1x1); 2x2,1x1,1x1 halves the
                        colour resolution both ways
  --comment TEXT        add TEXT as a comment before the fixed one
  --raw WIDTHxHEIGHT    read INPUT as an image buffer instead: 32-bit pixels
                        (blue, green, red, unused), top row first, WIDTH x 4
                        bytes per row; write it exactly as the program saves
                        an image (a BMP built in memory, read back and encoded
                        with the save settings). Takes no encoder options
  --bmp-out FILE        with --raw: also write the in-memory BMP to FILE
  --help                show this help and exit

Exit status: 0 on success, 1 when the image could not be read or written,
2 for a bad command line.
)";

// A bad command line: reported with a pointer to --help.
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
};

std::uint32_t ParseNumber(std::string_view text, std::string_view option) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw UsageError("invalid number '" + std::string(text) + "' for " + std::string(option));
    }
    return value;
}

std::vector<std::string_view> SplitList(std::string_view text, std::string_view option) {
    std::vector<std::string_view> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (items.size() > 3) {
        throw UsageError("at most 3 values for " + std::string(option));
    }
    return items;
}

void ParseScans(std::string_view text, Options& options) {
    options.masks = {0, 0, 0};
    const auto items = SplitList(text, "--scans");
    for (std::size_t index = 0; index < items.size(); ++index) {
        options.masks[index] = ParseNumber(items[index], "--scans");
    }
}

void ParseSampling(std::string_view text, Options& options) {
    options.sampling = {{{1, 1}, {1, 1}, {1, 1}}};
    const auto items = SplitList(text, "--sampling");
    for (std::size_t index = 0; index < items.size(); ++index) {
        const std::size_t cross = items[index].find('x');
        if (cross == std::string_view::npos) {
            throw UsageError("sampling '" + std::string(items[index]) + "' is not HxV");
        }
        options.sampling[index][0] = ParseNumber(items[index].substr(0, cross), "--sampling");
        options.sampling[index][1] = ParseNumber(items[index].substr(cross + 1), "--sampling");
    }
}

// WIDTHxHEIGHT of a --raw image buffer, each 1 to 65535 (16 bits, as a
// SaveJob holds them).
std::array<std::uint32_t, 2> ParseRawSize(std::string_view text) {
    const std::size_t cross = text.find('x');
    if (cross == std::string_view::npos) {
        throw UsageError("size '" + std::string(text) + "' is not WIDTHxHEIGHT");
    }
    const std::uint32_t width = ParseNumber(text.substr(0, cross), "--raw");
    const std::uint32_t height = ParseNumber(text.substr(cross + 1), "--raw");
    if (width == 0 || height == 0 || width > 65535 || height > 65535) {
        throw UsageError("--raw width and height must be 1 to 65535");
    }
    return {width, height};
}

Options ParseCommandLine(int argc, char** argv) {
    Options options;
    std::vector<std::string> files;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        // Options take their value from the next argument or after '='.
        const std::size_t equals = argument.find('=');
        const std::string_view name =
            argument.starts_with("--") ? argument.substr(0, equals) : std::string_view{};
        const auto value = [&]() -> std::string_view {
            if (equals != std::string_view::npos) {
                return argument.substr(equals + 1);
            }
            if (index + 1 >= argc) {
                throw UsageError("missing value for " + std::string(name));
            }
            return argv[++index];
        };
        if (argument == "--help") {
            options.help = true;
        } else if (argument == "--gray") {
            options.grayscale = true;
            options.encoderOptions = true;
        } else if (name == "--quality") {
            options.quality = ParseNumber(value(), name);
            options.encoderOptions = true;
        } else if (name == "--scans") {
            ParseScans(value(), options);
            options.encoderOptions = true;
        } else if (name == "--sampling") {
            ParseSampling(value(), options);
            options.encoderOptions = true;
        } else if (name == "--comment") {
            options.comment = std::string(value());
            options.encoderOptions = true;
        } else if (name == "--raw") {
            options.raw = ParseRawSize(value());
        } else if (name == "--bmp-out") {
            options.bmpOut = std::string(value());
        } else if (argument == "--") {
            for (++index; index < argc; ++index) {
                files.emplace_back(argv[index]);
            }
        } else if (argument.starts_with("-") && argument.size() > 1) {
            throw UsageError("unknown option '" + std::string(argument) + "'");
        } else {
            files.emplace_back(argument);
        }
    }
    if (!options.help) {
        if (files.size() != 2) {
            throw UsageError("expected INPUT.bmp and OUTPUT.jpg");
        }
        options.input = files[0];
        options.output = files[1];
    }
    if (options.bmpOut && !options.raw) {
        throw UsageError("--bmp-out needs --raw");
    }
    if (options.raw && options.encoderOptions) {
        throw UsageError("--raw uses the save settings and takes no encoder options");
    }
    return options;
}

void ReadBmp(const std::string& path, RasterImage& image) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    }
    BmpReader reader;
    reader.Read(stream, image);
}

std::string EncodeJpeg(const Options& options, const RasterImage& image) {
    // The one image has the machine to itself.
    JpegWriter writer;
    writer.SetThreadCount(JpegWriter::AvailableCores());
    writer.SetQuality(options.quality);
    for (std::uint32_t index = 0; index < 3; ++index) {
        writer.SetScan(index, options.masks[index], 0, 0);
        writer.SetHorizontalSampling(index + 1, options.sampling[index][0]);
        writer.SetVerticalSampling(index + 1, options.sampling[index][1]);
    }
    writer.SetGrayscale(options.grayscale);
    if (options.comment) {
        writer.SetComment(*options.comment);
    }
    std::ostringstream stream;
    writer.EncodeImage(stream, image);
    return std::move(stream).str();
}

// OUTPUT is written whole or not at all; "-" is standard output.
void WriteOutput(const fs::path& target, const std::string& bytes) {
    if (const int error = tesselon::files::WriteWholeFile(target, bytes)) {
        throw std::runtime_error("cannot write " + target.string() + ": " + std::strerror(error));
    }
}

// --raw: the program's own save path, BuildBmpImage then WriteJpegFile.
void SaveImageBuffer(const Options& options) {
#ifdef TESSELON_JPEG_SAVE_PATH
    namespace images = tesselon::images;
    std::ifstream stream(options.input, std::ios::binary);
    if (!stream) {
        throw std::runtime_error("cannot open " + options.input + ": " + std::strerror(errno));
    }
    const std::string pixels{std::istreambuf_iterator<char>(stream), {}};
    const auto [width, height] = *options.raw;
    if (pixels.size() != std::uint64_t{width} * height * 4) {
        throw std::runtime_error(options.input + " holds " + std::to_string(pixels.size()) +
                                 " bytes, not " + std::to_string(width) + " x " +
                                 std::to_string(height) + " x 4");
    }
    const images::SaveJob job{static_cast<std::uint16_t>(width),
                              static_cast<std::uint16_t>(height),
                              reinterpret_cast<const std::uint8_t*>(pixels.data()), options.output};
    if (options.bmpOut) {
        // The same BMP the save path builds, for looking at it.
        const images::BmpImage bmp =
            images::BuildBmpImage(job.width, job.height, job.pixels, nullptr, 0);
        if (!bmp) {
            throw std::runtime_error("not enough memory for the BMP image");
        }
        WriteOutput(*options.bmpOut,
                    std::string(reinterpret_cast<const char*>(bmp.block.get()), bmp.size));
    }
    const images::SaveResult result = images::SaveImageAsJpeg(job);
    if (!result.Written()) {
        throw std::runtime_error(options.output + ": " + result.reason);
    }
#else
    (void)options;
    throw std::runtime_error("--raw is not available: built without the images library");
#endif
}

int Run(int argc, char** argv) {
    const Options options = ParseCommandLine(argc, argv);
    if (options.help) {
        std::cout << kHelp;
        return 0;
    }
    if (options.raw) {
        SaveImageBuffer(options);
        return 0;
    }
    RasterImage image;
    ReadBmp(options.input, image);
    WriteOutput(options.output, EncodeJpeg(options, image));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    tesselon::files::FailWritesPastTheFileSizeLimit();
    try {
        return Run(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << kProgram << ": " << error.what() << "\nTry '" << kProgram
                  << " --help' for more information.\n";
        return kExitUsage;
    } catch (const std::exception& error) {
        std::cerr << kProgram << ": " << error.what() << '\n';
    } catch (const EGraphicsAbort& error) {
        std::cerr << kProgram << ": " << error.what() << '\n';
    } catch (...) {
        std::cerr << kProgram << ": unknown failure\n";
    }
    return kExitFailure;
}
