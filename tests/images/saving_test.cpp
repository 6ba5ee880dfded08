// Saving from the images dialogs, with scripted message boxes and file
// dialogs; the files are decoded with libjpeg-turbo.
#include "images/composite.h"
#include "images/images4_dialog.h"
#include "images/images_dialog.h"
#include "images/progress_dialog.h"
#include "images/save_paths.h"

#include "captured_images.h"
#include "controls/tab_window.h"
#include "decoded_jpeg.h"
#include "decoded_still.h"
#include "images/image_view.h"
#include "platform/dialogs.h"
#include "platform/progress_bar.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

namespace images {
namespace {

namespace fs = std::filesystem;
using testing::CapturedBatch;
using testing::DecodedJpeg;
using testing::DecodeJpeg;
using testing::DecodePng;
using testing::DecodeWebp;
using testing::ReadFileBytes;

std::uint32_t ColourOf(int index) {
    return static_cast<std::uint32_t>((index * 37) % 256 | ((index * 91 + 40) % 256) << 8 |
                                      ((255 - index * 2) % 256) << 16);
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SavingTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::InstallStrings();
        std::string pattern = (fs::temp_directory_path() / "tesselon-saving-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(directory_); // the save directory starts as the working directory
        for (int i = 0; i < batch_.Count(); ++i)
            batch_.Fill(i, ColourOf(i));
    }
    void TearDown() override {
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    template <typename Dialog> std::unique_ptr<Dialog> Open() {
        QStringList names;
        for (int i = 0; i < batch_.Count(); ++i)
            names.append(std::is_same_v<Dialog, CImages4Dlg>
                             ? QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'))
                             : QString::number(500 + i * 40));
        auto dialog = std::make_unique<Dialog>(batch_.Count(), 360, 240, names, testing::kShape);
        for (int i = 0; i < batch_.Count(); ++i)
            EXPECT_TRUE(dialog->AddImage(batch_.PictureOf(i)));
        dialog->show();
        QApplication::processEvents();
        return dialog;
    }

    // Runs the command, then the event loop until the save it started is over.
    static void SaveWith(ImagesWindow& dialog, int commandId,
                         const std::function<void()>& whileSaving = {}) {
        dialog.Command(commandId)->trigger();
        if (whileSaving)
            whileSaving();
        WaitForSaveEnd(dialog);
    }
    // Only a guard against a save that never ends: a Save all of 100 images takes
    // about 40 s alone under ThreadSanitizer, and longer beside other tests.
    static constexpr qint64 kHangLimitMs = 300000;

    static void WaitForSaveEnd(ImagesWindow& dialog) {
        QElapsedTimer timer;
        timer.start();
        while (dialog.SavingProgress() != nullptr ||
               !dialog.Command(res::ID_IMAGES_SAVE_AS)->isEnabled()) {
            ASSERT_LT(timer.elapsed(), kHangLimitMs) << "the save never ended";
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        QApplication::processEvents();
    }

    std::vector<std::string> Listing(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    void ExpectPicture(const fs::path& file, int index, int rows) {
        const std::optional<DecodedJpeg> decoded = DecodeJpeg(ReadFileBytes(file));
        ASSERT_TRUE(decoded.has_value()) << file;
        EXPECT_EQ(decoded->width, 360);
        EXPECT_EQ(decoded->height, rows);
        EXPECT_GT(testing::PsnrAgainstBuffer(*decoded, batch_.Bytes(index)), 35.0) << file;
    }

    // Kinds of entry a target may find; the last two cannot be opened for
    // reading (but by root), and they exist all the same.
    enum class Entry { kFile, kDanglingSymlink, kWriteOnlyFile };

    // A dangling symlink points at a missing file beside it, which a write
    // through the link may make.
    void MakeEntry(const fs::path& at, Entry kind, const std::string& text) const {
        if (kind == Entry::kDanglingSymlink) {
            fs::create_symlink(directory_ / ("moved-" + at.filename().string()), at);
            return;
        }
        std::ofstream(at) << text;
        if (kind == Entry::kWriteOnlyFile)
            fs::permissions(at, fs::perms::owner_write);
    }
    void ExpectEntryKept(const fs::path& at, Entry kind, const std::string& text) const {
        if (kind == Entry::kDanglingSymlink) {
            EXPECT_TRUE(fs::is_symlink(at)) << at;
            EXPECT_FALSE(fs::exists(at)) << at; // its target is still missing
            return;
        }
        fs::permissions(at, fs::perms::owner_read, fs::perm_options::add);
        EXPECT_EQ(ReadText(at), text) << at;
    }

    CapturedBatch batch_{100};
    platform::ScriptedDialogs dialogs_;
    fs::path directory_;
    fs::path previous_;
};

TEST_F(SavingTest, SaveWritesTheCurrentImageWithTheBandOrWithoutIt) {
    auto dialog = Open<CImagesDlg>();
    dialog->SelectImage(7);
    SaveWith(*dialog, res::ID_IMAGES_SAVE);
    ExpectPicture(directory_ / "780.JPG", 7, 256);
    EXPECT_TRUE(dialogs_.Messages().empty());

    dialog->List().SetLabel(false, dialog->List().LabelText());
    dialogs_.AnswerMessage(platform::DialogAnswer::kOk); // replace it
    SaveWith(*dialog, res::ID_IMAGES_SAVE);
    ExpectPicture(directory_ / "780.JPG", 7, 240);
    ASSERT_EQ(dialogs_.Messages().size(), 1u);
    EXPECT_EQ(dialogs_.Messages()[0].text,
              "Do you want to replace " +
                  QString::fromStdString((directory_ / "780.JPG").string()) + " file?");
    EXPECT_EQ(Listing(directory_), std::vector<std::string>{"780.JPG"});
}

// Save as writes the file type chosen in its dialog; Save, Save all and
// Save as to a name of no known type write the format of Options, Image format.
TEST_F(SavingTest, EachSaveWritesTheFormatChosenForIt) {
    struct Case {
        int command;
        const char* answer; // the file chosen in Save as's dialog
        images::ImageFormat option;
        const char* written;
        std::optional<DecodedJpeg> (*decode)(const std::vector<std::uint8_t>&);
    };
    const Case cases[] = {
        {res::ID_IMAGES_SAVE_AS, "chosen.png", images::ImageFormat::Jpeg, "chosen.png", DecodePng},
        {res::ID_IMAGES_SAVE_AS, "chosen.WebP", images::ImageFormat::Png, "chosen.WebP",
         DecodeWebp},
        {res::ID_IMAGES_SAVE_AS, "chosen.bmp", images::ImageFormat::Png, "chosen.bmp", DecodePng},
        {res::ID_IMAGES_SAVE, nullptr, images::ImageFormat::Png, "780.PNG", DecodePng},
        {res::ID_IMAGES_SAVE, nullptr, images::ImageFormat::Webp, "780.WEBP", DecodeWebp},
    };
    for (const Case& c : cases) {
        auto dialog = Open<CImagesDlg>();
        images::SavePreferences preferences;
        preferences.format.format = c.option;
        preferences.format.lossless = true;
        dialog->SetPreferences(preferences);
        dialog->SelectImage(7);
        if (c.answer != nullptr)
            dialogs_.AnswerFile(QString::fromStdString((directory_ / c.answer).string()));
        SaveWith(*dialog, c.command);
        const std::optional<DecodedJpeg> decoded = c.decode(ReadFileBytes(directory_ / c.written));
        ASSERT_TRUE(decoded.has_value()) << c.written;
        EXPECT_EQ(decoded->height, 256) << c.written;
        EXPECT_GT(testing::PsnrAgainstBuffer(*decoded, batch_.Bytes(7)), 35.0) << c.written;
        // Only a directory chosen is kept; the working one stands in meanwhile.
        EXPECT_EQ(dialog->Preferences().directory, c.answer ? directory_ : fs::path());
        fs::remove(directory_ / c.written);
    }
}

TEST_F(SavingTest, CancelAtTheReplacePromptLeavesTheFileAndTheDialogUsable) {
    // Whatever the entry is: only the entry itself is looked at.
    for (const Entry kind : {Entry::kFile, Entry::kDanglingSymlink, Entry::kWriteOnlyFile}) {
        const fs::path target = directory_ / "500.JPG";
        MakeEntry(target, kind, "keep me");
        auto dialog = Open<CImagesDlg>();
        const std::size_t shownBefore = dialogs_.Messages().size();
        dialogs_.AnswerMessage(platform::DialogAnswer::kCancel);
        SaveWith(*dialog, res::ID_IMAGES_SAVE);
        ASSERT_EQ(dialogs_.Messages().size(), shownBefore + 1) << int(kind);
        EXPECT_EQ(dialogs_.Messages().back().text,
                  "Do you want to replace " + QString::fromStdString(target.string()) + " file?");
        ExpectEntryKept(target, kind, "keep me");
        EXPECT_EQ(Listing(directory_), std::vector<std::string>{"500.JPG"}) << int(kind);
        EXPECT_EQ(dialog->SavingProgress(), nullptr);
        EXPECT_TRUE(dialog->Command(res::ID_IMAGES_SAVE)->isEnabled());
        dialog->close();
        EXPECT_FALSE(dialog->isVisible());
        fs::remove(target);
    }
}

TEST_F(SavingTest, SaveAllWithNoneOfItsFilesThereAsksNothingAndEveryFileIsItsOwnImage) {
    auto dialog = Open<CImagesDlg>();
    SaveWith(*dialog, res::ID_IMAGES_SAVE_ALL);
    EXPECT_TRUE(dialogs_.Messages().empty());
    ASSERT_EQ(Listing(directory_).size(), 100u);
    for (int i = 0; i < 100; ++i)
        ExpectPicture(directory_ / (std::to_string(500 + i * 40) + ".JPG"), i, 256);
    // Each image was brought into view while it was saved.
    EXPECT_EQ(dialog->TabWindow(0)->CurrentSheet(), dialog->Views(0)[99]);
}

// A folder that holds an earlier save, some of whose names Save all would
// write again, answered each way.
struct ExistingFilesCase {
    const char* name;
    platform::DialogAnswer answer;
};

// GoogleTest would print the struct's bytes, padding included.
void PrintTo(const ExistingFilesCase& answer, std::ostream* out) {
    *out << answer.name;
}

class SaveAllOverExistingFiles : public SavingTest,
                                 public ::testing::WithParamInterface<ExistingFilesCase> {};

TEST_P(SaveAllOverExistingFiles, AsksOnceAndDoesWhatTheAnswerSays) {
    using enum platform::DialogAnswer;
    const std::vector<std::pair<std::string, Entry>> earlier = {
        {"500.JPG", Entry::kFile},
        {"500_2.JPG", Entry::kFile}, // so that Keep both must go on to _3
        {"540.JPG", Entry::kDanglingSymlink},
        {"580.JPG", Entry::kWriteOnlyFile}};
    for (const auto& [name, kind] : earlier)
        MakeEntry(directory_ / name, kind, "earlier " + name);
    auto dialog = Open<CImagesDlg>();
    dialogs_.AnswerMessage(GetParam().answer);
    SaveWith(*dialog, res::ID_IMAGES_SAVE_ALL);

    ASSERT_EQ(dialogs_.Messages().size(), 1u); // once, and no failure report
    EXPECT_EQ(dialogs_.Messages()[0].text,
              "Some of these images already have files in " +
                  QString::fromStdString(directory_.string()) +
                  " directory. Replace them all, or keep both and save the new images under "
                  "names ending in _2, _3, ...?");
    EXPECT_EQ(dialogs_.Messages()[0].buttons, platform::MessageButtons::kReplaceAllKeepBothCancel);
    EXPECT_TRUE(dialog->Command(res::ID_IMAGES_SAVE_ALL)->isEnabled());
    const auto kept = [&] {
        for (const auto& [name, kind] : earlier)
            ExpectEntryKept(directory_ / name, kind, "earlier " + name);
    };
    const auto written = [&](int index, const std::string& name) {
        ExpectPicture(directory_ / name, index, 256);
    };
    switch (GetParam().answer) {
    case kOk: // Replace all: every image under its own name
        for (int i = 0; i < 100; ++i)
            written(i, std::to_string(500 + i * 40) + ".JPG");
        break;
    case kKeepBoth:
        kept();
        written(0, "500_3.JPG");
        written(1, "540_2.JPG");
        written(2, "580_2.JPG");
        for (int i = 3; i < 100; ++i)
            written(i, std::to_string(500 + i * 40) + ".JPG");
        EXPECT_EQ(Listing(directory_).size(), earlier.size() + 100);
        break;
    case kCancel:
        kept();
        EXPECT_EQ(Listing(directory_).size(), earlier.size());
        EXPECT_EQ(dialog->SavingProgress(), nullptr);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SaveAllOverExistingFiles,
    ::testing::Values(ExistingFilesCase{"ReplaceAll", platform::DialogAnswer::kOk},
                      ExistingFilesCase{"KeepBoth", platform::DialogAnswer::kKeepBoth},
                      ExistingFilesCase{"Cancel", platform::DialogAnswer::kCancel}),
    [](const auto& info) { return std::string(info.param.name); });

// A looped batch names images "40" and "40_2": the file kept aside for "40"
// must not take the other image's name.
TEST_F(SavingTest, KeepBothNamesTakeNeitherAnExistingEntryNorAnotherImagesName) {
    std::ofstream(directory_ / "40.JPG") << "earlier";
    fs::create_symlink(directory_ / "gone", directory_ / "40_3.JPG");
    const std::vector<fs::path> targets = {directory_ / "40.JPG", directory_ / "40_2.JPG",
                                           directory_ / "80.JPG"};
    EXPECT_EQ(KeepBothPaths(targets),
              (std::vector<fs::path>{directory_ / "40_4.JPG", directory_ / "40_2.JPG",
                                     directory_ / "80.JPG"}));
}

TEST_F(SavingTest, AnUnwritableDirectoryIsReportedAndTheChosenOneTakesSaveAll) {
    const fs::path elsewhere = directory_ / "elsewhere";
    fs::create_directory(elsewhere);
    const fs::path gone = directory_ / "gone";
    fs::create_directory(gone);
    fs::current_path(gone);
    auto dialog = Open<CImagesDlg>();
    fs::current_path(directory_);
    fs::remove(gone); // no file can be made there any more
    dialogs_.AnswerFile(QString::fromStdString((elsewhere / "ANY.JPG").string()));
    SaveWith(*dialog, res::ID_IMAGES_SAVE_ALL);
    ASSERT_EQ(dialogs_.Messages().size(), 1u);
    EXPECT_EQ(dialogs_.Messages()[0].text,
              "Couldn´t write in " + QString::fromStdString(gone.string()) + " directory!");
    ASSERT_EQ(dialogs_.FileDialogs().size(), 1u);
    EXPECT_EQ(dialogs_.FileDialogs()[0].options.initialName, "500");
    EXPECT_EQ(Listing(elsewhere).size(), 100u);
    EXPECT_EQ(dialog->SaveDirectory(), elsewhere);
}

TEST_F(SavingTest, CancelDuringSaveAllStopsAfterTheImageBeingWritten) {
    auto dialog = Open<CImagesDlg>();
    QStringList titles;
    SaveWith(*dialog, res::ID_IMAGES_SAVE_ALL, [&] {
        CProgressDlg* progress = dialog->SavingProgress();
        ASSERT_NE(progress, nullptr);
        EXPECT_TRUE(progress->CancelButton()->isEnabled());
        QObject::connect(progress, &QWidget::windowTitleChanged,
                         [&](const QString& title) { titles.append(title); });
        // Let a few images through, then press Cancel.
        while (Listing(directory_).size() < 3)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
        EXPECT_FALSE(progress->CancelButton()->isEnabled());
    });
    const std::size_t written = Listing(directory_).size();
    EXPECT_GE(written, 3u);
    EXPECT_LT(written, 100u);
    ASSERT_FALSE(titles.isEmpty());
    EXPECT_EQ(titles.back(), "Canceling, wait ...");
    // The image being written when Cancel came is the one on show.
    dialog->UpdateCurrentImages();
    EXPECT_EQ(dialog->List().Current(0) + 1, static_cast<int>(written));
}

TEST_F(SavingTest, ClosingDuringASaveWaitsForTheWorkerAndThenCloses) {
    const std::vector<std::pair<const char*, std::function<void(ImagesWindow&)>>> ways = {
        {"close box",
         [](ImagesWindow& dialog) {
             dialog.close();
         }},
        {"Escape",
         [](ImagesWindow& dialog) {
             QTest::keyClick(&dialog, Qt::Key_Escape);
         }},
        {"WM_CLOSE",
         [](ImagesWindow& dialog) {
             platform::PostMessage(dialog.Handle(), platform::WM_CLOSE);
         }},
    };
    for (const auto& [name, close] : ways) {
        auto dialog = Open<CImagesDlg>();
        QStringList titles;
        bool readWhenClosed = true;
        QObject::connect(dialog.get(), &QDialog::finished,
                         [&] { readWhenClosed = dialog->List().IsBeingRead(); });
        dialog->Command(res::ID_IMAGES_SAVE_ALL)->trigger();
        QObject::connect(dialog->SavingProgress(), &QWidget::windowTitleChanged,
                         [&](const QString& title) { titles.append(title); });
        close(*dialog);
        QApplication::processEvents();
        EXPECT_TRUE(dialog->isVisible()) << name;
        QElapsedTimer timer;
        timer.start();
        while (dialog->isVisible() && timer.elapsed() < kHangLimitMs)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_FALSE(dialog->isVisible()) << name;
        EXPECT_FALSE(readWhenClosed) << name;
        EXPECT_TRUE(titles.contains("Closing, wait ...")) << name;
        EXPECT_LT(Listing(directory_).size(), 100u) << name; // the close cancelled Save all
        for (const auto& entry : fs::directory_iterator(directory_))
            fs::remove(entry.path());
    }
}

TEST_F(SavingTest, FourViewCompositeTakesEachQuarterFromItsViewAndBlackRowsWithoutTheLabel) {
    auto dialog = Open<CImages4Dlg>();
    const int shown[] = {3, 20, 41, 99};
    for (int view = 0; view < 4; ++view)
        dialog->TabWindow(view)->ShowSheet(dialog->Views(view)[shown[view]]);
    dialog->List().SetLabel(false, dialog->List().LabelText());
    const fs::path target = directory_ / "four.jpg";
    dialogs_.AnswerFile(QString::fromStdString(target.string()));
    SaveWith(*dialog, res::ID_IMAGES_SAVE_AS);
    EXPECT_FALSE(dialog->Command(res::ID_IMAGES_SAVE)->isEnabled());
    EXPECT_FALSE(dialog->Command(res::ID_IMAGES_SAVE_ALL)->isEnabled());
    EXPECT_TRUE(dialogs_.FileDialogs()[0].options.initialName.isEmpty());

    // The composite itself, exactly.
    const picture::Picture& composite = dialog->Composite();
    ASSERT_EQ(composite.Width(), 752);
    ASSERT_EQ(composite.Rows(), 512);
    const int kCompositeWidth = composite.Width();
    const auto pixelAt = [&](int x, int y) {
        std::uint32_t word = 0;
        std::memcpy(&word, composite.Pixels() + (y * kCompositeWidth + x) * 4, 4);
        return word;
    };
    const int left[] = {8, 384, 8, 384};
    const int top[] = {8, 8, 264, 264};
    for (int view = 0; view < 4; ++view) {
        EXPECT_EQ(pixelAt(left[view], top[view]), batch_.Word(shown[view], 0, 0)) << view;
        EXPECT_EQ(pixelAt(left[view] + 359, top[view] + 239), batch_.Word(shown[view], 359, 239));
        EXPECT_EQ(pixelAt(left[view] - 1, top[view]), 0u) << view;
    }
    for (int y : {0, 7, 248, 263, 504, 511})
        for (int x = 0; x < kCompositeWidth; ++x)
            ASSERT_EQ(pixelAt(x, y), 0u) << x << "," << y;

    // And the file: 752 × 512, black band rows.
    const std::optional<DecodedJpeg> decoded = DecodeJpeg(ReadFileBytes(target));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width, 752);
    EXPECT_EQ(decoded->height, 512);
    int brightest = 0;
    for (int y = 248; y <= 263; ++y)
        for (int x = 0; x < 752 * 3; ++x)
            brightest = std::max<int>(brightest, decoded->rgb[std::size_t(y * 752 * 3 + x)]);
    EXPECT_LT(brightest, 40); // black, give or take the quantization of the rows around
}

TEST_F(SavingTest, AnExistingFileNamedLikeTheWriteTestSurvives) {
    std::ofstream(directory_ / "piruli") << "mine";
    auto dialog = Open<CImagesDlg>();
    SaveWith(*dialog, res::ID_IMAGES_SAVE);
    EXPECT_EQ(ReadText(directory_ / "piruli"), "mine");
    EXPECT_EQ(Listing(directory_), (std::vector<std::string>{"500.JPG", "piruli"}));
}

// Writes past a few kilobytes fail, as on a full disk; the noisy images need
// more than that, the plain ones less.
TEST_F(SavingTest, ADiskThatFillsUpLeavesNoPartialFileAndNamesTheFilesNotWritten) {
    for (int i : {1, 4})
        batch_.FillWithNoise(i, static_cast<std::uint32_t>(i));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 20000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    auto dialog = Open<CImagesDlg>();
    SaveWith(*dialog, res::ID_IMAGES_SAVE_ALL);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    const std::vector<std::string> files = Listing(directory_);
    EXPECT_EQ(files.size(), 98u);
    EXPECT_EQ(std::count(files.begin(), files.end(), "540.JPG"), 0);
    EXPECT_EQ(std::count(files.begin(), files.end(), "660.JPG"), 0);
    ASSERT_EQ(dialogs_.Messages().size(), 1u);
    const QString report = dialogs_.Messages()[0].text;
    EXPECT_TRUE(report.startsWith("These 2 files were not written:")) << report.toStdString();
    EXPECT_TRUE(report.contains("540.JPG")) << report.toStdString();
    EXPECT_TRUE(report.contains("660.JPG")) << report.toStdString();
    EXPECT_EQ(dialogs_.Messages()[0].icon, platform::MessageIcon::kWarning);
}

TEST_F(SavingTest, TwoSavesInARowEachHaveTheirOwnProgressDialog) {
    auto dialog = Open<CImagesDlg>();
    QPointer<CProgressDlg> first;
    int firstSteps = 0;
    SaveWith(*dialog, res::ID_IMAGES_SAVE, [&] {
        first = dialog->SavingProgress();
        QObject::connect(first->Bar(), &QProgressBar::valueChanged, [&] { ++firstSteps; });
    });
    EXPECT_TRUE(first.isNull()); // the worker ended it and it was deleted
    // One image steps the bar at each stage of the save path.
    EXPECT_GE(firstSteps, 9);
    EXPECT_LE(firstSteps, 10);

    dialogs_.AnswerMessage(platform::DialogAnswer::kOk);
    QPointer<CProgressDlg> second;
    bool secondShown = false;
    SaveWith(*dialog, res::ID_IMAGES_SAVE, [&] {
        second = dialog->SavingProgress();
        secondShown = second != nullptr && second->isVisible();
    });
    EXPECT_TRUE(secondShown);
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(dialog->Command(res::ID_IMAGES_SAVE)->isEnabled());
    EXPECT_EQ(Listing(directory_), std::vector<std::string>{"500.JPG"});
}

TEST(ProgressDialogTest, EscapeAndTheCloseBoxLeaveItToTheWorker) {
    testing::InstallStrings();
    auto* progress = new CProgressDlg;
    QPointer<CProgressDlg> alive(progress);
    progress->show();
    EXPECT_FALSE(progress->CancelButton()->isEnabled());
    SendStepTitle(progress->Handle(), "Saving image 40.JPG ...");
    EXPECT_EQ(progress->windowTitle(), "Saving image 40.JPG ...");
    QTest::keyClick(progress, Qt::Key_Escape);
    progress->close();
    EXPECT_TRUE(progress->isVisible());

    const std::shared_ptr<ProgressFlags> flags = progress->Flags();
    platform::SendMessage(progress->Handle(), platform::WM_PROGRESS_CLOSING);
    EXPECT_TRUE(flags->closingRequested);
    EXPECT_EQ(progress->windowTitle(), "Closing, wait ...");
    platform::SendMessage(progress->Handle(), platform::WM_PROGRESS_CANCEL);
    EXPECT_TRUE(flags->cancelRequested);
    EXPECT_EQ(progress->windowTitle(), "Canceling, wait ...");

    // A worker's step title that arrives after the request does not hide it;
    // a plain title (the capture batch's freeing) still shows.
    SendStepTitle(progress->Handle(), "Saving image 620.JPG ...");
    EXPECT_EQ(progress->windowTitle(), "Canceling, wait ...");
    platform::SendText(progress->Handle(), "Freeing image 07 ...");
    EXPECT_EQ(progress->windowTitle(), "Freeing image 07 ...");

    platform::SendMessage(progress->Handle(), platform::WM_PROGRESS_END);
    EXPECT_FALSE(progress->isVisible());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
    EXPECT_TRUE(flags->cancelRequested); // still readable by the worker
}

} // namespace
} // namespace images
