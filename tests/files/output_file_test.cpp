#include "files/output_file.h"

#include "support/file_size_limit.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace files {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), {}};
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        directory_ = folder_.Path();
    }

    // Every entry of the folder, hidden ones included: a temporary file left
    // behind shows here.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testing_support::TemporaryFolder folder_{"tesselon-output"};
    fs::path directory_;
};

const std::string kNewBytes(200000, 'n');

// What each kind of target holds after a committed write, and what stays.
struct TargetCase {
    const char* name;
    // Makes the target in the folder and returns it.
    std::function<fs::path(const fs::path&)> make;
    // Checks the folder afterwards.
    std::function<void(const fs::path&)> check;
};

void PrintTo(const TargetCase& c, std::ostream* out) {
    *out << c.name;
}

class CommittedTarget : public OutputFileTest, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(CommittedTarget, HoldsTheWholeNewFile) {
    const fs::path target = GetParam().make(directory_);
    ASSERT_EQ(WriteWholeFile(target, kNewBytes), 0);
    GetParam().check(directory_);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CommittedTarget,
    ::testing::Values(
        TargetCase{"Absent", [](const fs::path& d) { return d / "A.JPG"; },
                   [](const fs::path& d) { EXPECT_EQ(ReadAll(d / "A.JPG"), kNewBytes); }},
        // Replaced completely, no old bytes past the new end, mode kept.
        TargetCase{"LongerRegularFile",
                   [](const fs::path& d) {
                       WriteText(d / "A.JPG", std::string(300000, 'o'));
                       fs::permissions(d / "A.JPG", fs::perms(0640));
                       return d / "A.JPG";
                   },
                   [](const fs::path& d) {
                       EXPECT_EQ(ReadAll(d / "A.JPG"), kNewBytes);
                       EXPECT_EQ(fs::status(d / "A.JPG").permissions(), fs::perms(0640));
                   }},
        // The link stays a link; the file it names is replaced.
        TargetCase{"LinkToAFileInAnotherFolder",
                   [](const fs::path& d) {
                       fs::create_directory(d / "elsewhere");
                       WriteText(d / "elsewhere" / "real", "old");
                       fs::create_symlink("elsewhere/real", d / "A.JPG");
                       return d / "A.JPG";
                   },
                   [](const fs::path& d) {
                       EXPECT_TRUE(fs::is_symlink(d / "A.JPG"));
                       EXPECT_EQ(ReadAll(d / "elsewhere" / "real"), kNewBytes);
                   }},
        TargetCase{"DanglingLink",
                   [](const fs::path& d) {
                       fs::create_symlink("made-by-the-write", d / "A.JPG");
                       return d / "A.JPG";
                   },
                   [](const fs::path& d) {
                       EXPECT_TRUE(fs::is_symlink(d / "A.JPG"));
                       EXPECT_EQ(ReadAll(d / "made-by-the-write"), kNewBytes);
                   }}),
    [](const ::testing::TestParamInfo<TargetCase>& info) { return std::string(info.param.name); });

// A FIFO is written to, never replaced by a file; without a reader the write
// fails at once rather than waiting for one.
TEST_F(OutputFileTest, FifoIsWrittenToAndStays) {
    const fs::path fifo = directory_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(WriteWholeFile(fifo, "x"), ENXIO);
    // Less than a pipe holds, so the write completes before it is read.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(WriteWholeFile(fifo, "through the fifo"), 0);
    char received[64] = {};
    EXPECT_EQ(::read(reader, received, sizeof received), 16);
    ::close(reader);
    EXPECT_EQ(std::string(received), "through the fifo");
    EXPECT_EQ(Listing(), std::vector<std::string>{"fifo"});
}

// As /dev/stdout does, a link to a descriptor of this process whose target is
// a pipe, not a file: written through, not replaced.
TEST_F(OutputFileTest, LinkToAPipeIsWrittenThrough) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const fs::path link = directory_ / "stdout";
    fs::create_symlink("/proc/self/fd/" + std::to_string(ends[1]), link);
    EXPECT_EQ(WriteWholeFile(link, "through the pipe"), 0);
    ::close(ends[1]);
    char received[64] = {};
    EXPECT_EQ(::read(ends[0], received, sizeof received), 16);
    ::close(ends[0]);
    EXPECT_EQ(std::string(received), "through the pipe");
    EXPECT_TRUE(fs::is_symlink(link));
}

// A character device made here (the null device's numbers) stays a device.
TEST_F(OutputFileTest, DeviceIsWrittenToAndStays) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "making a device needs root";
    const fs::path device = directory_ / "null";
    if (::mknod(device.c_str(), S_IFCHR | 0600, ::makedev(1, 3)) != 0)
        GTEST_SKIP() << "this system allows no device nodes here";
    EXPECT_EQ(WriteWholeFile(device, kNewBytes), 0);
    EXPECT_TRUE(fs::is_character_file(device));
    EXPECT_EQ(Listing(), std::vector<std::string>{"null"});
}

TEST_F(OutputFileTest, UnwritableTargetsFailWithNothingChanged) {
    fs::create_directory(directory_ / "folder");
    fs::create_symlink("loop-b", directory_ / "loop-a");
    fs::create_symlink("loop-a", directory_ / "loop-b");
    EXPECT_EQ(WriteWholeFile(directory_ / "folder", "x"), EISDIR);
    EXPECT_EQ(WriteWholeFile(directory_ / "loop-a", "x"), ELOOP);
    EXPECT_EQ(WriteWholeFile(directory_ / "missing" / "A.JPG", "x"), ENOENT);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"folder", "loop-a", "loop-b"}));
}

// A write that stops part-way, as on a full disk (RLIMIT_FSIZE fails writes
// past the limit with EFBIG, for root too), or a file dropped before its
// commit: the old file keeps every byte and no temporary file is left.
class InterruptedWrite : public OutputFileTest {
protected:
    void LimitFileSize(rlim_t bytes) const { limit_.Set(bytes); }

    testing_support::FileSizeLimit limit_;
};

TEST_F(InterruptedWrite, LeavesTheOldFileWhole) {
    const std::string old(1000, 'o');
    WriteText(directory_ / "OLD.JPG", old);
    for (const rlim_t limit : {rlim_t{0}, rlim_t{65536}, rlim_t{150000}}) {
        LimitFileSize(limit);
        EXPECT_EQ(WriteWholeFile(directory_ / "OLD.JPG", kNewBytes), EFBIG) << limit;
        EXPECT_EQ(WriteWholeFile(directory_ / "NEW.JPG", kNewBytes), EFBIG) << limit;
        EXPECT_EQ(ReadAll(directory_ / "OLD.JPG"), old) << limit;
        EXPECT_EQ(Listing(), std::vector<std::string>{"OLD.JPG"}) << limit;
    }
    {
        OutputFile file;
        ASSERT_EQ(file.Open(directory_ / "OLD.JPG"), 0);
        file.sputn(kNewBytes.data(), static_cast<std::streamsize>(kNewBytes.size()));
    } // destroyed uncommitted
    EXPECT_EQ(ReadAll(directory_ / "OLD.JPG"), old);
    EXPECT_EQ(Listing(), std::vector<std::string>{"OLD.JPG"});
}

// Writers racing on one name: whichever commits last wins whole, and the
// file is never a splice of two writes.
TEST_F(OutputFileTest, ConcurrentWritersNeverSpliceAFile) {
    const fs::path target = directory_ / "SHARED.JPG";
    std::vector<std::thread> writers;
    for (char fill = 'a'; fill < 'a' + 4; ++fill) {
        writers.emplace_back([&target, fill] {
            const std::string bytes(150000 + 1000 * (fill - 'a'), fill);
            for (int i = 0; i < 10; ++i)
                EXPECT_EQ(WriteWholeFile(target, bytes), 0);
        });
    }
    bool whole = true;
    for (int look = 0; look < 200 && whole; ++look) {
        const std::string seen = ReadAll(target);
        whole = seen.empty() || (std::all_of(seen.begin(), seen.end(),
                                             [&](char c) { return c == seen.front(); }) &&
                                 seen.size() == 150000u + 1000u * (seen.front() - 'a'));
    }
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_TRUE(whole);
    EXPECT_EQ(Listing(), std::vector<std::string>{"SHARED.JPG"});
}

} // namespace
} // namespace files
