#include "images/jpeg_file_writer.h"

#include "images/bmp_image_builder.h"
#include "images/save_progress.h"
#include "files/output_file.h"
#include "jpeg/bmp_reader.h"
#include "jpeg/errors.h"
#include "jpeg/jpeg_writer.h"
#include "jpeg/raster_image.h"

#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <system_error>

namespace images {
namespace {

// A read-only input stream buffer over a block of memory. It has no put area
// and never writes a put-back character into the block.
class MemoryInput : public std::streambuf {
public:
    explicit MemoryInput(std::span<const std::uint8_t> bytes) {
        // The get area is typed char*, but nothing here writes through it.
        char* begin = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
        setg(begin, begin, begin + bytes.size());
    }
};

SaveResult Written(const std::filesystem::path& path) {
    return {SaveResult::Outcome::Written, path, {}};
}

SaveResult Failed(const std::filesystem::path& path, std::string reason) {
    return {SaveResult::Outcome::Failed, path, std::move(reason)};
}

std::string ErrorText(int error) {
    return std::system_category().message(error);
}

// Runs one codec step and turns whatever it throws into a one-line reason.
// EGraphicsAbort must be caught by name: its base is private, so a handler
// for std::exception lets it pass.
template <typename Work> std::optional<std::string> CodecFailure(Work&& work) {
    try {
        work();
        return std::nullopt;
    } catch (const jpeg::EGraphicsAbort& abort) {
        return abort.what();
    } catch (const std::bad_alloc&) {
        return "Not enough memory";
    } catch (const std::exception& exception) {
        return exception.what();
    } catch (...) {
        return "Unknown error";
    }
}

// Both coders report to the same function; one scan per component.
void Configure(jpeg::BmpReader& reader, jpeg::JpegWriter& writer,
               jpeg::CodecProgressFunction progress) {
    reader.SetProgressFunction(progress, 0);
    writer.SetProgressFunction(progress, 0);
    writer.SetScan(0, 2, 0, 0);
    writer.SetScan(1, 4, 0, 0);
    writer.SetScan(2, 8, 0, 0);
    writer.SetGrayscale(false);
}

} // namespace

SaveResult WriteJpegFile(std::span<const std::uint8_t> bmp, const std::filesystem::path& target,
                         jpeg::CodecProgressFunction progress, unsigned encoderThreads,
                         const std::string& comment) {
    jpeg::JpegWriter writer;
    writer.SetThreadCount(encoderThreads);
    writer.SetComment(comment.substr(0, jpeg::JpegWriter::kMaximumCommentLength));
    jpeg::BmpReader reader;
    jpeg::RasterImage image;
    if (auto failure = CodecFailure([&] { Configure(reader, writer, progress); })) {
        return Failed(target, "Could not set up the JPEG encoder: " + *failure);
    }

    MemoryInput memory(bmp);
    std::istream input(&memory);
    if (auto failure = CodecFailure([&] { reader.Read(input, image); })) {
        return Failed(target, "Could not read the image: " + *failure);
    }

    // Abandoned on every early return: the target stays as it was.
    files::OutputFile file;
    if (const int error = file.Open(target)) {
        return Failed(target, "Could not open the file: " + ErrorText(error));
    }
    std::ostream output(&file);
    if (auto failure = CodecFailure([&] { writer.EncodeImage(output, image); })) {
        return Failed(target, "Could not encode the image: " + *failure);
    }
    if (const int error = file.Commit()) {
        return Failed(target, "Could not write the file: " + ErrorText(error));
    }
    return Written(target);
}

SaveResult SavePictureAsJpeg(const SaveJob& job, const SaveSettings& settings) {
    if (job.width == 0 || job.height == 0 || job.pixels == nullptr) {
        return Failed(job.path, "The image is empty");
    }
    const BmpImage bmp = BuildBmpImage(job.width, job.height, job.pixels, settings.bmpProgress,
                                       kBmpProgressSteps);
    if (!bmp) {
        return Failed(job.path, "Not enough memory to build the image");
    }
    return WriteJpegFile(bmp.Bytes(), job.path, settings.codecProgress, settings.encoderThreads,
                         settings.comment);
}

SaveResult SaveImageAsJpeg(const SaveJob& job) {
    return SavePictureAsJpeg(job, {StepBmpProgress, StepCodecProgress,
                                   jpeg::JpegWriter::AvailableCores(), {}});
}

} // namespace images
