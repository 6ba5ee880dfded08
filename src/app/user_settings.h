// What the program keeps between runs: the save directory, the label and the
// image format, the capture size, the window's size and place, and the videos opened lately.
// They live in an INI file (QSettings); the program's is the user's
// configuration file, and a run given no file keeps them in memory only.
//
// User-interface thread only.
#pragma once

#include "images/save_preferences.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

enum class CaptureSize { kFixed, kVideo };

struct UserSettings {
    static constexpr int kMaxRecentVideos = 8;

    images::SavePreferences save;
    CaptureSize captureSize = CaptureSize::kFixed;
    // QWidget::saveGeometry's; empty before the first close.
    QByteArray windowGeometry;
    // Absolute paths, the latest first.
    QStringList recentVideos;
};

// The settings in `file`, with the defaults for what it lacks; all defaults
// for an empty name or a file not there.
UserSettings ReadUserSettings(const QString& file);
// Writes them whole into `file`; nothing for an empty name. False when the
// file could not be written.
bool WriteUserSettings(const QString& file, const UserSettings& settings);

// `recent` with `path` first, once, and at most kMaxRecentVideos paths.
QStringList WithRecentVideo(QStringList recent, const QString& path);

// The user's settings file: Tesselon's INI file in the configuration
// directory ($XDG_CONFIG_HOME, or ~/.config).
QString UserSettingsFile();
