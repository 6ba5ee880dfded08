// Where a grab's pictures go: the folder is made and proven writable before
// any decoding, so that a wrong or read-only --out gives one message instead
// of a failure per frame; and per-video folders that never collide.
#pragma once

#include <filesystem>
#include <string>

namespace grab {

// Makes folder (and its parents) when missing and creates and removes a file
// in it. Empty when that worked; otherwise one line naming the folder and
// the cause.
std::string MakeWritableFolder(const std::filesystem::path& folder);

// The per-video folder's name: the video's file name with its extension (so
// movie.avi and movie.mp4 differ), made safe for one name.
std::string PerVideoFolderName(const std::filesystem::path& video);

} // namespace grab
