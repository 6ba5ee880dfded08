// What the pictures of one video carry with --metadata: Exif with the
// program's name and version and, when the file says when it was made, the
// moment each frame was filmed; XMP with the source's name and SHA-256 and
// the frame's number, exact time and the stream's time base.
#pragma once

#include "fraction.h"
#include "grab_report.h"
#include "images/picture_metadata.h"

#include <string>

namespace grab {

// XMP namespace of the frame's own fields; dc:source and xmp:CreatorTool
// carry the file's name and the program.
inline constexpr char kXmpNamespace[] = "https://tesselon.example/ns/grab/1.0/";
inline constexpr char kXmpPrefix[] = "tesselon";

// What every frame of one video shares.
struct SourceFacts {
    std::string fileName;
    std::string sha256;       // lower-case hex; left out when empty
    std::string creationTime; // the container's, ISO 8601; none when empty
    Fraction timeBase;        // of the video stream
};

class FrameMetadata {
public:
    explicit FrameMetadata(SourceFacts source);

    // The blocks for the frame the record describes (its time and number).
    images::PictureMetadata For(const FrameRecord& record) const;

private:
    std::string Exif(const FrameRecord& record) const;
    std::string Xmp(const FrameRecord& record) const;

    SourceFacts source_;
    std::string software_;
};

} // namespace grab
