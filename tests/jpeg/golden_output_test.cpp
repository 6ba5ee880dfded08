// The encoder's output, byte for byte, for a fixed set of generated images,
// qualities and scan and sampling settings, held as SHA-256 fingerprints in
// tests/data/encoder_golden.txt. Every faster form of the encoder must give
// exactly these files: the list is never to be regenerated to make a change
// pass. The images are made with integer arithmetic only, so that no
// difference between machines' maths libraries can enter them.
#include "jpeg/jpeg_writer.h"
#include "jpeg/raster_image.h"
#include "support/sha256.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace jpeg {
namespace {

constexpr const char* kGoldenFile = TESSELON_TEST_DATA "/encoder_golden.txt";

TEST(Sha256, MatchesTheStandardsExamples) {
    const auto digest = [](const std::string& text) {
        return testing_support::Sha256Hex(
            {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    };
    EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

enum class Content { Photographic, Gradient, Flat, Noise };

// A pixel of a scene with smooth shading, hard-edged shapes and fine texture,
// the mix a video frame holds.
void PhotographicPixel(std::uint32_t x, std::uint32_t y, std::uint8_t (&rgb)[3]) {
    const std::uint32_t shade = (x * 3 + y * 5) % 512;
    const std::uint32_t wave = shade < 256 ? shade : 511 - shade;
    const bool box = ((x / 29) + (y / 23)) % 3 == 0;
    const bool disc = (x % 61 - 30) * (x % 61 - 30) + (y % 47 - 23) * (y % 47 - 23) < 200;
    const std::uint32_t texture = (x * 7919 + y * 104729) % 13;
    rgb[0] = static_cast<std::uint8_t>((wave * 3 / 4 + (box ? 60 : 0) + texture) % 256);
    rgb[1] = static_cast<std::uint8_t>(disc ? 230 - texture : 40 + (y * 180 / 256) % 200);
    rgb[2] = static_cast<std::uint8_t>(box ? 20 + texture : 200 - wave / 2);
}

// Top row first, red-green-blue.
void ContentPixel(Content content, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                  std::uint32_t height, std::uint32_t& noise, std::uint8_t (&rgb)[3]) {
    switch (content) {
    case Content::Photographic:
        PhotographicPixel(x, y, rgb);
        return;
    case Content::Gradient:
        rgb[0] = static_cast<std::uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
        rgb[1] = static_cast<std::uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
        rgb[2] = static_cast<std::uint8_t>(255 - (x + y) * 255 / (width + height));
        return;
    case Content::Flat:
        rgb[0] = 200;
        rgb[1] = 60;
        rgb[2] = 90;
        return;
    case Content::Noise:
        for (std::uint8_t& channel : rgb) {
            noise = noise * 1664525u + 1013904223u; // a fixed linear congruential sequence
            channel = static_cast<std::uint8_t>(noise >> 24);
        }
        return;
    }
}

void FillTrueColour(RasterImage& image, Content content, std::uint32_t width,
                    std::uint32_t height) {
    image.Allocate(0, 24, width, height);
    std::uint32_t noise = 12345;
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = image.ImageData() + std::size_t{height - 1 - y} * image.RowWidth();
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t rgb[3]{};
            ContentPixel(content, x, y, width, height, noise, rgb);
            row[3 * x] = rgb[2];
            row[3 * x + 1] = rgb[1];
            row[3 * x + 2] = rgb[0];
        }
    }
}

// A colour-mapped image: `bits` per pixel, the map a ramp of odd colours.
void FillColourMapped(RasterImage& image, std::uint32_t bits, std::uint32_t width,
                      std::uint32_t height) {
    const std::uint32_t colours = 1u << bits;
    image.Allocate(colours, bits, width, height);
    for (std::uint32_t index = 0; index < colours; ++index) {
        image.PaletteEntry(index) = PaletteColour{static_cast<std::uint8_t>(index * 37),
                                                  static_cast<std::uint8_t>(255 - index * 11),
                                                  static_cast<std::uint8_t>(index * 101)};
    }
    const std::uint32_t perByte = 8 / bits;
    for (std::uint32_t row = 0; row < height; ++row) {
        std::uint8_t* stored = image.ImageData() + std::size_t{row} * image.RowWidth();
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t index = (x / 3 + row * 5 + (x * row) % 7) % colours;
            const std::uint32_t shift = 8 - bits * (x % perByte + 1);
            stored[x / perByte] |= static_cast<std::uint8_t>(index << shift);
        }
    }
}

// Scan and sampling settings, each applied to a fresh writer.
struct Setting {
    const char* name;
    std::function<void(JpegWriter&)> apply;
};

// The system's own scan list: one scan per component.
void ThreeScans(JpegWriter& writer) {
    writer.SetScan(0, kComponent1Mask, 0, 0);
    writer.SetScan(1, kComponent2Mask, 0, 0);
    writer.SetScan(2, kComponent3Mask, 0, 0);
}

const std::vector<Setting>& Settings() {
    static const std::vector<Setting> settings = {
        {"one-scan",
         [](JpegWriter&) {
         }},
        {"three-scans", ThreeScans},
        {"luma-then-chroma",
         [](JpegWriter& writer) {
             writer.SetScan(0, kComponent1Mask, 0, 0);
             writer.SetScan(1, kComponent2Mask | kComponent3Mask, 0, 0);
         }},
        {"grey",
         [](JpegWriter& writer) {
             writer.SetGrayscale(true);
         }},
        {"y2x2-three-scans",
         [](JpegWriter& writer) {
             writer.SetHorizontalSampling(1, 2);
             writer.SetVerticalSampling(1, 2);
             ThreeScans(writer);
         }},
        {"y2x1-one-scan",
         [](JpegWriter& writer) {
             writer.SetHorizontalSampling(1, 2);
         }},
        {"cb3x3-three-scans",
         [](JpegWriter& writer) {
             writer.SetHorizontalSampling(2, 3);
             writer.SetVerticalSampling(2, 3);
             ThreeScans(writer);
         }},
        {"y4x4-grey",
         [](JpegWriter& writer) {
             writer.SetGrayscale(true);
             writer.SetHorizontalSampling(1, 4);
             writer.SetVerticalSampling(1, 4);
         }},
    };
    return settings;
}

std::string Fingerprint(const RasterImage& image, const Setting& setting, std::uint32_t quality,
                        unsigned threads) {
    JpegWriter writer;
    writer.SetThreadCount(threads);
    setting.apply(writer);
    writer.SetQuality(quality);
    std::ostringstream stream;
    writer.EncodeImage(stream, image);
    const std::string bytes = stream.str();
    return testing_support::Sha256Hex({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

// Every case's name and fingerprint, in a fixed order; with `minimumHeight`,
// only the cases of images at least that high.
std::vector<std::pair<std::string, std::string>> AllFingerprints(unsigned threads,
                                                                 std::uint32_t minimumHeight = 0) {
    struct Size {
        std::uint32_t width, height;
    };
    static constexpr Size kSizes[] = {{1, 1}, {7, 5}, {8, 8}, {23, 17}, {64, 48}, {129, 67}};
    static constexpr std::uint32_t kQualities[] = {1, 30, 75, 100};
    static constexpr std::pair<Content, const char*> kContents[] = {
        {Content::Photographic, "photographic"},
        {Content::Gradient, "gradient"},
        {Content::Flat, "flat"},
        {Content::Noise, "noise"}};

    std::vector<std::pair<std::string, std::string>> result;
    const auto add = [&](const RasterImage& image, const std::string& what) {
        if (image.Height() < minimumHeight) {
            return;
        }
        for (const Setting& setting : Settings()) {
            for (const std::uint32_t quality : kQualities) {
                result.emplace_back(what + " " + setting.name + " q" + std::to_string(quality),
                                    Fingerprint(image, setting, quality, threads));
            }
        }
    };
    RasterImage image;
    for (const auto& [content, contentName] : kContents) {
        for (const Size size : kSizes) {
            FillTrueColour(image, content, size.width, size.height);
            add(image, std::string(contentName) + " " + std::to_string(size.width) + "x" +
                           std::to_string(size.height));
        }
    }
    // The size of a captured frame with its label band, and of the composite.
    FillTrueColour(image, Content::Photographic, 360, 256);
    add(image, "photographic 360x256");
    FillTrueColour(image, Content::Photographic, 752, 512);
    add(image, "photographic 752x512");
    for (const std::uint32_t bits : {4u, 8u}) {
        FillColourMapped(image, bits, 45, 29);
        add(image, "mapped" + std::to_string(bits) + " 45x29");
    }
    return result;
}

std::map<std::string, std::string> RecordedFingerprints() {
    std::map<std::string, std::string> recorded;
    std::ifstream in(kGoldenFile);
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 65) {
            recorded[line.substr(65)] = line.substr(0, 64);
        }
    }
    return recorded;
}

void ExpectRecorded(const std::vector<std::pair<std::string, std::string>>& fingerprints) {
    const std::map<std::string, std::string> recorded = RecordedFingerprints();
    ASSERT_GE(recorded.size(), fingerprints.size()) << kGoldenFile;
    int differing = 0;
    for (const auto& [name, digest] : fingerprints) {
        const auto found = recorded.find(name);
        ASSERT_NE(found, recorded.end()) << name;
        if (found->second != digest && ++differing <= 10) {
            ADD_FAILURE() << name << " is no longer the recorded file";
        }
    }
    EXPECT_EQ(differing, 0) << "of " << fingerprints.size() << " files";
}

TEST(GoldenOutput, EveryFileIsByteForByteAsRecorded) {
    const auto fingerprints = AllFingerprints(1);
    // TESSELON_WRITE_GOLDEN=PATH records the list once, for a new set of cases.
    if (const char* path = std::getenv("TESSELON_WRITE_GOLDEN")) {
        std::ofstream out(path);
        for (const auto& [name, digest] : fingerprints) {
            out << digest << ' ' << name << '\n';
        }
        GTEST_SKIP() << "recorded " << fingerprints.size() << " fingerprints in " << path;
    }
    ASSERT_EQ(RecordedFingerprints().size(), fingerprints.size());
    ExpectRecorded(fingerprints);
}

// Bands of rows and of restart intervals coded on several threads give the
// same files, whichever thread takes which band. An image of fewer than 33
// rows is one band in every pass, coded as on one thread: the test takes the
// images of 48 rows and more.
TEST(GoldenOutput, EveryThreadCountWritesTheSameFiles) {
    for (const unsigned threads : {2u, 3u}) {
        SCOPED_TRACE(threads);
        const auto fingerprints = AllFingerprints(threads, 48);
        ASSERT_GT(fingerprints.size(), 200u);
        ExpectRecorded(fingerprints);
    }
}

} // namespace
} // namespace jpeg
