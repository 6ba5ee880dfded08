// Capture quality: frames larger than the 360 x 240 target are filtered on
// their way into it, not sampled. Clips of one-pixel black and white stripes
// are made with the ffmpeg command at test time, losslessly so that the
// stripes survive; shrunk into the target they must come out grey, where the
// nearest pixel would keep black and white stripes.
#include "playback/video_source.h"

#include "platform/dialogs.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;

constexpr platform::Rect kTargetRect{0, 0, 360, 240};

struct StripeClip {
    const char* name;
    const char* luma; // a geq expression of X and Y
    double window;    // source pixels across the stripes per target pixel
};

class CaptureQuality : public testing::TestWithParam<StripeClip> {
protected:
    void SetUp() override {
        if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0)
            GTEST_SKIP() << "the ffmpeg command is missing";
        ASSERT_EQ(platform::DisplayDevice::Create(&device_), platform::DD_OK);
        const platform::SurfaceDescription description{
            platform::DDSD_CAPS | platform::DDSD_WIDTH | platform::DDSD_HEIGHT,
            kTargetRect.Width(), kTargetRect.Height(), platform::DDSCAPS_OFFSCREENPLAIN};
        ASSERT_EQ(device_->CreateSurface(description, &target_), platform::DD_OK);
        fs::create_directories(folder_);
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Five 1280 x 720 frames; empty when ffmpeg fails.
    fs::path MakeClip(const StripeClip& clip) {
        const fs::path path = folder_ / (std::string(clip.name) + ".mkv");
        const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
                                    "\"color=black:s=1280x720:r=25:d=0.2,format=yuv444p,geq=lum='" +
                                    std::string(clip.luma) + "':cb=128:cr=128\" -c:v ffv1 '" +
                                    path.string() + "'";
        return std::system(command.c_str()) == 0 ? path : fs::path();
    }

    platform::ScriptedDialogs dialogs_;
    std::unique_ptr<platform::DisplayDevice> device_;
    std::shared_ptr<platform::Surface> target_;
    const fs::path folder_ =
        fs::temp_directory_path() / ("capture-quality-" + std::to_string(::getpid()));
};

TEST_P(CaptureQuality, StripesComeOutGrey) {
    const StripeClip clip = GetParam();
    const fs::path path = MakeClip(clip);
    ASSERT_FALSE(path.empty()) << "ffmpeg could not make the clip";
    playback::VideoSourceOptions options;
    options.timeSource = std::make_shared<media::ManualTimeSource>();
    options.audio = media::AudioMode::Silent;
    CDShow source(options);
    ASSERT_TRUE(source.Open(path, device_.get()));
    ASSERT_TRUE(source.Play());
    ASSERT_TRUE(source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame));

    platform::LockedSurface locked;
    ASSERT_EQ(target_->Lock(&locked, platform::DDLOCK_WAIT), platform::DD_OK);
    int colouredPixels = 0;
    double largestDeviation = 0;
    double sum = 0;
    for (int y = 0; y < locked.height; ++y)
        for (int x = 0; x < locked.width; ++x) {
            const std::uint8_t* pixel = locked.bits + y * locked.pitch + x * 4;
            colouredPixels += pixel[0] != pixel[1] || pixel[0] != pixel[2];
            largestDeviation = std::max(largestDeviation, std::abs(pixel[0] - 127.5));
            sum += pixel[0];
        }
    target_->Unlock();
    EXPECT_EQ(colouredPixels, 0);
    // An average over a window of L source pixels holds at most half a stripe
    // more of one colour than of the other, so it lies within 127.5 ÷ L of
    // mid-grey (plus rounding); the nearest pixel is 127.5 away.
    EXPECT_LE(largestDeviation, 127.5 / clip.window + 0.5);
    // No beat between stripes and pixels darkens the picture as a whole (the
    // nearest pixel of 1280 -> 360 picks 4 white stripes in 9).
    EXPECT_NEAR(sum / (locked.width * locked.height), 127.5, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Playback, CaptureQuality,
                         testing::Values(StripeClip{"VerticalStripes", "255*mod(X,2)",
                                                    1280 / 360.0},
                                         StripeClip{"HorizontalStripes", "255*mod(Y,2)", 3.0}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
