#include "images/image_format.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace images {

std::string_view FileExtension(ImageFormat format) {
    switch (format) {
    case ImageFormat::Png:
        return ".PNG";
    case ImageFormat::Webp:
        return ".WEBP";
    case ImageFormat::Jpeg:
        break;
    }
    return ".JPG";
}

std::optional<ImageFormat> FormatOfPath(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".jpg" || extension == ".jpeg" || extension == ".jpe")
        return ImageFormat::Jpeg;
    if (extension == ".png")
        return ImageFormat::Png;
    if (extension == ".webp")
        return ImageFormat::Webp;
    return std::nullopt;
}

} // namespace images
