// The scene score on tiny grey pictures: no change scores nothing, a cut
// scores high, small or steady motion scores low; and which frames --scenes
// chooses from a run of scores.
#include "scene_measure.h"
#include "scene_selection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <vector>

namespace {

constexpr int kWidth = 17; // odd on purpose
constexpr int kHeight = 9;

using Pixels = std::vector<std::uint8_t>;

// A picture whose value is f(x, y).
Pixels Draw(const std::function<int(int, int)>& f) {
    Pixels pixels;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            pixels.push_back(static_cast<std::uint8_t>(f(x, y)));
    return pixels;
}

grab::GreyPicture View(const Pixels& pixels) {
    return {pixels, kWidth, kHeight};
}

// A bright bar on a dark ground, its left edge at `left`.
Pixels Bar(int left) {
    return Draw([left](int x, int) { return x >= left && x < left + 5 ? 220 : 30; });
}

Pixels Ramp() {
    return Draw([](int x, int y) { return x * 12 + y * 3; });
}

Pixels Inverted(const Pixels& pixels) {
    Pixels inverted;
    for (const std::uint8_t value : pixels)
        inverted.push_back(static_cast<std::uint8_t>(255 - value));
    return inverted;
}

struct ScoreCase {
    const char* name;
    std::vector<Pixels> frames;
    double low;  // the last frame's score lies in [low, high]
    double high;
};

// Rows print by name: their bytes hold padding.
void PrintTo(const ScoreCase& row, std::ostream* out) {
    *out << row.name;
}

class SceneScore : public testing::TestWithParam<ScoreCase> {};

TEST_P(SceneScore, OfTheLastFrame) {
    grab::SceneMeasure measure;
    double score = -1;
    for (const Pixels& frame : GetParam().frames)
        score = measure.Next(View(frame));
    EXPECT_GE(score, GetParam().low);
    EXPECT_LE(score, GetParam().high);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, SceneScore,
    testing::Values(
        ScoreCase{"FirstFrame", {Ramp()}, 0, 0},
        ScoreCase{"SamePicture", {Ramp(), Ramp()}, 0, 0},
        // Each pixel of the ramp moves by |255 - 2v|: 0.42 of full scale.
        ScoreCase{"Inverted", {Ramp(), Inverted(Ramp())}, 0.4, 0.43},
        ScoreCase{"BlackToWhite", {Draw([](int, int) { return 0; }), Draw([](int, int) {
                                       return 255;
                                   })},
                  1, 1},
        // One column of a 17-wide ramp: 12 levels of 255 per pixel.
        ScoreCase{"SmallShift", {Ramp(), Draw([](int x, int y) { return (x + 1) * 12 + y * 3; })},
                  0, 0.06},
        // A bar moving 2 pixels a frame differs by the same each time: a pan.
        ScoreCase{"SteadyMotion", {Bar(0), Bar(2), Bar(4), Bar(6)}, 0, 0.001},
        // The same motion cut to another picture.
        ScoreCase{"CutDuringMotion",
                  {Bar(0), Bar(2), Bar(4), Draw([](int, int) { return 255; })},
                  0.4,
                  1}),
    [](const testing::TestParamInfo<ScoreCase>& info) { return info.param.name; });

// A size change starts again rather than compare unlike pictures.
TEST(SceneScore, SizeChangeIsNotCompared) {
    grab::SceneMeasure measure;
    const Pixels small(8 * 4, 255);
    measure.Next(View(Ramp()));
    EXPECT_EQ(measure.Next({small, 8, 4}), 0);
    EXPECT_GT(measure.Next({Pixels(8 * 4, 0), 8, 4}), 0.9);
}

struct ChoiceCase {
    const char* name;
    double minGapSeconds;
    std::vector<double> scores;  // one frame each 0.1 s from 0
    std::vector<int> chosen;     // indexes of the frames chosen
};

void PrintTo(const ChoiceCase& row, std::ostream* out) {
    *out << row.name;
}

class SceneChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(SceneChoice, ChoosesTheFirstFrameAndEachChangeOutsideTheGap) {
    grab::Settings settings;
    settings.sceneThreshold = 0.3;
    settings.minGapSeconds = GetParam().minGapSeconds;
    grab::SceneChooser chooser(settings);
    const auto tenth = media::kStreamUnitsPerSecond / 10;
    for (std::size_t i = 0; i < GetParam().scores.size(); ++i)
        chooser.Offer(static_cast<media::StreamTime>(i) * tenth, GetParam().scores[i]);
    std::vector<int> chosen;
    for (const grab::ScenePick& pick : std::move(chooser).Picks())
        chosen.push_back(static_cast<int>(pick.time / tenth));
    EXPECT_EQ(chosen, GetParam().chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Scores, SceneChoice,
    testing::Values(
        ChoiceCase{"FirstFrameAlways", 0.5, {0.9, 0.0, 0.0}, {0}},
        ChoiceCase{"AtThresholdIsNotAChange", 0, {0, 0.3, 0.31}, {0, 2}},
        // A flash: a change at 0.6 s and back at 0.8 s; the gap keeps one.
        ChoiceCase{"FlashWithinGap", 0.5, {0, 0, 0, 0, 0, 0, 0.8, 0, 0.8, 0, 0}, {0, 6}},
        ChoiceCase{"FlashWithoutGap", 0, {0, 0, 0, 0, 0, 0, 0.8, 0, 0.8, 0, 0}, {0, 6, 8}},
        // The gap runs from the last frame taken, the first frame included.
        ChoiceCase{"ChangeSoonAfterStart", 0.5, {0, 0.9, 0, 0, 0, 0, 0.9}, {0, 6}}),
    [](const testing::TestParamInfo<ChoiceCase>& info) { return info.param.name; });

} // namespace
