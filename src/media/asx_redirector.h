// Active Streaming Redirector (".asx") files: a small XML-like list whose
// <ref href="..."> entries name the media to play. Only local files are followed.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace media {

// True when path ends in ".asx", in any letter case.
bool IsRedirectorPath(const std::filesystem::path& path);

// The first <ref href> value of text, entities &amp; &lt; &gt; &quot; &apos;
// decoded; none when there is no such entry.
std::optional<std::string> FirstReference(std::string_view text);

// The local file that the redirector at path names: its first reference,
// resolved against the redirector's folder ("file://" allowed, other schemes
// refused). None when the redirector cannot be read or names no readable file.
std::optional<std::filesystem::path> ResolveRedirector(const std::filesystem::path& path);

} // namespace media
