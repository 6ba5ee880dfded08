// Frame by frame on real clips: steps forward and back read consecutive
// frames across keyframes and both ends of the file, whether the cache holds
// the whole clip or only a few frames (then stepping back decodes again from
// a keyframe every few steps); the cache keeps its budget; each frame handed
// over gets its true number.
#include "media/media_stream.h"
#include "media/pixel_buffer.h"

#include "support/index_clips.h"
#include "support/index_picture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using media::MediaStream;
using media::StepResult;
using testing_support::Picture;
using testing_support::ReadIndex;
using namespace std::chrono_literals;

const std::size_t kFrameBytes = media::PixelBuffer::BytesFor(176, 144);
const std::size_t kFewFrames = 3 * kFrameBytes;
const std::size_t kWholeClip = std::size_t{256} << 20;

std::filesystem::path DataPath(const std::string& name) {
    return std::filesystem::path(TESSELON_TEST_DATA) / name;
}

struct Stepper {
    Stepper(const std::string& name, std::size_t cacheBytes)
        : stream(Options(cacheBytes)) {
        opened = static_cast<bool>(stream.OpenFile(DataPath(name)));
        // Its edit list starts the clip at the 14th encoded frame.
        if (name == "index_cut.mp4")
            firstIndex = 13;
    }
    media::MediaStreamOptions Options(std::size_t cacheBytes) {
        media::MediaStreamOptions options;
        options.timeSource = time;
        options.audio = media::AudioMode::Silent;
        options.frameCacheBytes = cacheBytes;
        return options;
    }
    // The frame's number shown after a step, or -1 when the step found no
    // frame. A clip cut by an edit list starts at a later index: numbers
    // count from the clip's first frame.
    int Forward() { return Shown(stream.StepForward(picture.Target())); }
    int Back() { return Shown(stream.StepBack(picture.Target())); }
    int Shown(StepResult result) {
        last = result;
        return result == StepResult::Frame ? ReadIndex(picture) - firstIndex : -1;
    }
    bool AwaitFrameNumbers() {
        for (int i = 0; i < 500 && !stream.FrameNumbersKnown(); ++i)
            std::this_thread::sleep_for(10ms);
        return stream.FrameNumbersKnown();
    }

    std::shared_ptr<media::ManualTimeSource> time = std::make_shared<media::ManualTimeSource>();
    MediaStream stream;
    Picture picture{176, 144};
    StepResult last = StepResult::Interrupted;
    bool opened = false;
    int firstIndex = 0;
};

class SteppingClip : public testing::TestWithParam<const char*> {};

TEST_P(SteppingClip, ForwardToTheEndAndBackToTheStartFrameByFrame) {
    for (const std::size_t budget : {kFewFrames, kWholeClip}) {
        SCOPED_TRACE(budget == kFewFrames ? "a few frames cached" : "the whole clip cached");
        Stepper clip(GetParam(), budget);
        ASSERT_TRUE(clip.opened);
        ASSERT_TRUE(clip.AwaitFrameNumbers());
        std::vector<int> forward;
        for (int index = clip.Forward(); index >= 0; index = clip.Forward()) {
            forward.push_back(index);
            ASSERT_EQ(clip.stream.FrameNumberOf(clip.stream.GetTime()), index);
        }
        EXPECT_EQ(clip.last, StepResult::AtEnd);
        ASSERT_GE(forward.size(), 37u); // the cut clip is the shortest
        for (std::size_t i = 0; i < forward.size(); ++i)
            ASSERT_EQ(forward[i], static_cast<int>(i));
        // At the end the last frame stays; a step back leaves it.
        EXPECT_EQ(clip.Forward(), -1);
        const int last = forward.back();
        for (int expected = last - 1; expected >= 0; --expected) {
            ASSERT_EQ(clip.Back(), expected);
            ASSERT_EQ(clip.stream.FrameNumberOf(clip.stream.GetTime()), expected);
        }
        // Nothing before the first frame, and it stays on show.
        EXPECT_EQ(clip.Back(), -1);
        EXPECT_EQ(clip.last, StepResult::AtStart);
        EXPECT_EQ(clip.stream.GetTime(), 0);
        EXPECT_LE(clip.stream.CachedBytes(), std::max(budget, kFrameBytes));
        // And forward again, from wherever the queue was left.
        for (int expected = 1; expected <= 14; ++expected)
            ASSERT_EQ(clip.Forward(), expected);
    }
}

TEST_P(SteppingClip, PausedPlaybackStepsBothWaysFromTheFrameOnShow) {
    for (const std::size_t budget : {kFewFrames, kWholeClip}) {
        SCOPED_TRACE(budget == kFewFrames ? "a few frames cached" : "the whole clip cached");
        Stepper clip(GetParam(), budget);
        ASSERT_TRUE(clip.opened);
        // Play 30 frames with every frame due at once, then stop.
        ASSERT_TRUE(clip.stream.Seek(0));
        clip.stream.SetState(media::StreamState::Run);
        clip.time->Advance(std::chrono::hours(10));
        for (int i = 0; i < 30; ++i)
            ASSERT_EQ(clip.stream.Fetch(clip.picture.Target()), media::FetchResult::Frame);
        ASSERT_EQ(ReadIndex(clip.picture) - clip.firstIndex, 29);
        for (int expected = 28; expected >= 10; --expected)
            ASSERT_EQ(clip.Back(), expected);
        EXPECT_EQ(clip.stream.State(), media::StreamState::Stop);
        for (int expected = 11; expected <= 35; ++expected)
            ASSERT_EQ(clip.Forward(), expected);
        for (int expected = 34; expected >= 28; --expected)
            ASSERT_EQ(clip.Back(), expected);
        // A seek while stopped: the first step shows the frame there.
        ASSERT_TRUE(clip.stream.Seek(20 * 400'000));
        EXPECT_EQ(clip.Back(), 20);
        EXPECT_EQ(clip.Back(), 19);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SteppingClip, testing_support::kIndexClips,
                         testing_support::ClipTestName);
INSTANTIATE_TEST_SUITE_P(Reordered, SteppingClip,
                         testing::Values("index_bframes.mp4", "index_cut.mp4", "index_vfr.mkv"),
                         testing_support::ClipTestName);

TEST(Stepping, NothingOpenStepsNowhere) {
    Stepper clip("not_a_video.mpg", kFewFrames);
    EXPECT_FALSE(clip.opened);
    EXPECT_EQ(clip.Forward(), -1);
    EXPECT_EQ(clip.Back(), -1);
    EXPECT_EQ(clip.stream.FrameNumberOf(0), std::nullopt);
}

} // namespace
