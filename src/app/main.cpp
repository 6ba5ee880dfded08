// Tesselon: a video-frame grabber. `tesselon [FILE]` opens FILE at start.
#include "app/command_line.h"
#include "app/grabber_app.h"
#include "app/user_settings.h"
#include "files/output_file.h"
#include "options/version.h"
#include "platform/dialogs.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// Qt ends a start without a display with a fatal message and a core dump.
// While QApplication starts, such a message ends the program with status 1
// instead: nothing has gone wrong inside it.
void EndAFailedStart(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    std::fputs(qPrintable(qFormatLogMessage(type, context, message) + u'\n'), stderr);
    if (type == QtFatalMsg)
        std::_Exit(1);
}

// The program's name and Qt's options, as QApplication takes them: it keeps
// the count and the strings for its whole life.
class QtArguments {
public:
    QtArguments(const char* program, const QStringList& qtOptions) {
        words_.emplace_back(program);
        for (const QString& option : qtOptions)
            words_.push_back(option.toLocal8Bit().toStdString());
        for (std::string& word : words_)
            pointers_.push_back(word.data());
        pointers_.push_back(nullptr);
        count_ = static_cast<int>(words_.size());
    }
    int& Count() { return count_; }
    char** Data() { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
    int count_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    // Read before QApplication exists: help, the version and a bad line
    // answer without a display.
    const CommandLine line = ParseCommandLine(RawArguments(argc, argv));
    if (line.action != CommandLine::Action::kRun)
        return Finish(line);

    files::FailWritesPastTheFileSizeLimit();
    QtArguments qtArguments(argv[0], line.qtOptions);
    const QtMessageHandler qtMessages = qInstallMessageHandler(EndAFailedStart);
    QApplication application(qtArguments.Count(), qtArguments.Data());
    qInstallMessageHandler(qtMessages);
    QApplication::setApplicationName(QStringLiteral("Tesselon"));
    QApplication::setApplicationVersion(QString::fromLatin1(options::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("tesselon"));
    // Fusion gives the same sizes on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));

    // Headless runs may answer the dialogs from TESSELON_DIALOG_ANSWERS.
    const auto scriptedDialogs = platform::ScriptedDialogs::FromEnvironment();
    CGrabberApp::Options options;
    options.startFile = line.file;
    options.settingsFile = UserSettingsFile();
    CGrabberApp app(std::move(options));
    return app.Main();
}
