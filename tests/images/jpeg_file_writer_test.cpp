#include "images/jpeg_file_writer.h"
#include "images/save_picture.h"

#include "counting_target.h"
#include "decoded_jpeg.h"
#include "image_buffers.h"
#include "support/file_size_limit.h"
#include "images/bmp_image_builder.h"
#include "images/save_progress.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace images {
namespace {

namespace fs = std::filesystem;
using testing::CountingTarget;
using testing::DecodeJpeg;
using testing::NoiseBuffer;
using testing::PictureBuffer;
using testing::ReadFileBytes;

// A private directory for each test, removed afterwards.
class SaveDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tesselon-save-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    fs::path PathOf(const std::string& name) const { return directory_ / name; }

    static void WriteFile(const fs::path& path, std::size_t size, char fill) {
        std::ofstream(path, std::ios::binary) << std::string(size, fill);
    }

    // Every file the directory holds, by name.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    static SaveJob Job(const std::vector<std::uint8_t>& pixels, std::uint16_t width,
                       std::uint16_t height, const fs::path& path) {
        return SaveJob{width, height, pixels.data(), path, {}};
    }

    fs::path directory_;
};

void ExpectFailedWithOneLine(const SaveResult& result, const fs::path& path) {
    EXPECT_FALSE(result.Written());
    EXPECT_EQ(result.path, path);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(result.reason.find('\n'), std::string::npos) << result.reason;
}

struct PictureCase {
    std::uint16_t width;
    std::uint16_t height;
};

void PrintTo(const PictureCase& c, std::ostream* out) {
    *out << c.width << "x" << c.height;
}

class SavedPicture : public SaveDirectory, public ::testing::WithParamInterface<PictureCase> {};

// The whole path, checked by an independent decoder: the right size, three
// components in several baseline scans, and pixels close to the buffer. A
// flipped row order or swapped red and blue drops the PSNR far below 40 dB.
TEST_P(SavedPicture, DecodesCloseToTheBuffer) {
    const auto [width, height] = GetParam();
    const auto pixels = PictureBuffer(width, height);
    const fs::path target = PathOf("500.JPG");
    const SaveResult result = SaveImage(Job(pixels, width, height, target));
    ASSERT_TRUE(result.Written()) << result.reason;
    EXPECT_EQ(result.path, target);
    EXPECT_TRUE(result.reason.empty());

    const auto decoded = DecodeJpeg(ReadFileBytes(target));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width, width);
    EXPECT_EQ(decoded->height, height);
    EXPECT_EQ(decoded->components, 3);
    EXPECT_FALSE(decoded->progressive);
    EXPECT_EQ(decoded->multipleScans, true);
    EXPECT_GE(testing::PsnrAgainstBuffer(*decoded, pixels), 40.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SavedPicture,
                         ::testing::Values(PictureCase{360, 240}, PictureCase{360, 256},
                                           PictureCase{752, 512}, PictureCase{361, 17},
                                           PictureCase{47, 33}, PictureCase{17, 9},
                                           PictureCase{1, 1}));

struct StepsCase {
    std::uint16_t width;
    std::uint16_t height;
    int stepsPerImage;
};

void PrintTo(const StepsCase& c, std::ostream* out) {
    *out << c.width << "x" << c.height;
}

class SaveSteps : public SaveDirectory, public ::testing::WithParamInterface<StepsCase> {};

// 3 or 4 steps while building the BMP and 6 through the codec (the reader's
// pass 1, the writer's passes 2 to 6), for each of three images in a row.
TEST_P(SaveSteps, AdvanceTheProgressTargetPerImage) {
    const StepsCase& c = GetParam();
    const auto pixels = PictureBuffer(c.width, c.height);
    CountingTarget target;
    for (int image = 0; image < 3; ++image) {
        const fs::path path = PathOf(std::to_string(image) + ".JPG");
        ASSERT_TRUE(SaveImage(Job(pixels, c.width, c.height, path)).Written());
        EXPECT_EQ(target.Take(), c.stepsPerImage) << "image " << image;
        EXPECT_EQ(LastCodecPassSeen(), 6);
    }
}

INSTANTIATE_TEST_SUITE_P(SystemSizes, SaveSteps,
                         ::testing::Values(StepsCase{360, 240, 9}, StepsCase{360, 256, 10},
                                           StepsCase{752, 512, 10}));

// As the saving workers run it: each image on its own thread, one after the
// other, while the user-interface thread owns the target. Under
// ThreadSanitizer this also checks the hand-over of the process-wide values.
TEST_F(SaveDirectory, ConsecutiveWorkerThreadsStepTheSameTarget) {
    const auto pixels = PictureBuffer(360, 256);
    CountingTarget target;
    for (int image = 0; image < 3; ++image) {
        const SaveJob job{360, 256, pixels.data(), PathOf(std::to_string(image) + ".JPG"), {}};
        SaveResult result;
        std::thread worker([&] { result = SaveImage(job); });
        worker.join();
        EXPECT_TRUE(result.Written()) << result.reason;
        EXPECT_EQ(target.Take(), 10) << "image " << image;
    }
}

TEST_F(SaveDirectory, ReplacingALongerFileLeavesNoOldBytes) {
    const auto pixels = PictureBuffer(360, 240);
    const fs::path fresh = PathOf("FRESH.JPG");
    const fs::path replaced = PathOf("OLD.JPG");
    WriteFile(replaced, 1 << 20, '\xAB');
    ASSERT_TRUE(SaveImage(Job(pixels, 360, 240, fresh)).Written());
    ASSERT_TRUE(SaveImage(Job(pixels, 360, 240, replaced)).Written());
    EXPECT_EQ(ReadFileBytes(replaced), ReadFileBytes(fresh));
}

// Targets that cannot be opened: nothing is created and nothing existing is
// touched. As root a read-only file would still open, so none is used here.
TEST_F(SaveDirectory, UnopenableTargetsFailWithNothingWritten) {
    const auto pixels = PictureBuffer(16, 16);
    WriteFile(PathOf("plain"), 10, 'x');
    fs::create_directory(PathOf("folder.JPG"));
    const std::vector<fs::path> targets = {
        PathOf("plain") / "under-a-file.JPG", // ENOTDIR
        PathOf("folder.JPG"),                 // EISDIR
        PathOf("missing") / "A.JPG",          // ENOENT
    };
    for (const fs::path& target : targets) {
        ExpectFailedWithOneLine(SaveImage(Job(pixels, 16, 16, target)), target);
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"folder.JPG", "plain"}));
    EXPECT_TRUE(fs::is_empty(PathOf("folder.JPG")));
    EXPECT_EQ(fs::file_size(PathOf("plain")), 10u);
}

TEST_F(SaveDirectory, EmptyJobFailsWithNothingWritten) {
    const auto pixels = PictureBuffer(4, 4);
    ExpectFailedWithOneLine(SaveImage(Job(pixels, 0, 4, PathOf("A.JPG"))), PathOf("A.JPG"));
    ExpectFailedWithOneLine(SaveImage(SaveJob{4, 4, nullptr, PathOf("B.JPG"), {}}),
                            PathOf("B.JPG"));
    EXPECT_TRUE(Listing().empty());
}

// A BMP the reader refuses fails before the target is opened: an existing
// file keeps its bytes.
TEST_F(SaveDirectory, UnreadableBmpLeavesTheTargetAlone) {
    const auto pixels = PictureBuffer(8, 8);
    BmpImage bmp = BuildBmpImage(8, 8, pixels.data(), nullptr, 4);
    ASSERT_TRUE(bmp);
    bmp.block[0] = 'X';
    const fs::path target = PathOf("KEEP.JPG");
    WriteFile(target, 100, 'k');
    const SaveResult result = WriteJpegFile(bmp.Bytes(), target, nullptr);
    ExpectFailedWithOneLine(result, target);
    EXPECT_NE(result.reason.find("Not a Windows Bitmap stream"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(target), std::vector<std::uint8_t>(100, 'k'));
}

int abortAtPass = 0;
void AbortAtPass(jpeg::RasterCoder&, std::uint32_t, std::int32_t pass, std::int32_t passCount,
                 std::int32_t, std::uint8_t& abortFlag) {
    // The reader reports one pass; the writer six.
    if (passCount > 1 && pass == abortAtPass) {
        abortFlag = 1;
    }
}

void AbortReading(jpeg::RasterCoder&, std::uint32_t, std::int32_t, std::int32_t passCount,
                  std::int32_t, std::uint8_t& abortFlag) {
    abortFlag = passCount == 1 ? 1 : 0;
}

// The reader's abort escapes handlers for std::exception; it still ends as a
// reported failure, before the target is opened.
TEST_F(SaveDirectory, ReaderAbortLeavesTheTargetAlone) {
    const auto pixels = PictureBuffer(8, 8);
    const BmpImage bmp = BuildBmpImage(8, 8, pixels.data(), nullptr, 4);
    ASSERT_TRUE(bmp);
    const fs::path target = PathOf("KEEP.JPG");
    WriteFile(target, 100, 'k');
    const SaveResult result = WriteJpegFile(bmp.Bytes(), target, AbortReading);
    ExpectFailedWithOneLine(result, target);
    EXPECT_NE(result.reason.find("Abort"), std::string::npos) << result.reason;
    EXPECT_EQ(ReadFileBytes(target), std::vector<std::uint8_t>(100, 'k'));
}

// The encoder failing once the file is open (here: asked to abort at each of
// its passes) leaves a new name empty and an existing file whole.
TEST_F(SaveDirectory, EncoderFailureLeavesTheTargetAsItWas) {
    const auto pixels = NoiseBuffer(120, 80, 7);
    const BmpImage bmp = BuildBmpImage(120, 80, pixels.data(), nullptr, 4);
    ASSERT_TRUE(bmp);
    for (abortAtPass = 1; abortAtPass <= 6; ++abortAtPass) {
        const fs::path created = PathOf("NEW.JPG");
        const fs::path replaced = PathOf("OLD.JPG");
        WriteFile(replaced, 5000, 'o');
        for (const fs::path& target : {created, replaced}) {
            const SaveResult result = WriteJpegFile(bmp.Bytes(), target, AbortAtPass);
            ExpectFailedWithOneLine(result, target);
            EXPECT_NE(result.reason.find("JPEG Aborted"), std::string::npos) << result.reason;
        }
        EXPECT_EQ(Listing(), std::vector<std::string>{"OLD.JPG"}) << "abort at pass " << abortAtPass;
        EXPECT_EQ(ReadFileBytes(replaced), std::vector<std::uint8_t>(5000, 'o'));
    }
}

// Writes that stop after N bytes, as on a full disk: RLIMIT_FSIZE makes every
// write past N bytes of a file fail with EFBIG (also for root).
class FileSizeLimit : public SaveDirectory, public ::testing::WithParamInterface<int> {
protected:
    void LimitFileSize(rlim_t bytes) const { limit_.Set(bytes); }

    testing_support::FileSizeLimit limit_;
};

// The limit as an offset from the size of the whole file: negative values
// cut the file short, 0 lets exactly the whole file through. A write cut
// short leaves no new file, the old one whole, and no temporary file.
TEST_P(FileSizeLimit, WriteStoppingPartWayKeepsTheOldFile) {
    const auto pixels = NoiseBuffer(360, 256, 3);
    const fs::path reference = PathOf("REFERENCE.JPG");
    ASSERT_TRUE(SaveImage(Job(pixels, 360, 256, reference)).Written());
    const auto whole = static_cast<std::int64_t>(fs::file_size(reference));
    ASSERT_GT(whole, 2 * 64 * 1024) << "the file must span several write buffers";
    fs::remove(reference);

    const std::int64_t offset = GetParam();
    const std::int64_t limit = offset <= -whole ? 0 : whole + offset;
    const fs::path created = PathOf("NEW.JPG");
    const fs::path replaced = PathOf("OLD.JPG");
    const std::vector<std::uint8_t> old(static_cast<std::size_t>(whole) + 1000, 'o');
    WriteFile(replaced, old.size(), 'o');
    LimitFileSize(static_cast<rlim_t>(limit));
    for (const fs::path& target : {created, replaced}) {
        const SaveResult result = SaveImage(Job(pixels, 360, 256, target));
        if (offset >= 0) {
            EXPECT_TRUE(result.Written()) << result.reason;
            EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(target)), whole);
        } else {
            ExpectFailedWithOneLine(result, target);
            EXPECT_NE(result.reason.find("too large"), std::string::npos) << result.reason;
        }
    }
    if (offset < 0) {
        EXPECT_EQ(Listing(), std::vector<std::string>{"OLD.JPG"}) << "limit " << limit;
        EXPECT_EQ(ReadFileBytes(replaced), old);
    }
}

INSTANTIATE_TEST_SUITE_P(Offsets, FileSizeLimit,
                         ::testing::Values(-1000000, // nothing at all can be written
                                           -100000, -65537, -65536, -1, 0));

} // namespace
} // namespace images
