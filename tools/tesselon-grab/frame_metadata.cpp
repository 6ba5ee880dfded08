#include "frame_metadata.h"

#include "capture_time.h"

#include "images/exif_block.h"
#include "options/version.h"

namespace grab {
namespace {

// Text as XML character data or an attribute value.
std::string Escaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string Property(const std::string& name, const std::string& value) {
    return "   <" + name + ">" + Escaped(value) + "</" + name + ">\n";
}

} // namespace

FrameMetadata::FrameMetadata(SourceFacts source)
    : source_(std::move(source))
    , software_(options::VersionText("tesselon-grab")) {
    while (!software_.empty() && software_.back() == '\n')
        software_.pop_back();
}

images::PictureMetadata FrameMetadata::For(const FrameRecord& record) const {
    return {Exif(record), Xmp(record)};
}

std::string FrameMetadata::Exif(const FrameRecord& record) const {
    images::ExifFields fields;
    fields.software = software_;
    if (const auto taken = CaptureTimeOf(source_.creationTime, record.time)) {
        fields.dateTimeOriginal = taken->dateTime;
        fields.subSecTimeOriginal = taken->subSeconds;
        fields.offsetTimeOriginal = taken->offset;
    }
    return images::ExifBlock(fields);
}

// One rdf:Description of simple properties (the plainest XMP form), in a
// packet wrapper that leaves no room for editing in place (the file is
// written once).
std::string FrameMetadata::Xmp(const FrameRecord& record) const {
    const std::string prefix = kXmpPrefix;
    std::string properties =
        Property("dc:source", source_.fileName) + Property("xmp:CreatorTool", software_);
    if (!source_.sha256.empty())
        properties += Property(prefix + ":sourceSha256", source_.sha256);
    if (record.frame)
        properties += Property(prefix + ":frame", std::to_string(*record.frame));
    properties += Property(prefix + ":time", ToString(record.time));
    properties += Property(prefix + ":timeBase", ToString(source_.timeBase));
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
           " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
           "  <rdf:Description rdf:about=\"\"\n"
           "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
           "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
           "    xmlns:" +
           prefix + "=\"" + kXmpNamespace + "\">\n" + properties +
           "  </rdf:Description>\n"
           " </rdf:RDF>\n"
           "</x:xmpmeta>\n"
           "<?xpacket end=\"r\"?>";
}

} // namespace grab
