// The media stream on real clips: every container the open dialog offers,
// frame order, frame-accurate seeking, pacing by an injected clock, and bad
// input. Index clips spell each frame's number in a 4 x 3 grid of blocks.
#include "media/asx_redirector.h"
#include "media/media_stream.h"

#include "support/index_clips.h"
#include "support/index_picture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using media::FetchResult;
using media::FrameTarget;
using media::ManualTimeSource;
using media::MediaStream;
using media::MediaStreamOptions;
using media::StreamState;
using media::StreamTime;
using namespace std::chrono_literals;
using testing_support::Picture;
using testing_support::ReadIndex;

constexpr StreamTime kFrame25 = 400'000; // one frame at 25 fps, in 100 ns units
constexpr int kIndexFrames = 50;         // index clips: 2 s at 25 fps

std::filesystem::path DataPath(const std::string& name) {
    return std::filesystem::path(TESSELON_TEST_DATA) / name;
}

struct Stream {
    explicit Stream(const std::string& name)
        : stream(Options()) {
        opened = static_cast<bool>(stream.OpenFile(DataPath(name)));
    }
    MediaStreamOptions Options() {
        MediaStreamOptions options;
        options.timeSource = time;
        options.audio = media::AudioMode::Silent;
        return options;
    }
    // Runs from position with the clock far ahead: every frame is due at once.
    void RunUnpaced(StreamTime position) {
        stream.Seek(position);
        stream.SetState(StreamState::Run);
        time->Advance(std::chrono::hours(10));
    }
    std::shared_ptr<ManualTimeSource> time = std::make_shared<ManualTimeSource>();
    MediaStream stream;
    bool opened = false;
};

class IndexClip : public testing::TestWithParam<const char*> {};

TEST_P(IndexClip, OpensWithTheVideoSizeAndDuration) {
    Stream clip(GetParam());
    ASSERT_TRUE(clip.opened);
    EXPECT_TRUE(clip.stream.HasVideo());
    EXPECT_EQ(clip.stream.VideoWidth(), 176);
    EXPECT_EQ(clip.stream.VideoHeight(), 144);
    ASSERT_TRUE(clip.stream.GetDuration().has_value());
    EXPECT_NEAR(static_cast<double>(*clip.stream.GetDuration()), 2e7, 1.5e6);
}

TEST_P(IndexClip, DeliversEveryFrameInOrderWithItsTime) {
    Stream clip(GetParam());
    ASSERT_TRUE(clip.opened);
    Picture picture(176, 144);
    clip.RunUnpaced(0);
    std::vector<int> indices;
    while (clip.stream.Fetch(picture.Target()) == FetchResult::Frame) {
        const int index = ReadIndex(picture);
        EXPECT_EQ(clip.stream.GetTime(), index * kFrame25) << "frame " << index;
        indices.push_back(index);
    }
    ASSERT_GE(indices.size(), 49u);
    for (std::size_t i = 0; i < indices.size(); ++i)
        ASSERT_EQ(indices[i], static_cast<int>(i));
    EXPECT_EQ(clip.stream.Fetch(picture.Target()), FetchResult::EndOfStream);
}

TEST_P(IndexClip, SeekDeliversTheFirstFrameAtOrAfterTheTarget) {
    Stream clip(GetParam());
    ASSERT_TRUE(clip.opened);
    Picture picture(176, 144);
    // Forward and backward, on and between frame times, across keyframes.
    const struct {
        StreamTime target;
        int expected;
    } cases[] = {{37 * kFrame25, 37},     {5 * kFrame25 + 1, 6}, {23 * kFrame25, 23},    {0, 0},
                 {47 * kFrame25 - 1, 47}, {12 * kFrame25, 12},   {13 * kFrame25 - 1, 13}};
    for (const auto& c : cases) {
        clip.RunUnpaced(c.target);
        EXPECT_EQ(clip.stream.GetTime(), c.target);
        ASSERT_EQ(clip.stream.Fetch(picture.Target()), FetchResult::Frame) << c.target;
        EXPECT_EQ(ReadIndex(picture), c.expected) << "seek to " << c.target;
        EXPECT_EQ(clip.stream.GetTime(), c.expected * kFrame25);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, IndexClip, testing_support::kIndexClips,
                         testing_support::ClipTestName);

TEST(MediaStreamPacing, HandsOverAFrameOnlyWhenTheClockReachesItsTime) {
    Stream clip("index.mp4");
    ASSERT_TRUE(clip.opened);
    Picture picture(176, 144);
    clip.stream.Seek(0);
    clip.stream.SetState(StreamState::Run);
    ASSERT_EQ(clip.stream.Fetch(picture.Target()), FetchResult::Frame);
    EXPECT_EQ(ReadIndex(picture), 0);
    // Frame 1 is due at 40 ms: decoded by now, but held back until then.
    clip.stream.WaitForDue(200ms);
    EXPECT_EQ(clip.stream.Update(picture.Target()), FetchResult::Pending);
    clip.time->Advance(39'999us);
    clip.stream.WaitForDue(20ms);
    EXPECT_EQ(clip.stream.Update(picture.Target()), FetchResult::Pending);
    clip.time->Advance(1us);
    clip.stream.WaitForDue(1s);
    ASSERT_EQ(clip.stream.Update(picture.Target()), FetchResult::Frame);
    EXPECT_EQ(ReadIndex(picture), 1);
}

TEST(MediaStreamPacing, StoppingFreezesTheClock) {
    Stream clip("index.mp4");
    ASSERT_TRUE(clip.opened);
    Picture picture(176, 144);
    clip.stream.Seek(10 * kFrame25);
    clip.stream.SetState(StreamState::Run);
    clip.time->Advance(20ms);
    clip.stream.SetState(StreamState::Stop);
    EXPECT_EQ(clip.stream.Fetch(picture.Target()), FetchResult::NotRunning);
    clip.time->Advance(1s); // frozen: none of this counts
    clip.stream.SetState(StreamState::Run);
    ASSERT_EQ(clip.stream.Fetch(picture.Target()), FetchResult::Frame);
    EXPECT_EQ(ReadIndex(picture), 10);
    clip.stream.WaitForDue(100ms);
    EXPECT_EQ(clip.stream.Update(picture.Target()),
              FetchResult::Pending); // 11 is due at 20 ms more
    clip.time->Advance(20ms);
    ASSERT_EQ(clip.stream.Fetch(picture.Target()), FetchResult::Frame);
    EXPECT_EQ(ReadIndex(picture), 11);
}

TEST(MediaStreamPacing, BoundedWaitReturnsPendingOnASlowClip) {
    Stream clip("index_1fps.mp4");
    ASSERT_TRUE(clip.opened);
    Picture picture(176, 144);
    clip.stream.Seek(0);
    clip.stream.SetState(StreamState::Run);
    ASSERT_EQ(clip.stream.Fetch(picture.Target()), FetchResult::Frame);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(clip.stream.Fetch(picture.Target(), 20ms), FetchResult::Pending);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    clip.time->Advance(1s);
    ASSERT_EQ(clip.stream.Fetch(picture.Target()), FetchResult::Frame);
    EXPECT_EQ(ReadIndex(picture), 1);
    EXPECT_EQ(clip.stream.GetTime(), media::kStreamUnitsPerSecond);
}

TEST(MediaStreamTime, MpegProgramStreamStartsAtZero) {
    Stream clip("index.mpg");
    ASSERT_TRUE(clip.opened);
    Picture picture(176, 144);
    clip.RunUnpaced(0);
    ASSERT_EQ(clip.stream.Fetch(picture.Target()), FetchResult::Frame);
    EXPECT_EQ(ReadIndex(picture), 0);
    EXPECT_EQ(clip.stream.GetTime(), 0);
}

TEST(MediaStreamTime, DurationOfALongStill) {
    Stream clip("long_59_9s.mp4");
    ASSERT_TRUE(clip.opened);
    ASSERT_TRUE(clip.stream.GetDuration().has_value());
    EXPECT_EQ(*clip.stream.GetDuration() / media::kStreamUnitsPerSecond, 59);
    EXPECT_GE(*clip.stream.GetDuration(), 598'000'000);
}

TEST(MediaStreamTime, SeekPastTheEndReportsTheEnd) {
    Stream clip("index.mp4");
    ASSERT_TRUE(clip.opened);
    Picture picture(176, 144);
    clip.RunUnpaced(60 * media::kStreamUnitsPerSecond);
    EXPECT_EQ(clip.stream.Fetch(picture.Target()), FetchResult::EndOfStream);
    EXPECT_FALSE(clip.stream.Seek(-1));
}

// ---- bad input ----

class ScratchFolder : public testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("media-stream-" + std::to_string(::getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path Write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
        return folder_ / name;
    }
    static std::string Read(const std::string& name) {
        std::ifstream in(DataPath(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Plays to the end unpaced; returns the number of frames.
    static int PlayToEnd(MediaStream& stream, const std::shared_ptr<ManualTimeSource>& time) {
        Picture picture(stream.VideoWidth(), stream.VideoHeight());
        stream.Seek(0);
        stream.SetState(StreamState::Run);
        time->Advance(std::chrono::hours(10));
        int frames = 0;
        while (stream.Fetch(picture.Target()) == FetchResult::Frame)
            ++frames;
        return frames;
    }
    std::filesystem::path folder_;
};

TEST_F(ScratchFolder, RefusesWhatCannotBeRead) {
    const std::filesystem::path refused[] = {
        DataPath("not_a_video.mpg"), Write("empty.mpg", ""), folder_ / "missing.avi",
        Write("broken.asx", "<asx><entry><ref href=\"nowhere.asf\"/></entry></asx>"),
        Write("remote.asx", "<asx><entry><ref href=\"http://example.invalid/a.asf\"/></asx>")};
    for (const auto& path : refused) {
        MediaStream stream(
            MediaStreamOptions{media::DefaultTimeSource(), media::AudioMode::Silent});
        EXPECT_FALSE(stream.OpenFile(path)) << path;
        EXPECT_FALSE(stream.HasVideo());
    }
}

TEST_F(ScratchFolder, SoundWithoutVideoOpensWithoutAVideoStream) {
    MediaStream stream;
    ASSERT_TRUE(stream.OpenFile(DataPath("audio_only.wav")));
    EXPECT_FALSE(stream.HasVideo());
    EXPECT_FALSE(stream.Seek(0));
    EXPECT_EQ(stream.Update({}), FetchResult::NotRunning);
}

TEST_F(ScratchFolder, AVideoTooLargeForASurfaceIsNotDecoded) {
    Stream clip("too_wide.avi");
    ASSERT_TRUE(clip.opened);
    EXPECT_TRUE(clip.stream.HasVideo());
    EXPECT_EQ(clip.stream.VideoWidth(), 16400);
    EXPECT_FALSE(clip.stream.Seek(0));
    clip.stream.SetState(StreamState::Run);
    EXPECT_EQ(clip.stream.Fetch({}), FetchResult::NotRunning);
}

TEST_F(ScratchFolder, DamagedAndTruncatedClipsPlayWhatCanBeDecoded) {
    const std::string whole = Read("index.mpg");
    const std::filesystem::path clips[] = {
        DataPath("damaged_middle.mpg"), Write("truncated.mpg", whole.substr(0, whole.size() / 2)),
        Write("truncated.mp4", Read("index.mp4").substr(0, 9000))};
    for (const auto& path : clips) {
        Stream clip("index.mpg");
        MediaStream stream(clip.Options());
        if (!stream.OpenFile(path))
            continue; // refusing at the open step is also right
        const int frames = PlayToEnd(stream, clip.time);
        EXPECT_LE(frames, kIndexFrames) << path;
        // And it plays again from the start.
        EXPECT_EQ(PlayToEnd(stream, clip.time), frames) << path;
    }
}

// Every container cut short at several points, and with bytes overwritten
// at several places: each opens and plays what it can, or is refused.
TEST_F(ScratchFolder, CutAndOverwrittenCopiesOfEveryContainerNeverHang) {
    const char* clips[] = {"index.mpg", "index.asf", "index_mpeg4.avi", "index_mjpeg.avi",
                           "index.rm",  "index.mp4", "index.webm",      "index.ogv"};
    for (const char* name : clips) {
        const std::string whole = Read(name);
        std::vector<std::filesystem::path> copies;
        for (const int percent : {10, 50, 90})
            copies.push_back(Write("cut" + std::to_string(percent) + "_" + name,
                                   whole.substr(0, whole.size() * percent / 100)));
        for (const int percent : {5, 30, 60, 85}) {
            std::string damaged = whole;
            const std::size_t at = damaged.size() * percent / 100;
            for (std::size_t i = at; i < std::min(damaged.size(), at + 512); ++i)
                damaged[i] = static_cast<char>(i * 131 + 7);
            copies.push_back(Write("damaged" + std::to_string(percent) + "_" + name, damaged));
        }
        for (const auto& path : copies) {
            Stream clip(name);
            MediaStream stream(clip.Options());
            if (!stream.OpenFile(path) || !stream.HasVideo())
                continue;
            const int frames = PlayToEnd(stream, clip.time);
            EXPECT_LE(frames, 2 * kIndexFrames) << path;
            EXPECT_EQ(PlayToEnd(stream, clip.time), frames) << path;
        }
    }
}

TEST_F(ScratchFolder, NamesWithSpacesAndNonAsciiLetters) {
    const auto path =
        Write("clip with spaces \xC3\xA9t\xC3\xA9 \xE6\x98\xA0.mpg", Read("index.mpg"));
    Stream clip("index.mpg");
    MediaStream stream(clip.Options());
    ASSERT_TRUE(stream.OpenFile(path));
    EXPECT_EQ(PlayToEnd(stream, clip.time), kIndexFrames);
}

// ---- redirectors ----

TEST(AsxRedirector, FirstReference) {
    const struct {
        const char* text;
        const char* expected; // null: none
    } cases[] = {
        {"<asx><entry><ref href=\"a.asf\"/></entry></asx>", "a.asf"},
        {"<ASX><Entry><REF HREF = 'b c.wmv' /></Entry></ASX>", "b c.wmv"},
        {"<asx><ref href=\"first.asf\"/><ref href=\"second.asf\"/></asx>", "first.asf"},
        {"<asx><reference href=\"no.asf\"/><ref href=\"yes.asf\"/></asx>", "yes.asf"},
        {"<asx><ref title=\"x\" href=\"a&amp;b.asf\"/></asx>", "a&b.asf"},
        {"<asx><ref nohref=\"x\" /></asx>", nullptr},
        {"<asx><ref href=unquoted.asf/></asx>", nullptr},
        {"<asx><ref href=\"open", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto reference = media::FirstReference(c.text);
        if (c.expected) {
            ASSERT_TRUE(reference.has_value()) << c.text;
            EXPECT_EQ(*reference, c.expected);
        } else {
            EXPECT_FALSE(reference.has_value()) << c.text;
        }
    }
}

TEST(AsxRedirector, ResolvesRelativeToItsFolder) {
    EXPECT_TRUE(media::IsRedirectorPath("x/INDEX.ASX"));
    EXPECT_FALSE(media::IsRedirectorPath("index.asf"));
    const auto resolved = media::ResolveRedirector(DataPath("index.asx"));
    ASSERT_TRUE(resolved.has_value());
    EXPECT_TRUE(std::filesystem::equivalent(*resolved, DataPath("index.asf")));
}

} // namespace

namespace {

// Needs a sound server (for example pulseaudio with module-null-sink); without
// one the stream plays silently and the test is skipped.
TEST(MediaStreamSound, PlaysAlongWithTheVideoOnTheDefaultOutput) {
    MediaStream stream;
    ASSERT_TRUE(stream.OpenFile(DataPath("index.mpg")));
    if (!stream.HasSound())
        GTEST_SKIP() << "no default sound output";
    Picture picture(176, 144);
    stream.Seek(0);
    stream.SetState(StreamState::Run);
    const auto start = std::chrono::steady_clock::now();
    for (int frame = 0; frame < 10; ++frame) {
        ASSERT_EQ(stream.Fetch(picture.Target()), FetchResult::Frame);
        EXPECT_EQ(ReadIndex(picture), frame);
    }
    // Paced by real time: frame 9 is due 360 ms after the start.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 340ms);
    stream.SetState(StreamState::Stop);
    stream.Seek(20 * kFrame25);
    stream.SetState(StreamState::Run);
    ASSERT_EQ(stream.Fetch(picture.Target()), FetchResult::Frame);
    EXPECT_EQ(ReadIndex(picture), 20);
}

} // namespace
