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

TEST(PictureGridTest, FitsThePictureAndKeepsTheMarginsAroundIt) {
    const PictureGrid one{1, QSize(14, 14), 1.5f};
    // The picture, not the client area, takes the aspect: 540 - 14 = 526 wide.
    EXPECT_EQ(one.Fit(QSize(540, 300)), QSize(540, 364));
    EXPECT_EQ(one.ClientForPictureWidth(360), QSize(374, 254));
    EXPECT_FALSE(one.Fit(QSize(540, 0)).has_value());

    // Four pictures: a client made from a picture gives that picture back.
    const PictureGrid four{2, QSize(14, 14), 1.5f};
    EXPECT_EQ(four.ClientFor(QSize(180, 120)), QSize(388, 268));
    EXPECT_EQ(four.PictureIn(QSize(388, 268)), QSize(180, 120));
    EXPECT_EQ(four.PictureIn(QSize(389, 269)), QSize(181, 121)); // the larger half
    EXPECT_EQ(four.Fit(QSize(388, 268)), QSize(388, 268));
}

TEST(PictureGridTest, ShrinksBothSidesWhenTheScreenHasNoRoom) {
    const PictureGrid one{1, QSize(14, 14), 1.5f};
    EXPECT_EQ(one.Fit(QSize(1000, 300), QSize(1000, 700)), QSize(1000, 671));
    // 671 rows do not fit in 500: the picture becomes 729 x 486.
    EXPECT_EQ(one.Fit(QSize(1000, 300), QSize(1000, 500)), QSize(743, 500));
    EXPECT_EQ(one.ClientForPictureWidth(1280, QSize(784, 560)), QSize(784, 527)); // 770 x 513
    // Four pictures in an odd-sized room: every cell fits its smaller share.
    const PictureGrid four{2, QSize(14, 14), 1.5f};
    const std::optional<QSize> fitted = four.Fit(QSize(3000, 300), QSize(1001, 601));
    ASSERT_TRUE(fitted.has_value());
    EXPECT_LE(fitted->width(), 1001);
    EXPECT_LE(fitted->height(), 601);
}

TEST(PictureGridTest, ClientForAPictureShowsItAsItIsUnlessTheRoomIsShort) {
    const PictureGrid view{1, QSize(4, 56), AspectOf(352, 288)};
    EXPECT_EQ(view.ClientForPicture(QSize(352, 288)), QSize(356, 344));
    EXPECT_EQ(view.ClientForPicture(QSize(352, 288), QSize(800, 600)), QSize(356, 344));
    // 1280 x 720 in 800 x 600: the width limits, 796 x 447 in aspect.
    const PictureGrid wide{1, QSize(4, 56), AspectOf(1280, 720)};
    EXPECT_EQ(wide.ClientForPicture(QSize(1280, 720), QSize(800, 600)), QSize(800, 503));
}

TEST(LargestWithinTest, TheLimitingSideDecides) {
    EXPECT_EQ(LargestWithin(QSize(1000, 486), 1.5f), QSize(729, 486));
    EXPECT_EQ(LargestWithin(QSize(300, 486), 1.5f), QSize(300, 200));
    EXPECT_EQ(LargestWithin(QSize(1, 100), 1.5f), QSize(1, 1));
}

} // namespace
} // namespace platform
