#include "images/image_list.h"

#include "captured_images.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

#include <algorithm>

namespace tesselon::images {
namespace {

using testing::CapturedBatch;

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
            const std::uint32_t word = band[static_cast<std::size_t>(y * kBandWidth + x)];
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
        ExtentOf(RenderLabelBand(QStringLiteral("JPG created with Tesselon")));
    EXPECT_EQ(extent.otherColours, 0);
    EXPECT_GT(extent.count, 100);
    EXPECT_LE(extent.left, 2);
    EXPECT_LE(extent.top, 3);
    EXPECT_LT(extent.right, kBandWidth / 2);

    // Leading spaces move the text right: it is not centred or aligned right.
    const TextExtent indented = ExtentOf(RenderLabelBand(QStringLiteral("     JPG")));
    EXPECT_GT(indented.left, extent.left + 10);
}

TEST_F(LabelBandTest, TextWiderThanTheBandIsClippedAtItsRightEdge) {
    const QString wide(45, QLatin1Char('W'));
    const LabelBand band = RenderLabelBand(wide);
    EXPECT_GE(ExtentOf(band).right, kBandWidth - 10);
    EXPECT_EQ(ExtentOf(band).otherColours, 0);
    EXPECT_EQ(band, RenderLabelBand(wide + QStringLiteral("MORE TEXT")));
}

TEST_F(LabelBandTest, FontFillsTheBand) {
    const QFont font = LabelBandFont();
    EXPECT_TRUE(font.bold());
    const QFontMetrics metrics(font);
    EXPECT_LE(metrics.height(), kBandRows);
    EXPECT_GE(metrics.height(), kBandRows - 2);
    EXPECT_TRUE(RenderLabelBand(QString()) == LabelBand{});
}

class ImageListTest : public ::testing::Test {
protected:
    void SetUp() override { testing::InstallStrings(); }
};

TEST_F(ImageListTest, KeepsWhatTheCaptureHandsOver) {
    QStringList names{"41708", "41741", "41775"};
    ImageList list(4, 352, 288, names, 4);
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

    const ImageList unopened(100, 0, 0, {});
    EXPECT_EQ(unopened.FrameWidth(), 360);
    EXPECT_EQ(unopened.FrameHeight(), 240);
    EXPECT_FLOAT_EQ(unopened.Aspect(), 1.5f);
}

TEST_F(ImageListTest, BuffersOfAnotherSizeAreRefusedAndLeaveTheirPlaceEmpty) {
    CapturedBatch batch(3);
    ImageList list(3, 360, 240, {"a", "b", "c"});
    EXPECT_TRUE(list.AddImage(batch.Buffer(0), kImageBytes));
    // 16-bit pixels: 360 × 256 × 2 bytes.
    EXPECT_FALSE(list.AddImage(batch.Buffer(1), kImageBytes / 2));
    EXPECT_TRUE(list.AddImage(batch.Buffer(2), kImageBytes));
    EXPECT_FALSE(list.AddImage(batch.Buffer(0), kImageBytes)); // past the count
    EXPECT_EQ(list.Added(), 3);
    EXPECT_EQ(list.Buffer(1), nullptr);
    EXPECT_EQ(list.Size(1), kImageBytes / 2);
    EXPECT_EQ(list.Buffer(2), batch.Buffer(2));
    EXPECT_EQ(list.Name(2), "c");

    // The refused buffer is never written either.
    ASSERT_TRUE(list.RenderBand());
    EXPECT_EQ(batch.BandOf(1), LabelBand{});
    EXPECT_EQ(batch.BandOf(2), list.Band());
}

TEST_F(ImageListTest, BandIsStampedIntoEveryBufferAndOnlyIntoTheBandRows) {
    CapturedBatch batch(100, 0x7F102030);
    auto list = batch.MakeList();
    ASSERT_TRUE(list->StampBandIfNeeded());
    EXPECT_TRUE(list->BandRendered());
    const LabelBand expected = RenderLabelBand(list->LabelText());
    ASSERT_EQ(list->Band(), expected);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(batch.BandOf(i), expected) << "image " << i;
        ASSERT_EQ(batch.Word(i, 359, 239), 0x7F102030u) << "image " << i;
    }
    // In buffer byte order a text pixel is blue 0, green 255, red 255.
    const auto text = std::find(expected.begin(), expected.end(), kTextWord);
    ASSERT_NE(text, expected.end());
    const std::uint8_t* pixel =
        batch.Buffer(7) + kFrameRows * kImageStride + (text - expected.begin()) * 4;
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
        EXPECT_EQ(batch.BandOf(0), LabelBand{});
        EXPECT_FALSE(list->BandRendered());
    }
    EXPECT_FALSE(list->IsBeingRead());
    EXPECT_TRUE(list->StampBandIfNeeded());
    EXPECT_NE(batch.BandOf(0), LabelBand{});
}

} // namespace
} // namespace tesselon::images
