// The program's command line: an optional video file to open at start,
// --help and --version. Qt's own options (-platform, -style, ...) are taken
// out by QApplication before the file is looked for.
#pragma once

#include <QString>
#include <QStringList>

inline constexpr char kProgramVersion[] = "1.2.0";

struct CommandLine {
    enum class Action { kRun, kHelp, kVersion, kError };
    Action action = Action::kRun;
    // The file to open; empty: none.
    QString file;
    // What to print: the help or version text on standard output, an error
    // on standard error.
    QString output;
};

// `arguments` begins with the program's name. --help and --version win over
// anything else on the line, so that they answer even among Qt's options.
CommandLine ParseCommandLine(const QStringList& arguments);

// The process's exit code for an action that ends the program at once.
int ExitCodeOf(CommandLine::Action action);
