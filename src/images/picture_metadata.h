// Metadata carried inside a saved picture: an Exif block and an XMP packet,
// each placed where its format keeps them (JPEG APP1 segments, PNG eXIf and
// iTXt chunks, WebP EXIF and XMP chunks). The picture's coded data is the
// same with them or without.
#pragma once

#include <string>

namespace images {

struct PictureMetadata {
    // A TIFF structure, byte-order mark first; JPEG's "Exif\0\0" is added by
    // its writer. None when empty.
    std::string exif;
    // A whole XMP packet, UTF-8. None when empty.
    std::string xmp;

    bool Empty() const { return exif.empty() && xmp.empty(); }
};

} // namespace images
