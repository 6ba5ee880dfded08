// The SHA-256 of a source video, so a report names exactly which file was
// grabbed, whatever its path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace grab {

// SHA-256 of a file's bytes, lower-case hex; none when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::filesystem::path&);

} // namespace grab
