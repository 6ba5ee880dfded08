// CDShow on real clips: opening and its failure messages, the closed source,
// time arithmetic, frame order and looping, seeking, pause and resume, pacing,
// the bounded fetch of the user-interface thread, and the timer beside the
// capture worker. Index clips spell each frame's number in a 4 x 3 grid of
// 44 x 48 blocks of their 176 x 144 frames.
#include "playback/video_source.h"

#include "platform/dialogs.h"

#include "support/index_clips.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::Rect;

constexpr Rect kTargetRect{0, 0, 360, 240};
constexpr int kIndexFrames = 50;

std::filesystem::path DataPath(const std::string& name) {
    return std::filesystem::path(TESSELON_TEST_DATA) / name;
}

class VideoSourceTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(platform::DisplayDevice::Create(&device_), platform::DD_OK);
        platform::SurfaceDescription description;
        description.flags = platform::DDSD_CAPS | platform::DDSD_WIDTH | platform::DDSD_HEIGHT;
        description.caps = platform::DDSCAPS_OFFSCREENPLAIN;
        description.width = 360;
        description.height = 240;
        ASSERT_EQ(device_->CreateSurface(description, &target_), platform::DD_OK);
    }

    playback::VideoSourceOptions ManualOptions() {
        playback::VideoSourceOptions options;
        options.timeSource = time_;
        options.audio = media::AudioMode::Silent;
        return options;
    }

    // The frame number shown in the 360 x 240 target.
    int ShownIndex() {
        platform::LockedSurface locked;
        EXPECT_EQ(target_->Lock(&locked, platform::DDLOCK_WAIT), platform::DD_OK);
        int index = 0;
        for (int bit = 0; bit < 12; ++bit) {
            const int x = ((bit % 4) * 44 + 22) * 360 / 176;
            const int y = ((bit / 4) * 48 + 24) * 240 / 144;
            if (locked.bits[y * locked.pitch + x * 4 + 1] > 128)
                index |= 1 << bit;
        }
        target_->Unlock();
        return index;
    }

    // One fetch as the capture worker makes it, the clock one frame later
    // (or, with a long step, past whatever frame comes next).
    void CaptureStep(CDShow& source, std::chrono::nanoseconds step = 40ms) {
        time_->Advance(step);
        source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    }

    std::filesystem::path Scratch(const std::string& name, const std::string& bytes) {
        const auto folder =
            std::filesystem::temp_directory_path() / ("video-source-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return folder / name;
    }

    platform::ScriptedDialogs dialogs_;
    std::unique_ptr<platform::DisplayDevice> device_;
    std::shared_ptr<platform::Surface> target_;
    std::shared_ptr<media::ManualTimeSource> time_ = std::make_shared<media::ManualTimeSource>();
};

// ---- time arithmetic ----

TEST(VideoSourceTime, ConversionsTruncateTowardZero) {
    const struct {
        media::StreamTime time;
        std::int32_t seconds;
        std::int32_t milliseconds;
    } cases[] = {
        {599'000'000, 59, 59'900},
        {36'000'000'000, 3600, 3'600'000},
        {123'450'000, 12, 12'345},
        {9'999, 0, 0},
        {-15'000'000, -1, -1'500},
        {417'083'333, 41, 41'708},
        {INT64_C(1) << 62, INT32_MAX, INT32_MAX},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(playback::StreamTimeToSeconds(c.time), c.seconds) << c.time;
        EXPECT_EQ(playback::StreamTimeToMilliseconds(c.time), c.milliseconds) << c.time;
    }
    EXPECT_EQ(playback::SecondsToStreamTime(30), 300'000'000);
    EXPECT_EQ(playback::MillisecondsToStreamTime(1500), 15'000'000);
    EXPECT_EQ(playback::MillisecondsToStreamTime(12345), 123'450'000);
}

// ---- opening ----

class OpensClip : public VideoSourceTest, public testing::WithParamInterface<const char*> {};

TEST_P(OpensClip, WithTheVideoSizeAndNoMessage) {
    CDShow source(ManualOptions());
    ASSERT_TRUE(source.Open(DataPath(GetParam()), device_.get()));
    EXPECT_TRUE(source.IsOpen());
    EXPECT_FALSE(source.IsPlaying());
    platform::SurfaceDescription format;
    ASSERT_EQ(source.GetFormat(&format), platform::DD_OK);
    EXPECT_EQ(format.width, 176);
    EXPECT_EQ(format.height, 144);
    EXPECT_GE(source.GetDurationSeconds(), 1);
    EXPECT_TRUE(dialogs_.Messages().empty());

    ASSERT_TRUE(source.Play());
    source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    EXPECT_EQ(ShownIndex(), 0);
    CaptureStep(source);
    EXPECT_EQ(ShownIndex(), 1);
    EXPECT_EQ(source.GetPositionMs(), 40);
}

INSTANTIATE_TEST_SUITE_P(Formats, OpensClip, testing_support::kIndexClips,
                         testing_support::ClipTestName);

// Each failed step is said with its cause as a value; the program words the
// message, so the source shows none.
TEST_F(VideoSourceTest, EachOpenFailureSaysItsStepAndCauseAndLeavesTheSourceClosed) {
    std::ifstream avi(DataPath("index_mpeg4.avi"), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(avi), {}};
    // Up to where its frames would begin: the headers of a 176 x 144 video.
    const std::string headers = bytes.substr(0, bytes.find("movi") + 4);
    using playback::OpenStep;
    const struct {
        std::filesystem::path path;
        bool withDevice;
        OpenStep step;
        const char* cause;
    } cases[] = {
        {DataPath("not_a_video.mpg"), true, OpenStep::File,
         "invalid data found when processing input"},
        {Scratch("empty.avi", ""), true, OpenStep::File, "empty file"},
        {DataPath("missing.mpg"), true, OpenStep::File, "no such file"},
        {Scratch("elsewhere.asx", "<asx><entry><ref href=\"gone.asf\"/></entry></asx>"), true,
         OpenStep::File, "the redirector names no local file that can be read"},
        {DataPath("audio_only.wav"), true, OpenStep::PrimaryVideo, "no video stream"},
        {Scratch("header_only.avi", headers), true, OpenStep::FirstFrame,
         "no frame of its video could be decoded"},
        {DataPath("index.mpg"), false, OpenStep::VideoStream, "no display device"},
        {DataPath("too_wide.avi"), true, OpenStep::Sample, "frame size 16400x16 is not supported"},
    };
    CDShow source(ManualOptions());
    for (const auto& c : cases) {
        const playback::OpenResult result =
            source.Open(c.path, c.withDevice ? device_.get() : nullptr);
        EXPECT_EQ(result.failed, c.step) << c.path;
        EXPECT_EQ(result.cause, c.cause) << c.path;
        EXPECT_FALSE(source.IsOpen());
    }
    EXPECT_TRUE(dialogs_.Messages().empty());
    // A later good file opens in the same source.
    EXPECT_TRUE(source.Open(DataPath("index.mp4"), device_.get()));
}

TEST_F(VideoSourceTest, EveryOperationOnAClosedSourceReturnsFalseOrZero) {
    CDShow neverOpened(ManualOptions());
    CDShow closed(ManualOptions());
    ASSERT_TRUE(closed.Open(DataPath("index.mp4"), device_.get()));
    ASSERT_TRUE(closed.Play());
    ASSERT_TRUE(closed.Close());
    for (CDShow* source : {&neverOpened, &closed}) {
        EXPECT_FALSE(source->Close());
        EXPECT_FALSE(source->Render(target_.get(), kTargetRect));
        EXPECT_FALSE(source->Play());
        EXPECT_FALSE(source->Stop());
        EXPECT_FALSE(source->PauseToggle());
        EXPECT_EQ(source->GetDurationSeconds(), 0);
        EXPECT_EQ(source->GetPositionMs(), 0);
        EXPECT_EQ(source->GetPositionSeconds(), 0);
        EXPECT_EQ(source->SeekMs(1500), 0);
        EXPECT_EQ(source->SeekSeconds(30), 0);
        platform::SurfaceDescription format;
        EXPECT_NE(source->GetFormat(&format), platform::DD_OK);
        EXPECT_FALSE(source->IsOpen());
        EXPECT_FALSE(source->IsPlaying());
        EXPECT_TRUE(source->RenderEnabled());
    }
}

// ---- position, seeking, pausing ----

TEST_F(VideoSourceTest, DurationAndSeeksInWholeUnits) {
    CDShow source(ManualOptions());
    ASSERT_TRUE(source.Open(DataPath("long_59_9s.mp4"), device_.get()));
    EXPECT_EQ(source.GetDurationSeconds(), 59);
    ASSERT_TRUE(source.Play());
    EXPECT_EQ(source.SeekSeconds(30), 30);
    EXPECT_EQ(source.GetPositionMs(), 30'000);
    EXPECT_EQ(source.GetPositionSeconds(), 30);
    EXPECT_EQ(source.SeekMs(1500), 1500);
    EXPECT_EQ(source.GetPositionMs(), 1500);
    EXPECT_EQ(source.GetPositionSeconds(), 1);
    EXPECT_EQ(source.SeekMs(-5), 0); // refused: a negative time
}

TEST_F(VideoSourceTest, SeekLandsOnTheFrameAtOrAfterTheTime) {
    CDShow source(ManualOptions());
    ASSERT_TRUE(source.Open(DataPath("index.mpg"), device_.get()));
    ASSERT_TRUE(source.Play());
    const struct {
        std::int32_t ms;
        int frame;
    } cases[] = {{1480, 37}, {200, 5}, {201, 6}, {920, 23}, {0, 0}, {1879, 47}};
    for (const auto& c : cases) {
        ASSERT_EQ(source.SeekMs(c.ms), c.ms);
        CaptureStep(source); // the clock starts at the seek position
        EXPECT_EQ(ShownIndex(), c.frame) << c.ms << " ms";
        EXPECT_EQ(source.GetPositionMs(), c.frame * 40);
    }
}

TEST_F(VideoSourceTest, PauseAndResumeShowThePausedFrameAgain) {
    CDShow source(ManualOptions());
    ASSERT_TRUE(source.Open(DataPath("index_mpeg4.avi"), device_.get()));
    ASSERT_TRUE(source.Play());
    source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    for (int i = 0; i < 20; ++i)
        CaptureStep(source);
    ASSERT_EQ(ShownIndex(), 20);

    ASSERT_TRUE(source.PauseToggle());
    EXPECT_TRUE(source.IsPaused());
    EXPECT_FALSE(source.IsPlaying());
    EXPECT_EQ(source.SavedPositionMs(), 800);
    time_->Advance(5s); // time passes while paused; the position stays
    EXPECT_EQ(source.GetPositionMs(), 800);

    ASSERT_TRUE(source.PauseToggle());
    EXPECT_FALSE(source.IsPaused());
    EXPECT_TRUE(source.IsPlaying());
    source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    EXPECT_EQ(ShownIndex(), 20);
    CaptureStep(source);
    EXPECT_EQ(ShownIndex(), 21);
}

TEST_F(VideoSourceTest, StepsPauseFirstAndResumingPlaysOnFromTheFrameShown) {
    CDShow source(ManualOptions());
    ASSERT_TRUE(source.Open(DataPath("index_mpeg4.avi"), device_.get()));
    ASSERT_TRUE(source.Play());
    source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    for (int i = 0; i < 10; ++i)
        CaptureStep(source);
    ASSERT_EQ(ShownIndex(), 10);

    EXPECT_EQ(source.StepForward(target_.get(), kTargetRect), media::StepResult::Frame);
    EXPECT_TRUE(source.IsPaused());
    EXPECT_FALSE(source.IsPlaying());
    EXPECT_EQ(ShownIndex(), 11);
    for (int expected = 10; expected >= 8; --expected) {
        EXPECT_EQ(source.StepBack(target_.get(), kTargetRect), media::StepResult::Frame);
        EXPECT_EQ(ShownIndex(), expected);
    }
    EXPECT_EQ(source.ShownTime(), 8 * 400'000);
    EXPECT_EQ(source.SavedPositionMs(), 320);
    for (int i = 0; i < 500 && !source.ShownFrameNumber(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(source.ShownFrameNumber(), 8);

    // A jump while paused shows the frame there and stays paused.
    EXPECT_EQ(source.ShowFrameAt(30 * 400'000 - 1, target_.get(), kTargetRect),
              media::StepResult::Frame);
    EXPECT_EQ(ShownIndex(), 30);
    EXPECT_TRUE(source.IsPaused());
    EXPECT_EQ(source.StepBack(target_.get(), kTargetRect), media::StepResult::Frame);
    EXPECT_EQ(ShownIndex(), 29);

    ASSERT_TRUE(source.PauseToggle());
    EXPECT_TRUE(source.IsPlaying());
    source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    EXPECT_EQ(ShownIndex(), 29);
    CaptureStep(source);
    EXPECT_EQ(ShownIndex(), 30);

    // A file opened while paused plays.
    ASSERT_TRUE(source.PauseToggle());
    ASSERT_TRUE(source.Open(DataPath("index.mp4"), device_.get()));
    EXPECT_FALSE(source.IsPaused());
    EXPECT_EQ(source.StepBack(target_.get(), kTargetRect), media::StepResult::Frame);
    EXPECT_EQ(ShownIndex(), 0); // nothing shown yet: the first frame
    EXPECT_EQ(source.StepBack(target_.get(), kTargetRect), media::StepResult::AtStart);
    source.Close();
    EXPECT_EQ(source.StepForward(target_.get(), kTargetRect), media::StepResult::Interrupted);
}

// ---- order, looping, pacing ----

TEST_F(VideoSourceTest, HundredFetchesAreConsecutiveFramesThatLoopAtTheEnd) {
    CDShow source(ManualOptions());
    ASSERT_TRUE(source.Open(DataPath("index.mpg"), device_.get()));
    ASSERT_TRUE(source.Play());
    source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    std::vector<int> shown{ShownIndex()};
    int endings = 0;
    while (shown.size() < 100) {
        CaptureStep(source);
        if (!source.IsPlaying()) {
            // The fetch found the end: the target keeps the last frame and the
            // stream restarts at 0, as every idle turn and capture step does.
            ++endings;
            EXPECT_EQ(ShownIndex(), kIndexFrames - 1);
            ASSERT_TRUE(source.Play());
            EXPECT_EQ(source.GetPositionMs(), 0);
            continue;
        }
        shown.push_back(ShownIndex());
    }
    EXPECT_EQ(endings, 1);
    for (std::size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], static_cast<int>(i % kIndexFrames)) << "fetch " << i;
}

TEST_F(VideoSourceTest, WorkerFetchWaitsForTheClock) {
    CDShow source(ManualOptions());
    ASSERT_TRUE(source.Open(DataPath("index_silent.mp4"), device_.get()));
    ASSERT_TRUE(source.Play());
    source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    ASSERT_EQ(ShownIndex(), 0);
    std::atomic<bool> fetched{false};
    std::thread worker([&] {
        source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
        fetched = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(fetched);                // frame 1 is due at 40 ms; the clock has not moved
    EXPECT_EQ(source.GetPositionMs(), 0); // the wait does not hold the lock
    time_->Advance(40ms);
    worker.join();
    EXPECT_TRUE(fetched);
    EXPECT_EQ(ShownIndex(), 1);
}

TEST_F(VideoSourceTest, UserInterfaceFetchReturnsWithinAboutOneFrame) {
    playback::VideoSourceOptions options;
    options.audio = media::AudioMode::Silent;
    CDShow source(options); // real time
    ASSERT_TRUE(source.Open(DataPath("index_1fps.mp4"), device_.get()));
    ASSERT_TRUE(source.Play());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(source.Render(target_.get(), kTargetRect)); // frame 0 is due at once
    ASSERT_TRUE(source.Render(target_.get(), kTargetRect)); // frame 1 is a second away
    EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
    EXPECT_TRUE(source.IsPlaying()); // not an end of stream
    EXPECT_EQ(ShownIndex(), 0);      // the last frame, presented again
}

// After the user-interface thread was busy, playback catches up by showing
// the latest frame due; a worker still gets every frame in order.
TEST_F(VideoSourceTest, UserInterfaceFetchSkipsFramesAlreadyLate) {
    for (const auto wait : {CDShow::FetchWait::UpToOneFrame, CDShow::FetchWait::UntilNextFrame}) {
        CDShow source(ManualOptions());
        ASSERT_TRUE(source.Open(DataPath("index.mp4"), device_.get()));
        ASSERT_TRUE(source.Play());
        source.Render(target_.get(), kTargetRect, wait);
        ASSERT_EQ(ShownIndex(), 0);
        time_->Advance(1s);                 // busy elsewhere: frames 1 to 25 are due
        std::this_thread::sleep_for(200ms); // the decoder fills its queue meanwhile
        source.Render(target_.get(), kTargetRect, wait);
        if (wait == CDShow::FetchWait::UpToOneFrame)
            EXPECT_GT(ShownIndex(), 1);
        else
            EXPECT_EQ(ShownIndex(), 1);
    }
}

// The capture worker's wait ends at once when the batch is cancelled, even
// with the next frame a second away.
TEST_F(VideoSourceTest, StopRequestEndsTheWorkerWaitAtOnce) {
    CDShow source(ManualOptions());
    ASSERT_TRUE(source.Open(DataPath("index_1fps.mp4"), device_.get()));
    ASSERT_TRUE(source.Play());
    source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    ASSERT_EQ(ShownIndex(), 0);
    std::stop_source cancel;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        EXPECT_TRUE(source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame,
                                  cancel.get_token()));
        returned = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(returned); // the manual clock never reaches frame 1
    cancel.request_stop();
    worker.join();
    EXPECT_EQ(ShownIndex(), 0); // nothing fetched: the last frame again
    time_->Advance(1s);
    source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    EXPECT_EQ(ShownIndex(), 1); // and the frame it waited for is still the next
}

TEST_F(VideoSourceTest, RenderRestoresALostTarget) {
    CDShow source(ManualOptions());
    ASSERT_TRUE(source.Open(DataPath("index.mp4"), device_.get()));
    ASSERT_TRUE(source.Play());
    target_->MarkLost();
    EXPECT_TRUE(source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame));
    EXPECT_EQ(target_->IsLost(), platform::DD_OK);
    source.SeekMs(0);
    source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
    EXPECT_EQ(ShownIndex(), 0);
}

// ---- bad input ----

TEST_F(VideoSourceTest, DamagedAndOddlyNamedFilesPlayAndLoop) {
    std::ifstream in(DataPath("index.mpg"), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const std::filesystem::path paths[] = {
        DataPath("damaged_middle.mpg"),
        Scratch("half of it.mpg", bytes.substr(0, bytes.size() / 2)),
        Scratch("v\xC3\xAD"
                "deo \xE6\x98\xA0\xE5\x83\x8F.mpg",
                bytes)};
    for (const auto& path : paths) {
        CDShow source(ManualOptions());
        ASSERT_TRUE(source.Open(path, device_.get())) << path;
        ASSERT_TRUE(source.Play());
        int endings = 0;
        for (int fetch = 0; fetch < 120 && endings < 2; ++fetch) {
            CaptureStep(source, 10h); // damaged files skip frame times
            if (!source.IsPlaying()) {
                ++endings;
                source.Play();
            }
        }
        EXPECT_EQ(endings, 2) << path;
    }
}

// ---- threads ----

// The capture worker fetches while the frame's timer reads the position and
// seeks, as during a capture batch. Run under ThreadSanitizer by check-thread.
TEST_F(VideoSourceTest, TimerAndWorkerCallsDoNotOverlap) {
    CDShow source(ManualOptions());
    ASSERT_TRUE(source.Open(DataPath("index_mjpeg.avi"), device_.get()));
    ASSERT_TRUE(source.Play());
    source.SetRenderEnabled(false);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 60; ++i) {
            source.Render(target_.get(), kTargetRect, CDShow::FetchWait::UntilNextFrame);
            source.GetPositionMs();
            if (!source.IsPlaying())
                source.Play();
        }
        done = true;
    });
    int ticks = 0;
    while (!done) {
        time_->Advance(40ms);
        const int position = source.GetPositionSeconds();
        EXPECT_GE(position, 0);
        EXPECT_LE(position, 2);
        if (++ticks % 25 == 0)
            source.SeekSeconds(1);
        source.GetDurationSeconds();
        std::this_thread::sleep_for(1ms);
    }
    worker.join();
    source.SetRenderEnabled(true);
    EXPECT_TRUE(source.IsOpen());
}

} // namespace
