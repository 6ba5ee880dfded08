// The index clips of tests/data, one per container the open dialog offers, and
// a GoogleTest name for each. Every frame of them shows its own number.
#pragma once

#include <cctype>
#include <string>

#include <gtest/gtest.h>

namespace testing_support {

inline const auto kIndexClips =
    ::testing::Values("index.mpg", "index.asf", "index_mpeg4.avi", "index_mjpeg.avi", "index.rm",
                      "index.mp4", "index.webm", "index.ogv", "index_silent.mp4", "index.asx");

// "index_mpeg4.avi" becomes "index_mpeg4_avi": test names allow letters, digits and '_'.
inline std::string ClipTestName(const ::testing::TestParamInfo<const char*>& info) {
    std::string name = info.param;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

} // namespace testing_support
