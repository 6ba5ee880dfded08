// Clips made once with the ffmpeg command for the video benchmarks, and the
// measures they share for peers run as whole processes.
#pragma once

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench_support {

inline std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// The clip `name` in folder, made from ffmpeg's arguments when missing (the
// output file is added at the end). Written under another name first, so
// that an interrupted run leaves no half-made clip to be taken for the
// finished one. Empty when ffmpeg failed.
inline std::filesystem::path MakeClip(const std::filesystem::path& folder, const std::string& name,
                                      const std::string& arguments) {
    namespace fs = std::filesystem;
    const fs::path path = folder / name;
    if (fs::exists(path))
        return path;
    fs::create_directories(folder);
    const fs::path partial = folder / (".part." + name);
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -nostdin -y " + arguments + " " + Quoted(partial);
    if (std::system(command.c_str()) != 0)
        return {};
    fs::rename(partial, path);
    return path;
}

// CPU seconds, user and system, of every child process that has ended.
inline double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace bench_support
