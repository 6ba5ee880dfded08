// Turned video comes out as players show it. Clips whose stored picture has
// a white marker in its top-left corner are tagged with a display matrix
// (in the container, or as an H.264 orientation message) by the ffmpeg
// command, which shows each of them with the marker where it is expected
// here; the stream must deliver the same picture, size and turn.
#include "media/media_stream.h"
#include "media/orientation.h"

#include "support/index_picture.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/display.h>
}

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

enum class Corner { TopLeft, TopRight, BottomLeft, BottomRight };

struct TurnCase {
    const char* name;
    const char* tag; // ffmpeg options that tag the upright clip as it is copied
    int width;
    int height;
    Corner marker;
    int rotation;
    bool mirrored;
    friend void PrintTo(const TurnCase& c, std::ostream* out) { *out << c.name; }
};

constexpr const char* kQuiet = "ffmpeg -hide_banner -loglevel error -nostdin -y ";

// 64 x 48, five frames, a 16 x 12 marker in the top-left corner.
bool MakeUpright(const fs::path& clip) {
    const std::string command =
        std::string(kQuiet) +
        "-f lavfi -i color=black:s=64x48:r=25:d=0.2,drawbox=x=0:y=0:w=16:h=12:color=white:t=fill,"
        "format=yuv420p -c:v libx264 -qp 0 '" +
        clip.string() + "'";
    return std::system(command.c_str()) == 0;
}

bool Tag(const fs::path& upright, const char* tag, const fs::path& clip) {
    const std::string command = std::string(kQuiet) + "-i '" + upright.string() + "' -c copy " +
                                tag + " '" + clip.string() + "'";
    return std::system(command.c_str()) == 0;
}

using testing_support::Picture;

// Where the bright pixels are, and how large their box is.
struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};

Box MarkerBox(const Picture& picture) {
    Box box;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (picture.bytes[(static_cast<std::size_t>(y) * picture.width + x) * 4 + 1] > 128) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

Corner CornerOf(const Box& box, const Picture& picture) {
    const bool right = box.left + box.right > picture.width;
    const bool bottom = box.top + box.bottom > picture.height;
    return bottom ? (right ? Corner::BottomRight : Corner::BottomLeft)
                  : (right ? Corner::TopRight : Corner::TopLeft);
}

class TurnedClip : public testing::TestWithParam<TurnCase> {};

TEST_P(TurnedClip, ShowsTheMarkerWherePlayersDo) {
    if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "the ffmpeg command is missing";
    const TurnCase& c = GetParam();
    testing_support::TemporaryFolder folder;
    const fs::path upright = folder.Path() / "upright.mp4";
    const fs::path clip = folder.Path() / "clip.mp4";
    ASSERT_TRUE(MakeUpright(upright));
    ASSERT_TRUE(Tag(upright, c.tag, clip));

    auto time = std::make_shared<media::ManualTimeSource>();
    media::MediaStream stream({time, media::AudioMode::Silent});
    ASSERT_TRUE(stream.OpenFile(clip));
    ASSERT_EQ(stream.VideoWidth(), c.width);
    ASSERT_EQ(stream.VideoHeight(), c.height);
    const media::VideoFormat format = stream.Format();
    EXPECT_EQ(format.width, c.width);
    EXPECT_EQ(format.rotation, c.rotation);
    EXPECT_EQ(format.mirrored, c.mirrored);

    Picture picture(c.width, c.height);
    stream.SetState(media::StreamState::Run);
    time->Advance(std::chrono::hours(1));
    ASSERT_EQ(stream.Fetch(picture.Target()), media::FetchResult::Frame);
    const Box box = MarkerBox(picture);
    EXPECT_EQ(CornerOf(box, picture), c.marker);
    const bool sideways = c.width < c.height;
    EXPECT_EQ(box.right - box.left + 1, sideways ? 12 : 16);
    EXPECT_EQ(box.bottom - box.top + 1, sideways ? 16 : 12);

    // Stepping decodes again and shows cached pictures: both turned the same.
    ASSERT_EQ(stream.StepForward(picture.Target()), media::StepResult::Frame);
    ASSERT_EQ(stream.StepForward(picture.Target()), media::StepResult::Frame);
    ASSERT_EQ(stream.StepBack(picture.Target()), media::StepResult::Frame);
    EXPECT_EQ(CornerOf(MarkerBox(picture), picture), c.marker) << "after stepping back";
}

// The container's matrix, as the ffmpeg command writes a "rotate" tag, turns
// the picture counterclockwise by the tag; the H.264 messages flip it.
INSTANTIATE_TEST_SUITE_P(
    DisplayMatrices, TurnedClip,
    testing::Values(
        TurnCase{"upright", "", 64, 48, Corner::TopLeft, 0, false},
        TurnCase{"tag90", "-metadata:s:v:0 rotate=90", 48, 64, Corner::BottomLeft, 270, false},
        TurnCase{"tag180", "-metadata:s:v:0 rotate=180", 64, 48, Corner::BottomRight, 180, false},
        TurnCase{"tag270", "-metadata:s:v:0 rotate=270", 48, 64, Corner::TopRight, 90, false},
        TurnCase{"flip_horizontal",
                 "-bsf:v h264_metadata=display_orientation=insert:flip=horizontal", 64, 48,
                 Corner::TopRight, 0, true},
        TurnCase{"flip_vertical", "-bsf:v h264_metadata=display_orientation=insert:flip=vertical",
                 64, 48, Corner::BottomLeft, 180, true},
        TurnCase{"turn_and_flip",
                 "-bsf:v h264_metadata=display_orientation=insert:rotate=90:flip=horizontal", 48,
                 64, Corner::TopLeft, 90, true}),
    [](const testing::TestParamInfo<TurnCase>& info) { return std::string(info.param.name); });

// A pixel turned on its side turns its shape too: a PAL 16:9 clip held
// sideways is shown 576 x 1024.
TEST(TurnedClipShape, TurnsTheSampleAspectWithThePicture) {
    if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "the ffmpeg command is missing";
    testing_support::TemporaryFolder folder;
    const fs::path upright = folder.Path() / "pal.mp4";
    const fs::path clip = folder.Path() / "sideways.mp4";
    const std::string command =
        std::string(kQuiet) +
        "-f lavfi -i color=black:s=720x576:r=25:d=0.08,setsar=64/45,format=yuv420p "
        "-c:v libx264 -preset ultrafast '" +
        upright.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(Tag(upright, "-metadata:s:v:0 rotate=90", clip));
    media::MediaStream stream(
        {std::make_shared<media::ManualTimeSource>(), media::AudioMode::Silent});
    ASSERT_TRUE(stream.OpenFile(clip));
    const media::VideoFormat format = stream.Format();
    EXPECT_EQ(format.width, 576);
    EXPECT_EQ(format.height, 720);
    EXPECT_EQ(format.sampleAspect.num * 64, format.sampleAspect.den * 45);
    EXPECT_EQ(media::DisplaySize(format.width, format.height, format.sampleAspect),
              (std::pair{576, 1024}));
}

// Turns compose as turns of a picture must: four quarter turns, or two
// flips, give the picture back; a turn then a flip is the mirrored turn.
// The picture is larger than the tiles the turn walks in, and odd-sized.
TEST(TurnPicture, ComposesAsTurnsOfAPictureDo) {
    media::PixelBuffer picture;
    ASSERT_TRUE(picture.Reserve(131, 70));
    std::mt19937 random(7);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width() * 4; ++x)
            picture.Row(y)[x] = static_cast<std::uint8_t>(random());
    using media::Orientation;
    const struct {
        std::vector<Orientation> steps;
        Orientation same;
    } cases[] = {
        {{{1, false}, {1, false}, {1, false}, {1, false}}, {0, false}},
        {{{1, false}, {1, false}}, {2, false}},
        {{{1, false}, {2, false}}, {3, false}},
        {{{3, false}, {1, false}}, {0, false}},
        {{{0, true}, {0, true}}, {0, false}},
        {{{1, true}, {1, true}}, {0, false}},
        {{{3, true}, {3, true}}, {0, false}},
        {{{1, false}, {0, true}}, {1, true}},
        {{{2, false}, {0, true}}, {2, true}},
    };
    const auto same = [](const media::PixelBuffer& a, const media::PixelBuffer& b) {
        if (a.Width() != b.Width() || a.Height() != b.Height())
            return false;
        for (int y = 0; y < a.Height(); ++y)
            if (!std::equal(a.Row(y), a.Row(y) + a.Width() * 4, b.Row(y)))
                return false;
        return true;
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        media::PixelBuffer stepped;
        ASSERT_TRUE(media::TurnPicture(picture, {0, false}, stepped));
        for (const Orientation step : cases[i].steps) {
            media::PixelBuffer next;
            ASSERT_TRUE(media::TurnPicture(stepped, step, next));
            stepped = std::move(next);
        }
        media::PixelBuffer direct;
        ASSERT_TRUE(media::TurnPicture(picture, cases[i].same, direct));
        EXPECT_TRUE(same(stepped, direct)) << "case " << i;
    }
    // Clockwise: the left column becomes the top row.
    media::PixelBuffer turned;
    ASSERT_TRUE(media::TurnPicture(picture, {1, false}, turned));
    ASSERT_EQ(turned.Width(), 70);
    EXPECT_TRUE(std::equal(turned.Row(0), turned.Row(0) + 4, picture.Row(69)));
    EXPECT_TRUE(std::equal(turned.Row(0) + 69 * 4, turned.Row(0) + 70 * 4, picture.Row(0)));
}

TEST(OrientationOf, LeavesPicturesWithoutAQuarterTurnAsStored) {
    EXPECT_EQ(media::OrientationOf(nullptr), media::Orientation{});
    std::int32_t matrix[9];
    av_display_rotation_set(matrix, 45);
    EXPECT_EQ(media::OrientationOf(matrix), media::Orientation{});
    av_display_rotation_set(matrix, 0);
    EXPECT_EQ(media::OrientationOf(matrix), media::Orientation{});
}

} // namespace
