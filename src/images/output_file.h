// A file written through std::streambuf that remembers the first write error
// and can take back a file it created or truncated.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <streambuf>
#include <vector>

namespace tesselon::images {

// Used by one thread at a time. Writes are buffered; a failed write (a full
// disk, a file size limit) is remembered and every later write is dropped,
// so a stream over this buffer goes bad and stays bad.
class OutputFile : public std::streambuf {
public:
    OutputFile();
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens `path` for writing, creating it with the default permissions or
    // truncating it. Returns 0, or the errno of the failure (nothing changed).
    // Never blocks on a FIFO without a reader.
    int Open(const std::filesystem::path& path);

    // Writes out what is buffered and closes the file. Returns 0 when every
    // write and the close succeeded, else the errno of the first failure.
    int Close();

    // Closes the file if it is still open and removes it when Open created
    // or truncated a regular file and the path (or, for a symbolic link, the
    // file it resolves to) still names that same file. Nothing else is ever
    // removed.
    void Discard();

protected:
    int_type overflow(int_type character) override;
    std::streamsize xsputn(const char_type* data, std::streamsize count) override;
    int sync() override;

private:
    bool FlushBuffer();
    bool WriteOut(const char* data, std::size_t size);
    void CloseDescriptor();

    int descriptor_ = -1;
    int error_ = 0;
    // Set when Open truncated or created a regular file: the one file that
    // Discard may remove.
    bool removable_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::filesystem::path path_;
    std::vector<char> buffer_;
};

} // namespace tesselon::images
