// One image to write as a picture file.
#pragma once

#include "images/image_format.h"
#include "picture/picture.h"

#include <cstdint>
#include <filesystem>

namespace images {

// Made on the user-interface thread and owned by the saving worker from the
// moment the worker starts. The pixels are borrowed: the image list or the
// composite buffer keeps them alive, unchanged, while the worker runs.
struct SaveJob {
    // Pixels per row.
    std::uint16_t width = 0;
    // Rows to write: the frame's, or the band's too.
    std::uint16_t height = 0;
    // width × height pixels of 4 bytes (blue, green, red, unused), top row
    // first, row stride width × 4 bytes.
    const std::uint8_t* pixels = nullptr;
    // Full target path; only its file name part was upper-cased.
    std::filesystem::path path;
    // JPEG at quality 75 unless the caller chose otherwise.
    StillFormat format;

    // The first `rows` rows of a picture (none of a null one), to `path`.
    static SaveJob Of(const picture::Picture& picture, int rows, std::filesystem::path path,
                      StillFormat format = {}) {
        return {static_cast<std::uint16_t>(picture.Width()), static_cast<std::uint16_t>(rows),
                picture.Pixels(), std::move(path), format};
    }
};

} // namespace images
