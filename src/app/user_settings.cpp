#include "app/user_settings.h"

#include "images/save_paths.h"

#include <QSettings>

namespace {

const QString kDirectory = QStringLiteral("save/directory");
const QString kLabelOn = QStringLiteral("label/on");
const QString kLabelText = QStringLiteral("label/text");
const QString kCaptureSize = QStringLiteral("capture/size");
const QString kFormat = QStringLiteral("image/format");
const QString kQuality = QStringLiteral("image/quality");
const QString kLossless = QStringLiteral("image/lossless");
const QString kGeometry = QStringLiteral("window/geometry");
const QString kRecent = QStringLiteral("recent/videos");

const QString kVideoSize = QStringLiteral("video");
// The formats by name, in the order of images::ImageFormat.
const QStringList kFormatNames{QStringLiteral("jpg"), QStringLiteral("png"),
                               QStringLiteral("webp")};
const QString kFixedSize = QStringLiteral("360x240");

} // namespace

UserSettings ReadUserSettings(const QString& file) {
    UserSettings settings;
    if (file.isEmpty())
        return settings;
    const QSettings stored(file, QSettings::IniFormat);
    settings.save.directory = images::ToPath(stored.value(kDirectory).toString());
    settings.save.labelOn = stored.value(kLabelOn, true).toBool();
    settings.save.labelText = stored.value(kLabelText).toString();
    settings.captureSize = stored.value(kCaptureSize).toString() == kVideoSize
                               ? CaptureSize::kVideo
                               : CaptureSize::kFixed;
    const qsizetype format = kFormatNames.indexOf(stored.value(kFormat).toString());
    if (format >= 0)
        settings.save.format.format = static_cast<images::ImageFormat>(format);
    // A quality out of range, or no number, is left at the default.
    bool isNumber = false;
    const int quality = stored.value(kQuality).toInt(&isNumber);
    if (isNumber && quality >= 1 && quality <= 100)
        settings.save.format.quality = quality;
    settings.save.format.lossless = stored.value(kLossless, false).toBool();
    settings.windowGeometry = stored.value(kGeometry).toByteArray();
    settings.recentVideos = stored.value(kRecent).toStringList().mid(0, UserSettings::kMaxRecentVideos);
    return settings;
}

bool WriteUserSettings(const QString& file, const UserSettings& settings) {
    if (file.isEmpty())
        return true;
    QSettings stored(file, QSettings::IniFormat);
    stored.setValue(kDirectory, images::ToText(settings.save.directory));
    stored.setValue(kLabelOn, settings.save.labelOn);
    stored.setValue(kLabelText, settings.save.labelText);
    stored.setValue(kCaptureSize,
                    settings.captureSize == CaptureSize::kVideo ? kVideoSize : kFixedSize);
    stored.setValue(kFormat, kFormatNames.value(static_cast<int>(settings.save.format.format)));
    stored.setValue(kQuality, settings.save.format.quality);
    stored.setValue(kLossless, settings.save.format.lossless);
    stored.setValue(kGeometry, settings.windowGeometry);
    stored.setValue(kRecent, settings.recentVideos);
    stored.sync();
    return stored.status() == QSettings::NoError;
}

QStringList WithRecentVideo(QStringList recent, const QString& path) {
    recent.removeAll(path);
    recent.prepend(path);
    return recent.mid(0, UserSettings::kMaxRecentVideos);
}

QString UserSettingsFile() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tesselon"),
                     QStringLiteral("tesselon"))
        .fileName();
}
