// Frame numbers from a packet pass, checked against every frame FFmpeg
// decodes from the same file, timed as the media stream times them. Index
// clips spell each frame's number in a 4 x 3 grid of blocks.
#include "media/asx_redirector.h"
#include "media/ffmpeg_handles.h"
#include "media/frame_index.h"
#include "media/stream_time.h"

#include "support/index_clips.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stop_token>
#include <string>
#include <unistd.h>
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

INSTANTIATE_TEST_SUITE_P(IndexClips, FrameIndexClip, testing_support::kIndexClips,
                         testing_support::ClipTestName);
// Presentation order unlike decoding order, an edit list that starts past the
// first keyframe, and frames at uneven steps.
INSTANTIATE_TEST_SUITE_P(Reordered, FrameIndexClip,
                         testing::Values("index_bframes.mp4", "index_cut.mp4", "index_vfr.mkv"),
                         testing_support::ClipTestName);

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

// Interlaced video may code each field as a picture of its own, in a packet
// of its own; the decoder joins a field and the opposite field after it into
// one frame at the first field's time. 25 frames a second: a frame lasts
// 40 ms, a field 20 ms.
TEST(FrameIndexFields, APairOfFieldsIsOneFrame) {
    using media::PacketTimes;
    using media::PictureCoding;
    constexpr StreamTime ms = kMillisecond;
    constexpr auto kFrame = PictureCoding::Frame;
    constexpr auto kTop = PictureCoding::TopField;
    constexpr auto kBottom = PictureCoding::BottomField;
    const struct {
        const char* name;
        std::vector<PacketTimes> packets;
        std::vector<StreamTime> frames;
    } cases[] = {
        {"each field with its own time, a lone field at the end",
         {{0, {}, {}, kTop}, {20 * ms, {}, {}, kBottom}, {40 * ms, {}, {}, kTop}},
         {0, 40 * ms}},
        {"bottom field first, no times after the first",
         {{0, {}, 20 * ms, kBottom},
          {{}, {}, 20 * ms, kTop},
          {{}, {}, 20 * ms, kBottom},
          {{}, {}, 20 * ms, kTop}},
         {0, 40 * ms}},
        {"no lengths either: a frame's duration apart",
         {{0, {}, {}, kTop}, {{}, {}, {}, kBottom}, {{}, {}, {}, kTop}, {{}, {}, {}, kBottom}},
         {0, 40 * ms}},
        {"frames and field pairs mixed, picture by picture",
         {{0, {}, 40 * ms, kFrame},
          {40 * ms, {}, 20 * ms, kTop},
          {{}, {}, 20 * ms, kBottom},
          {80 * ms, {}, 40 * ms, kFrame}},
         {0, 40 * ms, 80 * ms}},
        {"fields of one parity are not a pair: both fields in each packet",
         {{0, {}, 40 * ms, kTop}, {40 * ms, {}, 40 * ms, kTop}, {80 * ms, {}, 40 * ms, kTop}},
         {0, 40 * ms, 80 * ms}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(media::FrameTimes(c.packets, 0, 40 * ms), c.frames);
    }
}

// The bits of an H.264 NAL unit's payload as '0' and '1', emulation
// prevention bytes removed, and back.
std::string PayloadBits(const std::string& nal) {
    std::string bits;
    int zeros = 0;
    for (std::size_t i = 1; i < nal.size(); ++i) {
        const auto byte = static_cast<unsigned char>(nal[i]);
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        for (int bit = 7; bit >= 0; --bit)
            bits += (byte >> bit) & 1 ? '1' : '0';
    }
    return bits;
}

std::string NalFromBits(char header, const std::string& bits) {
    std::string nal = {0, 0, 0, 1, header};
    int zeros = 0;
    for (std::size_t i = 0; i + 8 <= bits.size(); i += 8) {
        const auto byte = static_cast<char>(std::stoi(bits.substr(i, 8), nullptr, 2));
        if (zeros >= 2 && static_cast<unsigned char>(byte) <= 3) {
            nal += '\3';
            zeros = 0;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        nal += byte;
    }
    return nal;
}

struct BitCursor {
    const std::string& bits;
    std::size_t at = 0;
    unsigned Bits(int count) {
        const unsigned value = count ? std::stoul(bits.substr(at, count), nullptr, 2) : 0;
        at += count;
        return value;
    }
    unsigned Golomb() { // ue(v)
        int zeros = 0;
        while (bits[at] == '0')
            ++zeros, ++at;
        ++at;
        return (1u << zeros) - 1 + Bits(zeros);
    }
};

// Recodes the headers of an interlaced (macroblock-adaptive) x264 stream so
// that each frame becomes a top and a bottom field picture, each with all of
// the frame's slice data: a stream coded in fields as far as the demuxer's
// parser and the frame count read. Its pictures decode to garbage.
std::string SplitFramesIntoFields(const std::string& stream) {
    std::string out;
    unsigned frameNumberBits = 0, orderType = 0, orderBits = 0, bottomOrder = 0;
    std::size_t start = stream.find(std::string("\0\0\1", 3));
    while (start != std::string::npos) {
        start += 3;
        const std::size_t next = stream.find(std::string("\0\0\1", 3), start);
        std::string nal = stream.substr(start, next == std::string::npos ? next : next - start);
        while (!nal.empty() && nal.back() == 0)
            nal.pop_back();
        start = next;
        const int type = nal[0] & 31;
        const std::string bits = PayloadBits(nal);
        BitCursor read{bits};
        if (type == 7) { // sequence parameters, High profile
            read.Bits(24);
            read.Golomb();
            if (read.Golomb() == 3) // chroma format
                read.Bits(1);
            read.Golomb(), read.Golomb(), read.Bits(2);
            frameNumberBits = read.Golomb() + 4;
            orderType = read.Golomb();
            orderBits = orderType == 0 ? read.Golomb() + 4 : 0;
        } else if (type == 8) { // picture parameters
            read.Golomb(), read.Golomb(), read.Bits(1);
            bottomOrder = read.Bits(1);
        } else if (type == 1 || type == 5) { // a slice of a frame
            read.Golomb(), read.Golomb(), read.Golomb(), read.Bits(frameNumberBits);
            const std::size_t fieldFlag = read.at;
            read.Bits(1);
            if (type == 5)
                read.Golomb();
            read.Bits(orderType == 0 ? orderBits : 0);
            const std::size_t bottomDelta = read.at; // frames only: dropped
            if (bottomOrder)
                read.Golomb();
            const std::string rest = bits.substr(read.at, bits.find_last_of('1') - read.at);
            for (const char* parity : {"10", "11"}) {
                std::string field = bits.substr(0, fieldFlag) + parity +
                                    bits.substr(fieldFlag + 1, bottomDelta - fieldFlag - 1) + rest +
                                    "1";
                field.append((8 - field.size() % 8) % 8, '0');
                out += NalFromBits(nal[0], field);
            }
            continue;
        }
        out += std::string("\0\0\0\1", 4) + nal;
    }
    return out;
}

// A 1080i camcorder file codes each field as a picture of its own; its frames
// were counted in fields, so frame k was numbered 2k.
TEST(FrameIndexFields, FieldCodedTransportStreamCountsFrames) {
    if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "the ffmpeg command is missing";
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("fields-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::unique_ptr<const std::filesystem::path, void (*)(const std::filesystem::path*)>
        removeAtEnd(&folder,
                    [](const std::filesystem::path* path) { std::filesystem::remove_all(*path); });
    const std::string ffmpeg = "ffmpeg -hide_banner -loglevel quiet -nostdin -y ";
    const std::filesystem::path frames = folder / "frames.h264";
    const std::filesystem::path fields = folder / "fields.h264";
    const std::filesystem::path clip = folder / "fields.mts";
    const std::string encode =
        ffmpeg +
        "-f lavfi -i testsrc2=size=176x144:rate=25 -frames:v 10 -c:v libx264 "
        "-bf 0 -x264-params interlaced=1:tff=1:slices=1 -f h264 '" +
        frames.string() + "'";
    ASSERT_EQ(std::system(encode.c_str()), 0);
    std::ifstream coded(frames, std::ios::binary);
    std::ofstream(fields, std::ios::binary)
        << SplitFramesIntoFields({std::istreambuf_iterator<char>(coded), {}});
    const std::string mux = ffmpeg + "-r 25 -f h264 -i '" + fields.string() +
                            "' -c copy -f mpegts '" + clip.string() + "'";
    ASSERT_EQ(std::system(mux.c_str()), 0);

    av_log_set_level(AV_LOG_QUIET); // the garbage pictures' complaints
    const DecodedVideo decoded = DecodeAll(clip, 1);
    ASSERT_EQ(decoded.frames.size(), 10u); // the decoder joins the fields
    const auto index = BuildFrameIndex(clip, decoded.streamIndex);
    ASSERT_TRUE(index);
    EXPECT_EQ(index->Count(), decoded.frames.size());
    for (std::size_t k = 0; k < decoded.frames.size(); ++k)
        EXPECT_EQ(index->NumberOf(decoded.frames[k].time), static_cast<std::int64_t>(k));
}

TEST(FrameIndexBuild, StopsWhenAsked) {
    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(BuildFrameIndex(DataPath("index.mp4"), 0, stop.get_token()));
}

} // namespace
