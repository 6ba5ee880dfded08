// Writes a 32-bit picture as a PNG file with libpng: 8-bit RGB, no alpha
// (the unused byte is dropped), straight from the pixels without a BMP.
#pragma once

#include "images/encoder_steps.h"
#include "images/picture_metadata.h"
#include "images/save_job.h"
#include "images/save_result.h"

#include <string>

namespace images {

// Writes job's pixels to job.path, whole or not at all (files::OutputFile):
// any failure leaves the target as it was. A comment, when given, goes into
// an iTXt chunk "Comment" (UTF-8); metadata into an eXIf chunk and an iTXt
// chunk "XML:com.adobe.xmp", before the image data. Reports its rows to
// `steps`. Runs on the calling thread; never throws for a failed write.
SaveResult WritePngFile(const SaveJob& job, const std::string& comment,
                        const PictureMetadata& metadata, EncoderSteps& steps);

} // namespace images
