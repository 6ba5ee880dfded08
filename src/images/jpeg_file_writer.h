// Writes one in-memory BMP as a baseline JPEG file, and the whole save path
// of one picture (BMP building, then the file).
#pragma once

#include "images/bmp_image_builder.h"
#include "images/save_job.h"
#include "jpeg/raster_coder.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace images {

// What became of one save. Written means the whole file is in place as far
// as the system can tell (every write, the close and the rename succeeded);
// anything else is Failed, with a one-line reason for the user, and the
// target as it was before.
struct SaveResult {
    enum class Outcome { Written, Failed };

    Outcome outcome = Outcome::Failed;
    std::filesystem::path path;
    // Empty when written; otherwise one line, without the path.
    std::string reason;

    bool Written() const { return outcome == Outcome::Written; }
};

// Reads the BMP file image in `bmp` with BmpReader and writes it to `target`
// with JpegWriter: three scans of one component each (masks 2, 4, 8), colour,
// quality 75; both coders report to `progress` with user value 0. The file is
// written whole or not at all (files::OutputFile): a BMP the reader refuses,
// an encoder failure or a failed write (a full disk) leaves the target as it
// was and no temporary file behind. Never throws for those failures. Runs on
// the calling thread, and the encoder on `encoderThreads` threads in all (the
// file is the same at any count); `bmp` is only read. A comment, when given,
// goes into a comment segment of its own before the encoder's.
SaveResult WriteJpegFile(std::span<const std::uint8_t> bmp, const std::filesystem::path& target,
                         jpeg::CodecProgressFunction progress, unsigned encoderThreads = 1,
                         const std::string& comment = {});

// How one picture is saved: who hears of the progress, on how many threads
// the encoder runs, and the comment segment's text (none when empty).
struct SaveSettings {
    BmpStepFunction bmpProgress = nullptr;
    jpeg::CodecProgressFunction codecProgress = nullptr;
    unsigned encoderThreads = 1;
    std::string comment;
};

// The save path of one picture, for every writer of the project: BuildBmpImage
// with kBmpProgressSteps steps, then WriteJpegFile; the BMP block is freed
// before returning. An empty job, or one whose BMP cannot be allocated, fails
// with nothing written.
SaveResult SavePictureAsJpeg(const SaveJob& job, const SaveSettings& settings);

// The saving workers' settings: StepBmpProgress, StepCodecProgress and an
// encoder on every core (the user waits for this one image).
SaveResult SaveImageAsJpeg(const SaveJob& job);

} // namespace images
