// The open dialog's filter, checked by what the dialog makes of it: each
// description shown once as written, and each entry offering the files it
// names, rather than by its text.
#include "app/main_frame.h"
#include "platform/dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<QFileDialog> OpenDialog() {
    platform::FileDialogOptions options;
    options.filter = CMainFrame::kOpenFilter;
    std::unique_ptr<QFileDialog> dialog =
        platform::MakeFileDialog(platform::FileDialogKind::kOpen, options);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    return dialog;
}

// The descriptions of "description|patterns|...||", as written.
QStringList WrittenDescriptions(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList descriptions;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].isEmpty())
            descriptions << parts[i];
    return descriptions;
}

TEST(OpenFilterTest, TheDialogShowsEachDescriptionOnceAsWrittenWithVideoFilesFirst) {
    EXPECT_TRUE(CMainFrame::kOpenFilter.endsWith(QStringLiteral("||")));
    const std::unique_ptr<QFileDialog> dialog = OpenDialog();
    const auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    QStringList shown;
    for (int i = 0; i < types->count(); ++i)
        shown << types->itemText(i);
    EXPECT_EQ(shown, WrittenDescriptions(CMainFrame::kOpenFilter));
    ASSERT_EQ(shown.size(), 8);
    EXPECT_EQ(shown.front(), QStringLiteral("Video files"));
    EXPECT_EQ(shown.back(), QStringLiteral("All Files (*.*)"));
}

// The patterns of a dialog entry, "description (patterns)", as the dialog
// reads them: from the last parentheses.
QStringList PatternsOf(const QString& entry) {
    static const QRegularExpression last(QStringLiteral("\\(([^()]*)\\)$"));
    return last.match(entry).captured(1).split(u' ', Qt::SkipEmptyParts);
}

// Whether the dialog's entry shows `file`.
bool Offers(const QString& entry, const QString& file) {
    return QDir::match(PatternsOf(entry), file);
}

struct OfferCase {
    const char* file;
    // The beginnings of the descriptions of the entries that show the file.
    std::vector<const char*> entries;
    friend void PrintTo(const OfferCase& c, std::ostream* out) { *out << c.file; }
};

class OpenFilterOfferTest : public ::testing::TestWithParam<OfferCase> {};

TEST_P(OpenFilterOfferTest, EachEntryShowsTheFilesItNames) {
    const QStringList entries = OpenDialog()->nameFilters();
    ASSERT_EQ(entries.size(), 8);
    const QString file = QString::fromUtf8(GetParam().file);
    for (const QString& entry : entries) {
        const bool named = std::ranges::any_of(GetParam().entries, [&](const char* start) {
            return entry.startsWith(QString::fromUtf8(start));
        });
        EXPECT_EQ(Offers(entry, file), named) << entry.toStdString();
    }
}

constexpr const char* kVideo = "Video files";
constexpr const char* kAll = "All Files";

INSTANTIATE_TEST_SUITE_P(
    Files, OpenFilterOfferTest,
    ::testing::Values(
        // What users have today, besides the original types.
        OfferCase{"clip.mp4", {kVideo, kAll}}, OfferCase{"clip.mkv", {kVideo, kAll}},
        OfferCase{"clip.webm", {kVideo, kAll}}, OfferCase{"clip.wmv", {kVideo, kAll}},
        OfferCase{"clip.flv", {kVideo, kAll}}, OfferCase{"clip.ogv", {kVideo, kAll}},
        OfferCase{"clip.m2ts", {kVideo, kAll}}, OfferCase{"clip.vob", {kVideo, kAll}},
        OfferCase{"clip.rmvb", {kVideo, kAll}},
        // The original types: their own entry and Video files.
        OfferCase{"clip.mpg", {kVideo, "Movie File (MPEG)", kAll}},
        OfferCase{"clip.m1v", {kVideo, "Movie File (MPEG)", kAll}},
        OfferCase{"clip.asf", {kVideo, "Active Streaming Format", kAll}},
        OfferCase{"clip.asx", {kVideo, "Active Streaming Redirector", kAll}},
        OfferCase{"clip.avi", {kVideo, "Audio Video Interleave", kAll}},
        OfferCase{"clip.rm", {kVideo, "RealAudio/RealVideo", kAll}},
        // Sound alone is not a video; anything else only under All Files.
        OfferCase{"song.wav", {"Wave Audio", kAll}}, OfferCase{"notes.txt", {kAll}},
        OfferCase{"README", {kAll}}, OfferCase{"clip.mp4.part", {kAll}}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// Video files holds every video type that an original entry offers.
TEST(OpenFilterTest, VideoFilesOffersEveryTypeOfTheOriginalVideoEntries) {
    const QStringList entries = OpenDialog()->nameFilters();
    ASSERT_FALSE(entries.isEmpty());
    for (const QString& entry : entries.mid(1)) {
        if (entry.startsWith(QStringLiteral("Wave Audio")) ||
            entry.startsWith(QString::fromUtf8(kAll)))
            continue;
        for (const QString& pattern : PatternsOf(entry))
            EXPECT_TRUE(Offers(entries.front(), QStringLiteral("clip") + pattern.mid(1)))
                << pattern.toStdString();
    }
}

} // namespace
