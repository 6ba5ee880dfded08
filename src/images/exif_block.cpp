#include "images/exif_block.h"

#include <cstdint>
#include <vector>

namespace images {
namespace {

// TIFF 6.0, section 2: field types.
constexpr std::uint16_t kAscii = 2;
constexpr std::uint16_t kLong = 4;
constexpr std::uint16_t kUndefined = 7;

// Tags, TIFF 6.0 and Exif 2.32 section 4.6.
constexpr std::uint16_t kSoftware = 0x0131;
constexpr std::uint16_t kExifIfdPointer = 0x8769;
constexpr std::uint16_t kExifVersion = 0x9000;
constexpr std::uint16_t kDateTimeOriginal = 0x9003;
constexpr std::uint16_t kOffsetTimeOriginal = 0x9011;
constexpr std::uint16_t kSubSecTimeOriginal = 0x9291;

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::string value; // its bytes; the count follows from the type
};

Entry Ascii(std::uint16_t tag, const std::string& text) {
    return {tag, kAscii, text + '\0'};
}

void PutWord(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value >> 8 & 0xff);
    out += static_cast<char>(value & 0xff);
}

void PutLong(std::string& out, std::uint32_t value) {
    PutWord(out, value >> 16);
    PutWord(out, value & 0xffff);
}

std::string LongValue(std::uint32_t value) {
    std::string bytes;
    PutLong(bytes, value);
    return bytes;
}

// 2 for the count, 12 per entry, 4 for the next IFD's offset.
std::size_t IfdSize(std::size_t entries) {
    return 2 + 12 * entries + 4;
}

// Bytes of values that fit in no entry, each on a word boundary.
std::size_t DataSize(const std::vector<Entry>& entries) {
    std::size_t size = 0;
    for (const Entry& entry : entries)
        if (entry.value.size() > 4)
            size += (entry.value.size() + 1) / 2 * 2;
    return size;
}

// One IFD at `offset` from the TIFF header, its long values right after it,
// entries in ascending tag order as TIFF requires; no next IFD.
std::string Ifd(const std::vector<Entry>& entries, std::uint32_t offset) {
    std::string ifd;
    std::string data;
    std::uint32_t dataOffset = offset + static_cast<std::uint32_t>(IfdSize(entries.size()));
    PutWord(ifd, static_cast<std::uint32_t>(entries.size()));
    for (const Entry& entry : entries) {
        PutWord(ifd, entry.tag);
        PutWord(ifd, entry.type);
        const std::size_t unit = entry.type == kLong ? 4 : 1;
        PutLong(ifd, static_cast<std::uint32_t>(entry.value.size() / unit));
        if (entry.value.size() <= 4) {
            ifd += entry.value + std::string(4 - entry.value.size(), '\0');
            continue;
        }
        PutLong(ifd, dataOffset + static_cast<std::uint32_t>(data.size()));
        data += entry.value;
        if (data.size() % 2 != 0)
            data += '\0';
    }
    PutLong(ifd, 0);
    return ifd + data;
}

} // namespace

std::string ExifBlock(const ExifFields& fields) {
    std::vector<Entry> exif;
    if (!fields.dateTimeOriginal.empty()) {
        exif.push_back({kExifVersion, kUndefined, "0232"});
        exif.push_back(Ascii(kDateTimeOriginal, fields.dateTimeOriginal));
        if (!fields.offsetTimeOriginal.empty())
            exif.push_back(Ascii(kOffsetTimeOriginal, fields.offsetTimeOriginal));
        if (!fields.subSecTimeOriginal.empty())
            exif.push_back(Ascii(kSubSecTimeOriginal, fields.subSecTimeOriginal));
    }
    std::vector<Entry> first;
    if (!fields.software.empty())
        first.push_back(Ascii(kSoftware, fields.software));
    // TIFF 6.0 section 2: the byte order, 42, and IFD0 right after, at 8.
    constexpr std::uint32_t kFirstIfd = 8;
    const std::uint32_t exifOffset =
        kFirstIfd + static_cast<std::uint32_t>(IfdSize(first.size() + 1) + DataSize(first));
    if (!exif.empty())
        first.push_back({kExifIfdPointer, kLong, LongValue(exifOffset)});
    std::string tiff = "MM";
    PutWord(tiff, 42);
    PutLong(tiff, kFirstIfd);
    tiff += Ifd(first, kFirstIfd);
    if (!exif.empty())
        tiff += Ifd(exif, exifOffset);
    return tiff;
}

} // namespace images
