// Contact sheets: the layout's cells on the sheet, frames resampled into
// them exactly, their captions and the header drawn, and the one-view images
// window's Save contact sheet, read back with libjpeg-turbo.
#include "images/contact_sheet.h"
#include "images/images4_dialog.h"
#include "images/images_dialog.h"

#include "captured_images.h"
#include "decoded_jpeg.h"
#include "platform/dialogs.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

namespace images {
namespace {

namespace fs = std::filesystem;

struct LayoutCase {
    const char* name;
    int columns, rows, width, shownWidth, shownHeight, headerLines;
};

class SheetLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

// Whatever the numbers: the sheet is as wide as asked and as high as its
// layout says, every cell lies on it apart from the others and the header,
// the cells fill the width, and each frame keeps the video's shape.
TEST_P(SheetLayoutTest, CellsFillTheWidthApartInTheVideosShape) {
    const LayoutCase c = GetParam();
    const SheetLayout layout =
        LayOutSheet(c.columns, c.rows, c.width, c.shownWidth, c.shownHeight, c.headerLines);
    const picture::Picture sheet = DrawContactSheet(layout, {}, {}, 5);
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet.Width(), c.width);
    EXPECT_EQ(sheet.Height(), layout.Height());
    EXPECT_EQ(sheet.BandRows(), 5);
    const QRect whole(0, 0, c.width, layout.Height());
    EXPECT_TRUE(whole.contains(layout.HeaderRect()));
    const int cells = c.columns * c.rows;
    for (int i = 0; i < cells; ++i) {
        const QRect frame = layout.FrameRect(i);
        EXPECT_TRUE(whole.contains(frame)) << i;
        EXPECT_TRUE(whole.contains(layout.CaptionRect(i))) << i;
        EXPECT_FALSE(frame.intersects(layout.HeaderRect())) << i;
        EXPECT_EQ(layout.CaptionRect(i).top(), frame.bottom() + 1) << i;
        for (int j = i + 1; j < cells; ++j)
            EXPECT_FALSE(frame.united(layout.CaptionRect(i))
                             .intersects(layout.FrameRect(j).united(layout.CaptionRect(j))))
                << i << " and " << j;
    }
    // What the last column leaves on the right is less than one pixel per column.
    const int unused = c.width - (layout.FrameRect(c.columns - 1).right() + 1) - layout.gap;
    EXPECT_GE(unused, 0);
    EXPECT_LT(unused, c.columns);
    const double height = double(layout.frameWidth) * c.shownHeight / c.shownWidth;
    EXPECT_LE(std::abs(layout.frameHeight - height), 0.5 + 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SheetLayoutTest,
    ::testing::Values(LayoutCase{"HundredFramesOfHd", 10, 10, 1280, 1920, 1080, 4},
                      LayoutCase{"IndexClipFourByFive", 4, 5, 704, 176, 144, 4},
                      LayoutCase{"OneCellAtTheLeastWidth", 1, 1, 3, 1, 1, 0},
                      LayoutCase{"AwkwardSmall", 7, 3, 47, 6, 5, 2},
                      LayoutCase{"TallVideo", 3, 2, 1001, 9, 17, 3},
                      LayoutCase{"NarrowPixelsWide", 6, 1, 900, 1024, 576, 1}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST(SheetTime, HoursMinutesSecondsAndMilliseconds) {
    const struct {
        double ms;
        const char* text;
    } cases[] = {{0, "00:00:00.000"},      {62040, "00:01:02.040"},   {3723456.9, "01:02:03.456"},
                 {999.999, "00:00:00.999"}, {-5, "00:00:00.000"},   {360000000, "100:00:00.000"}};
    for (const auto& c : cases)
        EXPECT_EQ(SheetTime(c.ms), QString::fromLatin1(c.text)) << c.ms;
    EXPECT_EQ(CaptionOfName(QStringLiteral("1500")), QStringLiteral("00:00:01.500"));
    EXPECT_EQ(CaptionOfName(QStringLiteral("1500_2")), QStringLiteral("00:00:01.500"));
    EXPECT_EQ(CaptionOfName(QStringLiteral("07")), QStringLiteral("00:00:00.007"));
    EXPECT_EQ(CaptionOfName(QStringLiteral("still")), QStringLiteral("still"));
}

std::uint32_t WordAt(const picture::Picture& sheet, int x, int y) {
    std::uint32_t word = 0;
    std::memcpy(&word, sheet.Row(y) + x * 4, 4);
    return word & 0x00FFFFFF; // the unused byte is not part of the colour
}

// Pixels in `area` of the sheet that are not black.
int LitPixels(const picture::Picture& sheet, const QRect& area) {
    int lit = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            lit += WordAt(sheet, x, y) != 0 ? 1 : 0;
    return lit;
}

TEST(ContactSheetDrawing, EachFrameFillsItsCellExactlyUnderTheHeaderWithItsCaption) {
    testing::InstallStrings();
    // Frames of 17 × 9 with 3 white band rows, which must not reach the sheet.
    std::vector<picture::Picture> frames;
    std::vector<SheetCell> cells;
    for (int i = 0; i < 5; ++i) {
        frames.push_back(picture::Picture::Allocate(17, 9, 3));
        const std::uint32_t colour = 0x00102030u + 0x00201008u * static_cast<std::uint32_t>(i);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 17; ++x)
                std::memcpy(frames.back().Row(y) + x * 4, &colour, 4);
        std::memset(frames.back().Band(), 0xFF, std::size_t(frames.back().Stride()) * 3);
    }
    for (int i = 0; i < 5; ++i)
        cells.push_back({&frames[static_cast<std::size_t>(i)], SheetTime(1000.0 * i)});
    const SheetLayout layout = LayOutSheet(3, 2, 400, 17, 9, 2);
    const picture::Picture sheet =
        DrawContactSheet(layout, {QStringLiteral("File: x.mp4"), QStringLiteral("Size: 1 byte")},
                         cells, 0);
    ASSERT_TRUE(sheet);
    for (int i = 0; i < 5; ++i) {
        const QRect frame = layout.FrameRect(i);
        const std::uint32_t colour = WordAt(frames[static_cast<std::size_t>(i)], 0, 0);
        for (int y = frame.top(); y <= frame.bottom(); ++y)
            for (int x = frame.left(); x <= frame.right(); ++x)
                ASSERT_EQ(WordAt(sheet, x, y), colour) << i << " at " << x << "," << y;
        EXPECT_EQ(WordAt(sheet, frame.left() - 1, frame.top()), 0u) << i; // the gap
        EXPECT_GT(LitPixels(sheet, layout.CaptionRect(i)), 20) << i;
    }
    // The sixth cell has no frame and no caption.
    EXPECT_EQ(LitPixels(sheet, layout.FrameRect(5).united(layout.CaptionRect(5))), 0);
    // Two lines of header text: each line's band has text in it.
    const QRect header = layout.HeaderRect();
    for (int line = 0; line < 2; ++line)
        EXPECT_GT(LitPixels(sheet, QRect(header.left(), header.top() + line * layout.headerLineRows,
                                         header.width(), layout.headerLineRows)),
                  20)
            << line;
}

class SaveContactSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::InstallStrings();
        folder_ = fs::temp_directory_path() / ("tesselon-sheet-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
    platform::ScriptedDialogs dialogs_;
};

TEST_F(SaveContactSheetTest, WritesTheHundredFramesInOrderAsATenByTenSheet) {
    testing::CapturedBatch batch(100);
    QStringList names;
    // Distinct colours that survive JPEG: the red and green bytes count up.
    for (int i = 0; i < batch.Count(); ++i) {
        batch.Fill(i, static_cast<std::uint32_t>((i % 10) * 25 << 16 | (i / 10) * 25 << 8 | 60));
        names.append(QString::number(500 + i * 40));
    }
    // A video wider than its captured pictures: the cells take its shape.
    CImagesDlg dialog(batch.Count(), 1280, 720, names, testing::kShape);
    for (int i = 0; i < batch.Count(); ++i)
        ASSERT_TRUE(dialog.AddImage(batch.PictureOf(i)));
    dialog.SetVideoName(QStringLiteral("holiday.mp4"));
    dialog.show();
    QApplication::processEvents();

    const fs::path target = folder_ / "sheet.jpg";
    dialogs_.AnswerFile(QString::fromStdString(target.string()));
    dialog.Command(res::ID_IMAGES_CONTACT_SHEET)->trigger();
    QElapsedTimer timer;
    timer.start();
    while (dialog.SavingProgress() != nullptr ||
           !dialog.Command(res::ID_IMAGES_CONTACT_SHEET)->isEnabled()) {
        ASSERT_LT(timer.elapsed(), 60000) << "the save never ended";
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_EQ(dialogs_.FileDialogs().size(), 1u);
    EXPECT_EQ(dialogs_.FileDialogs()[0].options.initialName, QStringLiteral("holiday-sheet"));

    const QStringList header = ListSheetHeader(dialog.List(), dialog.VideoName());
    EXPECT_TRUE(header.contains(QStringLiteral("File: holiday.mp4")));
    EXPECT_TRUE(header.contains(QStringLiteral("Frames: 100, 00:00:00.500 to 00:00:04.460")));
    const SheetLayout layout = LayOutSheet(10, 10, 1280, 1280, 720, int(header.size()));
    const auto decoded = testing::DecodeJpeg(testing::ReadFileBytes(target));
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->width, 1280);
    ASSERT_EQ(decoded->height, layout.Height());
    EXPECT_NEAR(double(layout.frameHeight) / layout.frameWidth, 720.0 / 1280, 0.01);
    const auto rgb = [&](int x, int y, int channel) {
        return int(decoded->rgb[(std::size_t(y) * 1280 + std::size_t(x)) * 3 + std::size_t(channel)]);
    };
    for (int i = 0; i < 100; ++i) {
        const QPoint centre = layout.FrameRect(i).center();
        EXPECT_NEAR(rgb(centre.x(), centre.y(), 0), (i % 10) * 25, 10) << i;
        EXPECT_NEAR(rgb(centre.x(), centre.y(), 1), (i / 10) * 25, 10) << i;
    }
    int brightHeader = 0;
    const QRect headerRect = layout.HeaderRect();
    for (int y = headerRect.top(); y <= headerRect.bottom(); ++y)
        for (int x = headerRect.left(); x <= headerRect.right(); ++x)
            brightHeader += rgb(x, y, 1) > 128 ? 1 : 0;
    EXPECT_GT(brightHeader, 200);

    // The four-view window's composite stays its only picture of many.
    CImages4Dlg four(4, 360, 240, {}, testing::kShape);
    EXPECT_EQ(four.Command(res::ID_IMAGES_CONTACT_SHEET), nullptr);
}

} // namespace
} // namespace images
