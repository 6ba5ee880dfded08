#include "images/image_view.h"

#include "captured_images.h"
#include "controls/tab_window.h"
#include "images/image_list.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstring>

namespace images {
namespace {

using testing::CapturedBatch;
using testing::kBandRows;
using testing::kFrameRows;
using testing::kImageStride;
using testing::kImageWidth;

class ImageViewTest : public ::testing::Test {
protected:
    void SetUp() override { testing::InstallStrings(); }

    static QImage Shown(const ImageList& list, int index, QSize size) {
        ImageView view(list, index);
        view.resize(size);
        return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

TEST_F(ImageViewTest, AtItsOwnSizeShowsTheBufferAndTheYellowBand) {
    CapturedBatch batch(2, 0x00336699);
    auto list = batch.MakeList();
    ASSERT_TRUE(list->StampBandIfNeeded());
    const QImage shown = Shown(*list, 1, QSize(360, 256));
    ASSERT_EQ(shown.size(), QSize(360, 256));
    int yellow = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 360; ++x) {
            const QRgb want = batch.Word(1, x, y) | 0xFF000000u;
            ASSERT_EQ(shown.pixel(x, y), want) << x << "," << y;
            yellow += y >= 240 && want == qRgb(255, 255, 0);
        }
    }
    EXPECT_GT(yellow, 100);
}

TEST_F(ImageViewTest, LabelOffShowsOnlyTheFrameRows) {
    CapturedBatch batch(1, 0x0000FF00); // green frame
    // Old band bytes left behind: red.
    for (int i = 0; i < kImageWidth * kBandRows; ++i)
        std::memcpy(batch.Buffer(0) + kFrameRows * kImageStride + i * 4, "\x00\x00\xFF\x00", 4);
    auto list = batch.MakeList();
    list->SetLabel(false, list->LabelText());
    const QImage shown = Shown(*list, 0, QSize(203, 137));
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            ASSERT_EQ(shown.pixel(x, y), qRgb(0, 255, 0)) << x << "," << y;

    list->SetLabel(true, list->LabelText());
    EXPECT_EQ(qRed(Shown(*list, 0, QSize(203, 137)).pixel(100, 136)), 255);
}

TEST_F(ImageViewTest, ZeroedPicturesAndEmptyPositionsShowBlack) {
    CapturedBatch batch(2, 0);
    ImageList list(2, 360, 240, {"0", "1"}, testing::kShape);
    ASSERT_TRUE(list.AddImage(batch.PictureOf(0)));
    list.SetLabel(false, QString());
    for (int index : {0, 1}) {
        const QImage shown = Shown(list, index, QSize(97, 61));
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                ASSERT_EQ(shown.pixel(x, y), qRgb(0, 0, 0)) << index << ": " << x << "," << y;
    }
}

// The band is stamped before the images show and before a save starts; a
// paint that stamped could write while a saving worker reads the buffers.
TEST_F(ImageViewTest, PaintingNeverWritesIntoTheBuffers) {
    CapturedBatch batch(3);
    auto list = batch.MakeList();
    ASSERT_FALSE(list->BandRendered());
    Shown(*list, 0, QSize(360, 256));
    EXPECT_EQ(batch.BandOf(0), testing::BlackBand());
    ImageList::ReadLease lease(*list);
    for (int index = 0; index < 3; ++index)
        Shown(*list, index, QSize(360, 256));
    for (int index = 0; index < 3; ++index)
        EXPECT_EQ(batch.BandOf(index), testing::BlackBand()) << index;
    EXPECT_FALSE(list->BandRendered());
}

TEST_F(ImageViewTest, CurrentImageIsThePositionOfTheTabWindowsSheet) {
    CapturedBatch batch(5);
    auto list = batch.MakeList();
    controls::CGXTabWnd tabs;
    std::vector<ImageView*> views;
    for (int i = 0; i < 5; ++i) {
        auto* view = new ImageView(*list, i, &tabs);
        view->hide();
        views.push_back(view);
        tabs.AddSheet(view, list->Name(i));
    }
    EXPECT_EQ(ImageIndexOfSheet(tabs.CurrentSheet(), views), 0);
    tabs.ShowSheet(views[3]);
    EXPECT_EQ(ImageIndexOfSheet(tabs.CurrentSheet(), views), 3);
    EXPECT_EQ(ImageIndexOfSheet(&tabs, views), -1);
}

} // namespace
} // namespace images
