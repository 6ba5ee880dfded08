#include "images/save_paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace tesselon::images {
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::filesystem::path DirectoryOf(const std::filesystem::path& path) {
    return path.parent_path();
}

QString FileNameOf(const std::filesystem::path& path) {
    return ToText(path.filename());
}

std::filesystem::path ImageFilePath(const std::filesystem::path& directory, const QString& name) {
    return directory / ToPath(name.toUpper() + QStringLiteral(".JPG"));
}

std::filesystem::path ToPath(const QString& text) {
    return std::filesystem::path(text.toStdString());
}

QString ToText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

} // namespace tesselon::images
