// The media stream on every clip of the clip matrix: it opens at the clip's
// size, hands over every frame in time order with the clip's colour, reports
// the end, and plays the same frames again from the start.
#include "media/media_stream.h"

#include "support/clip_matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using media::FetchResult;
using media::FrameTarget;
using media::ManualTimeSource;
using media::MediaStream;
using media::StreamState;
using media::StreamTime;
using testing_support::ExpectedMatrixColour;
using testing_support::MatrixClip;
using testing_support::MatrixClipPath;
using testing_support::MatrixClipTest;
using testing_support::MatrixClipTestName;
using testing_support::SelectedMatrixClips;

// Lossy codecs, 4:2:0 chroma and RGB 5-5-5 move the average by a few levels;
// a mixed-up plane or channel moves it by fifty or more.
constexpr double kColourTolerance = 10;

struct Playthrough {
    std::vector<StreamTime> times;
    // Per frame: the largest difference of a channel's average from the clip's.
    std::vector<double> colourErrors;
    FetchResult last = FetchResult::Frame;
};

// The largest difference of a channel's average (the target holds blue,
// green, red, unused) from the expected red, green, blue.
double ColourError(const std::vector<std::uint8_t>& pixels, const std::array<double, 3>& expected) {
    std::array<double, 3> sums{};
    for (std::size_t at = 0; at < pixels.size(); at += 4) {
        sums[0] += pixels[at + 2];
        sums[1] += pixels[at + 1];
        sums[2] += pixels[at];
    }
    const double count = static_cast<double>(pixels.size() / 4);
    double worst = 0;
    for (int channel = 0; channel < 3; ++channel)
        worst = std::max(worst, std::abs(sums[channel] / count - expected[channel]));
    return worst;
}

// Plays from the start with the clock far ahead, so every frame is due at once.
Playthrough PlayFromTheStart(MediaStream& stream, ManualTimeSource& time,
                             const std::array<double, 3>& colour) {
    const int width = stream.VideoWidth();
    const int height = stream.VideoHeight();
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    const FrameTarget target{pixels.data(), width * 4, width, height};
    stream.Seek(0);
    stream.SetState(StreamState::Run);
    time.Advance(std::chrono::hours(10));
    Playthrough played;
    while (true) {
        // Black first, so a frame handed over without a picture shows.
        std::fill(pixels.begin(), pixels.end(), 0);
        played.last = stream.Fetch(target);
        if (played.last != FetchResult::Frame)
            return played;
        played.times.push_back(stream.GetTime());
        played.colourErrors.push_back(ColourError(pixels, colour));
    }
}

class MatrixClipPlayback : public MatrixClipTest {};

TEST_P(MatrixClipPlayback, EveryFrameToTheEndThenAgainFromTheStart) {
    const MatrixClip& clip = GetParam();
    const auto time = std::make_shared<ManualTimeSource>();
    MediaStream stream({time, media::AudioMode::Silent});
    ASSERT_TRUE(stream.OpenFile(MatrixClipPath(clip)));
    ASSERT_TRUE(stream.HasVideo());
    ASSERT_EQ(stream.VideoWidth(), clip.width);
    ASSERT_EQ(stream.VideoHeight(), clip.height);

    const Playthrough first = PlayFromTheStart(stream, *time, ExpectedMatrixColour(clip));
    EXPECT_EQ(first.last, FetchResult::EndOfStream);
    ASSERT_EQ(first.times.size(), static_cast<std::size_t>(clip.frames))
        << "frame times: " << testing::PrintToString(first.times);
    const StreamTime frameTime = media::kStreamUnitsPerSecond / clip.framesPerSecond;
    for (int frame = 0; frame < clip.frames; ++frame) {
        // Containers round times to their own time base: allow a tenth of a frame.
        EXPECT_NEAR(static_cast<double>(first.times[frame]), static_cast<double>(frame * frameTime),
                    frameTime / 10.0)
            << "frame " << frame;
        EXPECT_LE(first.colourErrors[frame], kColourTolerance) << "frame " << frame;
    }

    const Playthrough again = PlayFromTheStart(stream, *time, ExpectedMatrixColour(clip));
    EXPECT_EQ(again.last, FetchResult::EndOfStream);
    EXPECT_EQ(again.times, first.times);
    EXPECT_EQ(again.colourErrors, first.colourErrors);
}

INSTANTIATE_TEST_SUITE_P(ClipMatrix, MatrixClipPlayback, testing::ValuesIn(SelectedMatrixClips()),
                         MatrixClipTestName);

} // namespace
