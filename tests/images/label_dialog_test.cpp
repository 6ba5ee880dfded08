#include "images/label_dialog.h"

#include "captured_images.h"
#include "controls/control_classes.h"
#include "images/image_list.h"
#include "res/resource_ids.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace images {
namespace {

using testing::CapturedBatch;

class LabelDialogTest : public ::testing::Test {
protected:
    void SetUp() override { testing::InstallStrings(); }
};

// Answers the dialog as a user would: the controls show the members, the
// user changes them, then presses OK (or Cancel).
enum class Press { kOk, kCancel };

RunModal Answer(std::function<void(CLabelDlg&)> edit, Press press = Press::kOk) {
    return [edit = std::move(edit), press](QDialog& dialog) {
        auto& label = static_cast<CLabelDlg&>(dialog);
        label.show();
        edit(label);
        const int button = press == Press::kOk ? res::IDOK : res::IDCANCEL;
        QTest::mouseClick(controls::FindControl(&label, button), Qt::LeftButton);
        return label.result();
    };
}

TEST_F(LabelDialogTest, EditBoxTakesFortyFiveCharactersAndNoMore) {
    CLabelDlg dialog;
    dialog.show();
    QLineEdit* edit = dialog.LabelTextEdit();
    edit->setFocus();
    QTest::keyClicks(edit, QString(50, QLatin1Char('x')));
    EXPECT_EQ(edit->text(), QString(45, QLatin1Char('x')));
    dialog.accept();
    EXPECT_EQ(dialog.labelText.size(), 45);
}

TEST_F(LabelDialogTest, ControlsLieInsideTheDialogWithoutOverlapping) {
    CLabelDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Label Images");
    const QRect client = dialog.rect();
    QList<QRect> rects;
    for (const int id : {res::IDC_LABEL_ON, res::IDC_LABEL_TEXT, res::IDOK, res::IDCANCEL}) {
        const QWidget* control = controls::FindControl(&dialog, id);
        ASSERT_NE(control, nullptr) << id;
        EXPECT_TRUE(client.contains(control->geometry())) << id;
        for (const QRect& other : rects)
            EXPECT_FALSE(other.intersects(control->geometry())) << id;
        rects.append(control->geometry());
    }
    EXPECT_EQ(dialog.LabelOnBox()->text(), "Label the images");
}

TEST_F(LabelDialogTest, OkWithANewTextRestampsEveryBuffer) {
    CapturedBatch batch(100);
    auto list = batch.MakeList();
    ASSERT_TRUE(list->StampBandIfNeeded());
    const LabelBand old = list->Band();
    bool shownOn = false;
    QString shownText;
    const bool changed = EditLabel(*list, nullptr, Answer([&](CLabelDlg& dialog) {
        shownOn = dialog.LabelOnBox()->isChecked();
        shownText = dialog.LabelTextEdit()->text();
        dialog.LabelTextEdit()->setText(QStringLiteral("Harbour, camera 2"));
    }));
    EXPECT_TRUE(changed);
    EXPECT_TRUE(shownOn);
    EXPECT_EQ(shownText, "JPG created with Tesselon grabs@example.org");
    EXPECT_EQ(list->LabelText(), "Harbour, camera 2");
    EXPECT_TRUE(list->BandRendered());
    EXPECT_NE(list->Band(), old);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(batch.BandOf(i), testing::RenderProgramBand(QStringLiteral("Harbour, camera 2"))) << i;
}

TEST_F(LabelDialogTest, CancelChangesNothingAndLabelOffStampsNothing) {
    CapturedBatch batch(3);
    auto list = batch.MakeList();
    EXPECT_FALSE(EditLabel(
        *list, nullptr,
        Answer([](CLabelDlg& dialog) { dialog.LabelOnBox()->setChecked(false); }, Press::kCancel)));
    EXPECT_TRUE(list->LabelOn());

    EXPECT_TRUE(EditLabel(
        *list, nullptr, Answer([](CLabelDlg& dialog) { dialog.LabelOnBox()->setChecked(false); })));
    EXPECT_FALSE(list->LabelOn());
    EXPECT_EQ(list->Rows(), 240);
    EXPECT_EQ(batch.BandOf(0), testing::BlackBand());
}

} // namespace
} // namespace images
