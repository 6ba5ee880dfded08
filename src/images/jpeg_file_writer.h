// Writes one in-memory BMP as a baseline JPEG file, and the whole save path
// of one image buffer (BMP building, then the file).
#pragma once

#include "images/save_job.h"
#include "jpeg/raster_coder.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace tesselon::images {

// What became of one save. Written means the whole file is on disk as far as
// the system can tell (every write and the close succeeded); anything else
// is Failed, with a one-line reason for the user, and no file of this save
// is left behind.
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
// quality 75; both coders report to `progress` with user value 0. The BMP is
// read before the target is touched, so a BMP the reader refuses changes
// nothing. The target is created or truncated with the default permissions.
// When the target cannot be opened nothing is changed; when the encoder
// fails or a write or the close fails (a full disk), the file is removed if
// it is a regular file that this call created or truncated. Never throws for
// those failures. Runs on the calling thread, and the encoder on
// `encoderThreads` threads in all (the file is the same at any count); `bmp`
// is only read. A comment, when given, goes into a comment segment of its own
// before the encoder's.
SaveResult WriteJpegFile(std::span<const std::uint8_t> bmp, const std::filesystem::path& target,
                         jpeg::CodecProgressFunction progress, unsigned encoderThreads = 1,
                         const std::string& comment = {});

// The save path of one job, as the saving workers run it: BuildBmpImage with
// StepBmpProgress and 4 steps, then WriteJpegFile with StepCodecProgress and
// an encoder on every core (the user waits for this one image); the BMP block
// is freed before returning. An empty job, or one whose BMP
// cannot be allocated, fails with nothing written.
SaveResult SaveImageAsJpeg(const SaveJob& job);

} // namespace tesselon::images
