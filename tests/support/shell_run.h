// Runs a shell command for a test and keeps what it printed, stdout and
// stderr together, with its exit status (-1 when it did not exit).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/wait.h>

namespace testing_support {

struct ShellResult {
    int status = -1;
    std::string output;
};

// A path as one shell word, whatever it holds.
inline std::string Quoted(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (const char c : path.string())
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline ShellResult RunShell(const std::string& command) {
    ShellResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        result.output += buffer;
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace testing_support
