// tesselon-grab's --format, --quality and the one-sided --size, and the size
// that a given side makes with the video's shape.
#include "grab_options.h"
#include "video_grab.h"

#include <gtest/gtest.h>

namespace {

using images::ImageFormat;
using images::StillFormat;

std::optional<grab::Settings> Parse(std::vector<std::string> arguments, std::string& why) {
    arguments.insert(arguments.end(), {"v.mp4", "out"});
    return grab::ParseArguments(arguments, why);
}

TEST(GrabFormatOptions, FormatAndQualityMakeTheStillFormat) {
    const struct {
        std::vector<std::string> arguments;
        StillFormat format;
    } cases[] = {
        {{}, {ImageFormat::Jpeg, 75, false}},
        {{"--format", "jpg"}, {ImageFormat::Jpeg, 75, false}},
        {{"--format=JPEG", "--quality", "90"}, {ImageFormat::Jpeg, 90, false}},
        {{"--quality=1"}, {ImageFormat::Jpeg, 1, false}},
        {{"--format", "png"}, {ImageFormat::Png, 75, false}},
        {{"--format", "webp"}, {ImageFormat::Webp, 75, true}},
        {{"--quality", "60", "--format", "webp"}, {ImageFormat::Webp, 60, false}},
        {{"--format", "webp", "--quality", "100"}, {ImageFormat::Webp, 100, false}},
        {{"--format", "png", "--format", "webp"}, {ImageFormat::Webp, 75, true}},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto settings = Parse(c.arguments, why);
        ASSERT_TRUE(settings) << why;
        EXPECT_EQ(settings->format, c.format) << ::testing::PrintToString(c.arguments);
    }
}

TEST(GrabFormatOptions, SizeTakesOneSideOrBoth) {
    const struct {
        const char* size;
        grab::GivenSide side;
        int width;
        int height;
    } cases[] = {
        {"640", grab::GivenSide::Width, 640, 240},
        {"x360", grab::GivenSide::Height, 360, 360},
        {"X1", grab::GivenSide::Height, 360, 1},
        {"16384", grab::GivenSide::Width, 16384, 240},
        {"320x200", grab::GivenSide::Both, 320, 200},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto settings = Parse({"--size", c.size}, why);
        ASSERT_TRUE(settings) << why;
        EXPECT_EQ(settings->givenSide, c.side) << c.size;
        EXPECT_EQ(settings->width, c.width) << c.size;
        EXPECT_EQ(settings->height, c.height) << c.size;
        EXPECT_FALSE(settings->nativeSize) << c.size;
    }
    std::string why;
    const auto last = Parse({"--size", "640", "--size", "native"}, why);
    ASSERT_TRUE(last);
    EXPECT_TRUE(last->nativeSize);
    EXPECT_EQ(last->givenSide, grab::GivenSide::Both);
}

TEST(GrabFormatOptions, MistakesAreRefusedAsBadUsage) {
    const struct {
        std::vector<std::string> arguments;
        const char* reason;
    } cases[] = {
        {{"--format", "gif"}, "--format needs jpg, png or webp"},
        {{"--format", ".png"}, "--format needs"},
        {{"--format", "jpg.png"}, "--format needs"},
        {{"--format", ""}, "--format needs"},
        {{"--quality", "0"}, "--quality needs a whole number from 1 to 100"},
        {{"--quality", "101"}, "--quality needs"},
        {{"--quality", "7.5"}, "--quality needs"},
        {{"--quality", "90", "--format", "png"}, "PNG is always lossless"},
        {{"--format", "png", "--quality", "75"}, "cannot be used with --format png"},
        {{"--format", "webp", "--provenance"}, "--provenance needs"},
        {{"--size", "x"}, "--size needs"},
        {{"--size", "x0"}, "--size needs"},
        {{"--size", "16385"}, "--size needs"},
        {{"--size", "-640"}, "--size needs"},
        {{"--size", "xx5"}, "--size needs"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(Parse(c.arguments, why)) << ::testing::PrintToString(c.arguments);
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_NE(why.find("usage: tesselon-grab"), std::string::npos);
    }
}

// The other side follows the shape as shown (non-square pixels widened), to
// the nearest pixel and at least 1.
TEST(OutputSize, OneSideGivenKeepsTheShapeAsShown) {
    const struct {
        grab::GivenSide side;
        int given;
        int width, height;
        grab::Fraction sampleAspect;
        std::pair<int, int> expected;
    } cases[] = {
        {grab::GivenSide::Width, 640, 1920, 1080, {1, 1}, {640, 360}},
        {grab::GivenSide::Height, 360, 1920, 1080, {1, 1}, {640, 360}},
        {grab::GivenSide::Width, 640, 720, 576, {64, 45}, {640, 360}},
        {grab::GivenSide::Height, 576, 720, 576, {64, 45}, {1024, 576}},
        {grab::GivenSide::Width, 100, 640, 480, {1, 1}, {100, 75}},
        {grab::GivenSide::Width, 101, 640, 480, {1, 1}, {101, 76}},
        {grab::GivenSide::Height, 1, 1920, 1080, {1, 1}, {2, 1}},
        {grab::GivenSide::Width, 1, 1920, 1080, {1, 1}, {1, 1}},
        {grab::GivenSide::Width, 360, 1080, 1920, {1, 1}, {360, 640}},
    };
    for (const auto& c : cases) {
        grab::Settings settings;
        settings.givenSide = c.side;
        (c.side == grab::GivenSide::Width ? settings.width : settings.height) = c.given;
        EXPECT_EQ(grab::OutputSize(settings, c.width, c.height, c.sampleAspect), c.expected)
            << c.given << " of " << c.width << "x" << c.height;
    }
}

} // namespace
