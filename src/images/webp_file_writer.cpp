#include "images/webp_file_writer.h"

#include "files/output_file.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <memory>
#include <string>

namespace images {
namespace {

// libwebp's lossless presets run from 0 (fastest) to 9 (smallest); its
// default effort is that of 6. On 1920 x 1080 frames 1 takes 0.55 to 0.7 of
// 6's time for a file under 1 % larger; 0 is ten times faster but up to
// twice as large.
constexpr int kLosslessLevel = 1;

// What the encoder's callbacks need. With metadata to add, the encoder's
// file is held whole first, for the mux to rebuild around its image data.
struct WebpSink {
    files::OutputFile* file;
    EncoderSteps* steps;
    std::string* held = nullptr;
};

void Put(files::OutputFile& file, const std::uint8_t* data, std::size_t size) {
    // A failed write is remembered by the file and reported by its commit.
    file.sputn(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

int WriteBytes(const std::uint8_t* data, std::size_t size, const WebPPicture* picture) {
    auto* sink = static_cast<WebpSink*>(picture->custom_ptr);
    if (sink->held != nullptr)
        sink->held->append(reinterpret_cast<const char*>(data), size);
    else
        Put(*sink->file, data, size);
    return 1;
}

struct MuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

WebPData DataOf(const std::string& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// The encoded file with the metadata's chunks added; libwebpmux writes the
// VP8X header and keeps the image chunk's bytes as they are. False when the
// mux refuses.
bool WriteWithMetadata(const std::string& encoded, const PictureMetadata& metadata,
                       files::OutputFile& file) {
    const WebPData image = DataOf(encoded);
    const std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxCreate(&image, 0));
    if (!mux)
        return false;
    const WebPData exif = DataOf(metadata.exif);
    const WebPData xmp = DataOf(metadata.xmp);
    if ((!metadata.exif.empty() && WebPMuxSetChunk(mux.get(), "EXIF", &exif, 0) != WEBP_MUX_OK) ||
        (!metadata.xmp.empty() && WebPMuxSetChunk(mux.get(), "XMP ", &xmp, 0) != WEBP_MUX_OK))
        return false;
    WebPData assembled{};
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK)
        return false;
    Put(file, assembled.bytes, assembled.size);
    WebPDataClear(&assembled);
    return true;
}

int Progressed(int percent, const WebPPicture* picture) {
    static_cast<WebpSink*>(picture->user_data)->steps->Reached(std::clamp(percent, 0, 100), 100);
    return 1;
}

std::string EncodingError(WebPEncodingError error) {
    switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
        return "Not enough memory";
    case VP8_ENC_ERROR_BAD_DIMENSION:
        return "The image is too large for WebP";
    case VP8_ENC_ERROR_FILE_TOO_BIG:
        return "The file would be too large for WebP";
    default:
        return "error " + std::to_string(static_cast<int>(error));
    }
}

bool Configure(const StillFormat& format, WebPConfig& config) {
    if (!WebPConfigInit(&config))
        return false;
    if (format.lossless)
        return WebPConfigLosslessPreset(&config, kLosslessLevel) != 0;
    config.quality = static_cast<float>(std::clamp(format.quality, 0, 100));
    return WebPValidateConfig(&config) != 0;
}

// Owns the picture's buffers once imported.
struct PictureOwner {
    WebPPicture picture;
    ~PictureOwner() { WebPPictureFree(&picture); }
};

} // namespace

SaveResult WriteWebpFile(const SaveJob& job, const PictureMetadata& metadata, EncoderSteps& steps) {
    if (job.width == 0 || job.height == 0 || job.pixels == nullptr)
        return SaveResult::FailedAt(job.path, "The image is empty");
    WebPConfig config;
    PictureOwner owner;
    WebPPicture& picture = owner.picture;
    if (!Configure(job.format, config) || !WebPPictureInit(&picture))
        return SaveResult::FailedAt(job.path, "Could not set up the WebP encoder");
    picture.width = job.width;
    picture.height = job.height;
    // Lossless coding works on ARGB; lossy on YUV, made once at import.
    picture.use_argb = job.format.lossless ? 1 : 0;
    // BGRX: the fourth byte is ignored and every pixel is opaque.
    if (!WebPPictureImportBGRX(&picture, job.pixels, job.width * 4))
        return SaveResult::FailedAt(job.path,
                                    "Could not encode the image: " + EncodingError(picture.error_code));

    // Abandoned on every early return: the target stays as it was.
    files::OutputFile file;
    if (const int error = file.Open(job.path))
        return SaveResult::FailedAt(job.path, "Could not open the file: " + ErrorText(error));
    std::string held;
    WebpSink sink{&file, &steps, metadata.Empty() ? nullptr : &held};
    picture.writer = WriteBytes;
    picture.custom_ptr = &sink;
    picture.progress_hook = Progressed;
    picture.user_data = &sink;
    if (!WebPEncode(&config, &picture))
        return SaveResult::FailedAt(job.path,
                                    "Could not encode the image: " + EncodingError(picture.error_code));
    if (!metadata.Empty() && !WriteWithMetadata(held, metadata, file))
        return SaveResult::FailedAt(job.path, "Could not add the metadata to the WebP file");
    if (const int error = file.Commit())
        return SaveResult::FailedAt(job.path, "Could not write the file: " + ErrorText(error));
    steps.Finish();
    return SaveResult::WrittenTo(job.path);
}

} // namespace images
