// Tesselon: a video-frame grabber. `tesselon [FILE]` opens FILE at start.
#include "app/command_line.h"
#include "app/grabber_app.h"
#include "files/output_file.h"
#include "platform/dialogs.h"

#include <QApplication>

#include <cstdio>

namespace {

QStringList RawArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Prints what an action that ends the program says, and its exit code.
int Finish(const CommandLine& line) {
    std::FILE* out = line.action == CommandLine::Action::kError ? stderr : stdout;
    std::fputs(line.output.toLocal8Bit().constData(), out);
    return ExitCodeOf(line.action);
}

} // namespace

int main(int argc, char** argv) {
    // Help and version answer without a display.
    if (const CommandLine early = ParseCommandLine(RawArguments(argc, argv));
        early.action == CommandLine::Action::kHelp || early.action == CommandLine::Action::kVersion)
        return Finish(early);

    tesselon::files::FailWritesPastTheFileSizeLimit();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tesselon"));
    QApplication::setApplicationVersion(QString::fromLatin1(kProgramVersion));
    QApplication::setDesktopFileName(QStringLiteral("tesselon"));
    // Fusion gives the same sizes on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));

    // QApplication has taken its own options out of the arguments by now.
    const CommandLine line = ParseCommandLine(QApplication::arguments());
    if (line.action != CommandLine::Action::kRun)
        return Finish(line);

    // Headless runs may answer the dialogs from TESSELON_DIALOG_ANSWERS.
    const auto scriptedDialogs = platform::ScriptedDialogs::FromEnvironment();
    CGrabberApp::Options options;
    options.startFile = line.file;
    CGrabberApp app(std::move(options));
    return app.Main();
}
