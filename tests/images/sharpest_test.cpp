// The images windows' sharpness: each tab's tooltip gives its picture's
// score, the sharpest tab is marked, and Control, Sharpest (F) shows it in
// the view with the focus.
#include "images/images4_dialog.h"
#include "images/images_dialog.h"

#include "captured_images.h"
#include "controls/tab_beam.h"
#include "controls/tab_window.h"
#include "images/image_view.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace images {
namespace {

using testing::CapturedBatch;

void Settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// Stripes two pixels wide whose contrast grows with `contrast`: the larger,
// the sharper the picture.
void Stripes(CapturedBatch& batch, int index, int contrast) {
    for (int y = 0; y < testing::kFrameRows; ++y)
        for (int x = 0; x < testing::kImageWidth; ++x) {
            const auto level = static_cast<std::uint8_t>(x / 2 % 2 ? 128 + contrast : 128);
            std::uint8_t* pixel = batch.Buffer(index) + y * testing::kImageStride + x * 4;
            pixel[0] = pixel[1] = pixel[2] = level;
        }
}

// Six pictures; the fifth has the strongest stripes, the first none at all.
constexpr int kSharpest = 4;
CapturedBatch MadeBatch() {
    CapturedBatch batch(6);
    for (const auto& [index, contrast] : {std::pair{1, 20}, std::pair{2, 60}, std::pair{3, 10},
                                         std::pair{kSharpest, 90}, std::pair{5, 40}})
        Stripes(batch, index, contrast);
    return batch;
}

template <typename Dialog>
std::unique_ptr<Dialog> OpenOn(CapturedBatch& batch) {
    QStringList names;
    for (int i = 0; i < batch.Count(); ++i)
        names.append(QString::number(1000 + i * 40));
    auto dialog = std::make_unique<Dialog>(batch.Count(), 360, 240, names, testing::kShape);
    for (int i = 0; i < batch.Count(); ++i)
        EXPECT_TRUE(dialog->AddImage(batch.PictureOf(i)));
    dialog->show();
    Settle();
    return dialog;
}

int ShownImage(const ImagesWindow& dialog, int view) {
    return ImageIndexOfSheet(dialog.TabWindow(view)->CurrentSheet(), dialog.Views(view));
}

class Sharpest : public ::testing::Test {
protected:
    void SetUp() override { testing::InstallStrings(); }
    CapturedBatch batch_ = MadeBatch();
};

TEST_F(Sharpest, EveryTabTellsItsScoreAndOnlyTheSharpestIsMarked) {
    const auto dialog = OpenOn<CImages4Dlg>(batch_);
    const ImageList& list = dialog->List();
    EXPECT_EQ(list.Sharpness(0), 0.0);
    EXPECT_GT(*list.Sharpness(2), *list.Sharpness(1));
    for (int view = 0; view < dialog->ViewCount(); ++view) {
        const controls::CGXTabBeam* beam = dialog->TabWindow(view)->Beam();
        for (int i = 0; i < batch_.Count(); ++i) {
            const controls::TabEntry& tab = beam->Entry(i);
            EXPECT_TRUE(tab.toolTip.startsWith(
                "Sharpness: " + QString::number(*list.Sharpness(i), 'f', 1)))
                << tab.toolTip.toStdString();
            EXPECT_EQ(tab.marked, i == kSharpest) << i;
            EXPECT_EQ(tab.toolTip.contains("sharpest"), i == kSharpest) << i;
        }
    }
}

TEST_F(Sharpest, TheMarkWidensItsTab) {
    // Two batches alike but for which picture is sharpest: the same name is
    // wider where its tab carries the mark.
    CapturedBatch other = MadeBatch();
    Stripes(other, 1, 120);
    const auto marked = OpenOn<CImagesDlg>(batch_);
    const auto unmarked = OpenOn<CImagesDlg>(other);
    EXPECT_GT(marked->TabWindow(0)->Beam()->Entry(kSharpest).width,
              unmarked->TabWindow(0)->Beam()->Entry(kSharpest).width);
}

TEST_F(Sharpest, TheCommandShowsTheSharpestImage) {
    const auto dialog = OpenOn<CImagesDlg>(batch_);
    ASSERT_EQ(ShownImage(*dialog, 0), 0);
    QAction* command = dialog->Command(res::ID_IMAGES_SHARPEST);
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->shortcut(), QKeySequence(Qt::Key_F));
    command->trigger();
    EXPECT_EQ(ShownImage(*dialog, 0), kSharpest);
    EXPECT_EQ(dialog->List().Current(0), kSharpest);
}

TEST_F(Sharpest, TheStripScrollsToTheSharpestTab) {
    constexpr int kFarTab = 35;
    CapturedBatch batch(40);
    Stripes(batch, kFarTab, 90);
    const auto dialog = OpenOn<CImagesDlg>(batch);
    const controls::CGXTabBeam* beam = dialog->TabWindow(0)->Beam();
    ASSERT_LT(beam->LastWholeTab(), kFarTab); // out of sight at first
    dialog->Command(res::ID_IMAGES_SHARPEST)->trigger();
    Settle();
    EXPECT_EQ(ShownImage(*dialog, 0), kFarTab);
    EXPECT_LE(beam->FirstVisible(), kFarTab);
    EXPECT_GE(beam->LastWholeTab(), kFarTab);
}

TEST_F(Sharpest, KeyFShowsItInTheViewWithTheFocusOnly) {
    const auto dialog = OpenOn<CImages4Dlg>(batch_);
    dialog->activateWindow();
    dialog->TabWindow(2)->CurrentSheet()->setFocus();
    Settle();
    QTest::keyClick(dialog.get(), Qt::Key_F);
    Settle();
    EXPECT_EQ(ShownImage(*dialog, 2), kSharpest);
    EXPECT_EQ(ShownImage(*dialog, 0), 0);
    EXPECT_EQ(ShownImage(*dialog, 1), 0);
}

} // namespace
} // namespace images
