// The program's command line: an optional video file to open at start,
// --help and --version, and Qt's own options (-platform, -style, ...). It is
// read before QApplication exists, so that help, the version and a bad line
// answer without a display; Qt's options are then handed to QApplication
// alone, so that a file's name is never taken for one of them.
#pragma once

#include <QString>
#include <QStringList>

struct CommandLine {
    enum class Action { kRun, kHelp, kVersion, kError };
    Action action = Action::kRun;
    // The file to open; empty: none.
    QString file;
    // What to print: the help or version text on standard output, an error
    // on standard error.
    QString output;
    // Qt's options with their values, in their order, for QApplication.
    QStringList qtOptions;
};

// `arguments` begins with the program's name. --help and --version win over
// anything else on the line.
CommandLine ParseCommandLine(const QStringList& arguments);

// The process's exit code for an action that ends the program at once.
int ExitCodeOf(CommandLine::Action action);
