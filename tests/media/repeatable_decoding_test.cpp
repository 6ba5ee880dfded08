// Decoding gives the same frames at the same times however far the decoder
// ran before: fresh from opening, and again after a seek back to the start.
// Clips are made by the ffmpeg command at test time.
//
// The MPEG-4 clip's third packet repeats the next one's presentation time.
// FFmpeg counts such faulty times and, once they outnumber the faulty
// decoding times, times frames by their decoding times; a flush keeps the
// count. A decoder that was only flushed at a seek therefore timed the frames
// before the fault otherwise than a fresh one, and how far the threads had
// decoded before a grab's first seek decided which timing a run got.
#include "media/media_stream.h"

#include "support/index_picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using media::FetchResult;
using media::StreamTime;
using testing_support::Picture;

struct ClipCase {
    const char* name;
    const char* file;
    const char* encoding; // ffmpeg's output options
};

void PrintTo(const ClipCase& c, std::ostream* out) {
    *out << c.name;
}

struct Shown {
    StreamTime time = 0;
    std::optional<std::int64_t> number;
    std::vector<std::uint8_t> pixels;
};

constexpr int kCompared = 8;

class RepeatableDecoding : public testing::TestWithParam<ClipCase> {
protected:
    static void SetUpTestSuite() {
        folder_ = fs::temp_directory_path() / ("repeatable-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    static void TearDownTestSuite() { fs::remove_all(folder_); }

    // The next count frames from where the stream stands.
    static std::vector<Shown> Fetch(media::MediaStream& stream, int count) {
        std::vector<Shown> shown;
        Picture picture(176, 144);
        while (static_cast<int>(shown.size()) < count &&
               stream.Fetch(picture.Target()) == FetchResult::Frame) {
            const StreamTime time = stream.GetTime();
            shown.push_back({time, stream.FrameNumberOf(time), picture.bytes});
        }
        return shown;
    }

    static fs::path folder_;
};

fs::path RepeatableDecoding::folder_;

TEST_P(RepeatableDecoding, ASeekBackGivesTheFramesOfAFreshStart) {
    if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "the ffmpeg command is missing";
    const ClipCase& c = GetParam();
    const fs::path clip = folder_ / c.file;
    const std::string make = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
                             "testsrc2=size=176x144:rate=25 -t 1.2 " +
                             std::string(c.encoding) + " '" + clip.string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;

    auto time = std::make_shared<media::ManualTimeSource>();
    media::MediaStream stream({time, media::AudioMode::Silent});
    ASSERT_TRUE(stream.OpenFile(clip));
    ASSERT_TRUE(stream.WaitForFrameNumbers());
    stream.SetState(media::StreamState::Run);
    time->Advance(std::chrono::hours(1));
    const std::vector<Shown> fresh = Fetch(stream, kCompared);
    ASSERT_EQ(fresh.size(), static_cast<std::size_t>(kCompared));
    ASSERT_GT(Fetch(stream, 1000).size(), 10u); // on to the end

    ASSERT_TRUE(stream.Seek(0));
    stream.SetState(media::StreamState::Run);
    time->Advance(std::chrono::hours(1));
    const std::vector<Shown> again = Fetch(stream, kCompared);
    ASSERT_EQ(again.size(), fresh.size());
    for (int k = 0; k < kCompared; ++k) {
        EXPECT_EQ(again[k].time, fresh[k].time) << "frame " << k;
        EXPECT_EQ(again[k].number, fresh[k].number) << "frame " << k;
        EXPECT_TRUE(again[k].pixels == fresh[k].pixels) << "frame " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clips, RepeatableDecoding,
    testing::Values(
        ClipCase{"mpeg4_faulty_time", "faulty_time.mp4",
                 "-c:v mpeg4 -bf 2 -g 12 -q:v 4 -bsf:v 'setts=pts=if(eq(N\\,2)\\,PTS+512\\,PTS)'"},
        ClipCase{"realvideo2", "realvideo2.rm", "-c:v rv20 -b:v 300k"},
        ClipCase{"windows_media_8", "windows_media_8.asf", "-c:v wmv2 -b:v 300k"}),
    [](const testing::TestParamInfo<ClipCase>& info) { return std::string(info.param.name); });

} // namespace
