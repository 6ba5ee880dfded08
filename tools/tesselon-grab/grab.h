// The headless grabber: opens each video as the program does, captures its
// frames exactly as the capture batch does (or samples them), writes each
// through the program's save path, and reports what became of every frame.
#pragma once

#include "grab_options.h"

#include <iosfwd>

namespace grab {

enum class ProgressStyle {
    None,
    InPlace, // a terminal: one line redrawn
    Lines,   // a log: a line now and then
    Json,    // --progress json: a JSON object a line, for other programs
};

// Runs the grab: a summary line per video on out; every failure, and the
// progress line, on errors. Returns the exit status (kExitAllWritten or
// kExitSomeFailed). Needs a QApplication on the calling thread.
int Run(const Settings& settings, std::ostream& out, std::ostream& errors,
        ProgressStyle progress = ProgressStyle::None);
inline int Run(const Settings& settings, std::ostream& out) {
    return Run(settings, out, out);
}

// --merge-reports: reads every input (skipping those that cannot be read,
// each named on errors) and writes the merged report. kExitSomeFailed when
// an input or the output failed.
int MergeReportFiles(const Settings& settings, std::ostream& errors);

} // namespace grab
