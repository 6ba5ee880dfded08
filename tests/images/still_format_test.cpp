// PNG and WebP beside JPEG: the format of a name, the names the program
// makes, and each writer checked by an independent decoder.
#include "images/encoder_steps.h"
#include "images/image_format.h"
#include "images/jpeg_file_writer.h"
#include "images/save_paths.h"
#include "images/save_picture.h"

#include "decoded_jpeg.h"
#include "decoded_still.h"
#include "image_buffers.h"
#include "support/file_size_limit.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <fstream>
#include <random>

namespace images {

// Test names print the format, not its bytes (their padding is never set).
void PrintTo(const StillFormat& format, std::ostream* out) {
    *out << FileExtension(format.format) << " quality " << format.quality
         << (format.lossless ? " lossless" : "");
}

namespace {

namespace fs = std::filesystem;
using testing::DecodedJpeg;
using testing::ReadFileBytes;

TEST(FormatOfPath, KnowsTheExtensionsWhateverTheirCase) {
    const struct {
        const char* path;
        std::optional<ImageFormat> format;
    } cases[] = {
        {"a.jpg", ImageFormat::Jpeg},    {"/d.x/B.JPEG", ImageFormat::Jpeg},
        {"c.Jpe", ImageFormat::Jpeg},    {"d.png", ImageFormat::Png},
        {"E.PNG", ImageFormat::Png},     {"f.WebP", ImageFormat::Webp},
        {"g.webp", ImageFormat::Webp},   {"h.bmp", std::nullopt},
        {"png", std::nullopt},           {"dir.png/i", std::nullopt},
        {"j.png.txt", std::nullopt},     {"k.jpgx", std::nullopt},
        {"", std::nullopt},              {".webp.", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatOfPath(c.path), c.format) << c.path;
}

TEST(FileExtension, NamesReadBackAsTheirFormat) {
    for (const ImageFormat format : {ImageFormat::Jpeg, ImageFormat::Png, ImageFormat::Webp}) {
        const fs::path path =
            ImageFilePath("/tmp/lower.dir", QStringLiteral("7.5 s"), format);
        EXPECT_EQ(FormatOfPath(path), format) << path;
        EXPECT_EQ(path.parent_path(), "/tmp/lower.dir");
        EXPECT_EQ(path.filename().string(), "7.5 S" + std::string(FileExtension(format)));
    }
    EXPECT_EQ(ImageFilePath("/a", QStringLiteral("x")), fs::path("/a/X.JPG"));
}

class StillFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tesselon-still-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    // Writes `pixels` in `format`; the file's bytes, empty on failure.
    std::vector<std::uint8_t> Save(const std::vector<std::uint8_t>& pixels, int width, int height,
                                   StillFormat format, const std::string& name = "OUT") {
        const fs::path path = directory_ / (name + std::string(FileExtension(format.format)));
        const SaveJob job{static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                          pixels.data(), path, format};
        const SaveResult result = SavePicture(job, {});
        EXPECT_TRUE(result.Written()) << result.reason;
        return result.Written() ? ReadFileBytes(path) : std::vector<std::uint8_t>{};
    }

    fs::path directory_;
};

constexpr StillFormat kPng{ImageFormat::Png, 75, false};
constexpr StillFormat kWebpLossless{ImageFormat::Webp, 75, true};
constexpr StillFormat kWebpLossy{ImageFormat::Webp, 80, false};

std::optional<DecodedJpeg> Decode(ImageFormat format, const std::vector<std::uint8_t>& bytes) {
    if (format == ImageFormat::Png)
        return testing::DecodePng(bytes);
    if (format == ImageFormat::Webp)
        return testing::DecodeWebp(bytes);
    return testing::DecodeJpeg(bytes);
}

struct LosslessCase {
    StillFormat format;
    int width;
    int height;
};

void PrintTo(const LosslessCase& c, std::ostream* out) {
    *out << FileExtension(c.format.format) << " " << c.width << "x" << c.height;
}

class LosslessRoundTrip : public StillFiles, public ::testing::WithParamInterface<LosslessCase> {};

// Every pixel back exactly: swapped red and blue, a wrong stride or a row
// order upside down all change some of them.
TEST_P(LosslessRoundTrip, DecodesToTheSamePixels) {
    const auto [format, width, height] = GetParam();
    const auto pixels = testing::DistinctBuffer(width, height);
    const auto decoded = Decode(format.format, Save(pixels, width, height, format));
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->width, width);
    ASSERT_EQ(decoded->height, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto expected = testing::PixelAt(pixels, width, x, y);
            const std::uint8_t* got = &decoded->rgb[(std::size_t(y) * width + x) * 3];
            ASSERT_EQ(got[0], expected.red) << x << "," << y;
            ASSERT_EQ(got[1], expected.green) << x << "," << y;
            ASSERT_EQ(got[2], expected.blue) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    AwkwardSizes, LosslessRoundTrip,
    ::testing::Values(LosslessCase{kPng, 1, 1}, LosslessCase{kPng, 6, 5}, LosslessCase{kPng, 17, 9},
                      LosslessCase{kPng, 47, 33}, LosslessCase{kWebpLossless, 1, 1},
                      LosslessCase{kWebpLossless, 6, 5}, LosslessCase{kWebpLossless, 17, 9},
                      LosslessCase{kWebpLossless, 47, 33}));

// Lossy WebP of a smooth picture comes back close, and is no lossless file.
TEST_F(StillFiles, LossyWebpDecodesCloseToTheBuffer) {
    const auto pixels = testing::PictureBuffer(96, 64);
    const auto bytes = Save(pixels, 96, 64, kWebpLossy);
    const auto decoded = testing::DecodeWebp(bytes);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->width, 96);
    ASSERT_EQ(decoded->height, 64);
    EXPECT_GT(testing::PsnrAgainstBuffer(*decoded, pixels), 30.0);
    const auto traits = testing::WebpTraitsOf(bytes);
    ASSERT_TRUE(traits);
    EXPECT_FALSE(traits->lossless);
    EXPECT_FALSE(traits->alpha);
}

// The unused fourth byte is no part of a picture: random values there give
// the same file, and no format says it has alpha.
TEST_F(StillFiles, TheUnusedByteChangesNothing) {
    for (const StillFormat format : {kPng, kWebpLossless, kWebpLossy, StillFormat{}}) {
        auto pixels = testing::PictureBuffer(33, 17);
        const auto plain = Save(pixels, 33, 17, format, "PLAIN");
        std::mt19937 random(7);
        for (std::size_t i = 3; i < pixels.size(); i += 4)
            pixels[i] = static_cast<std::uint8_t>(random());
        const auto noisy = Save(pixels, 33, 17, format, "NOISY");
        ASSERT_FALSE(plain.empty());
        EXPECT_EQ(plain, noisy) << FileExtension(format.format);
        if (format.format == ImageFormat::Webp) {
            const auto traits = testing::WebpTraitsOf(noisy);
            ASSERT_TRUE(traits);
            EXPECT_FALSE(traits->alpha);
            EXPECT_EQ(traits->lossless, format.lossless);
        }
    }
    EXPECT_EQ(testing::DecodePng(ReadFileBytes(directory_ / "NOISY.PNG"))->components, 3);
}

// Quality 75 is the JPEG the program always wrote; 90 is another, larger
// file that libjpeg-turbo still reads.
TEST_F(StillFiles, JpegQualityChangesTheFileOnlyWhenAsked) {
    const auto pixels = testing::PictureBuffer(360, 240);
    const auto bmp = BuildBmpImage(360, 240, pixels.data(), nullptr, kBmpProgressSteps);
    ASSERT_TRUE(WriteJpegFile(bmp.Bytes(), directory_ / "BEFORE.JPG", nullptr).Written());
    const auto before = ReadFileBytes(directory_ / "BEFORE.JPG");
    const auto defaulted = Save(pixels, 360, 240, StillFormat{}, "DEFAULT");
    const auto at75 = Save(pixels, 360, 240, {ImageFormat::Jpeg, 75, false}, "AT75");
    const auto at90 = Save(pixels, 360, 240, {ImageFormat::Jpeg, 90, false}, "AT90");
    EXPECT_EQ(defaulted, before);
    EXPECT_EQ(at75, before);
    EXPECT_GT(at90.size(), at75.size());
    const auto decoded = testing::DecodeJpeg(at90);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 360);
    EXPECT_GT(testing::PsnrAgainstBuffer(*decoded, pixels),
              testing::PsnrAgainstBuffer(*testing::DecodeJpeg(at75), pixels));
}

TEST_F(StillFiles, JpegQualityOutsideItsRangeFailsWithNothingWritten) {
    const auto pixels = testing::PictureBuffer(16, 16);
    for (const int quality : {0, 101}) {
        const fs::path path = directory_ / "BAD.JPG";
        const SaveJob job{16, 16, pixels.data(), path, {ImageFormat::Jpeg, quality, false}};
        EXPECT_FALSE(SavePicture(job, {}).Written()) << quality;
        EXPECT_FALSE(fs::exists(path)) << quality;
    }
}

int stepsTaken = 0;
void CountStep() {
    ++stepsTaken;
}

// PNG and WebP step the saving bar as often as its range, so it ends full.
TEST_F(StillFiles, EncodersStepTheBarToItsEnd) {
    const auto pixels = testing::PictureBuffer(64, 200);
    for (const StillFormat format : {kPng, kWebpLossless, kWebpLossy}) {
        stepsTaken = 0;
        const SaveJob job{64, 200, pixels.data(), directory_ / "STEPS", format};
        ASSERT_TRUE(SavePicture(job, {CountStep, nullptr, 1, {}, {}}).Written());
        EXPECT_EQ(stepsTaken, int(kSaveProgressSteps)) << FileExtension(format.format);
    }
}

TEST_F(StillFiles, PngKeepsTheCommentAsText) {
    const auto pixels = testing::PictureBuffer(8, 8);
    const fs::path path = directory_ / "C.PNG";
    const std::string comment = "clip é.mp4 00:00:01.200 frame 30";
    ASSERT_TRUE(SavePicture({8, 8, pixels.data(), path, kPng}, {nullptr, nullptr, 1, comment, {}})
                    .Written());
    const auto bytes = ReadFileBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find(std::string("iTXtComment") + '\0'), std::string::npos);
    EXPECT_NE(text.find(comment), std::string::npos);
    EXPECT_TRUE(testing::DecodePng(bytes));
}

// A write that stops part-way (a full disk) leaves the old file whole and
// nothing beside it, in every format.
class StillFileSizeLimit : public StillFiles, public ::testing::WithParamInterface<StillFormat> {
protected:
    testing_support::FileSizeLimit limit_;
};

TEST_P(StillFileSizeLimit, FailedWriteKeepsTheOldTarget) {
    const StillFormat format = GetParam();
    const fs::path target = directory_ / ("OLD" + std::string(FileExtension(format.format)));
    std::ofstream(target, std::ios::binary) << std::string(100, 'o');
    const auto pixels = testing::NoiseBuffer(256, 256, 3);
    limit_.Set(2000);
    const SaveResult result = SavePicture({256, 256, pixels.data(), target, format}, {});
    EXPECT_FALSE(result.Written());
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(ReadFileBytes(target), std::vector<std::uint8_t>(100, 'o'));
    EXPECT_EQ(std::distance(fs::directory_iterator(directory_), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, StillFileSizeLimit,
                         ::testing::Values(StillFormat{}, kPng, kWebpLossless, kWebpLossy));

} // namespace
} // namespace images
