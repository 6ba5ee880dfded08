#include "app/command_line.h"

#include "options/option_parser.h"
#include "options/version.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

namespace options = options;

enum OptionId { kHelp, kVersion };

constexpr options::Option kOptions[] = {
    {kHelp, "help", options::Takes::kNothing, 'h'},
    {kVersion, "version", options::Takes::kNothing, 'v'},
};

// The options that QGuiApplication and QApplication take out of a command
// line, as Qt documents them; Qt takes each with one dash or two.
constexpr std::array<const char*, 13> kQtOptionsWithValue = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "qmljsdebugger"};
constexpr std::array<const char*, 2> kQtFlags = {"reverse", "widgetcount"};
// These also take their value after '=' in the same argument.
constexpr std::array<const char*, 3> kQtOptionsWithEquals = {
    "style=", "stylesheet=", "qmljsdebugger="};

enum class QtArgument { kNone, kAlone, kWithValue };

QtArgument QtArgumentKind(const QString& argument) {
    if (!argument.startsWith(u'-') || argument == QLatin1String("-") ||
        argument == QLatin1String("--"))
        return QtArgument::kNone;
    const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    const auto is = [&name](const char* qtName) {
        return name == QLatin1String(qtName);
    };
    const auto begins = [&name](const char* prefix) {
        return name.startsWith(QLatin1String(prefix));
    };
    if (std::any_of(kQtOptionsWithValue.begin(), kQtOptionsWithValue.end(), is))
        return QtArgument::kWithValue;
    if (std::any_of(kQtFlags.begin(), kQtFlags.end(), is) ||
        std::any_of(kQtOptionsWithEquals.begin(), kQtOptionsWithEquals.end(), begins))
        return QtArgument::kAlone;
    return QtArgument::kNone;
}

// Splits Qt's options off the program's own arguments, up to a `--`.
std::vector<std::string> TakeQtOptions(const QStringList& arguments, QStringList& qtOptions) {
    std::vector<std::string> own;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QtArgument kind = optionsEnded ? QtArgument::kNone : QtArgumentKind(arguments[i]);
        if (kind == QtArgument::kNone) {
            optionsEnded = optionsEnded || arguments[i] == QLatin1String("--");
            own.push_back(arguments[i].toStdString());
            continue;
        }
        qtOptions << arguments[i];
        if (kind == QtArgument::kWithValue && i + 1 < arguments.size())
            qtOptions << arguments[++i];
    }
    return own;
}

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

CommandLine Ending(CommandLine::Action action, QString output) {
    CommandLine line;
    line.action = action;
    line.output = std::move(output);
    return line;
}

CommandLine Refused(const QString& program, const QString& reason) {
    return Ending(CommandLine::Action::kError,
                  QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(program, reason));
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    QStringList qtOptions;
    const options::ParsedLine parsed =
        options::Parse(kOptions, TakeQtOptions(arguments, qtOptions));
    const QString program = ProgramName(arguments);
    // The first of --help and --version answers, whatever else is there.
    if (!parsed.uses.empty() && parsed.uses.front().id == kHelp)
        return Ending(CommandLine::Action::kHelp, HelpText(program));
    if (!parsed.uses.empty())
        return Ending(CommandLine::Action::kVersion,
                      QString::fromStdString(options::VersionText()));
    if (parsed.refusal)
        return Refused(program, QStringLiteral("unknown option %1")
                                    .arg(QString::fromStdString(parsed.refusal->argument)));
    if (parsed.operands.size() > 1)
        return Refused(program, QStringLiteral("one file at most"));
    CommandLine line;
    if (!parsed.operands.empty())
        line.file = QString::fromStdString(parsed.operands.front());
    line.qtOptions = qtOptions;
    return line;
}

int ExitCodeOf(CommandLine::Action action) {
    switch (action) {
    case CommandLine::Action::kHelp:
    case CommandLine::Action::kVersion:
        return 0;
    case CommandLine::Action::kError:
        return options::kExitUsage;
    case CommandLine::Action::kRun:
        break;
    }
    return 0;
}
