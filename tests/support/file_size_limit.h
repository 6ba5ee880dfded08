// A file size limit for one test, as a full disk would stop writes: past the
// limit every write fails with EFBIG (for root too), and SIGXFSZ is ignored
// so the test lives on. The old limit and signal action come back after.
#pragma once

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

namespace testing_support {

class FileSizeLimit {
public:
    FileSizeLimit() {
        EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_), 0);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // No file of this process may grow past `bytes` from now on.
    void Set(rlim_t bytes) const {
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
};

} // namespace testing_support
