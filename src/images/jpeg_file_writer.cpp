#include "images/jpeg_file_writer.h"

#include "files/output_file.h"
#include "jpeg/bmp_reader.h"
#include "jpeg/errors.h"
#include "jpeg/jpeg_writer.h"
#include "jpeg/raster_image.h"

#include <algorithm>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <system_error>
#include <vector>

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
               jpeg::CodecProgressFunction progress, int quality) {
    reader.SetProgressFunction(progress, 0);
    writer.SetProgressFunction(progress, 0);
    writer.SetScan(0, 2, 0, 0);
    writer.SetScan(1, 4, 0, 0);
    writer.SetScan(2, 8, 0, 0);
    writer.SetGrayscale(false);
    // Out of range (below 1) is refused by the encoder, not clamped here.
    writer.SetQuality(static_cast<std::uint32_t>(std::max(quality, 0)));
}

// Each block behind the identifier the Exif and XMP standards give for JPEG
// (APP1 "Exif\0\0" and "http://ns.adobe.com/xap/1.0/\0").
std::vector<std::string> MetadataSegments(const PictureMetadata& metadata) {
    std::vector<std::string> segments;
    if (!metadata.exif.empty())
        segments.push_back(std::string("Exif\0\0", 6) + metadata.exif);
    if (!metadata.xmp.empty())
        segments.push_back(std::string("http://ns.adobe.com/xap/1.0/\0", 29) + metadata.xmp);
    return segments;
}

} // namespace

SaveResult WriteJpegFile(std::span<const std::uint8_t> bmp, const std::filesystem::path& target,
                         jpeg::CodecProgressFunction progress, unsigned encoderThreads,
                         const std::string& comment, int quality, const PictureMetadata& metadata) {
    jpeg::JpegWriter writer;
    writer.SetThreadCount(encoderThreads);
    writer.SetComment(comment.substr(0, jpeg::JpegWriter::kMaximumCommentLength));
    writer.SetApplicationSegments(MetadataSegments(metadata));
    jpeg::BmpReader reader;
    jpeg::RasterImage image;
    if (auto failure = CodecFailure([&] { Configure(reader, writer, progress, quality); })) {
        return SaveResult::FailedAt(target, "Could not set up the JPEG encoder: " + *failure);
    }

    MemoryInput memory(bmp);
    std::istream input(&memory);
    if (auto failure = CodecFailure([&] { reader.Read(input, image); })) {
        return SaveResult::FailedAt(target, "Could not read the image: " + *failure);
    }

    // Abandoned on every early return: the target stays as it was.
    files::OutputFile file;
    if (const int error = file.Open(target)) {
        return SaveResult::FailedAt(target, "Could not open the file: " + ErrorText(error));
    }
    std::ostream output(&file);
    if (auto failure = CodecFailure([&] { writer.EncodeImage(output, image); })) {
        return SaveResult::FailedAt(target, "Could not encode the image: " + *failure);
    }
    if (const int error = file.Commit()) {
        return SaveResult::FailedAt(target, "Could not write the file: " + ErrorText(error));
    }
    return SaveResult::WrittenTo(target);
}

} // namespace images
