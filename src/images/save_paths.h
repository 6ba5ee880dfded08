// The path and file operations of saving: the directory write test, the
// existence test of a target, and the parts of a path.
//
// Any thread; nothing here keeps state.
#pragma once

#include "images/image_format.h"

#include <QString>

#include <filesystem>
#include <vector>

namespace images {

// The name of the directory write test's file.
inline constexpr char kWriteTestName[] = "piruli";

// Creates `path` exclusively (never an existing file: nothing is truncated
// or deleted that was there before), then closes and removes it. False when
// it cannot be created, or when a file of that name exists.
bool CanCreateFile(const std::filesystem::path& path);

// Whether a file can be created in `directory`: tries "piruli", and while a
// file of that name exists, "piruli-1", "piruli-2", ... (a few dozen).
bool CanWriteInDirectory(const std::filesystem::path& directory);

// True when `path` names an entry of any kind: the entry itself is looked
// at, so a dangling symlink or a file nobody may read exists too.
bool FileExists(const std::filesystem::path& path);

// The targets of a Save all that keeps the existing files: each target that
// exists gets "_2", "_3", ... added to its name, the first number that names
// neither an existing entry nor another target. The other targets stay.
std::vector<std::filesystem::path> KeepBothPaths(const std::vector<std::filesystem::path>& targets);

// The directory part of a path (/a/b.jpg gives /a) and its file name (b.jpg).
std::filesystem::path DirectoryOf(const std::filesystem::path& path);
QString FileNameOf(const std::filesystem::path& path);

// The file the system names for an image: <name>.JPG in `directory` (or the
// extension of another format). Only this name is upper-cased; the directory
// stays as it is.
std::filesystem::path ImageFilePath(const std::filesystem::path& directory, const QString& name,
                                    ImageFormat format = ImageFormat::Jpeg);

// Paths and their texts, in UTF-8.
std::filesystem::path ToPath(const QString& text);
QString ToText(const std::filesystem::path& path);

} // namespace images
