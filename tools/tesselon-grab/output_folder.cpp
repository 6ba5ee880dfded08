#include "output_folder.h"

#include "name_template.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <unistd.h>

namespace grab {

namespace fs = std::filesystem;

std::string MakeWritableFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (!error && !fs::is_directory(folder, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    if (error)
        return "cannot make the folder " + folder.string() + ": " + error.message();
    // Permissions alone do not tell: root passes them on a read-only mount.
    std::string probe = (folder / ".tesselon-grab-probe-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return "cannot write into the folder " + folder.string() + ": " +
               std::error_code(errno, std::generic_category()).message();
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

std::string PerVideoFolderName(const fs::path& video) {
    const std::string name = SafeNamePart(video.filename().string());
    return name.empty() || name == "." ? std::string("video") : name;
}

} // namespace grab
