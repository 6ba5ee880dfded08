#include "images/save_paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>

namespace images {
namespace {

constexpr int kWriteTestAttempts = 50;

} // namespace

bool CanCreateFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(path.c_str());
    return true;
}

bool CanWriteInDirectory(const std::filesystem::path& directory) {
    for (int attempt = 0; attempt < kWriteTestAttempts; ++attempt) {
        std::string name = kWriteTestName;
        if (attempt > 0)
            name += "-" + std::to_string(attempt);
        const std::filesystem::path test = directory / name;
        if (CanCreateFile(test))
            return true;
        // Only a name that is taken is worth another try.
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(test, error)))
            return false;
    }
    return false;
}

bool FileExists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::vector<std::filesystem::path>
KeepBothPaths(const std::vector<std::filesystem::path>& targets) {
    // A batch that looped holds names with "_2" itself: a renamed file must
    // not take the name of another image of the same save.
    std::set<std::filesystem::path> taken(targets.begin(), targets.end());
    std::vector<std::filesystem::path> kept;
    kept.reserve(targets.size());
    for (const std::filesystem::path& target : targets) {
        std::filesystem::path chosen = target;
        for (int number = 2; FileExists(chosen) || (chosen != target && taken.contains(chosen));
             ++number)
            chosen = target.parent_path() / (target.stem().string() + "_" + std::to_string(number) +
                                             target.extension().string());
        taken.insert(chosen);
        kept.push_back(std::move(chosen));
    }
    return kept;
}

std::filesystem::path DirectoryOf(const std::filesystem::path& path) {
    return path.parent_path();
}

QString FileNameOf(const std::filesystem::path& path) {
    return ToText(path.filename());
}

std::filesystem::path ImageFilePath(const std::filesystem::path& directory, const QString& name,
                                    ImageFormat format) {
    const std::string_view extension = FileExtension(format);
    return directory / ToPath(name.toUpper() + QString::fromLatin1(extension.data(),
                                                                   qsizetype(extension.size())));
}

std::filesystem::path ToPath(const QString& text) {
    return std::filesystem::path(text.toStdString());
}

QString ToText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

} // namespace images
