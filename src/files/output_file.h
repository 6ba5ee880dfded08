// The one way the program and its tools write an output file: whole or not at
// all. A regular file (or a name not yet taken) is written to a temporary
// file beside it and renamed over it only once complete, so the old file
// stays whole until then and a final name never holds a partial file. A
// target that exists and is not a regular file (a device, a FIFO) is never
// replaced: it is written to directly. A symbolic link is followed to the
// file it names, and the link stays. "-" is standard output, as on a command
// line (a file of that name is "./-").
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <streambuf>
#include <string_view>
#include <vector>

namespace files {

// Whether a committed file must be on the disk itself before it replaces the
// target, so that after a power cut the name holds the old file or the new
// one, never an empty one. Costs a disk flush per file.
enum class Durability { Flushed, Synced };

// A std::streambuf over the file being written. Used by one thread at a time.
// Writes are buffered; the first failed write (a full disk, a file size
// limit) is remembered and every later write is dropped, so a stream over
// this buffer goes bad and stays bad. Destroying an uncommitted file removes
// its temporary file; the target is untouched.
class OutputFile : public std::streambuf {
public:
    OutputFile();
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Starts writing `target`. Returns 0, or the errno of the failure with
    // nothing changed on disk (EISDIR for a folder, ELOOP for a link cycle).
    // Never blocks on a FIFO without a reader (ENXIO).
    int Open(const std::filesystem::path& target);

    // Writes out what is buffered, closes the file and puts it in place.
    // Returns 0 when every write, the close and the rename succeeded; else the
    // errno of the first failure, with the temporary file removed and the
    // target as it was.
    int Commit(Durability durability = Durability::Flushed);

    // Drops what was written: the temporary file is removed, the target is
    // as it was. A device or FIFO keeps what already reached it.
    void Abandon();

    // The file that a successful commit replaces or creates: the target, or
    // the file its symbolic links lead to.
    const std::filesystem::path& FinalPath() const { return finalPath_; }

protected:
    int_type overflow(int_type character) override;
    std::streamsize xsputn(const char_type* data, std::streamsize count) override;
    int sync() override;

private:
    int OpenStandardOutput();
    int OpenTemporaryBeside(const std::filesystem::path& finalPath, mode_t keptMode);
    int OpenDirect(const std::filesystem::path& path);
    bool FlushBuffer();
    bool WriteOut(const char* data, std::size_t size);
    int CloseDescriptor();

    int descriptor_ = -1;
    bool ownsDescriptor_ = true;
    int error_ = 0;
    // Empty when writing directly.
    std::filesystem::path temporaryPath_;
    std::filesystem::path finalPath_;
    std::vector<char> buffer_;
};

// Writes `bytes` as the whole of `target` through an OutputFile. Returns 0 or the errno of the failure.
int WriteWholeFile(const std::filesystem::path& target, std::string_view bytes,
                   Durability durability = Durability::Flushed);

// Makes a write past the file size limit fail with EFBIG instead of killing
// the process with SIGXFSZ, so a failed save is reported and the old file
// kept. Called once at start-up by every program that writes files.
void FailWritesPastTheFileSizeLimit();

} // namespace files
