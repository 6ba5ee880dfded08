// Grabs with --metadata in each format, read back with the format's own
// reference reader (libjpeg-turbo's marker list, libpng, libwebp's demuxer),
// Exif by walking its TIFF structure and XMP with Qt's XML reader: the
// frame's date is the clip's creation time plus its time, the XMP names the
// clip, its SHA-256, the frame's number and time, and the coded picture is
// the same as without --metadata.
#include "grab.h"
#include "options/version.h"

#include "images/decoded_jpeg.h"
#include "support/sha256.h"
#include "support/shell_run.h"
#include "support/temporary_folder.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <webp/demux.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr char kNamespace[] = "https://tesselon.example/ns/grab/1.0/";

struct Blocks {
    std::string exif;
    std::string xmp;
};

std::string Text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

std::optional<Blocks> JpegBlocks(const Bytes& bytes) {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JumpOnJpegError;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xffff);
    jpeg_read_header(&info, TRUE);
    Blocks blocks;
    const std::string exifId("Exif\0\0", 6), xmpId("http://ns.adobe.com/xap/1.0/\0", 29);
    for (auto* marker = info.marker_list; marker != nullptr; marker = marker->next) {
        const std::string data = Text(marker->data, marker->data_length);
        if (data.starts_with(exifId))
            blocks.exif = data.substr(exifId.size());
        else if (data.starts_with(xmpId))
            blocks.xmp = data.substr(xmpId.size());
    }
    jpeg_destroy_decompress(&info);
    return blocks;
}

void ReadFromVector(png_structp png, png_bytep out, png_size_t size) {
    auto* rest = static_cast<std::pair<const Bytes*, std::size_t>*>(png_get_io_ptr(png));
    if (rest->second + size > rest->first->size())
        png_error(png, "past the end");
    std::copy_n(rest->first->data() + rest->second, size, out);
    rest->second += size;
}

std::optional<Blocks> PngBlocks(const Bytes& bytes) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::pair<const Bytes*, std::size_t> cursor{&bytes, 0};
    std::optional<Blocks> blocks;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &cursor, ReadFromVector);
        png_read_info(png, info);
        blocks.emplace();
        png_bytep exif = nullptr;
        png_uint_32 size = 0;
        if (png_get_eXIf_1(png, info, &size, &exif) != 0)
            blocks->exif = Text(exif, size);
        png_textp texts = nullptr;
        const int count = png_get_text(png, info, &texts, nullptr);
        for (int i = 0; i < count; ++i)
            if (std::string(texts[i].key) == "XML:com.adobe.xmp")
                blocks->xmp = std::string(texts[i].text, texts[i].itxt_length);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return blocks;
}

std::optional<Blocks> WebpBlocks(const Bytes& bytes) {
    const WebPData data{bytes.data(), bytes.size()};
    WebPDemuxer* demuxer = WebPDemux(&data);
    if (demuxer == nullptr)
        return std::nullopt;
    Blocks blocks;
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demuxer, "EXIF", 1, &chunk))
        blocks.exif = Text(chunk.chunk.bytes, chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
    if (WebPDemuxGetChunk(demuxer, "XMP ", 1, &chunk))
        blocks.xmp = Text(chunk.chunk.bytes, chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
    WebPDemuxDelete(demuxer);
    return blocks;
}

enum class Order { BigEndian, LittleEndian };

std::uint32_t Number(const std::string& bytes, std::size_t at, int size, Order order) {
    std::uint32_t value = 0;
    for (int i = 0; i < size && at + i < bytes.size(); ++i) {
        const int shift = order == Order::BigEndian ? 8 * (size - 1 - i) : 8 * i;
        value |= std::uint32_t(std::uint8_t(bytes[at + i])) << shift;
    }
    return value;
}

std::uint32_t TiffNumber(const std::string& tiff, std::size_t at, int size) {
    return Number(tiff, at, size, tiff.starts_with("MM") ? Order::BigEndian : Order::LittleEndian);
}

// ASCII fields of IFD0 and the Exif IFD (TIFF 6.0 section 2), by tag.
std::map<int, std::string> ExifTexts(const std::string& tiff, std::size_t ifd = 0) {
    std::map<int, std::string> texts;
    if (tiff.size() < 8 || (ifd == 0 && TiffNumber(tiff, 2, 2) != 42))
        return texts;
    ifd = ifd == 0 ? TiffNumber(tiff, 4, 4) : ifd;
    const std::uint32_t count = TiffNumber(tiff, ifd, 2);
    for (std::uint32_t i = 0; i < count; ++i) {
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

// The file less its metadata: JPEG's APP1 segments, PNG's eXIf and XMP
// chunks; for WebP, the image chunk alone (the container around it is
// rebuilt with the metadata's chunks).
std::string CodedData(images::ImageFormat format, const Bytes& bytes) {
    const std::string file = Text(bytes.data(), bytes.size());
    std::string kept;
    if (format == images::ImageFormat::Jpeg) {
        std::size_t at = 2;
        kept = file.substr(0, 2);
        while (at + 4 <= file.size() && std::uint8_t(file[at + 1]) != 0xda) {
            const std::size_t size = 2 + (std::uint8_t(file[at + 2]) << 8 | std::uint8_t(file[at + 3]));
            if (std::uint8_t(file[at + 1]) != 0xe1)
                kept += file.substr(at, size);
            at += size;
        }
        return kept + file.substr(std::min(at, file.size()));
    }
    const bool png = format == images::ImageFormat::Png;
    const std::size_t header = png ? 8 : 12;
    kept = png ? file.substr(0, header) : "";
    bool imageData = false;
    for (std::size_t at = header; at + 8 <= file.size();) {
        const std::string type = file.substr(at + (png ? 4 : 0), 4);
        // PNG: length, type, data, CRC; RIFF: type, length, data padded to even.
        const std::size_t length =
            png ? Number(file, at, 4, Order::BigEndian) + 12
                : 8 + (Number(file, at + 4, 4, Order::LittleEndian) + 1) / 2 * 2;
        const std::string chunk = file.substr(at, length);
        // Before the image data only: PNG allows one eXIf, and nothing after.
        imageData = imageData || type == "IDAT";
        const bool metadata = !imageData && (type == "eXIf" || (type == "iTXt" &&
                                                               chunk.find("XML:com.adobe.xmp") == 8));
        if ((png && !metadata) || (!png && (type == "VP8L" || type == "VP8 ")))
            kept += chunk;
        at += length;
    }
    return kept;
}

struct FormatCase {
    const char* name;
    images::ImageFormat format;
};

class MetadataGrab : public testing::TestWithParam<FormatCase> {
protected:
    static void SetUpTestSuite() {
        folder_ = new testing_support::TemporaryFolder("grab-metadata");
        // Matroska keeps the creation time's fraction of a second (MP4 does not).
        const char* const kMake = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi "
                                  "-i testsrc2=s=64x48:r=25:d=0.12 -c:v mpeg4 ";
        made_ = testing_support::RunShell(
                    kMake + std::string("-metadata creation_time=2023-12-31T23:59:59.98Z ") +
                    testing_support::Quoted(Clip(true)))
                        .status == 0 &&
                testing_support::RunShell(kMake + testing_support::Quoted(Clip(false))).status == 0;
    }
    static void TearDownTestSuite() { delete folder_; }
    static fs::path Clip(bool dated) { return folder_->Path() / (dated ? "dated.mkv" : "plain.mkv"); }

    void SetUp() override {
        if (!made_)
            GTEST_SKIP() << "the ffmpeg command could not make the clips";
    }

    // The files of a grab of the clip's first three frames, by the frame
    // number their XMP gives.
    std::map<std::string, Bytes> Grab(bool dated, bool metadata) {
        const fs::path out = folder_->Path() / (std::string(GetParam().name) + (dated ? "-d" : "-p") +
                                                (metadata ? "-m" : ""));
        fs::remove_all(out);
        std::vector<std::string> arguments{"--format", GetParam().name, "--count", "3", "--out",
                                           out.string(), Clip(dated).string()};
        if (metadata)
            arguments.insert(arguments.begin(), "--metadata");
        std::string why;
        const auto settings = grab::ParseArguments(arguments, why);
        EXPECT_TRUE(settings) << why;
        std::ostringstream output, errors;
        EXPECT_EQ(grab::Run(*settings, output, errors), 0) << errors.str();
        std::map<std::string, Bytes> files;
        for (const auto& entry : fs::directory_iterator(out))
            files[entry.path().filename().string()] = images::testing::ReadFileBytes(entry.path());
        EXPECT_EQ(files.size(), 3u);
        return files;
    }

    Blocks Read(const Bytes& bytes) const {
        const images::ImageFormat format = GetParam().format;
        const auto blocks = format == images::ImageFormat::Jpeg ? JpegBlocks(bytes)
                            : format == images::ImageFormat::Png ? PngBlocks(bytes)
                                                                 : WebpBlocks(bytes);
        EXPECT_TRUE(blocks);
        return blocks.value_or(Blocks{});
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
    const Bytes clip = images::testing::ReadFileBytes(Clip(true));
    std::string version = options::VersionText("tesselon-grab");
    version.pop_back(); // its newline
    std::set<std::string> framesSeen;
    for (const auto& [name, bytes] : Grab(true, true)) {
        SCOPED_TRACE(name);
        const Blocks blocks = Read(bytes);
        auto xmp = XmpProperties(blocks.xmp);
        const std::string ns = kNamespace;
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
    for (const auto& [name, bytes] : Grab(false, true)) {
        SCOPED_TRACE(name);
        const Blocks blocks = Read(bytes);
        auto exif = ExifTexts(blocks.exif);
        EXPECT_FALSE(exif[0x0131].empty());
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
        EXPECT_NE(a->second, b->second); // the metadata is there
        const std::string coded = CodedData(GetParam().format, a->second);
        EXPECT_GT(coded.size(), 100u);
        EXPECT_EQ(coded, CodedData(GetParam().format, b->second));
        EXPECT_TRUE(Read(b->second).exif.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, MetadataGrab,
                         testing::Values(FormatCase{"jpg", images::ImageFormat::Jpeg},
                                         FormatCase{"png", images::ImageFormat::Png},
                                         FormatCase{"webp", images::ImageFormat::Webp}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
