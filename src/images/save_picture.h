// The save path of one picture, for every writer of the project, in the
// format its job asks for: JPEG through a BMP and our encoder, PNG and WebP
// straight from the pixels.
#pragma once

#include "images/bmp_image_builder.h"
#include "images/picture_metadata.h"
#include "images/save_job.h"
#include "images/save_result.h"
#include "jpeg/raster_coder.h"

#include <string>

namespace images {

// How one picture is saved: who hears of the progress, on how many threads
// the JPEG encoder runs, the comment (none when empty) and the metadata.
struct SaveSettings {
    // JPEG: called at the BMP's steps. PNG, WebP: kSaveProgressSteps times
    // over the encoding, as far as it has come.
    BmpStepFunction bmpProgress = nullptr;
    // JPEG only: the codec's passes.
    jpeg::CodecProgressFunction codecProgress = nullptr;
    unsigned encoderThreads = 1;
    // JPEG: a comment segment; PNG: an iTXt chunk "Comment"; WebP: none.
    std::string comment;
    // Every format; none when empty.
    PictureMetadata metadata;
};

// Writes job.pixels to job.path as job.format says. JPEG: BuildBmpImage with
// kBmpProgressSteps steps, then WriteJpegFile at job.format.quality, the BMP
// block freed before returning. PNG: WritePngFile; WebP: WriteWebpFile. An
// empty job, or one whose buffers cannot be allocated, fails with nothing
// written; any failure leaves the target as it was.
SaveResult SavePicture(const SaveJob& job, const SaveSettings& settings);

// The saving workers' settings: StepBmpProgress, StepCodecProgress and a JPEG
// encoder on every core (the user waits for this one image).
SaveResult SaveImage(const SaveJob& job);

} // namespace images
