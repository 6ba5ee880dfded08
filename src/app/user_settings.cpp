#include "app/user_settings.h"

#include "images/save_paths.h"

#include <QSettings>

namespace {

const QString kDirectory = QStringLiteral("save/directory");
const QString kLabelOn = QStringLiteral("label/on");
const QString kLabelText = QStringLiteral("label/text");
const QString kCaptureSize = QStringLiteral("capture/size");
const QString kGeometry = QStringLiteral("window/geometry");
const QString kRecent = QStringLiteral("recent/videos");

const QString kVideoSize = QStringLiteral("video");
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
