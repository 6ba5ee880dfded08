#include "images/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tesselon::images {
namespace {

// Large enough that a typical frame's JPEG takes a few system calls.
constexpr std::size_t kBufferSize = 64 * 1024;

// 0666 before the umask: the permissions fopen gives a new file.
constexpr mode_t kDefaultPermissions = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;

} // namespace

OutputFile::OutputFile()
    : buffer_(kBufferSize) {}

OutputFile::~OutputFile() {
    CloseDescriptor();
}

int OutputFile::Open(const std::filesystem::path& path) {
    CloseDescriptor();
    error_ = 0;
    removable_ = false;
    // O_NONBLOCK only for the open itself: a FIFO without a reader then fails
    // with ENXIO instead of hanging the worker.
    const int descriptor =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
               kDefaultPermissions);
    if (descriptor < 0) {
        return errno;
    }
    descriptor_ = descriptor;
    path_ = path;
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0) {
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    }
    struct stat status {};
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
        removable_ = true;
        device_ = status.st_dev;
        inode_ = status.st_ino;
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return 0;
}

int OutputFile::Close() {
    if (descriptor_ >= 0) {
        FlushBuffer();
        // Some file systems report a failed write only when the file closes.
        if (::close(descriptor_) != 0 && error_ == 0 && errno != EINTR) {
            error_ = errno;
        }
        descriptor_ = -1;
    }
    setp(nullptr, nullptr);
    return error_;
}

void OutputFile::Discard() {
    CloseDescriptor();
    if (!removable_) {
        return;
    }
    removable_ = false;
    std::error_code ignored;
    const std::filesystem::path resolved = std::filesystem::canonical(path_, ignored);
    if (resolved.empty()) {
        return;
    }
    // Removed only while the name still leads to the file this save wrote.
    struct stat status {};
    if (::lstat(resolved.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_dev == device_ && status.st_ino == inode_) {
        ::unlink(resolved.c_str());
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

void OutputFile::CloseDescriptor() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
    setp(nullptr, nullptr);
}

} // namespace tesselon::images
