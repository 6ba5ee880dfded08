#include "app/open_messages.h"

#include "platform/dialogs.h"
#include "res/app_strings.h"

#include <QFileInfo>

namespace {

QString OpenFailureText(const playback::OpenResult& result, const QString& path) {
    switch (result.failed) {
    case playback::OpenStep::None:
        return QString();
    case playback::OpenStep::StreamObject:
        return QStringLiteral("Could not get IAMMultimedia interface!");
    case playback::OpenStep::VideoStream:
        return QStringLiteral("Could add primary video stream!");
    case playback::OpenStep::File:
        return QStringLiteral("Could not open file!");
    case playback::OpenStep::PrimaryVideo:
        return QStringLiteral("Could not get Primary Video Stream interface!");
    case playback::OpenStep::FirstFrame:
        return platform::FormatString(res::IDS_NO_DECODABLE_FRAME, QFileInfo(path).fileName());
    case playback::OpenStep::Sample:
        return QStringLiteral("Could not create stream sample!");
    }
    return QString();
}

} // namespace

void ShowOpenFailure(const playback::OpenResult& result, const QString& path) {
    platform::ShowMessage(OpenFailureText(result, path), QStringLiteral("FATAL ERROR"),
                          platform::MessageIcon::kError, platform::MessageButtons::kOk);
}
