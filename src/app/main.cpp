// Tesselon: a video-frame grabber. The command line is not read.
#include "app/grabber_app.h"
#include "platform/dialogs.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tesselon"));
    QApplication::setApplicationVersion(QStringLiteral("1.2.0"));
    QApplication::setDesktopFileName(QStringLiteral("tesselon"));
    // Fusion gives the same sizes on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
    // Headless runs may answer the dialogs from TESSELON_DIALOG_ANSWERS.
    const auto scriptedDialogs = platform::ScriptedDialogs::FromEnvironment();
    CGrabberApp app;
    return app.Main();
}
