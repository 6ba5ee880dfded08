// Writes a 32-bit picture as a WebP file with libwebp, lossless or lossy, from
// the pixels themselves without a BMP. The unused byte never becomes alpha.
#pragma once

#include "images/encoder_steps.h"
#include "images/picture_metadata.h"
#include "images/save_job.h"
#include "images/save_result.h"

namespace images {

// Writes job's pixels to job.path, lossless when job.format.lossless, else
// lossy at job.format.quality (0 to 100), whole or not at all
// (files::OutputFile): any failure leaves the target as it was. Metadata, when
// given, goes into EXIF and XMP chunks of an extended file (VP8X) around the
// same image data. Reports the encoder's progress to `steps`. Runs on the
// calling thread.
SaveResult WriteWebpFile(const SaveJob& job, const PictureMetadata& metadata, EncoderSteps& steps);

} // namespace images
