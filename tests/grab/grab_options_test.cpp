// tesselon-grab's command line, its name templates, the native size and the
// progress line's estimate.
#include "grab_options.h"
#include "name_template.h"
#include "progress_line.h"
#include "video_grab.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::optional<grab::Settings> Parse(std::vector<std::string> arguments,
                                    std::string* why = nullptr) {
    std::string error;
    auto settings = grab::ParseArguments(arguments, error);
    if (why)
        *why = error;
    return settings;
}

TEST(GrabOptions, ManyVideosWithTheNewOptions) {
    const auto settings = Parse({"--out",
                                 "dir",
                                 "--per-video",
                                 "--name",
                                 "{src}_{frame}",
                                 "--size",
                                 "native",
                                 "--every",
                                 "5",
                                 "--count",
                                 "7",
                                 "--label",
                                 "Hello",
                                 "--report",
                                 "r.csv",
                                 "--provenance",
                                 "--progress",
                                 "--skip-existing",
                                 "a.mp4",
                                 "b.avi",
                                 "--",
                                 "-c.mkv"});
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->videos, (std::vector<std::filesystem::path>{"a.mp4", "b.avi", "-c.mkv"}));
    EXPECT_EQ(settings->outputDirectory, "dir");
    EXPECT_TRUE(settings->perVideo && settings->nativeSize && settings->provenance &&
                settings->progress && settings->skipExisting);
    EXPECT_EQ(settings->nameTemplate, "{src}_{frame}");
    EXPECT_EQ(settings->every, 5);
    EXPECT_EQ(settings->count, 7);
    EXPECT_EQ(settings->label, "Hello");
    EXPECT_EQ(settings->report, "r.csv");
    EXPECT_TRUE(settings->Sampling());

    const auto sized = Parse({"--size", "640x480", "--interval", "0.1", "v.mp4", "out"});
    ASSERT_TRUE(sized);
    EXPECT_EQ(sized->width, 640);
    EXPECT_EQ(sized->height, 480);
    EXPECT_FALSE(sized->nativeSize);
    // Exactly 0.1 s in 100 ns units: a double would be a hair short.
    EXPECT_EQ(sized->interval, 1'000'000);
    EXPECT_EQ(Parse({"--interval", "2.00000005", "v", "o"})->interval, 20'000'000);

    const auto merge = Parse({"--merge-reports", "all.json", "a.json", "b.csv"});
    ASSERT_TRUE(merge);
    EXPECT_EQ(merge->mergeOutput, "all.json");
    EXPECT_EQ(merge->mergeInputs.size(), 2u);
    EXPECT_FALSE(merge->mergeOutputReplaces);
    const auto replace = Parse({"--merge-output", "all.json", "a.json"});
    ASSERT_TRUE(replace);
    EXPECT_EQ(replace->mergeOutput, "all.json");
    EXPECT_TRUE(replace->mergeOutputReplaces);
    EXPECT_TRUE(Parse({"--help"})->help);
}

TEST(GrabOptions, BadUsageIsRefusedWithAReason) {
    const struct {
        std::vector<std::string> arguments;
        const char* reason;
    } cases[] = {
        {{"--out", "dir"}, "no video"},
        {{"a", "b", "c"}, "--out"},
        {{"--every", "0", "a", "o"}, "whole number"},
        {{"--every", "2", "--interval", "1", "a", "o"}, "together"},
        {{"--interval", "0", "a", "o"}, "seconds"},
        {{"--interval", "1e3", "a", "o"}, "seconds"},
        {{"--paced", "--every", "2", "a", "o"}, "consecutive"},
        {{"--size", "0x10", "a", "o"}, "WxH"},
        {{"--size", "640x", "a", "o"}, "WxH"},
        {{"--size", "20000x10", "a", "o"}, "WxH"},
        {{"--name", "{nope}", "a", "o"}, "unknown token"},
        {{"--name", "a/{ms}", "a", "o"}, "separator"},
        {{"--name", "..{ms}", "a", "o"}, ".."},
        {{"--name", "{ms", "a", "o"}, "unclosed"},
        {{"--name", "", "a", "o"}, "empty"},
        {{"--merge-reports", "out.json"}, "reports to merge"},
        {{"--merge-reports", "a.json", "--merge-output", "b.json", "c.json"}, "together"},
        {{"--out"}, "needs"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(Parse(c.arguments, &why)) << c.arguments.front();
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_NE(why.find("usage: tesselon-grab"), std::string::npos);
    }
}

// Both forms of a value, and an abbreviated name, give the same settings.
struct SameCase {
    const char* name;
    std::vector<std::string> apart;
    std::vector<std::string> joined;
    // What the option did, so that two lines that both ignore it do not pass.
    bool (*took)(const grab::Settings&);
};

class GrabOptionFormsTest : public ::testing::TestWithParam<SameCase> {};

TEST_P(GrabOptionFormsTest, GiveTheSameSettings) {
    std::string why;
    const auto apart = Parse(GetParam().apart, &why);
    ASSERT_TRUE(apart) << why;
    const auto joined = Parse(GetParam().joined, &why);
    ASSERT_TRUE(joined) << why;
    EXPECT_TRUE(*apart == *joined);
    EXPECT_TRUE(GetParam().took(*apart));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, GrabOptionFormsTest,
    ::testing::Values(
        SameCase{"Count",
                 {"--count", "5", "v", "o"},
                 {"--count=5", "v", "o"},
                 [](const grab::Settings& settings) {
                     return settings.count == 5 && settings.countGiven;
                 }},
        SameCase{"Interval",
                 {"--interval", "0.5", "v", "o"},
                 {"--interval=0.5", "v", "o"},
                 [](const grab::Settings& settings) {
                     return settings.interval == 5'000'000;
                 }},
        SameCase{"LabelHoldingEquals",
                 {"--label", "a=b", "v", "o"},
                 {"--label=a=b", "v", "o"},
                 [](const grab::Settings& settings) {
                     return settings.label == "a=b";
                 }},
        SameCase{"Out",
                 {"--out", "dir", "v"},
                 {"--out=dir", "v"},
                 [](const grab::Settings& settings) {
                     return settings.outputDirectory == "dir";
                 }},
        SameCase{"AbbreviatedName",
                 {"--merge-r", "all.json", "a.json"},
                 {"--merge-reports=all.json", "a.json"},
                 [](const grab::Settings& settings) {
                     return settings.mergeOutput == "all.json";
                 }},
        SameCase{"VideosAfterDoubleDash",
                 {"--out", "dir", "--", "--x", "-"},
                 {"--out=dir", "--", "--x", "-"},
                 [](const grab::Settings& settings) {
                     return settings.videos == std::vector<std::filesystem::path>{"--x", "-"};
                 }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GrabOptions, HelpAndVersionNeedNothingElse) {
    EXPECT_TRUE(Parse({"-h"})->help);
    EXPECT_TRUE(Parse({"--version"})->version);
    EXPECT_FALSE(Parse({"--version"})->help);
    EXPECT_EQ(grab::VersionText().rfind("tesselon-grab (Tesselon) ", 0), 0u);
}

TEST(GrabOptions, MistakesOfTheLineItselfAreRefusedWithAReason) {
    const struct {
        std::vector<std::string> arguments;
        const char* reason;
    } cases[] = {
        {{"--frobnicate=1", "a", "o"}, "unknown option --frobnicate=1"},
        {{"--merge", "a.json", "b.json"}, "unknown option --merge"},
        {{"--paced=yes", "a", "o"}, "unknown option --paced=yes"},
        {{"a", "o", "--count"}, "--count needs a whole number of frames"},
        {{"a", "o", "--size"}, "--size needs WxH, W, xH or native"},
        {{"a", "o", "--report"}, "--report needs a value"},
        {{"--count=", "a", "o"}, "--count needs a whole number of frames"},
        {{"--out=", "a"}, "--out needs a value"},
        {{"--help", "--frobnicate"}, "unknown option --frobnicate"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(Parse(c.arguments, &why)) << c.arguments.front();
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_NE(why.find("usage: tesselon-grab"), std::string::npos);
    }
}

TEST(GrabOptions, HelpDescribesEveryOptionAndTheExitStatuses) {
    const std::string help = grab::HelpText();
    for (const char* option : {"--out",
                               "--per-video",
                               "--name",
                               "{src}",
                               "{ms}",
                               "{time}",
                               "{frame}",
                               "{i}",
                               "--skip-existing",
                               "--start",
                               "--count",
                               "--every",
                               "--interval",
                               "--paced",
                               "--size",
                               "native",
                               "--label",
                               "--provenance",
                               "--report",
                               "--merge-reports",
                               "--merge-output",
                               "--progress",
                               "-h, --help",
                               "--version",
                               "Exit status",
                               "0  ",
                               "1  ",
                               "2  "})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

grab::NameValues Values() {
    grab::NameValues values;
    values.source = "clip";
    values.ms = 3723456;
    values.microseconds = 3'723'456'789;
    values.frame = 93;
    values.index = 7;
    values.count = 100;
    return values;
}

TEST(NameTemplate, TokensExpand) {
    std::string error;
    const auto names = grab::NameTemplate::Parse("{src}-{ms}-{time}-{frame}-{i}", error);
    ASSERT_TRUE(names) << error;
    EXPECT_TRUE(names->UsesFrameNumbers());
    EXPECT_EQ(names->Expand(Values()), "clip-3723456-01-02-03.456-93-07");

    grab::NameValues values = Values();
    values.count = 1000; // {i} has as many digits as the last index
    values.frame.reset();
    EXPECT_EQ(grab::NameTemplate::Parse("{i}", error)->Expand(values), "007");
    EXPECT_EQ(names->Expand(values), std::nullopt) << "no number, no {frame}";
    values.count = 1;
    values.index = 0;
    EXPECT_EQ(grab::NameTemplate::Parse("{i}", error)->Expand(values), "0");
    EXPECT_FALSE(grab::NameTemplate::Parse("{ms}", error)->UsesFrameNumbers());
    EXPECT_EQ(grab::ClockName(100LL * 3600 * 1'000'000), "100-00-00.000");
}

TEST(NameTemplate, NoValueCanLeaveTheFolder) {
    std::string error;
    const auto names = grab::NameTemplate::Parse("{src}.{ms}", error);
    ASSERT_TRUE(names);
    for (const char* source : {"..", "../../etc/passwd", "a/b", "a\\b", ".", "x.", "tab\there"}) {
        grab::NameValues values = Values();
        values.source = source;
        const std::string name = *names->Expand(values);
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_EQ(name.find('\\'), std::string::npos) << name;
        EXPECT_EQ(name.find(".."), std::string::npos) << name;
        EXPECT_EQ(name.find('\t'), std::string::npos) << name;
    }
    EXPECT_EQ(grab::SafeNamePart("a..b/c"), "a._b_c");
    EXPECT_EQ(grab::SafeNamePart("été"), "été") << "other characters stay";
}

TEST(OutputSize, NativeMakesPixelsSquareWithoutSqueezing) {
    grab::Settings settings;
    EXPECT_EQ(grab::OutputSize(settings, 720, 576, {16, 15}), std::make_pair(360, 240));
    settings.nativeSize = true;
    EXPECT_EQ(grab::OutputSize(settings, 720, 576, {1, 1}), std::make_pair(720, 576));
    // PAL 16:9 anamorphic: wider.
    EXPECT_EQ(grab::OutputSize(settings, 720, 576, {64, 45}), std::make_pair(1024, 576));
    // Tall pixels: taller, never narrower.
    EXPECT_EQ(grab::OutputSize(settings, 176, 144, {1, 2}), std::make_pair(176, 288));
    EXPECT_EQ(grab::OutputSize(settings, 1, 1, {1, 1000}), std::make_pair(1, 1000));
    EXPECT_EQ(grab::OutputSize(settings, 16384, 16, {2, 1}), std::make_pair(16384, 16));
}

TEST(ProgressLine, CountsFramesAndEstimatesTheTimeLeft) {
    std::ostringstream out;
    grab::ProgressLine progress(out, true, 4, 100);
    progress.StartVideo(1, "a.mp4");
    for (int i = 0; i < 100; ++i)
        progress.Frame();
    progress.EndVideo();
    progress.StartVideo(2, "b.mp4");
    for (int i = 0; i < 50; ++i)
        progress.Frame();
    // 150 of 400 frames in about 30 s: 250 more take about 50 s.
    const std::string text =
        progress.Text(grab::ProgressLine::Clock::now() + std::chrono::seconds(30));
    EXPECT_NE(text.find("video 2/4 b.mp4: 50/100 frames"), std::string::npos) << text;
    EXPECT_NE(text.find("all 150/400"), std::string::npos) << text;
    EXPECT_NE(text.find("0:50 left"), std::string::npos) << text;
    progress.Finish();
    const std::string shown = out.str();
    EXPECT_EQ(shown.front(), '\r');
    EXPECT_EQ(shown.back(), '\n');
}

} // namespace

namespace {

TEST(GrabOptions, DeinterlaceTakesAutoOnOrOff) {
    const struct {
        std::vector<std::string> arguments;
        std::optional<media::Deinterlace> expected; // none: refused
        const char* name = "";                      // as the report says it
    } cases[] = {
        {{"v.mp4", "out"}, media::Deinterlace::Auto, "auto"},
        {{"--deinterlace", "auto", "v.mp4", "out"}, media::Deinterlace::Auto, "auto"},
        {{"--deinterlace", "on", "v.mp4", "out"}, media::Deinterlace::On, "on"},
        {{"--deinterlace=off", "v.mp4", "out"}, media::Deinterlace::Off, "off"},
        {{"--deinterlace", "yes", "v.mp4", "out"}, std::nullopt},
        {{"--deinterlace", "ON", "v.mp4", "out"}, std::nullopt},
        {{"v.mp4", "out", "--deinterlace"}, std::nullopt},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto settings = Parse(c.arguments, &why);
        ASSERT_EQ(settings.has_value(), c.expected.has_value()) << c.arguments[0] << " " << why;
        if (settings) {
            EXPECT_EQ(settings->deinterlace, *c.expected);
            EXPECT_EQ(grab::DeinterlaceName(settings->deinterlace), c.name);
        } else {
            EXPECT_NE(why.find("--deinterlace needs auto, on or off"), std::string::npos) << why;
        }
    }
    EXPECT_NE(grab::HelpText().find("--deinterlace auto|on|off"), std::string::npos);
}

} // namespace
