#include "app/status_texts.h"

#include <gtest/gtest.h>

namespace {

struct TimeCase {
    int seconds;
    const char* text;
    // GoogleTest would print the bytes, padding included.
    friend void PrintTo(const TimeCase& c, std::ostream* out) { *out << c.seconds; }
};

class FormatTimeTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(FormatTimeTest, LargestNonZeroUnitDecidesTheForm) {
    EXPECT_EQ(FormatTime(GetParam().seconds), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Times, FormatTimeTest,
                         ::testing::Values(TimeCase{0, "00"}, TimeCase{7, "07"}, TimeCase{59, "59"},
                                           TimeCase{60, "01:00"}, TimeCase{65, "01:05"},
                                           TimeCase{125, "02:05"}, TimeCase{3599, "59:59"},
                                           TimeCase{3600, "01:00:00"}, TimeCase{3725, "01:02:05"},
                                           TimeCase{360000, "100:00:00"}, TimeCase{-4, "00"}),
                         [](const auto& info) {
                             const int t = info.param.seconds;
                             return (t < 0 ? "Minus" : "") + std::to_string(t < 0 ? -t : t);
                         });

TEST(FrameArithmeticTest, SliderPage) {
    EXPECT_EQ(SliderPageSize(59), 5);
    EXPECT_EQ(SliderPageSize(9), 0);
    EXPECT_EQ(SliderPageSize(3725), 372);
}

TEST(FrameArithmeticTest, ShownFrameGivesItsNumberAndTimeToTheMicrosecond) {
    // 1001/30000 s frames: frame 1234 at 41.174466... s, truncated.
    EXPECT_EQ(FormatShownFrame(1234, 411'744'666), u"Frame 1234 \u00B7 41174.466 ms");
    EXPECT_EQ(FormatShownFrame(std::nullopt, 400'000), u"Frame \u2026 \u00B7 40.000 ms");
    EXPECT_EQ(FormatShownFrame(0, 0), u"Frame 0 \u00B7 0.000 ms");
    EXPECT_EQ(FormatShownFrame(3, 7), u"Frame 3 \u00B7 0.000 ms");
}

} // namespace
