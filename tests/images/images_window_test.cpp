#include "images/images4_dialog.h"
#include "images/images_dialog.h"

#include "captured_images.h"
#include "controls/about_dialog.h"
#include "controls/control_classes.h"
#include "controls/tab_beam.h"
#include "controls/tab_window.h"
#include "images/image_view.h"
#include "platform/messages.h"
#include "res/app_icons.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace images {
namespace {

using testing::CapturedBatch;
using testing::kFrameRows;
using testing::kImageRows;

void Settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// The picture's frame rows, 240 of every 256 with the label on.
QSizeF FrameRowsOf(const QWidget* view, const ImageList& list) {
    return QSizeF(view->width(), view->height() * double(kFrameRows) / list.Rows());
}

// Width ÷ height of the frame rows differs from the video's by less than one
// pixel of height.
void ExpectVideoShape(const QWidget* view, const ImageList& list) {
    const QSizeF frame = FrameRowsOf(view, list);
    const double wantHeight = frame.width() / list.Aspect();
    EXPECT_LT(std::abs(frame.height() - wantHeight), 1.0)
        << frame.width() << " x " << frame.height() << " for aspect " << list.Aspect();
}

template <typename Dialog>
std::unique_ptr<Dialog> OpenOn(CapturedBatch& batch, int frameWidth, int frameHeight) {
    QStringList names;
    for (int i = 0; i < batch.Count(); ++i)
        names.append(QString::number(1000 + i * 40));
    auto dialog =
        std::make_unique<Dialog>(batch.Count(), frameWidth, frameHeight, names, testing::kShape);
    for (int i = 0; i < batch.Count(); ++i)
        EXPECT_TRUE(dialog->AddImage(batch.PictureOf(i)));
    dialog->show();
    Settle();
    return dialog;
}

QWidget* ShownView(const ImagesWindow& dialog, int view) {
    return dialog.TabWindow(view)->CurrentSheet();
}

class ImagesWindowTest : public ::testing::Test {
protected:
    void SetUp() override { testing::InstallStrings(); }
};

struct VideoSize {
    int width;
    int height;
};

class OneViewOpening : public ImagesWindowTest, public ::testing::WithParamInterface<VideoSize> {};

TEST_P(OneViewOpening, ShowsTheFrameRowsAtTheVideosSizeAndKeepsTheShapeOnResizes) {
    CapturedBatch batch(100);
    auto dialog = OpenOn<CImagesDlg>(batch, GetParam().width, GetParam().height);
    EXPECT_EQ(dialog->windowTitle(), "Tesselon Images");
    const QWidget* view = ShownView(*dialog, 0);
    ASSERT_EQ(view, dialog->Views(0)[0]);
    const QRect room = dialog->screen()->availableGeometry();
    const QSizeF frame = FrameRowsOf(view, dialog->List());
    // A video narrower than the menu bar on one row opens at the least size.
    if (dialog->frameGeometry().width() < room.width() &&
        dialog->ClientSize() != dialog->MinimumClientSize()) {
        EXPECT_EQ(frame.width(), GetParam().width);
        EXPECT_NEAR(frame.height(), GetParam().height, 1.0);
    }
    // The tab window fills the client area; the beam lies below the picture.
    EXPECT_EQ(dialog->TabWindow(0)->size(), dialog->ClientSize());
    EXPECT_EQ(dialog->TabWindow(0)->Beam()->geometry().top(), view->geometry().bottom() + 1);

    for (const QSize drag : {QSize(540, 300), QSize(300, 500), QSize(800, 601), QSize(97, 80)}) {
        dialog->resize(drag);
        Settle();
        ExpectVideoShape(view, dialog->List());
        // Growing the short side never pushes the window past the screen.
        EXPECT_TRUE(room.contains(dialog->frameGeometry())) << drag.width() << "x" << drag.height();
    }
}

TEST_F(ImagesWindowTest, MaximisedViewsShowThePictureInAspectBetweenBlackBars) {
    CapturedBatch batch(2, 0x00FFFFFF);
    auto dialog = OpenOn<CImagesDlg>(batch, 176, 144);
    dialog->showMaximized();
    Settle();
    auto* view = static_cast<ImageView*>(ShownView(*dialog, 0));
    const QRect picture = view->PictureRect();
    ASSERT_NE(picture, view->rect()) << "the window manager's size is not in aspect";
    EXPECT_NEAR(picture.width() / (picture.height() * double(kFrameRows) / kImageRows),
                dialog->List().Aspect(), 0.02);
    const QImage painted = view->grab().toImage();
    EXPECT_EQ(painted.pixel(picture.center()), qRgb(255, 255, 255));
    EXPECT_EQ(painted.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(painted.pixel(painted.width() - 1, painted.height() - 1), qRgb(0, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Videos, OneViewOpening,
                         ::testing::Values(VideoSize{360, 240}, VideoSize{352, 288},
                                           VideoSize{176, 144}, VideoSize{1280, 720}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

// Each view's picture at least the least side, and every menu on show in the
// menu bar's one row.
template <typename Dialog> void ExpectUsable(const Dialog& dialog, const char* when) {
    for (int view = 0; view < dialog.ViewCount(); ++view) {
        const QSize picture = ShownView(dialog, view)->size();
        EXPECT_GE(std::min(picture.width(), picture.height()), ImagesWindow::kMinimumPictureSide)
            << when << ", view " << view << ": " << picture.width() << " x " << picture.height();
    }
    const QMenuBar* menuBar = dialog.MenuBar();
    EXPECT_EQ(menuBar->height(), menuBar->sizeHint().height()) << when;
    for (QAction* menu : menuBar->actions()) {
        const QRect shown = menuBar->actionGeometry(menu);
        EXPECT_FALSE(shown.isEmpty()) << when << ": " << menu->text().toStdString();
        EXPECT_TRUE(menuBar->rect().contains(shown)) << when << ": " << menu->text().toStdString();
    }
}

// A 2 x 2 video would give pictures of 2 x 2 pixels and a window too narrow
// for its menus.
template <typename Dialog> void OpenATinyVideoAndDragItSmaller() {
    CapturedBatch batch(3);
    auto dialog = OpenOn<Dialog>(batch, 2, 2);
    ExpectUsable(*dialog, "opened");
    for (const QSize drag : {QSize(1, 1), QSize(300, 20), QSize(20, 300)}) {
        dialog->resize(drag);
        Settle();
        ExpectUsable(*dialog, "dragged");
        ExpectVideoShape(ShownView(*dialog, dialog->ViewCount() - 1), dialog->List());
    }
}

TEST_F(ImagesWindowTest, ATinyVideosImagesWindowKeepsItsMenuAndAUsablePicture) {
    OpenATinyVideoAndDragItSmaller<CImagesDlg>();
    OpenATinyVideoAndDragItSmaller<CImages4Dlg>();
}

TEST(QuarterRectTest, HalvesTheClientAreaWithTheLeftAndUpperQuartersOnePixelShort) {
    EXPECT_EQ(CImages4Dlg::QuarterRect(0, QSize(360, 240)), QRect(0, 0, 179, 119));
    EXPECT_EQ(CImages4Dlg::QuarterRect(1, QSize(360, 240)), QRect(180, 0, 180, 119));
    EXPECT_EQ(CImages4Dlg::QuarterRect(2, QSize(360, 240)), QRect(0, 120, 179, 120));
    EXPECT_EQ(CImages4Dlg::QuarterRect(3, QSize(360, 240)), QRect(180, 120, 180, 120));
    EXPECT_EQ(CImages4Dlg::QuarterRect(3, QSize(361, 241)), QRect(180, 120, 181, 121));
}

TEST_F(ImagesWindowTest, FourViewsTakeTheQuartersAndEachKeepsTheVideosShape) {
    CapturedBatch batch(100);
    auto dialog = OpenOn<CImages4Dlg>(batch, 352, 288);
    ASSERT_EQ(dialog->ViewCount(), 4);
    const int ids[] = {1008, 1002, 1009, 1010};
    for (const QSize drag : {QSize(0, 0), QSize(900, 500), QSize(400, 700)}) {
        if (!drag.isEmpty()) {
            dialog->resize(drag);
            Settle();
        }
        const int menuHeight = dialog->MenuBar()->height();
        for (int view = 0; view < 4; ++view) {
            controls::CGXTabWnd* tabWindow = dialog->TabWindow(view);
            EXPECT_EQ(controls::ControlId(tabWindow), ids[view]);
            EXPECT_EQ(
                tabWindow->geometry(),
                CImages4Dlg::QuarterRect(view, dialog->ClientSize()).translated(0, menuHeight));
            const QSizeF frame = FrameRowsOf(ShownView(*dialog, view), dialog->List());
            // Within a pixel; the left and upper quarters, a pixel short of the
            // others by the halves, within two.
            const double tolerance = view == 3 ? 1.0 : 2.0;
            EXPECT_LT(std::abs(frame.height() - frame.width() / dialog->List().Aspect()), tolerance)
                << view;
        }
    }
}

TEST_F(ImagesWindowTest, ViewsAreSheetsNamedByTheirImagesWithTheHorizontalBarHidden) {
    CapturedBatch batch(100);
    auto dialog = OpenOn<CImagesDlg>(batch, 360, 240);
    controls::CGXTabWnd* tabWindow = dialog->TabWindow(0);
    EXPECT_EQ(controls::ControlId(tabWindow), res::IDC_TAB_WINDOW);
    ASSERT_EQ(dialog->Views(0).size(), 100u);
    EXPECT_EQ(tabWindow->Beam()->Count(), 100);
    EXPECT_EQ(tabWindow->Beam()->Entry(99).name, "4960");
    EXPECT_EQ(controls::ControlId(dialog->Views(0)[0]), controls::CGXTabWnd::kSheetIdBase + 1);
    EXPECT_EQ(controls::ControlId(dialog->Views(0)[99]), controls::CGXTabWnd::kSheetIdBase + 100);
    EXPECT_FALSE(tabWindow->ScrollBar(Qt::Horizontal)->isVisible());
    // The band was stamped before anything was shown.
    EXPECT_TRUE(dialog->List().BandRendered());
    EXPECT_EQ(batch.BandOf(99), dialog->List().Band());
}

TEST_F(ImagesWindowTest, ChoosingATabPaintsThatImage) {
    CapturedBatch batch(100);
    for (int i = 0; i < 100; ++i)
        batch.Fill(i, i == 2 ? 0x00FF0000 : 0x000000FF); // image 2 red, the rest blue
    auto dialog = OpenOn<CImagesDlg>(batch, 360, 240);
    controls::CGXTabBeam* beam = dialog->TabWindow(0)->Beam();
    QTest::mouseClick(beam, Qt::LeftButton, {},
                      QPoint(beam->TabLeft(2) + 6, beam->BeamHeight() / 2));
    Settle();
    QWidget* shown = ShownView(*dialog, 0);
    ASSERT_EQ(shown, dialog->Views(0)[2]);
    const QImage picture = shown->grab().toImage();
    EXPECT_EQ(picture.pixel(picture.width() / 2, picture.height() / 3), qRgb(255, 0, 0));
    dialog->UpdateCurrentImages();
    EXPECT_EQ(dialog->List().Current(0), 2);

    // A saving worker's WM_IMAGE_SAVING shows the image being saved.
    platform::SendMessage(dialog->Handle(), platform::WM_IMAGE_SAVING, 57);
    EXPECT_EQ(ShownView(*dialog, 0), dialog->Views(0)[57]);
    EXPECT_EQ(dialog->List().Current(0), 57);
}

TEST_F(ImagesWindowTest, PaintedViewIsTheStretchedImageWithTheYellowBand) {
    CapturedBatch batch(4, 0x00204080);
    auto dialog = OpenOn<CImagesDlg>(batch, 720, 480);
    const QImage picture = ShownView(*dialog, 0)->grab().toImage();
    ASSERT_EQ(picture.width(), 720);
    EXPECT_EQ(picture.pixel(360, 200), qRgb(0x20, 0x40, 0x80));
    int yellow = 0;
    int other = 0;
    for (int y = picture.height() * 241 / 256; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            yellow += pixel == qRgb(255, 255, 0);
            other += qBlue(pixel) > 0; // stretching mixes yellow and black only
        }
    }
    EXPECT_GT(yellow, 200);
    EXPECT_EQ(other, 0);
}

TEST_F(ImagesWindowTest, LabelOffShortensEveryPictureToItsFrameRows) {
    CapturedBatch batch(3);
    auto dialog = OpenOn<CImagesDlg>(batch, 360, 240);
    dialog->SetModalRunner([](QDialog& shown) {
        auto& label = static_cast<CLabelDlg&>(shown);
        label.show();
        label.LabelOnBox()->setChecked(false);
        label.accept();
        return label.result();
    });
    dialog->Command(res::ID_IMAGES_LABEL)->trigger();
    Settle();
    EXPECT_FALSE(dialog->List().LabelOn());
    EXPECT_EQ(ShownView(*dialog, 0)->size(), QSize(360, 240));
}

TEST_F(ImagesWindowTest, CommandsFollowTheEnablingTableOfEachDialog) {
    CapturedBatch batch(2);
    const int all[] = {res::ID_IMAGES_SAVE, res::ID_IMAGES_SAVE_AS, res::ID_IMAGES_SAVE_ALL,
                       res::ID_IMAGES_EXIT, res::ID_IMAGES_LABEL};
    const auto enabled = [&](const ImagesWindow& dialog) {
        std::vector<bool> states;
        for (const int id : all)
            states.push_back(dialog.Command(id)->isEnabled());
        states.push_back(dialog.Command(res::ID_IMAGES_ABOUT)->isEnabled());
        return states;
    };
    auto one = OpenOn<CImagesDlg>(batch, 360, 240);
    auto four = OpenOn<CImages4Dlg>(batch, 360, 240);
    using States = std::vector<bool>;
    EXPECT_EQ(enabled(*one), States({true, true, true, true, true, true}));
    EXPECT_EQ(enabled(*four), States({false, true, false, true, true, true}));

    for (ImagesWindow* dialog :
         {static_cast<ImagesWindow*>(one.get()), static_cast<ImagesWindow*>(four.get())})
        dialog->SetCommandsEnabled(false);
    EXPECT_EQ(enabled(*one), States({false, false, false, false, false, true}));
    EXPECT_EQ(enabled(*four), States({false, false, false, false, false, true}));

    // WM_SAVING_DONE gives them back, each dialog by its own table.
    platform::SendMessage(one->Handle(), platform::WM_SAVING_DONE, 1);
    platform::SendMessage(four->Handle(), platform::WM_SAVING_DONE, 1);
    EXPECT_EQ(enabled(*one), States({true, true, true, true, true, true}));
    EXPECT_EQ(enabled(*four), States({false, true, false, true, true, true}));

    QStringList menus;
    for (QAction* menu : one->MenuBar()->actions())
        menus.append(menu->text());
    EXPECT_EQ(menus, QStringList({"&File", "&Edit", "&Control", "&Options", "&Help"}));
    EXPECT_EQ(one->Command(res::ID_IMAGES_SAVE_ALL)->text(), "Save a&ll");
    EXPECT_EQ(one->Command(res::ID_IMAGES_ABOUT)->text(), "&About Tesselon ...");
}

TEST_F(ImagesWindowTest, CommandsHaveTheDesktopsKeysThatFollowTheirEnabling) {
    CapturedBatch batch(2);
    auto dialog = OpenOn<CImagesDlg>(batch, 360, 240);
    const std::pair<int, const char*> keys[] = {{res::ID_IMAGES_SAVE, "Ctrl+S"},
                                                {res::ID_IMAGES_SAVE_AS, "Ctrl+Shift+S"},
                                                {res::ID_IMAGES_EXIT, "Ctrl+Q"},
                                                {res::ID_IMAGES_ABOUT, "F1"}};
    for (const auto& [id, key] : keys)
        EXPECT_EQ(dialog->Command(id)->shortcut(), QKeySequence(QString::fromLatin1(key))) << id;
    // F1 reaches the About box through the dialog itself.
    int aboutRuns = 0;
    dialog->SetModalRunner([&](QDialog& shown) {
        aboutRuns += qobject_cast<controls::CAboutDlg*>(&shown) != nullptr;
        return 0;
    });
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(aboutRuns, 1);
    // A disabled Exit ignores its key: the dialog stays open.
    dialog->SetCommandsEnabled(false);
    QTest::keyClick(dialog.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(ImagesWindowTest, AboutRunsTheAboutBox) {
    CapturedBatch batch(1);
    auto dialog = OpenOn<CImagesDlg>(batch, 360, 240);
    QString shown;
    dialog->SetModalRunner([&](QDialog& about) {
        shown = about.metaObject()->className();
        return 0;
    });
    dialog->Command(res::ID_IMAGES_ABOUT)->trigger();
    EXPECT_EQ(shown, "controls::CAboutDlg");
}

// A save in progress, as far as closing can tell.
class SavingDialog : public CImagesDlg {
public:
    using CImagesDlg::CImagesDlg;
    bool saving = true;
    mutable int closeChecks = 0;

protected:
    bool SaveRunning() const override {
        ++closeChecks;
        return saving;
    }
};

TEST_F(ImagesWindowTest, EveryWayOfClosingGoesThroughTheOneClosePath) {
    CapturedBatch batch(2);
    auto dialog = OpenOn<SavingDialog>(batch, 360, 240);
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"close box",
         [&] {
             dialog->close();
         }},
        {"Escape",
         [&] {
             QTest::keyClick(dialog.get(), Qt::Key_Escape);
         }},
        {"Enter",
         [&] {
             QTest::keyClick(dialog.get(), Qt::Key_Return);
         }},
        {"done",
         [&] {
             dialog->done(1);
         }},
        {"reject",
         [&] {
             dialog->reject();
         }},
        {"accept",
         [&] {
             dialog->accept();
         }},
        {"WM_CLOSE",
         [&] {
             platform::SendMessage(dialog->Handle(), platform::WM_CLOSE);
         }},
        {"Exit",
         [&] {
             dialog->Command(res::ID_IMAGES_EXIT)->trigger();
         }},
    };
    // Each way on a fresh dialog: a close that waits for a save is remembered.
    for (const auto& [name, close] : ways) {
        dialog = OpenOn<SavingDialog>(batch, 360, 240);
        close();
        Settle();
        EXPECT_TRUE(dialog->isVisible()) << name;
        EXPECT_EQ(dialog->closeChecks, 1) << name;
    }
    for (const auto& [name, close] : ways) {
        dialog = OpenOn<SavingDialog>(batch, 360, 240);
        dialog->saving = false;
        close();
        Settle();
        EXPECT_FALSE(dialog->isVisible()) << name;
        EXPECT_EQ(dialog->result(), 0) << name;
    }
}

TEST_F(ImagesWindowTest, MinimisedDialogPaintsItsIconInTheMiddle) {
    CapturedBatch batch(1);
    auto dialog = OpenOn<CImagesDlg>(batch, 360, 240);
    dialog->showMinimized();
    Settle();
    if (!dialog->isMinimized())
        GTEST_SKIP() << "this platform does not minimise windows";
    // The dialog's own painting: the views are not painted while minimised.
    QImage painted(dialog->size(), QImage::Format_ARGB32);
    dialog->render(&painted, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    const QSize client = dialog->ClientSize();
    const QImage icon = res::AppIconPixmap(32).toImage();
    const QPoint corner((client.width() - 32 + 1) / 2,
                        dialog->height() - client.height() + (client.height() - 32 + 1) / 2);
    // The icon's picture lands in the middle of the client area.
    EXPECT_EQ(painted.pixel(corner + QPoint(16, 20)), icon.pixel(16, 20));
}

} // namespace
} // namespace images
