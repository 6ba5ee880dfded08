// Control, Go to: what the text means, and the frame the program pauses on.
#include "app/go_to_dialog.h"
#include "app_fixture.h"

#include <QLineEdit>
#include <QTest>

namespace app_test {
namespace {

constexpr std::int64_t kSecond = 10'000'000;

struct ParseCase {
    const char* text;
    std::optional<GoToTarget> want;
};
void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << '"' << c.text << '"';
}

constexpr auto kFrame = GoToTarget::Kind::kFrame;
constexpr auto kTime = GoToTarget::Kind::kTime;

class GoToText : public ::testing::TestWithParam<ParseCase> {};

TEST_P(GoToText, ReadsFramesAndTimesExactly) {
    EXPECT_EQ(ParseGoToTarget(QString::fromUtf8(GetParam().text)), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GoToText,
    ::testing::Values(
        ParseCase{"250", GoToTarget{kFrame, 250}}, ParseCase{" 0 ", GoToTarget{kFrame, 0}},
        ParseCase{"1.5", GoToTarget{kTime, 15'000'000}},
        ParseCase{"62.04 s", GoToTarget{kTime, 620'400'000}},
        ParseCase{"12s", GoToTarget{kTime, 12 * kSecond}},
        ParseCase{"1:02.040", GoToTarget{kTime, 620'400'000}},
        ParseCase{"0:01:02.040", GoToTarget{kTime, 620'400'000}},
        ParseCase{"2:00:00", GoToTarget{kTime, 7200 * kSecond}},
        // Seven decimals are 100 ns; beyond them the time rounds up, never down.
        ParseCase{"0.0000001", GoToTarget{kTime, 1}},
        ParseCase{"0.00000001", GoToTarget{kTime, 1}},
        ParseCase{"0.12345670", GoToTarget{kTime, 1'234'567}},
        ParseCase{"", std::nullopt}, ParseCase{"-3", std::nullopt},
        ParseCase{"1:60", std::nullopt}, ParseCase{"1:60:00", std::nullopt},
        ParseCase{"1:02 s", std::nullopt}, ParseCase{"frame 3", std::nullopt},
        ParseCase{"1.5.2", std::nullopt}, ParseCase{"1e3", std::nullopt},
        ParseCase{"99999999999999999999", std::nullopt}));

class GoToTest : public AppTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(Start());
        OpenThroughMenu(DataPath("index_mpeg4.avi")); // 50 frames, 25 a second
        ASSERT_TRUE(gSource->IsPlaying());
        ASSERT_TRUE(gSource->WaitForFrameNumbers());
    }
    // Go to, the dialog answered with `text`.
    void GoTo(const char* text) {
        Frame().SetModalRunner([text](QDialog& dialog) {
            dynamic_cast<CGoToDlg&>(dialog).TargetEdit()->setText(QString::fromUtf8(text));
            return int(QDialog::Accepted);
        });
        Trigger(res::ID_CONTROL_GO_TO);
    }
};

TEST_F(GoToTest, PausesOnExactlyTheFrameAskedForInAnyOrder) {
    // Forward and back across the keyframes every 12 frames, and by time:
    // the first frame at or after it.
    const std::pair<const char*, int> steps[] = {{"37", 37}, {"5", 5},      {"49", 49},
                                                 {"0", 0},   {"1.02", 26}, {"0:01", 25},
                                                 {"23", 23}, {"1.96s", 49}};
    for (const auto& [text, frame] : steps) {
        SCOPED_TRACE(text);
        GoTo(text);
        EXPECT_TRUE(gSource->IsPaused());
        EXPECT_EQ(FrameOnScreen(), frame);
        EXPECT_EQ(gSource->ShownFrameNumber(), frame);
    }
    EXPECT_TRUE(dialogs_.Messages().empty());
}

TEST_F(GoToTest, NoSuchFrameIsSaidAndTheFrameOnShowStays) {
    GoTo("20");
    GoTo("50");
    GoTo("2.5");
    const auto messages = dialogs_.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "This video has no frame 50: its frames are numbered 0 to 49.");
    EXPECT_EQ(messages[1].text, "This video has no frame at or after 2.5: it ends before then.");
    EXPECT_EQ(FrameOnScreen(), 20);
    EXPECT_EQ(gSource->ShownFrameNumber(), 20);

    // The dialog is not shown while a batch owns the source.
    Frame().SetCommandsEnabled(false);
    GoTo("3");
    EXPECT_EQ(FrameOnScreen(), 20);
}

} // namespace
} // namespace app_test
