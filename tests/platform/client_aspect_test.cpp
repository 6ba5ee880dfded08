#include "platform/client_aspect.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

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

TEST(AspectOfTest, IsWidthOverHeightAndZeroForAnEmptySize) {
    EXPECT_FLOAT_EQ(AspectOf(360, 240), 1.5f);
    EXPECT_NEAR(AspectOf(352, 288), 1.2222f, 1e-4);
    EXPECT_EQ(AspectOf(352, 0), 0.0f);
}

} // namespace
} // namespace platform
