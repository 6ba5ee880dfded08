#include "images/save_picture.h"

#include "images/encoder_steps.h"
#include "images/jpeg_file_writer.h"
#include "images/png_file_writer.h"
#include "images/save_progress.h"
#include "images/webp_file_writer.h"
#include "jpeg/jpeg_writer.h"

namespace images {
namespace {

SaveResult SaveJpeg(const SaveJob& job, const SaveSettings& settings) {
    const BmpImage bmp = BuildBmpImage(job.width, job.height, job.pixels, settings.bmpProgress,
                                       kBmpProgressSteps);
    if (!bmp)
        return SaveResult::FailedAt(job.path, "Not enough memory to build the image");
    return WriteJpegFile(bmp.Bytes(), job.path, settings.codecProgress, settings.encoderThreads,
                         settings.comment, job.format.quality, settings.metadata);
}

} // namespace

SaveResult SavePicture(const SaveJob& job, const SaveSettings& settings) {
    if (job.width == 0 || job.height == 0 || job.pixels == nullptr)
        return SaveResult::FailedAt(job.path, "The image is empty");
    switch (job.format.format) {
    case ImageFormat::Png: {
        EncoderSteps steps(settings.bmpProgress, kSaveProgressSteps);
        return WritePngFile(job, settings.comment, settings.metadata, steps);
    }
    case ImageFormat::Webp: {
        EncoderSteps steps(settings.bmpProgress, kSaveProgressSteps);
        return WriteWebpFile(job, settings.metadata, steps);
    }
    case ImageFormat::Jpeg:
        break;
    }
    return SaveJpeg(job, settings);
}

SaveResult SaveImage(const SaveJob& job) {
    return SavePicture(job, {StepBmpProgress, StepCodecProgress,
                             jpeg::JpegWriter::AvailableCores(), {}, {}});
}

} // namespace images
