// tesselon-jpeg: reads a Windows BMP file with BmpReader and writes it as a
// baseline JPEG file with JpegWriter. OUTPUT is written whole or not at all,
// as the program writes every file. With --raw it runs the program's own save
// path on an image buffer instead.
#include "jpeg_options.h"

#include "files/output_file.h"
#include "jpeg/bmp_reader.h"
#include "jpeg/errors.h"
#include "jpeg/jpeg_writer.h"
#include "jpeg/raster_image.h"
#include "options/option_parser.h"

#ifdef TESSELON_JPEG_SAVE_PATH
#include "images/bmp_image_builder.h"
#include "images/save_picture.h"
#include "images/save_progress.h"
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace jpeg;
using jpeg_tool::Options;
using jpeg_tool::UsageError;

constexpr const char* kProgram = "tesselon-jpeg";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = options::kExitUsage;

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
    jpeg_tool::ConfigureWriter(options, writer);
    std::ostringstream stream;
    writer.EncodeImage(stream, image);
    return std::move(stream).str();
}

// OUTPUT is written whole or not at all; "-" is standard output.
void WriteOutput(const fs::path& target, const std::string& bytes) {
    if (const int error = files::WriteWholeFile(target, bytes)) {
        throw std::runtime_error("cannot write " + target.string() + ": " + std::strerror(error));
    }
}

// --raw: the program's own save path, BuildBmpImage then WriteJpegFile.
void SaveImageBuffer(const Options& options) {
#ifdef TESSELON_JPEG_SAVE_PATH
    namespace images = images;
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
    const images::SaveJob job{static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                              reinterpret_cast<const std::uint8_t*>(pixels.data()), options.output, {}};
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
    const images::SaveResult result = images::SaveImage(job);
    if (!result.Written()) {
        throw std::runtime_error(options.output + ": " + result.reason);
    }
#else
    (void)options;
    throw UsageError("--raw is not available: built without the images library");
#endif
}

int Run(int argc, char** argv) {
    const Options options = jpeg_tool::ParseCommandLine({argv + 1, argv + argc});
    if (options.help) {
        std::cout << jpeg_tool::HelpText();
        return 0;
    }
    if (options.version) {
        std::cout << jpeg_tool::VersionText();
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
    files::FailWritesPastTheFileSizeLimit();
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
