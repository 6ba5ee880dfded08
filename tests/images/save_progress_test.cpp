#include "images/save_progress.h"

#include "counting_target.h"

#include <gtest/gtest.h>

#include <vector>

namespace images {
namespace {

using testing::CountingTarget;

// Pass numbers far from the codec's own 1 to 6. Every test first leaves
// kPassStart as the last pass seen, whatever an earlier test left behind.
constexpr std::int32_t kPassStart = 1000;
constexpr std::int32_t kPassA = 1001;
constexpr std::int32_t kPassB = 1002;

int Report(const std::vector<std::int32_t>& passes) {
    jpeg::RasterCoder coder;
    int abortsRequested = 0;
    for (const std::int32_t pass : passes) {
        std::uint8_t abortFlag = 0;
        StepCodecProgress(coder, 0, pass, 6, 50, abortFlag);
        abortsRequested += abortFlag != 0;
    }
    return abortsRequested;
}

void StartFromKnownPass() {
    CountingTarget target;
    Report({kPassStart});
}

TEST(StepBmpProgress, StepsTheCurrentTargetOnly) {
    StepBmpProgress(); // no target: nothing to step, no crash
    CountingTarget target;
    StepBmpProgress();
    StepBmpProgress();
    EXPECT_EQ(target.Take(), 2);
}

struct PassCase {
    std::vector<std::int32_t> passes;
    int expectedSteps;
    std::int32_t expectedLast;
};

void PrintTo(const PassCase& c, std::ostream* out) {
    for (const std::int32_t pass : c.passes) {
        *out << pass << " ";
    }
}

class StepCodecProgressCounting : public ::testing::TestWithParam<PassCase> {};

// One step per change of pass, whatever the percent and however often a pass
// reports; the abort flag is never set.
TEST_P(StepCodecProgressCounting, StepsWhenThePassChanges) {
    const PassCase& c = GetParam();
    StartFromKnownPass();
    CountingTarget target;
    EXPECT_EQ(Report(c.passes), 0);
    EXPECT_EQ(target.Take(), c.expectedSteps);
    EXPECT_EQ(LastCodecPassSeen(), c.expectedLast);
}

INSTANTIATE_TEST_SUITE_P(Sequences, StepCodecProgressCounting,
                         ::testing::Values(PassCase{{kPassA}, 1, kPassA},
                                           PassCase{{kPassA, kPassA, kPassA}, 1, kPassA},
                                           PassCase{{kPassA, kPassB, kPassB, kPassA}, 3, kPassA},
                                           // A reader's pass 1, then a writer's passes 1 to 6: the
                                           // writer's pass 1 continues the reader's.
                                           PassCase{{kPassA, 1, 1, 1, 2, 3, 3, 4, 5, 6, 6}, 7, 6}));

// Without a current target nothing steps and the last pass seen is kept, so
// the next report under a target still counts as a change.
TEST(StepCodecProgress, WithoutTargetRemembersNothing) {
    StartFromKnownPass();
    Report({kPassB});
    EXPECT_EQ(LastCodecPassSeen(), kPassStart);
    CountingTarget target;
    Report({kPassB});
    EXPECT_EQ(target.Take(), 1);
    EXPECT_EQ(LastCodecPassSeen(), kPassB);
}

// The last pass seen carries over between images: a first report equal to
// the previous image's last pass makes no step.
TEST(StepCodecProgress, CarriesTheLastPassAcrossImages) {
    StartFromKnownPass();
    CountingTarget target;
    Report({kPassA, kPassB});
    target.Take();
    Report({kPassB, kPassA});
    EXPECT_EQ(target.Take(), 1);
}

} // namespace
} // namespace images
