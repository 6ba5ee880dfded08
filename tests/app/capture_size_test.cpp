// Frames at the video's own size, the memory check before such a batch, one
// frame by Snapshot and Copy, and what the program remembers between runs.
#include "app/user_settings.h"
#include "capture_fixture.h"
#include "images/composite.h"
#include "images/format_dialog.h"
#include "images/label_band.h"
#include "support/temporary_folder.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QStatusBar>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <ostream>

namespace app_test {
namespace {

namespace fs = std::filesystem;
using testing_support::TemporaryFolder;

// A 720 × 576 PAL clip of 16:9 pixels (64:45), made once with the ffmpeg
// command; empty without it.
QString AnamorphicClip() {
    static TemporaryFolder folder("tesselon-anamorphic");
    const fs::path clip = folder.Path() / "pal_16x9.mpg";
    if (!fs::exists(clip)) {
        const std::string command =
            "ffmpeg -v error -f lavfi -i testsrc=size=720x576:rate=25 -t 6 -vf setsar=64/45 "
            "-c:v mpeg2video -q:v 4 '" + clip.string() + "' 2> /dev/null";
        if (std::system(command.c_str()) != 0)
            return {};
    }
    return QString::fromStdString(clip.string());
}

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct SizeCase {
    const char* name;
    QString (*clip)();
    picture::Shape shape;
    friend void PrintTo(const SizeCase& c, std::ostream* out) { *out << c.name; }
};

class OwnSizeBatch : public CaptureBatchTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(OwnSizeBatch, TakesEveryFrameAtTheShapePlayersShowWithABandInProportion) {
    const QString clip = GetParam().clip();
    if (clip.isEmpty())
        GTEST_SKIP() << "no ffmpeg command to make the clip";
    StartOnPath(clip);
    Trigger(res::ID_OPTIONS_CAPTURE_VIDEO);
    RunBatch([&] { Trigger(res::ID_CONTROL_IMAGES); });
    ASSERT_TRUE(seen_.windowShown);
    ASSERT_EQ(seen_.shapes.size(), 100u);
    for (const picture::Shape& shape : seen_.shapes)
        ASSERT_EQ(shape, GetParam().shape);
    // Pictures, not black frames: the clips' test patterns are bright.
    for (int brightest : seen_.brightest)
        EXPECT_GT(brightest, 150);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, OwnSizeBatch,
    ::testing::Values(SizeCase{"Hd", [] { return AppDataPath("hd_1280x720.mpg"); },
                               {1280, 720, 57}},
                      SizeCase{"AnamorphicPal", AnamorphicClip, {1024, 576, 46}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureBatchTest, AtTheVideosSizeTheBatchStartsWithTheFrameOnShowAndGoesOnFrameByFrame) {
    StartOn("index.mp4");
    Trigger(res::ID_OPTIONS_CAPTURE_VIDEO);
    int first = -1;
    RunBatch([&] {
        first = FrameOnScreen();
        Trigger(res::ID_CONTROL_IMAGES);
    });
    ASSERT_EQ(seen_.frames.size(), 100u);
    EXPECT_EQ(seen_.shapes.front(), (picture::Shape{176, 144, 16}));
    EXPECT_EQ(seen_.frames.front(), first);
    for (std::size_t i = 1; i < seen_.frames.size(); ++i) {
        // The clip loops back to its first frame.
        if (seen_.frames[i] != 0) {
            ASSERT_EQ(seen_.frames[i], seen_.frames[i - 1] + 1) << i;
        }
    }
}

TEST(CaptureGeometry, BandAndCompositeGrowInProportionAbove360) {
    struct Case {
        int width, height, band;
        QSize composite;
    };
    for (const Case& c : {Case{360, 240, 16, {752, 512}}, Case{176, 144, 16, {384, 320}},
                          Case{1280, 720, 57, {2672, 1553}}, Case{1024, 576, 46, {2140, 1244}}}) {
        EXPECT_EQ(playback::LabelBandRowsFor(c.width), c.band) << c.width;
        const picture::Shape composite = images::CompositeShape({c.width, c.height, c.band});
        EXPECT_EQ(QSize(composite.width, composite.height), c.composite) << c.width;
    }
    // The text grows with the band: its rows of yellow in proportion.
    const auto textRows = [](int width, int rows) {
        const images::LabelBand band = images::RenderLabelBand(QStringLiteral("Tesselon"), width, rows);
        int first = rows, last = -1;
        for (int row = 0; row < rows; ++row)
            for (int x = 0; x < width; ++x)
                if (band.Row(row)[x] != 0) {
                    first = std::min(first, row);
                    last = std::max(last, row);
                }
        return last - first + 1;
    };
    const double small = textRows(360, 16);
    const double large = textRows(1280, 57);
    EXPECT_NEAR(large / small, 57.0 / 16.0, 0.6);
}

struct MemoryAnswer {
    const char* name;
    platform::DialogAnswer answer;
    bool captured;
    friend void PrintTo(const MemoryAnswer& c, std::ostream* out) { *out << c.name; }
};

class ShortOfMemory : public CaptureBatchTest,
                      public ::testing::WithParamInterface<MemoryAnswer> {};

TEST_P(ShortOfMemory, SaysWhatTheBatchNeedsAndOffers360x240OrCancel) {
    // The index clip at its own 176 × 144 needs 11 MB; 1 MB is free.
    StartOn("index.mp4");
    Trigger(res::ID_OPTIONS_CAPTURE_VIDEO);
    Frame().Batch().SetMemoryProbe([] { return std::optional<std::uint64_t>(1'000'000); });
    dialogs_.AnswerMessage(GetParam().answer);
    RunBatch([&] { Trigger(res::ID_CONTROL_IMAGES); });
    ASSERT_FALSE(dialogs_.Messages().empty());
    EXPECT_TRUE(dialogs_.Messages().front().text.contains(
        QStringLiteral("100 frames at 176 \u00D7 144 needs 11 MB of memory, more than half "
                       "of the 1 MB free")))
        << dialogs_.Messages().front().text.toStdString();
    EXPECT_EQ(seen_.windowShown, GetParam().captured);
    for (const picture::Shape& shape : seen_.shapes)
        ASSERT_EQ(shape, (picture::Shape{360, 240, 16}));
    EXPECT_EQ(seen_.shapes.size(), GetParam().captured ? 100u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Answers, ShortOfMemory,
                         ::testing::Values(MemoryAnswer{"At360x240", platform::DialogAnswer::kOk,
                                                        true},
                                           MemoryAnswer{"Cancelled",
                                                        platform::DialogAnswer::kCancel, false}),
                         [](const auto& info) { return std::string(info.param.name); });

class OneFrameTest : public CaptureBatchTest {
protected:
    // The program on the index clip, paused on a frame a few steps in, its
    // files going into the folder, without the label.
    void StartPaused() {
        UserSettings settings;
        settings.save.directory = folder_.Path();
        settings.save.labelOn = false;
        ASSERT_TRUE(WriteUserSettings(SettingsFile(), settings));
        StartOnPath(DataPath("index.mp4"), false, SettingsFile());
        Trigger(res::ID_CONTROL_PAUSE);
        for (int i = 0; i < 7; ++i)
            Trigger(res::ID_CONTROL_NEXT_FRAME);
        ASSERT_TRUE(gSource->IsPaused());
    }
    QString SettingsFile() const {
        return QString::fromStdString((folder_.Path() / "settings.ini").string());
    }
    TemporaryFolder folder_;
};

TEST_F(OneFrameTest, SnapshotSavesTheFrameOnShowUnderItsTimeAndNeverOverAFile) {
    StartPaused();
    const int shown = FrameOnScreen();
    const fs::path first = folder_.Path() / (std::to_string(gSource->GetPositionMs()) + ".JPG");
    Trigger(res::ID_CONTROL_SNAPSHOT);
    QImage saved(QString::fromStdString(first.string()));
    ASSERT_EQ(saved.size(), QSize(360, 240)) << first;
    saved = saved.convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(FrameIndex(saved.constBits(), static_cast<int>(saved.bytesPerLine())), shown);
    EXPECT_TRUE(Frame().statusBar()->currentMessage().contains(
        QString::fromStdString(first.string())));

    const std::string before = Bytes(first);
    Trigger(res::ID_CONTROL_SNAPSHOT);
    fs::path second = first;
    second.replace_filename(first.stem().string() + "_2.JPG");
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(Bytes(first), before);
}

TEST_F(OneFrameTest, CopyPutsTheFrameOnShowAtItsOwnSizeOnTheClipboard) {
    StartPaused();
    const int shown = FrameOnScreen();
    Trigger(res::ID_EDIT_COPY);
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(176, 144));
    const QImage scaled = copied.scaled(360, 240).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(FrameIndex(scaled.constBits(), static_cast<int>(scaled.bytesPerLine())), shown);
}

TEST_F(OneFrameTest, TheImagesWindowCopiesThePictureInViewWithItsBand) {
    StartPaused();
    onWindow_ = [](ImagesWindow& window) {
        window.show();
        window.List().SetLabel(true, QStringLiteral("label"));
        window.SelectImage(3);
        window.Command(res::ID_IMAGES_COPY)->trigger();
    };
    RunBatch([&] { Trigger(res::ID_CONTROL_IMAGES); });
    ASSERT_TRUE(seen_.windowShown);
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(360, 256));
    const QImage frame = copied.convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(FrameIndex(frame.constBits(), static_cast<int>(frame.bytesPerLine())),
              seen_.frames[3]);
}

TEST_F(OneFrameTest, TheChoicesAndRecentVideosAreThereAtTheNextStart) {
    StartPaused();
    Trigger(res::ID_OPTIONS_CAPTURE_VIDEO);
    Frame().SetModalRunner([](QDialog& dialog) {
        auto& format = dynamic_cast<images::CFormatDlg&>(dialog);
        format.FormatBox()->setCurrentIndex(1); // PNG
        return int(QDialog::Accepted);
    });
    Trigger(res::ID_OPTIONS_IMAGE_FORMAT);
    app_.reset();

    const QString gone = QString::fromStdString((folder_.Path() / "gone.mpg").string());
    UserSettings settings = ReadUserSettings(SettingsFile());
    EXPECT_EQ(settings.captureSize, CaptureSize::kVideo);
    EXPECT_EQ(settings.save.format.format, images::ImageFormat::Png);
    ASSERT_EQ(settings.recentVideos.size(), 1);
    EXPECT_TRUE(settings.recentVideos.front().endsWith("index.mp4"));
    settings.recentVideos.append(gone);
    ASSERT_TRUE(WriteUserSettings(SettingsFile(), settings));

    CGrabberApp::Options options = SilentOptions();
    options.settingsFile = SettingsFile();
    ASSERT_TRUE(Start(std::move(options)));
    EXPECT_TRUE(Frame().Action(res::ID_OPTIONS_CAPTURE_VIDEO)->isChecked());
    QList<QAction*> recent = Frame().RecentVideosMenu()->actions();
    ASSERT_EQ(recent.size(), 2);
    EXPECT_EQ(recent[0]->text(), QStringLiteral("index.mp4"));
    recent[1]->trigger(); // the file is gone: said, and taken off the list
    ASSERT_EQ(dialogs_.Messages().size(), 1u);
    EXPECT_TRUE(dialogs_.Messages()[0].text.contains(gone));
    EXPECT_EQ(Frame().RecentVideosMenu()->actions().size(), 1);
    EXPECT_EQ(ReadUserSettings(SettingsFile()).recentVideos.size(), 1);
    Frame().RecentVideosMenu()->actions()[0]->trigger();
    EXPECT_TRUE(gSource->IsOpen());
}

} // namespace
} // namespace app_test
