// What the stream says of each frame beyond its picture: the exact timestamp
// agrees with the 100 ns time of the same frame, keyframes and picture types
// are the encoder's, and the format names the codec, the pixel shape and the
// time base. Waiting for the frame count ends once it is counted.
#include "media/media_stream.h"

#include "support/index_picture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testing_support::Picture;
using testing_support::ReadIndex;

std::filesystem::path DataPath(const std::string& name) {
    return std::filesystem::path(TESSELON_TEST_DATA) / name;
}

media::MediaStreamOptions Unpaced() {
    media::MediaStreamOptions options;
    options.timeSource = std::make_shared<media::FreeRunningTimeSource>();
    options.audio = media::AudioMode::Silent;
    options.frameCacheBytes = 0;
    return options;
}

TEST(FrameTraits, EachFrameCarriesItsExactTimeAndCoding) {
    const struct {
        const char* clip;
        const char* codec;
        media::Ratio timeBase;
        // Each frame's coding as ffprobe reads it: K a keyframe, else the
        // picture type.
        const char* coding;
    } clips[] = {
        {"index.mp4", "h264", {1, 12800}, "KPPPBPPPBPPPKPPPBPPBPBPPKBPBPBPBBPBPKPBPBPBPBPBPKP"},
        {"index.mpg",
         "mpeg1video",
         {1, 90000},
         "KBBPBBPBBPBBKBBPBBPBBPBBKBBPBBPBBPBBKBBPBBPBBPBBKP"},
        {"index_mpeg4.avi", "mpeg4", {1, 25}, "KBBPBBPBBPBBKBBPBBPBBPBBKBBPBBPBBPBBKBBPBBPBBPBBKP"},
        {"index_bframes.mp4",
         "h264",
         {1, 12800},
         "KBBBPBBBPBBBPBBPBBBPBBBPPKBBBPBPKBBBPBBBPBBBPBBBPP"},
    };
    for (const auto& clip : clips) {
        SCOPED_TRACE(clip.clip);
        media::MediaStream stream(Unpaced());
        ASSERT_TRUE(stream.OpenFile(DataPath(clip.clip)));
        const media::VideoFormat format = stream.Format();
        EXPECT_EQ(format.codec, clip.codec);
        EXPECT_EQ(format.width, 176);
        EXPECT_EQ(format.height, 144);
        EXPECT_EQ(format.sampleAspect.num, format.sampleAspect.den);
        EXPECT_EQ(format.timeBase.num, clip.timeBase.num);
        EXPECT_EQ(format.timeBase.den, clip.timeBase.den);
        EXPECT_FALSE(stream.ShownFrameTraits()) << "no frame yet";

        stream.SetState(media::StreamState::Run);
        Picture picture(176, 144);
        for (int frame = 0; frame < 50; ++frame) {
            ASSERT_EQ(stream.Fetch(picture.Target()), media::FetchResult::Frame);
            ASSERT_EQ(ReadIndex(picture), frame);
            const auto traits = stream.ShownFrameTraits();
            ASSERT_TRUE(traits);
            // 40 ms per frame, exactly, in the stream's own time base.
            EXPECT_EQ(traits->timestamp * format.timeBase.num * 25, frame * format.timeBase.den);
            EXPECT_EQ(stream.GetTime(), frame * 400'000);
            const char coding = clip.coding[frame];
            EXPECT_EQ(traits->keyFrame, coding == 'K') << frame;
            EXPECT_EQ(traits->pictureType, coding == 'K' ? 'I' : coding) << frame;
        }
        ASSERT_TRUE(stream.WaitForFrameNumbers());
        EXPECT_EQ(stream.FrameNumberOf(stream.GetTime()), 49);
        EXPECT_EQ(stream.TimeOfFrame(7), 7 * 400'000);
        EXPECT_FALSE(stream.TimeOfFrame(50));

        // A seek forgets the frame shown.
        stream.Seek(0);
        EXPECT_FALSE(stream.ShownFrameTraits());
    }
}

TEST(FrameTraits, WaitingForFrameNumbersEndsWithoutAVideo) {
    media::MediaStream audio(Unpaced());
    ASSERT_TRUE(audio.OpenFile(DataPath("audio_only.wav")));
    EXPECT_FALSE(audio.WaitForFrameNumbers());
    EXPECT_TRUE(audio.Format().codec.empty());
}

} // namespace
