// The settings kept between runs, and the memory check before a batch.
#include "app/capture_memory.h"
#include "app/user_settings.h"
#include "support/temporary_folder.h"

#include <QSettings>

#include <gtest/gtest.h>

namespace {

using testing_support::TemporaryFolder;

QString FileIn(const TemporaryFolder& folder) {
    return QString::fromStdString((folder.Path() / "tesselon.ini").string());
}

TEST(UserSettings, AFirstStartHasTodaysDefaultsAndAWriteReadsBackWhole) {
    TemporaryFolder folder;
    const UserSettings first = ReadUserSettings(FileIn(folder));
    EXPECT_EQ(first.save, images::SavePreferences{});
    EXPECT_EQ(first.captureSize, CaptureSize::kFixed);
    EXPECT_TRUE(first.windowGeometry.isEmpty());
    EXPECT_TRUE(first.recentVideos.isEmpty());

    UserSettings changed;
    changed.save.directory = folder.Path() / "stills ü";
    changed.save.labelOn = false;
    changed.save.labelText = QStringLiteral("Match, 2nd half");
    changed.save.format = {images::ImageFormat::Webp, 60, true};
    changed.captureSize = CaptureSize::kVideo;
    changed.windowGeometry = QByteArray("\x01\x02geometry", 10);
    changed.recentVideos = {QStringLiteral("/v/a.mp4"), QStringLiteral("/v/b,c.mkv")};
    ASSERT_TRUE(WriteUserSettings(FileIn(folder), changed));
    const UserSettings read = ReadUserSettings(FileIn(folder));
    EXPECT_EQ(read.save, changed.save);
    EXPECT_EQ(read.captureSize, CaptureSize::kVideo);
    EXPECT_EQ(read.windowGeometry, changed.windowGeometry);
    EXPECT_EQ(read.recentVideos, changed.recentVideos);

    // Nothing is read or written without a file.
    EXPECT_TRUE(WriteUserSettings(QString(), changed));
    EXPECT_EQ(ReadUserSettings(QString()).captureSize, CaptureSize::kFixed);
}

TEST(UserSettings, ValuesOutOfRangeFallBackToTheDefaults) {
    TemporaryFolder folder;
    {
        QSettings stored(FileIn(folder), QSettings::IniFormat);
        stored.setValue("image/format", "tiff");
        stored.setValue("image/quality", 0);
        stored.setValue("capture/size", "huge");
        QStringList many;
        for (int i = 0; i < 12; ++i)
            many << QStringLiteral("/v/%1.mp4").arg(i);
        stored.setValue("recent/videos", many);
    }
    const UserSettings read = ReadUserSettings(FileIn(folder));
    EXPECT_EQ(read.save.format, images::StillFormat{});
    EXPECT_EQ(read.captureSize, CaptureSize::kFixed);
    EXPECT_EQ(read.recentVideos.size(), UserSettings::kMaxRecentVideos);
}

TEST(UserSettings, RecentVideosPutTheLatestFirstOnceAndKeepEight) {
    QStringList recent;
    for (int i = 0; i < 8; ++i)
        recent = WithRecentVideo(recent, QString::number(i));
    EXPECT_EQ(recent, QStringList({"7", "6", "5", "4", "3", "2", "1", "0"}));
    EXPECT_EQ(WithRecentVideo(recent, "3"), QStringList({"3", "7", "6", "5", "4", "2", "1", "0"}));
    EXPECT_EQ(WithRecentVideo(recent, "new"),
              QStringList({"new", "7", "6", "5", "4", "3", "2", "1"}));
}

struct MemoryCase {
    std::uint64_t needed;
    std::optional<std::uint64_t> available;
    bool fits;
};

TEST(CaptureMemory, ABatchGoesAheadUpToHalfOfWhatIsFree) {
    // 100 pictures of 3840 × 2160 take 3.3 GB, 3.6 GB with their band.
    const std::uint64_t uhd = BatchBytes({3840, 2160, 171}, 100);
    EXPECT_EQ(uhd, 3840ull * 2331 * 4 * 100);
    EXPECT_EQ(MemoryText(uhd), QStringLiteral("3.6 GB"));
    EXPECT_EQ(MemoryText(36'864'000), QStringLiteral("37 MB"));
    for (const MemoryCase& c : {MemoryCase{uhd, 8'000'000'000ull, true},
                                MemoryCase{uhd, 7'000'000'000ull, false},
                                MemoryCase{100, 200, true}, MemoryCase{101, 200, false},
                                MemoryCase{uhd, std::nullopt, true}})
        EXPECT_EQ(BatchFitsMemory(c.needed, c.available), c.fits) << c.needed;
    EXPECT_TRUE(AvailableMemoryBytes().has_value()) << "/proc/meminfo gives MemAvailable";
}

} // namespace
