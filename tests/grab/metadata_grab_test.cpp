// Grabs with --metadata in each format, read back by walking the file as its
// format defines it (JPEG marker segments, PNG chunks, RIFF chunks), Exif by
// its TIFF structure and XMP with Qt's XML reader: the frame's date is the
// clip's creation time plus its time, the XMP names the clip, its SHA-256,
// the frame's number and time, and the coded picture is the same as without
// --metadata.
#include "grab.h"
#include "options/version.h"

#include "images/decoded_jpeg.h"
#include "support/sha256.h"
#include "support/shell_run.h"
#include "support/temporary_folder.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using images::ImageFormat;

constexpr char kNamespace[] = "https://tesselon.example/ns/grab/1.0/";
const std::string kExifId("Exif\0\0", 6);
const std::string kXmpId("http://ns.adobe.com/xap/1.0/\0", 29);
const std::string kXmpKeyword("XML:com.adobe.xmp\0", 18);

std::uint32_t Number(const std::string& bytes, std::size_t at, int size, bool bigEndian) {
    std::uint32_t value = 0;
    for (int i = 0; i < size && at + i < bytes.size(); ++i)
        value |= std::uint32_t(std::uint8_t(bytes[at + i])) << 8 * (bigEndian ? size - 1 - i : i);
    return value;
}

// One marker segment, chunk or header of a file: its type, its data and all
// its bytes.
struct Piece {
    std::string type;
    std::string data;
    std::string bytes;
};

// JPEG (T.81 B.1.1.4): segments up to the first scan, then the rest whole.
// PNG: the signature, then chunks of length, type, data and CRC. WebP: the
// RIFF header, then chunks of type, length and data padded to even.
std::vector<Piece> Pieces(ImageFormat format, const std::string& file) {
    const bool jpeg = format == ImageFormat::Jpeg, png = format == ImageFormat::Png;
    std::size_t at = jpeg ? 2 : png ? 8 : 12;
    std::vector<Piece> pieces{{"header", "", file.substr(0, at)}};
    while (at + 8 <= file.size()) {
        Piece piece;
        std::size_t size = 0;
        if (jpeg) {
            piece.type = std::string(1, file[at + 1]);
            size = piece.type == "\xda" ? file.size() - at : 2 + Number(file, at + 2, 2, true);
            piece.data = file.substr(at + 4, size - 4);
        } else if (png) {
            piece.type = file.substr(at + 4, 4);
            piece.data = file.substr(at + 8, Number(file, at, 4, true));
            size = piece.data.size() + 12;
        } else {
            piece.type = file.substr(at, 4);
            piece.data = file.substr(at + 8, Number(file, at + 4, 4, false));
            size = 8 + (piece.data.size() + 1) / 2 * 2;
        }
        piece.bytes = file.substr(at, size);
        pieces.push_back(std::move(piece));
        at += size;
    }
    return pieces;
}

// PNG's iTXt (section 11.3.4.5): keyword, flag, method, language, translated
// keyword, text.
std::string ItxtText(const std::string& data) {
    std::size_t at = data.find('\0') + 3;
    at = data.find('\0', at) + 1;
    return data.substr(data.find('\0', at) + 1);
}

struct Blocks {
    std::string exif;
    std::string xmp;
    std::string coded; // the file without them
};

// PNG's metadata counts only before the image data: a chunk repeated after
// it stays in the coded data, and so fails the comparison.
Blocks Read(ImageFormat format, const std::string& file) {
    Blocks blocks;
    bool imageData = false;
    for (const Piece& piece : Pieces(format, file)) {
        imageData = imageData || piece.type == "IDAT";
        if (format == ImageFormat::Jpeg && piece.type == "\xe1" && piece.data.starts_with(kExifId))
            blocks.exif = piece.data.substr(kExifId.size());
        else if (format == ImageFormat::Jpeg && piece.type == "\xe1" &&
                 piece.data.starts_with(kXmpId))
            blocks.xmp = piece.data.substr(kXmpId.size());
        else if (!imageData && (piece.type == "eXIf" || piece.type == "EXIF"))
            blocks.exif = piece.data;
        else if (piece.type == "XMP ")
            blocks.xmp = piece.data;
        else if (!imageData && piece.type == "iTXt" && piece.data.starts_with(kXmpKeyword))
            blocks.xmp = ItxtText(piece.data);
        else if (format != ImageFormat::Webp || piece.type == "VP8 " || piece.type == "VP8L")
            blocks.coded += piece.bytes; // WebP: the image chunk alone, its container is rebuilt
    }
    return blocks;
}

std::uint32_t TiffNumber(const std::string& tiff, std::size_t at, int size) {
    return Number(tiff, at, size, tiff.starts_with("MM"));
}

// ASCII fields of IFD0 and the Exif IFD (TIFF 6.0 section 2), by tag.
std::map<int, std::string> ExifTexts(const std::string& tiff, std::size_t ifd = 0) {
    std::map<int, std::string> texts;
    if (tiff.size() < 8 || (ifd == 0 && TiffNumber(tiff, 2, 2) != 42))
        return texts;
    ifd = ifd == 0 ? TiffNumber(tiff, 4, 4) : ifd;
    for (std::uint32_t i = 0; i < TiffNumber(tiff, ifd, 2); ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        const std::uint32_t tag = TiffNumber(tiff, entry, 2);
        const std::uint32_t length = TiffNumber(tiff, entry + 4, 4);
        if (tag == 0x8769) {
            texts.merge(ExifTexts(tiff, TiffNumber(tiff, entry + 8, 4)));
        } else if (TiffNumber(tiff, entry + 2, 2) == 2 && length > 0) {
            const std::size_t at = length <= 4 ? entry + 8 : TiffNumber(tiff, entry + 8, 4);
            texts[int(tag)] = tiff.substr(at, length - 1); // without its 0 byte
        }
    }
    return texts;
}

// Simple XMP properties by namespace and name, "namespace|name".
std::map<std::string, std::string> XmpProperties(const std::string& packet) {
    std::map<std::string, std::string> properties;
    QXmlStreamReader xml(QByteArray::fromStdString(packet));
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.namespaceUri() == u"adobe:ns:meta/" ||
            xml.namespaceUri() == u"http://www.w3.org/1999/02/22-rdf-syntax-ns#")
            continue;
        const QString key = xml.namespaceUri().toString() + "|" + xml.name().toString();
        properties[key.toStdString()] = xml.readElementText().toStdString();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return properties;
}

struct FormatCase {
    const char* name;
    ImageFormat format;
};

// By name: printing the bytes would read the padding.
void PrintTo(const FormatCase& format, std::ostream* out) {
    *out << format.name;
}

class MetadataGrab : public testing::TestWithParam<FormatCase> {
protected:
    static void SetUpTestSuite() {
        folder_ = new testing_support::TemporaryFolder("grab-metadata");
        // Matroska keeps the creation time's fraction of a second (MP4 does not).
        const std::string make = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi "
                                 "-i testsrc2=s=64x48:r=25:d=0.12 -c:v mpeg4 ";
        made_ =
            testing_support::RunShell(make + "-metadata creation_time=2023-12-31T23:59:59.98Z " +
                                      testing_support::Quoted(Clip(true)))
                    .status == 0 &&
            testing_support::RunShell(make + testing_support::Quoted(Clip(false))).status == 0;
    }
    static void TearDownTestSuite() { delete folder_; }
    static fs::path Clip(bool dated) {
        return folder_->Path() / (dated ? "dated.mkv" : "plain.mkv");
    }

    void SetUp() override {
        if (!made_)
            GTEST_SKIP() << "the ffmpeg command could not make the clips";
    }

    // The clip's first three frames, read back, by file name.
    std::map<std::string, Blocks> Grab(bool dated, bool metadata) {
        const fs::path out = folder_->Path() / "out";
        fs::remove_all(out);
        std::vector<std::string> arguments{"--format", GetParam().name,      "--count",
                                           "3",        Clip(dated).string(), out.string()};
        if (metadata)
            arguments.insert(arguments.begin(), "--metadata");
        std::string why;
        const auto settings = grab::ParseArguments(arguments, why);
        EXPECT_TRUE(settings) << why;
        std::ostringstream output, errors;
        EXPECT_EQ(grab::Run(*settings, output, errors), 0) << errors.str();
        std::map<std::string, Blocks> files;
        for (const auto& entry : fs::directory_iterator(out)) {
            const auto bytes = images::testing::ReadFileBytes(entry.path());
            files[entry.path().filename().string()] =
                Read(GetParam().format, std::string(bytes.begin(), bytes.end()));
        }
        EXPECT_EQ(files.size(), 3u);
        return files;
    }

    static inline testing_support::TemporaryFolder* folder_ = nullptr;
    static inline bool made_ = false;
};

TEST_P(MetadataGrab, FieldsReadBackWithTheFramesDateAndTime) {
    const struct {
        const char* frame;
        const char* time;
        const char* dateTime;
        const char* subSeconds;
    } expected[] = {
        {"0", "0", "2023:12:31 23:59:59", "980"},
        {"1", "1/25", "2024:01:01 00:00:00", "020"},
        {"2", "2/25", "2024:01:01 00:00:00", "060"},
    };
    const auto clip = images::testing::ReadFileBytes(Clip(true));
    std::string version = options::VersionText("tesselon-grab");
    version.pop_back(); // its newline
    const std::string ns = kNamespace;
    std::set<std::string> framesSeen;
    for (const auto& [name, blocks] : Grab(true, true)) {
        SCOPED_TRACE(name);
        auto xmp = XmpProperties(blocks.xmp);
        EXPECT_EQ(xmp["http://purl.org/dc/elements/1.1/|source"], "dated.mkv");
        EXPECT_EQ(xmp["http://ns.adobe.com/xap/1.0/|CreatorTool"], version);
        EXPECT_EQ(xmp[ns + "|sourceSha256"], testing_support::Sha256Hex(clip));
        EXPECT_EQ(xmp[ns + "|timeBase"], "1/1000");
        const auto row = std::find_if(std::begin(expected), std::end(expected),
                                      [&](const auto& e) { return xmp[ns + "|frame"] == e.frame; });
        ASSERT_NE(row, std::end(expected)) << xmp[ns + "|frame"];
        framesSeen.insert(row->frame);
        EXPECT_EQ(xmp[ns + "|time"], row->time);
        auto exif = ExifTexts(blocks.exif);
        EXPECT_EQ(exif[0x0131], version);
        EXPECT_EQ(exif[0x9003], row->dateTime);
        EXPECT_EQ(exif[0x9291], row->subSeconds);
        EXPECT_EQ(exif[0x9011], "+00:00");
    }
    EXPECT_EQ(framesSeen.size(), 3u);
}

TEST_P(MetadataGrab, ClipWithoutCreationTimeHasNoDate) {
    for (const auto& [name, blocks] : Grab(false, true)) {
        SCOPED_TRACE(name);
        const auto exif = ExifTexts(blocks.exif);
        EXPECT_EQ(exif.count(0x0131), 1u);
        EXPECT_EQ(exif.count(0x9003), 0u);
        EXPECT_EQ(XmpProperties(blocks.xmp)["http://purl.org/dc/elements/1.1/|source"],
                  "plain.mkv");
    }
}

TEST_P(MetadataGrab, CodedPictureIsTheSameAsWithout) {
    const auto without = Grab(true, false);
    const auto with = Grab(true, true);
    ASSERT_EQ(with.size(), without.size());
    for (auto a = with.begin(), b = without.begin(); a != with.end(); ++a, ++b) {
        SCOPED_TRACE(a->first);
        EXPECT_EQ(a->first, b->first);
        EXPECT_FALSE(a->second.exif.empty() || a->second.xmp.empty());
        EXPECT_TRUE(b->second.exif.empty() && b->second.xmp.empty());
        EXPECT_GT(a->second.coded.size(), 100u);
        EXPECT_EQ(a->second.coded, b->second.coded);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, MetadataGrab,
                         testing::Values(FormatCase{"jpg", ImageFormat::Jpeg},
                                         FormatCase{"png", ImageFormat::Png},
                                         FormatCase{"webp", ImageFormat::Webp}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
