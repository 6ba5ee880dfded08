#include "files/output_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace files {
namespace {

namespace fs = std::filesystem;

// Large enough that a typical frame's JPEG takes a few system calls.
constexpr std::size_t kBufferSize = 64 * 1024;

// 0666 before the umask: the permissions fopen gives a new file.
constexpr mode_t kDefaultPermissions = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;

// The kernel's own limit on symbolic links followed in one lookup.
constexpr int kMaximumLinks = 40;

// Room left in a 255-byte file name for the temporary name's additions.
constexpr std::size_t kNameBytesKept = 160;

enum class TargetKind { Absent, Regular, Special };

struct ResolvedTarget {
    fs::path path;
    TargetKind kind = TargetKind::Absent;
    mode_t mode = 0;
};

// Where a write to `target` goes. An existing target is judged by what its
// links lead to, so /dev/stdout, whose link names no real file, is a special
// file. A name that leads nowhere is followed link by link (lstat) to the
// name the last link holds, where the new file is made.
int Resolve(const fs::path& target, ResolvedTarget& resolved) {
    struct stat status {};
    if (::stat(target.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            return EISDIR;
        }
        if (!S_ISREG(status.st_mode)) {
            resolved = {target, TargetKind::Special, 0};
            return 0;
        }
        std::error_code error;
        fs::path path = fs::canonical(target, error);
        if (error) {
            return error.value();
        }
        resolved = {std::move(path), TargetKind::Regular, static_cast<mode_t>(status.st_mode & 07777)};
        return 0;
    }
    if (errno != ENOENT) {
        return errno;
    }
    fs::path path = target;
    for (int links = 0; links <= kMaximumLinks; ++links) {
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            resolved = {path, TargetKind::Absent, 0};
            return 0;
        }
        std::error_code error;
        const fs::path link = fs::read_symlink(path, error);
        if (error) {
            return error.value();
        }
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    return ELOOP;
}

// Unique across the threads of this process and, through the process id and
// a random start, across processes writing the same folder.
std::string UniqueSuffix() {
    static const std::uint64_t start = [] {
        std::uint64_t value = 0;
        if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != sizeof value) {
            value = static_cast<std::uint64_t>(::time(nullptr));
        }
        return value;
    }();
    static std::atomic<std::uint64_t> counter{0};
    char text[64];
    std::snprintf(text, sizeof text, ".tmp-%ld-%llx", static_cast<long>(::getpid()),
                  static_cast<unsigned long long>(start + counter++));
    return text;
}

// Hidden, and never ending in the target's extension, so nothing that
// collects "*.JPG" or "*.json" beside a running job picks one up.
fs::path TemporaryNameBeside(const fs::path& finalPath) {
    const std::string name = finalPath.filename().string().substr(0, kNameBytesKept);
    const fs::path temporary = "." + name + UniqueSuffix();
    return finalPath.has_parent_path() ? finalPath.parent_path() / temporary : temporary;
}

} // namespace

OutputFile::OutputFile()
    : buffer_(kBufferSize) {}

OutputFile::~OutputFile() {
    Abandon();
}

int OutputFile::Open(const fs::path& target) {
    if (target == "-") {
        return OpenStandardOutput();
    }
    Abandon();
    error_ = 0;
    ResolvedTarget resolved;
    if (const int error = Resolve(target, resolved)) {
        return error;
    }
    switch (resolved.kind) {
    case TargetKind::Absent:
        return OpenTemporaryBeside(resolved.path, 0);
    case TargetKind::Regular:
        // A write-protected file is refused, as opening it for writing would be.
        if (::faccessat(AT_FDCWD, resolved.path.c_str(), W_OK, AT_EACCESS) != 0) {
            return errno;
        }
        return OpenTemporaryBeside(resolved.path, resolved.mode);
    case TargetKind::Special:
        return OpenDirect(resolved.path);
    }
    return EINVAL;
}

int OutputFile::OpenStandardOutput() {
    Abandon();
    error_ = 0;
    descriptor_ = STDOUT_FILENO;
    ownsDescriptor_ = false;
    finalPath_ = "-";
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return 0;
}

int OutputFile::OpenTemporaryBeside(const fs::path& finalPath, mode_t keptMode) {
    int descriptor = -1;
    fs::path temporary;
    for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
        temporary = TemporaryNameBeside(finalPath);
        descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                            kDefaultPermissions);
        if (descriptor < 0 && errno != EEXIST) {
            return errno;
        }
    }
    if (descriptor < 0) {
        return EEXIST;
    }
    // The replacement keeps the permissions of the file it replaces.
    if (keptMode != 0) {
        ::fchmod(descriptor, keptMode);
    }
    descriptor_ = descriptor;
    ownsDescriptor_ = true;
    temporaryPath_ = std::move(temporary);
    finalPath_ = finalPath;
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return 0;
}

int OutputFile::OpenDirect(const fs::path& path) {
    // O_NONBLOCK only for the open itself: a FIFO without a reader then fails
    // with ENXIO instead of hanging the writer.
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) {
        return errno;
    }
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0) {
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    }
    descriptor_ = descriptor;
    ownsDescriptor_ = true;
    finalPath_ = path;
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return 0;
}

int OutputFile::Commit(Durability durability) {
    if (descriptor_ < 0) {
        return error_ != 0 ? error_ : EBADF;
    }
    FlushBuffer();
    if (durability == Durability::Synced && !temporaryPath_.empty() && error_ == 0 &&
        ::fsync(descriptor_) != 0) {
        error_ = errno;
    }
    // Some file systems report a failed write only when the file closes.
    if (const int closeError = CloseDescriptor(); error_ == 0) {
        error_ = closeError;
    }
    if (!temporaryPath_.empty()) {
        if (error_ == 0 && ::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) {
            error_ = errno;
        }
        if (error_ != 0) {
            ::unlink(temporaryPath_.c_str());
        }
        temporaryPath_.clear();
    }
    return error_;
}

void OutputFile::Abandon() {
    CloseDescriptor();
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
}

OutputFile::int_type OutputFile::overflow(int_type character) {
    if (!FlushBuffer()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(character, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(character);
        pbump(1);
    }
    return traits_type::not_eof(character);
}

std::streamsize OutputFile::xsputn(const char_type* data, std::streamsize count) {
    if (count <= epptr() - pptr()) {
        std::memcpy(pptr(), data, static_cast<std::size_t>(count));
        pbump(static_cast<int>(count));
        return count;
    }
    if (!FlushBuffer()) {
        return 0;
    }
    if (static_cast<std::size_t>(count) >= buffer_.size()) {
        return WriteOut(data, static_cast<std::size_t>(count)) ? count : 0;
    }
    std::memcpy(pptr(), data, static_cast<std::size_t>(count));
    pbump(static_cast<int>(count));
    return count;
}

int OutputFile::sync() {
    return FlushBuffer() ? 0 : -1;
}

bool OutputFile::FlushBuffer() {
    if (descriptor_ < 0 || error_ != 0) {
        // Dropped: the put area stays empty so every write comes back here.
        setp(nullptr, nullptr);
        return false;
    }
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return WriteOut(buffer_.data(), pending);
}

bool OutputFile::WriteOut(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor_, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            error_ = written < 0 ? errno : EIO;
            setp(nullptr, nullptr);
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

int OutputFile::CloseDescriptor() {
    setp(nullptr, nullptr);
    if (descriptor_ < 0) {
        return 0;
    }
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (!ownsDescriptor_) {
        return 0;
    }
    // Linux closes the descriptor even when close reports EINTR.
    return ::close(descriptor) != 0 && errno != EINTR ? errno : 0;
}

int WriteWholeFile(const fs::path& target, std::string_view bytes, Durability durability) {
    OutputFile file;
    if (const int error = file.Open(target); error != 0) {
        return error;
    }
    file.sputn(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.Commit(durability);
}

void FailWritesPastTheFileSizeLimit() {
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace files
