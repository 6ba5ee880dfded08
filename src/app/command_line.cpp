#include "app/command_line.h"

#include <QFileInfo>

namespace {

QString ProgramName(const QStringList& arguments) {
    return arguments.isEmpty() ? QStringLiteral("tesselon")
                               : QFileInfo(arguments.constFirst()).fileName();
}

QString HelpText(const QString& program) {
    return QStringLiteral(
               "Usage: %1 [FILE]\n"
               "Watch a video, capture 100 consecutive frames and save them as JPEG files.\n"
               "\n"
               "  FILE           a video to open at start, as File, Open would\n"
               "  -h, --help     print this help and exit\n"
               "  -v, --version  print the version and exit\n"
               "\n"
               "TESSELON_DIALOG_ANSWERS answers the dialogs of a scripted run instead of\n"
               "showing them: a comma-separated list of ok, cancel, file:PATH and nofile.\n"
               "Each message box it answers is printed on standard error.\n")
        .arg(program);
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine line;
    QStringList files;
    QString unknown;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument == QLatin1String("-")) {
            files << argument;
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            return CommandLine{CommandLine::Action::kHelp, {}, HelpText(ProgramName(arguments))};
        } else if (argument == QLatin1String("-v") || argument == QLatin1String("--version")) {
            return CommandLine{CommandLine::Action::kVersion,
                               {},
                               QStringLiteral("Tesselon %1\n").arg(QLatin1String(kProgramVersion))};
        } else if (unknown.isEmpty()) {
            unknown = argument;
        }
    }
    const QString program = ProgramName(arguments);
    if (!unknown.isEmpty() || files.size() > 1) {
        line.action = CommandLine::Action::kError;
        line.output =
            (unknown.isEmpty() ? QStringLiteral("%1: one file at most\n").arg(program)
                               : QStringLiteral("%1: unknown option %2\n").arg(program, unknown)) +
            QStringLiteral("Try '%1 --help'.\n").arg(program);
        return line;
    }
    if (!files.isEmpty())
        line.file = files.constFirst();
    return line;
}

int ExitCodeOf(CommandLine::Action action) {
    switch (action) {
    case CommandLine::Action::kHelp:
    case CommandLine::Action::kVersion:
        return 0;
    case CommandLine::Action::kError:
        return 2;
    case CommandLine::Action::kRun:
        break;
    }
    return 0;
}
