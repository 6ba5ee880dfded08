// Frame numbers from a packet pass, checked against every frame FFmpeg
// decodes from the same file, timed as the media stream times them. Index
// clips spell each frame's number in a 4 x 3 grid of blocks.
#include "media/asx_redirector.h"
#include "media/ffmpeg_handles.h"
#include "media/frame_index.h"
#include "media/stream_time.h"

#include "support/index_clips.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

namespace {

using media::BuildFrameIndex;
using media::FrameIndex;
using media::StreamTime;

constexpr StreamTime kMillisecond = media::kStreamUnitsPerMillisecond;

std::filesystem::path DataPath(const std::string& name) {
    const std::filesystem::path path = std::filesystem::path(TESSELON_TEST_DATA) / name;
    return media::IsRedirectorPath(path) ? media::ResolveRedirector(path).value_or(path) : path;
}

// The number a decoded frame spells, read from the luma of the blocks' centres.
int ReadIndex(const AVFrame& frame) {
    int index = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const int x = (bit % 4) * 44 + 22;
        const int y = (bit / 4) * 48 + 24;
        if (frame.data[0][y * frame.linesize[0] + x] > 128)
            index |= 1 << bit;
    }
    return index;
}

struct DecodedFrame {
    StreamTime time; // from the first frame
    int number;      // as spelled in its pixels
};

// Every frame of the file's video, in presentation order. threads is the
// decoder's thread count (0: one per core, as the media stream decodes).
struct DecodedVideo {
    int streamIndex = -1;
    std::vector<DecodedFrame> frames;
};

DecodedVideo DecodeAll(const std::filesystem::path& path, int threads) {
    DecodedVideo video;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return video;
    media::FormatContextPtr format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return video;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0)
        return video;
    AVStream& stream = *format->streams[index];
    media::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), stream.codecpar);
    decoder->pkt_timebase = stream.time_base;
#if defined(__SANITIZE_THREAD__)
    // FFmpeg's own threads are not instrumented: the player decodes on one
    // thread under ThreadSanitizer too.
    threads = 1;
#endif
    decoder->thread_count = threads;
    decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return video;
    video.streamIndex = index;

    // A frame without a time is one frame after the last, as the media stream
    // times it.
    const StreamTime frameDuration = media::FrameDurationOf(*format, stream);
    std::optional<StreamTime> origin;
    StreamTime previous = 0;
    media::FramePtr frame = media::MakeFrame();
    const auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            const StreamTime time =
                frame->best_effort_timestamp != AV_NOPTS_VALUE
                    ? media::ToStreamTime(frame->best_effort_timestamp, stream.time_base)
                    : previous + frameDuration;
            origin = origin.value_or(time);
            previous = time;
            video.frames.push_back({time - *origin, ReadIndex(*frame)});
            av_frame_unref(frame.get());
        }
    };
    media::PacketPtr packet = media::MakePacket();
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(decoder.get(), packet.get());
            receive();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    receive();
    return video;
}

class FrameIndexClip : public testing::TestWithParam<const char*> {};

// Every decoded frame's time gives its number and back, single-threaded and
// with the frame threads the player decodes with (they change which packet a
// frame's time is taken from); times and numbers outside the video give none.
TEST_P(FrameIndexClip, NumbersEveryDecodedFrame) {
    const std::filesystem::path path = DataPath(GetParam());
    for (const int threads : {1, 0}) {
        SCOPED_TRACE(threads == 1 ? "one thread" : "frame threads");
        const DecodedVideo decoded = DecodeAll(path, threads);
        ASSERT_GE(decoded.frames.size(), 20u);
        const auto index = BuildFrameIndex(path, decoded.streamIndex);
        ASSERT_TRUE(index);
        ASSERT_EQ(index->Count(), decoded.frames.size());
        const int firstNumber = decoded.frames.front().number;
        for (std::size_t k = 0; k < decoded.frames.size(); ++k) {
            const DecodedFrame& frame = decoded.frames[k];
            const auto number = static_cast<std::int64_t>(k);
            // The pixels confirm that k counts frames in presentation order.
            ASSERT_EQ(frame.number, firstNumber + number) << "frame " << k;
            EXPECT_EQ(index->NumberOf(frame.time), number) << "at " << frame.time;
            EXPECT_EQ(index->TimeOf(number), frame.time) << "frame " << k;
        }
        // Nothing a whole step before the first frame or after the last.
        const auto& frames = decoded.frames;
        const StreamTime last = frames.back().time;
        EXPECT_FALSE(index->NumberOf(-frames[1].time));
        EXPECT_FALSE(index->NumberOf(2 * last - frames[frames.size() - 2].time));
        EXPECT_FALSE(index->TimeOf(-1));
        EXPECT_FALSE(index->TimeOf(static_cast<std::int64_t>(frames.size())));
    }
}

INSTANTIATE_TEST_SUITE_P(IndexClips, FrameIndexClip, tesselon::testing_support::kIndexClips,
                         tesselon::testing_support::ClipTestName);
// Presentation order unlike decoding order, an edit list that starts past the
// first keyframe, and frames at uneven steps.
INSTANTIATE_TEST_SUITE_P(Reordered, FrameIndexClip,
                         testing::Values("index_bframes.mp4", "index_cut.mp4", "index_vfr.mkv"),
                         tesselon::testing_support::ClipTestName);

// index_vfr.mkv: 20 frames 40 ms apart, a 140 ms gap, then 20 ms steps.
TEST(FrameIndexVariableRate, MatchesOnlyTimesNearAFrame) {
    const std::filesystem::path path = DataPath("index_vfr.mkv");
    const auto index = BuildFrameIndex(path, DecodeAll(path, 1).streamIndex);
    ASSERT_TRUE(index);
    const StreamTime before = *index->TimeOf(19);
    const StreamTime after = *index->TimeOf(20);
    ASSERT_EQ(after - before, 140 * kMillisecond);
    EXPECT_EQ(*index->TimeOf(21) - after, 20 * kMillisecond);
    // Half the nearer neighbour's gap either side of a frame, no further.
    EXPECT_EQ(index->NumberOf(before + 20 * kMillisecond), 19);
    EXPECT_FALSE(index->NumberOf(before + 21 * kMillisecond));
    EXPECT_EQ(index->NumberOf(after - 10 * kMillisecond), 20);
    EXPECT_FALSE(index->NumberOf(after - 11 * kMillisecond));
    EXPECT_FALSE(index->NumberOf((before + after) / 2));
    // Between two frames 20 ms apart, the split goes to the earlier one.
    EXPECT_EQ(index->NumberOf(after + 10 * kMillisecond), 20);
    EXPECT_EQ(index->NumberOf(after + 11 * kMillisecond), 21);
}

TEST(FrameIndexTimes, CountFromTheEarliestInAnyOrder) {
    const FrameIndex index({9'000, 1'000, 5'000, 3'000});
    EXPECT_EQ(index.Count(), 4u);
    EXPECT_EQ(index.TimeOf(0), 0);
    EXPECT_EQ(index.TimeOf(3), 8'000);
    EXPECT_EQ(index.NumberOf(4'000), 2);
    EXPECT_EQ(index.NumberOf(3'000), 1); // an even split: the earlier frame
    EXPECT_FALSE(FrameIndex({7}).NumberOf(1));
    EXPECT_EQ(FrameIndex({7}).NumberOf(0), 0);
    EXPECT_EQ(FrameIndex().Count(), 0u);
    EXPECT_FALSE(FrameIndex().NumberOf(0));
    EXPECT_FALSE(FrameIndex().TimeOf(0));
}

TEST(FrameIndexBuild, RefusesWhatIsNotAVideoStream) {
    EXPECT_FALSE(BuildFrameIndex(DataPath("no_such_clip.mp4"), 0));
    EXPECT_FALSE(BuildFrameIndex(DataPath("not_a_video.mpg"), 0));
    EXPECT_FALSE(BuildFrameIndex(DataPath("audio_only.wav"), 0));
    const std::filesystem::path clip = DataPath("index.mp4");
    const int video = DecodeAll(clip, 1).streamIndex;
    ASSERT_GE(video, 0);
    EXPECT_FALSE(BuildFrameIndex(clip, 1 - video)); // its sound
    EXPECT_FALSE(BuildFrameIndex(clip, -1));
    EXPECT_FALSE(BuildFrameIndex(clip, 2));
}

TEST(FrameIndexBuild, StopsWhenAsked) {
    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(BuildFrameIndex(DataPath("index.mp4"), 0, stop.get_token()));
}

} // namespace
