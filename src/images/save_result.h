// What became of one saved picture, whatever its format.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace images {

// Written means the whole file is in place as far as the system can tell
// (every write, the close and the rename succeeded); anything else is Failed,
// with a one-line reason for the user, and the target as it was before.
struct SaveResult {
    enum class Outcome { Written, Failed };

    Outcome outcome = Outcome::Failed;
    std::filesystem::path path;
    // Empty when written; otherwise one line, without the path.
    std::string reason;

    bool Written() const { return outcome == Outcome::Written; }

    static SaveResult WrittenTo(const std::filesystem::path& path) {
        return {Outcome::Written, path, {}};
    }
    static SaveResult FailedAt(const std::filesystem::path& path, std::string reason) {
        return {Outcome::Failed, path, std::move(reason)};
    }
};

// The system's text for an errno value, for a failure's reason.
inline std::string ErrorText(int error) {
    return std::system_category().message(error);
}

} // namespace images
