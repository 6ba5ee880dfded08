#include "app/frame_geometry.h"

#include <gtest/gtest.h>

namespace {

struct TimeCase {
    int seconds;
    const char* text;
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

struct FitCase {
    QSize client;
    float aspect;
    QSize fitted;
};

class FitClientToAspectTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitClientToAspectTest, KeepsTheExtentThatIsTooLarge) {
    const std::optional<QSize> fitted = FitClientToAspect(GetParam().client, GetParam().aspect);
    ASSERT_TRUE(fitted.has_value());
    EXPECT_EQ(*fitted, GetParam().fitted);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FitClientToAspectTest,
    ::testing::Values(
        // A CIF video dragged wider than its aspect grows in height.
        FitCase{{500, 300}, AspectOf(352, 288), {500, 409}},
        // Too tall for 3:2: the width grows.
        FitCase{{300, 400}, 1.5f, {600, 400}},
        // Already in aspect: unchanged, so the size message that a fit causes settles.
        FitCase{{360, 240}, 1.5f, {360, 240}}, FitCase{{352, 288}, AspectOf(352, 288), {352, 288}},
        FitCase{{500, 409}, AspectOf(352, 288), {500, 409}},
        // Truncation toward zero in both directions.
        FitCase{{100, 100}, 1.5f, {150, 100}}, FitCase{{101, 10}, 1.5f, {101, 67}},
        FitCase{{1, 1}, 0.75f, {1, 1}}),
    [](const auto& info) {
        return std::to_string(info.param.client.width()) + "x" +
               std::to_string(info.param.client.height()) + "Case" + std::to_string(info.index);
    });

TEST(FitClientToAspectTest, MinimisedFrameChangesNothing) {
    EXPECT_FALSE(FitClientToAspect(QSize(0, 0), 1.5f).has_value());
    EXPECT_FALSE(FitClientToAspect(QSize(640, 0), 1.5f).has_value());
}

TEST(FrameArithmeticTest, AspectAndSliderPage) {
    EXPECT_FLOAT_EQ(AspectOf(360, 240), 1.5f);
    EXPECT_NEAR(AspectOf(352, 288), 1.2222f, 1e-4);
    EXPECT_EQ(AspectOf(352, 0), 0.0f);
    EXPECT_EQ(SliderPageSize(59), 5);
    EXPECT_EQ(SliderPageSize(9), 0);
    EXPECT_EQ(SliderPageSize(3725), 372);
}

} // namespace
