// Writes one in-memory BMP as a baseline JPEG file with our encoder.
#pragma once

#include "images/picture_metadata.h"
#include "images/save_result.h"
#include "jpeg/jpeg_writer.h"
#include "jpeg/raster_coder.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace images {

// Reads the BMP file image in `bmp` with BmpReader and writes it to `target`
// with JpegWriter: three scans of one component each (masks 2, 4, 8), colour,
// `quality` (1 to 100; 75 by default); both coders report to `progress` with
// user value 0. The file is written whole or not at all (files::OutputFile): a BMP the reader refuses,
// an encoder failure or a failed write (a full disk) leaves the target as it
// was and no temporary file behind. Never throws for those failures. Runs on
// the calling thread, and the encoder on `encoderThreads` threads in all (the
// file is the same at any count); `bmp` is only read. A comment, when given,
// goes into a comment segment of its own before the encoder's. Metadata goes
// into APP1 segments after the JFIF header: Exif, then XMP.
SaveResult WriteJpegFile(std::span<const std::uint8_t> bmp, const std::filesystem::path& target,
                         jpeg::CodecProgressFunction progress, unsigned encoderThreads = 1,
                         const std::string& comment = {},
                         int quality = jpeg::JpegWriter::kDefaultQuality,
                         const PictureMetadata& metadata = {});

} // namespace images
