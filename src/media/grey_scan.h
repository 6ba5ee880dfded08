// A small grey copy of every frame of a video, decoded in order on the
// calling thread: the luma, scaled down with an averaging filter and never
// converted to 32 bits. For measures of how a video changes from frame to
// frame, which need every frame and little of each.
#pragma once

#include "media/pacing_clock.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace media {

// One frame's grey copy, valid during the call that hands it over.
struct GreyFrame {
    // As MediaStream times its frames: 0 is the first frame of the file.
    StreamTime time = 0;
    int width = 0;
    int height = 0;
    // width x height bytes, rows one after another, 0 black to 255 white.
    std::span<const std::uint8_t> pixels;
};

// Decodes the video stream of the file at path (the one a MediaStream plays)
// from its first frame to its last, and hands each frame's grey copy, width
// pixels wide and as high as the stored picture's shape makes it (1 at
// least), to onFrame in presentation order, until onFrame returns false.
// The copies are not turned as the file asks: a measure of change does not
// care. Empty when every frame was handed over or onFrame stopped the scan;
// otherwise why the video could not be read.
std::string ScanGreyFrames(const std::filesystem::path& path, int width,
                           const std::function<bool(const GreyFrame&)>& onFrame);

} // namespace media
