// Builds the few Exif fields a saved picture carries into a TIFF structure
// (Exif 2.32, big-endian), as PictureMetadata::exif holds it.
#pragma once

#include <string>

namespace images {

// Empty strings are left out.
struct ExifFields {
    std::string software;           // IFD0 Software
    std::string dateTimeOriginal;   // "YYYY:MM:DD HH:MM:SS"
    std::string subSecTimeOriginal; // the fraction of its second, digits only
    std::string offsetTimeOriginal; // "+hh:mm" or "-hh:mm" from UTC
};

// IFD0 with Software and, when a date is given, a pointer to an Exif IFD
// holding ExifVersion and the date's three fields.
std::string ExifBlock(const ExifFields& fields);

} // namespace images
