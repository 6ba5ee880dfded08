#include "playback/capture_names.h"

#include <gtest/gtest.h>

#include <vector>

namespace playback {
namespace {

std::vector<std::string> NamesOf(const std::vector<std::int32_t>& timesMs) {
    NameMaker names;
    std::vector<std::string> result;
    for (const std::int32_t time : timesMs)
        result.push_back(names.Next(time));
    return result;
}

TEST(NameMakerTest, RepeatedTimesGetASuffixInCaptureOrder) {
    EXPECT_EQ(NamesOf({0, 40, 0, 0, 40, 80}),
              (std::vector<std::string>{"0", "40", "0_2", "0_3", "40_2", "80"}));
    EXPECT_EQ(NamesOf({41708, -40}), (std::vector<std::string>{"41708", "-40"}));
}

TEST(NameMakerTest, EachBatchStartsAfresh) {
    NameMaker first;
    EXPECT_EQ(first.Next(5), "5");
    NameMaker second;
    EXPECT_EQ(second.Next(5), "5");
    EXPECT_EQ(second.Next(5), "5_2");
}

} // namespace
} // namespace playback
