// The headless grabber: opens a video as the program does, captures
// consecutive frames exactly as the capture batch does, and writes each as
// OUTDIR/<milliseconds>.JPG through the program's save path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace grab {

struct Settings {
    std::filesystem::path video;
    std::filesystem::path outputDirectory;
    std::int32_t startMs = 0;
    int count = 100;
    bool paced = false;
};

// The settings of a command line, or none (with a usage line in error).
std::optional<Settings> ParseArguments(const std::vector<std::string>& arguments,
                                       std::string& error);

// Runs the grab; reports failures and a summary on out. Returns the process
// exit code: 0 when every frame was written, 1 when the video cannot be
// opened, 2 when a frame could not be written, 3 when playback cannot be set up.
// Needs a QApplication on the calling thread.
int Run(const Settings& settings, std::ostream& out);

} // namespace grab
