#include "images/image_list.h"

#include "captured_images.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace images {
namespace {

using testing::CapturedBatch;
using testing::kBandRows;
using testing::kBandWidth;
using testing::kFrameRows;
using testing::kImageStride;
using testing::kShape;
using testing::RenderProgramBand;

// Colour values as the band stores them (0x00BBGGRR). In a buffer, whose
// bytes are blue, green, red, the text word reads as red 255, green 255,
// blue 0: yellow.
constexpr std::uint32_t kTextWord = 0x00FFFF00;

struct TextExtent {
    int count = 0;
    int left = kBandWidth;
    int right = -1;
    int top = kBandRows;
    int otherColours = 0;
};

// Where the text pixels of a band lie, and how many pixels are neither text
// nor black.
TextExtent ExtentOf(const LabelBand& band) {
    TextExtent extent;
    for (int y = 0; y < kBandRows; ++y) {
        for (int x = 0; x < kBandWidth; ++x) {
            const std::uint32_t word = band.Row(y)[x];
            extent.otherColours += word != kTextWord && word != 0;
            if (word != kTextWord)
                continue;
            ++extent.count;
            extent.left = std::min(extent.left, x);
            extent.right = std::max(extent.right, x);
            extent.top = std::min(extent.top, y);
        }
    }
    return extent;
}

class LabelBandTest : public ::testing::Test {
protected:
    void SetUp() override { testing::InstallStrings(); }
};

TEST_F(LabelBandTest, TextIsYellowOnBlackFromTheLeftAndTopEdges) {
    const TextExtent extent =
        ExtentOf(RenderProgramBand(QStringLiteral("JPG created with Tesselon")));
    EXPECT_EQ(extent.otherColours, 0);
    EXPECT_GT(extent.count, 100);
    EXPECT_LE(extent.left, 2);
    EXPECT_LE(extent.top, 3);
    EXPECT_LT(extent.right, kBandWidth / 2);

    // Leading spaces move the text right: it is not centred or aligned right.
    const TextExtent indented = ExtentOf(RenderProgramBand(QStringLiteral("     JPG")));
    EXPECT_GT(indented.left, extent.left + 10);
}

TEST_F(LabelBandTest, TextWiderThanTheBandIsClippedAtItsRightEdge) {
    const QString wide(45, QLatin1Char('W'));
    const LabelBand band = RenderProgramBand(wide);
    EXPECT_GE(ExtentOf(band).right, kBandWidth - 10);
    EXPECT_EQ(ExtentOf(band).otherColours, 0);
    EXPECT_EQ(band, RenderProgramBand(wide + QStringLiteral("MORE TEXT")));
}

TEST_F(LabelBandTest, FontFillsTheBand) {
    const QFont font = LabelBandFont(kBandRows);
    EXPECT_TRUE(font.bold());
    const QFontMetrics metrics(font);
    EXPECT_LE(metrics.height(), kBandRows);
    EXPECT_GE(metrics.height(), kBandRows - 2);
    const LabelBand empty = RenderProgramBand(QString());
    EXPECT_EQ(std::count(empty.words.begin(), empty.words.end(), 0u), kBandWidth * kBandRows);
}

class ImageListTest : public ::testing::Test {
protected:
    void SetUp() override { testing::InstallStrings(); }
};

TEST_F(ImageListTest, KeepsWhatTheCaptureHandsOver) {
    QStringList names{"41708", "41741", "41775"};
    ImageList list(4, 352, 288, names, kShape, 4);
    names[0] = "changed";
    EXPECT_EQ(list.Name(0), "41708");
    EXPECT_EQ(list.Name(3), ""); // fewer names than images
    EXPECT_EQ(list.Name(4), "");
    EXPECT_FLOAT_EQ(list.Aspect(), 352.0f / 288.0f);
    EXPECT_EQ(list.ViewCount(), 4);
    EXPECT_TRUE(list.LabelOn());
    EXPECT_FALSE(list.BandRendered());
    EXPECT_EQ(list.LabelText(), "JPG created with Tesselon grabs@example.org");

    list.SetCurrent(2, 3);
    list.SetCurrent(1, 99);
    EXPECT_EQ(list.Current(0), 0);
    EXPECT_EQ(list.Current(1), 3);
    EXPECT_EQ(list.Current(2), 3);

    const ImageList unopened(100, 0, 0, {}, kShape);
    EXPECT_EQ(unopened.FrameWidth(), 360);
    EXPECT_EQ(unopened.FrameHeight(), 240);
    EXPECT_FLOAT_EQ(unopened.Aspect(), 1.5f);
}

// A picture of another shape is an error, not a black image in its place.
TEST_F(ImageListTest, PicturesOfAnotherShapeAreRefusedAndTakeNoPlace) {
    CapturedBatch batch(2);
    picture::Picture withoutBand = picture::Picture::Allocate(360, 240, 0);
    picture::Picture wider = picture::Picture::Allocate(361, 240, 16);
    picture::Picture null;
    ImageList list(3, 360, 240, {"a", "b", "c"}, kShape);
    EXPECT_TRUE(list.AddImage(batch.PictureOf(0)));
    for (picture::Picture* refused : {&withoutBand, &wider, &null})
        EXPECT_FALSE(list.AddImage(*refused));
    EXPECT_EQ(list.Added(), 1);
    EXPECT_TRUE(list.AddImage(batch.PictureOf(1)));
    EXPECT_EQ(list.PictureAt(1), &batch.PictureOf(1));
    EXPECT_EQ(list.Name(1), "b");
    EXPECT_TRUE(list.AddImage(batch.PictureOf(0)));
    EXPECT_FALSE(list.AddImage(batch.PictureOf(0))); // past the count

    // A refused picture is never written either.
    const std::vector<std::uint8_t> before(wider.Band(), wider.Band() + wider.Stride() * 16);
    ASSERT_TRUE(list.RenderBand());
    EXPECT_EQ(std::vector<std::uint8_t>(wider.Band(), wider.Band() + wider.Stride() * 16), before);
    EXPECT_EQ(batch.BandOf(1), list.Band());
}

TEST_F(ImageListTest, BandIsStampedIntoEveryBufferAndOnlyIntoTheBandRows) {
    CapturedBatch batch(100, 0x7F102030);
    auto list = batch.MakeList();
    ASSERT_TRUE(list->StampBandIfNeeded());
    EXPECT_TRUE(list->BandRendered());
    const LabelBand expected = RenderProgramBand(list->LabelText());
    ASSERT_EQ(list->Band(), expected);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(batch.BandOf(i), expected) << "image " << i;
        ASSERT_EQ(batch.Word(i, 359, 239), 0x7F102030u) << "image " << i;
    }
    // In buffer byte order a text pixel is blue 0, green 255, red 255.
    const auto text = std::find(expected.words.begin(), expected.words.end(), kTextWord);
    ASSERT_NE(text, expected.words.end());
    const std::uint8_t* pixel =
        batch.Buffer(7) + kFrameRows * kImageStride + (text - expected.words.begin()) * 4;
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 255);
    EXPECT_EQ(pixel[2], 255);
}

TEST_F(ImageListTest, LabelOffLeavesTheOldBandBytesAndShortensTheRows) {
    CapturedBatch batch(2);
    auto list = batch.MakeList();
    ASSERT_TRUE(list->StampBandIfNeeded());
    EXPECT_EQ(list->Rows(), 256);
    const LabelBand old = batch.BandOf(1);

    list->SetLabel(false, QStringLiteral("another text"));
    EXPECT_TRUE(list->StampBandIfNeeded());
    EXPECT_EQ(list->Rows(), 240);
    EXPECT_FALSE(list->BandRendered());
    EXPECT_EQ(batch.BandOf(1), old);
}

TEST_F(ImageListTest, NoStampingWhileAWorkerReadsTheBuffers) {
    CapturedBatch batch(2);
    auto list = batch.MakeList();
    {
        ImageList::ReadLease lease(*list);
        EXPECT_TRUE(list->IsBeingRead());
        EXPECT_FALSE(list->StampBandIfNeeded());
        EXPECT_FALSE(list->RenderBand());
        ImageList::ReadLease moved = std::move(lease);
        EXPECT_TRUE(list->IsBeingRead());
        EXPECT_EQ(batch.BandOf(0), testing::BlackBand());
        EXPECT_FALSE(list->BandRendered());
    }
    EXPECT_FALSE(list->IsBeingRead());
    EXPECT_TRUE(list->StampBandIfNeeded());
    EXPECT_NE(batch.BandOf(0), testing::BlackBand());
}

// The grab stamps the program's band under pictures of any width: the band
// from the left edge as far as both reach, the rest of the band rows as they
// were, the frame rows never.
struct StampCase {
    int width;
    int bandRows;
};

class BandStamps : public ::testing::TestWithParam<StampCase> {
protected:
    void SetUp() override { testing::InstallStrings(); }
};

TEST_P(BandStamps, CoverTheBandRowsFromTheLeftAsFarAsBothReach) {
    const StampCase c = GetParam();
    picture::Picture target = picture::Picture::Allocate(c.width, 5, c.bandRows);
    ASSERT_TRUE(target);
    std::fill(target.Pixels(), target.Pixels() + target.Bytes(), std::uint8_t{0xAB});
    const LabelBand band = RenderProgramBand(QString(60, QLatin1Char('W')));
    StampLabelBand(target, band);
    for (int row = 0; row < target.Rows(); ++row) {
        for (int x = 0; x < c.width; ++x) {
            std::uint32_t word = 0;
            std::memcpy(&word, target.Row(row) + x * 4, 4);
            const int bandRow = row - 5;
            const bool stamped = bandRow >= 0 && bandRow < band.rows && x < band.width;
            ASSERT_EQ(word, stamped ? band.Row(bandRow)[x] : 0xABABABABu)
                << "row " << row << " x " << x;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, BandStamps,
                         ::testing::Values(StampCase{1, 16}, StampCase{17, 16}, StampCase{360, 16},
                                           StampCase{1921, 16}, StampCase{400, 9},
                                           StampCase{400, 20}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.bandRows);
                         });

} // namespace
} // namespace images
