#include "source_digest.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace grab {

namespace {

struct ShaDeleter {
    void operator()(AVSHA* context) const { av_free(context); }
};

struct OpenFile {
    int fd;
    ~OpenFile() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::optional<std::string> Sha256OfFile(const std::filesystem::path& path) {
    const OpenFile file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    const int fd = file.fd;
    if (fd < 0)
        return std::nullopt;
    // Videos may be gigabytes: read ahead of the hashing, in large blocks.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    const std::unique_ptr<AVSHA, ShaDeleter> sha(av_sha_alloc());
    if (!sha || av_sha_init(sha.get(), 256) < 0)
        return std::nullopt;
    std::vector<std::uint8_t> block(std::size_t{1} << 20);
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt; // a folder, or a read error part way
        if (got == 0)
            break;
        av_sha_update(sha.get(), block.data(), static_cast<std::size_t>(got));
    }
    std::uint8_t digest[32];
    av_sha_final(sha.get(), digest);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (const std::uint8_t byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
    }
    return hex;
}

} // namespace grab
