// The still-picture formats a picture can be saved in, and the settings that
// go with each.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace images {

enum class ImageFormat { Jpeg, Png, Webp };

// How a picture is written. JPEG uses our encoder at `quality` (1 to 100, its
// own scale); WebP is lossless, or lossy at `quality` (0 to 100); PNG ignores
// both: it is always lossless, 8 bits a channel, without alpha.
struct StillFormat {
    ImageFormat format = ImageFormat::Jpeg;
    int quality = 75;
    bool lossless = false;

    bool operator==(const StillFormat&) const = default;
};

// The extension the program gives its files of a format, upper-case as the
// whole name the system makes is: ".JPG", ".PNG", ".WEBP".
std::string_view FileExtension(ImageFormat format);

// The format a file name's extension names, whatever its case (.jpg, .jpeg,
// .jpe, .png, .webp); none for any other.
std::optional<ImageFormat> FormatOfPath(const std::filesystem::path& path);

} // namespace images
