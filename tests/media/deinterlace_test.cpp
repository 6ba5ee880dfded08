// Interlaced video is deinterlaced one frame for one: a moving edge coded as
// fields (MPEG-2, top field first) shows no comb, every frame comes out with
// its own time, the last one too, a seek filters as a fresh open does, and
// progressive video is left as decoded.
#include "filter_clips.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using media::Deinterlace;
using namespace filter_clips;

constexpr int kFrames = 10;

// A white bar crossing black at 300 pixels a second: 6 pixels between the
// fields of one interlaced frame.
std::string MovingBar(int rate) {
    return "-f lavfi -i 'color=c=black:s=160x96:r=" + std::to_string(rate) +
           ":d=0.4[bg];color=c=white:s=24x96:r=" + std::to_string(rate) +
           "[bar];[bg][bar]overlay=x=t*300:y=0:shortest=1'";
}

// The mean absolute difference of the green of each line and the line below:
// the comb of a frame whose fields come from two times.
double Comb(const Picture& picture, int width, int height) {
    double sum = 0;
    for (int y = 0; y + 1 < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 4 + 1;
            sum +=
                std::abs(int{picture[at]} - int{picture[at + static_cast<std::size_t>(width) * 4]});
        }
    return sum / (static_cast<double>(width) * (height - 1));
}

double MeanComb(const Fetched& fetched) {
    double sum = 0;
    for (const Picture& picture : fetched.pictures)
        sum += Comb(picture, fetched.width, fetched.height);
    return fetched.pictures.empty() ? 0 : sum / static_cast<double>(fetched.pictures.size());
}

class Deinterlacing : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<ClipFolder>("deinterlace-clips");
        if (!HaveFfmpeg())
            return;
        made_ = Ffmpeg(MovingBar(50) +
                       " -vf tinterlace=interleave_top,setfield=tff -flags +ildct+ilme -top 1 "
                       "-c:v mpeg2video -q:v 2 '" +
                       Interlaced().string() + "'") &&
                Ffmpeg(MovingBar(25) + " -c:v mpeg2video -q:v 2 '" + Progressive().string() + "'");
    }
    static void TearDownTestSuite() { folder_.reset(); }
    void SetUp() override {
        if (!HaveFfmpeg())
            GTEST_SKIP() << "the ffmpeg command is missing";
        ASSERT_TRUE(made_);
    }
    static fs::path Interlaced() { return *folder_ / "moving_bar_tff.mpg"; }
    static fs::path Progressive() { return *folder_ / "moving_bar_progressive.mpg"; }

    static std::unique_ptr<ClipFolder> folder_;
    static bool made_;
};

std::unique_ptr<ClipFolder> Deinterlacing::folder_;
bool Deinterlacing::made_ = false;

TEST_F(Deinterlacing, LeavesNoCombAndKeepsEveryFrameAndTime) {
    const Fetched woven = FetchAll(Interlaced(), Deinterlace::Auto);
    const Fetched fields = FetchAll(Interlaced(), Deinterlace::Off);
    const Fetched source = FetchAll(Progressive(), Deinterlace::Auto);
    ASSERT_EQ(woven.pictures.size(), std::size_t{kFrames}); // the last, held back, too
    ASSERT_EQ(fields.pictures.size(), std::size_t{kFrames});
    EXPECT_EQ(woven.times, fields.times);
    for (std::size_t i = 0; i < woven.traits.size(); ++i) {
        EXPECT_EQ(woven.traits[i].timestamp, fields.traits[i].timestamp) << i;
        EXPECT_EQ(woven.traits[i].keyFrame, fields.traits[i].keyFrame) << i;
        EXPECT_EQ(woven.traits[i].pictureType, fields.traits[i].pictureType) << i;
        EXPECT_TRUE(woven.traits[i].deinterlaced) << i;
        EXPECT_FALSE(fields.traits[i].deinterlaced) << i;
    }
    const double wovenComb = MeanComb(woven);
    const double fieldsComb = MeanComb(fields);
    const double sourceComb = MeanComb(source);
    std::printf("comb between lines: deinterlaced %.3f, fields as decoded %.3f, progressive "
                "source %.3f\n",
                wovenComb, fieldsComb, sourceComb);
    EXPECT_LE(wovenComb, sourceComb + 1.0);
    EXPECT_GE(fieldsComb, 4 * wovenComb + 2.0);
}

TEST_F(Deinterlacing, LeavesProgressiveVideoAsDecoded) {
    const Fetched automatic = FetchAll(Progressive(), Deinterlace::Auto);
    const Fetched off = FetchAll(Progressive(), Deinterlace::Off);
    ASSERT_EQ(automatic.pictures.size(), std::size_t{kFrames});
    EXPECT_EQ(automatic.pictures, off.pictures);
    EXPECT_EQ(automatic.times, off.times);
    for (const media::FrameTraits& traits : automatic.traits)
        EXPECT_FALSE(traits.deinterlaced);
    // Forced on, the same frames are deinterlaced as if interlaced: each
    // picture changes, and says so.
    const Fetched forced = FetchAll(Progressive(), Deinterlace::On);
    ASSERT_EQ(forced.pictures.size(), std::size_t{kFrames});
    EXPECT_NE(forced.pictures, off.pictures);
    EXPECT_TRUE(forced.traits.back().deinterlaced);
}

// A seek drops the frame the deinterlacer held back: what follows it is what
// a fresh open shows.
TEST_F(Deinterlacing, FiltersAfterASeekAsAFreshOpen) {
    media::MediaStream stream({std::make_shared<media::FreeRunningTimeSource>(),
                               media::AudioMode::Silent, 0, Deinterlace::Auto});
    ASSERT_TRUE(stream.OpenFile(Interlaced()));
    const int width = stream.VideoWidth();
    const int height = stream.VideoHeight();
    Picture picture(static_cast<std::size_t>(width) * height * 4);
    const media::FrameTarget target{picture.data(), width * 4, width, height};
    stream.SetState(media::StreamState::Run);
    std::vector<Picture> first;
    for (int i = 0; i < 4 && stream.Fetch(target) == media::FetchResult::Frame; ++i)
        first.push_back(picture);
    ASSERT_EQ(first.size(), 4u);
    ASSERT_TRUE(stream.Seek(0));
    stream.SetState(media::StreamState::Run);
    for (std::size_t i = 0; i < first.size(); ++i) {
        ASSERT_EQ(stream.Fetch(target), media::FetchResult::Frame);
        EXPECT_EQ(picture, first[i]) << "frame " << i;
    }
}

} // namespace
