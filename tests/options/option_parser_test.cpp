// The shared command-line parser: the GNU conventions, one table of lines,
// and that one line's state never leaks into the next.
#include "options/option_parser.h"
#include "options/version.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <thread>

namespace {

using options::Mistake;
using options::Option;
using options::Parse;
using options::ParsedLine;
using options::Refusal;
using options::Takes;
using options::Use;

enum Id { kHelp, kVersion, kQuality, kCount, kMergeReports, kMergeOutput, kGray };

constexpr Option kTable[] = {
    {kHelp, "help", Takes::kNothing, 'h'},
    {kVersion, "version", Takes::kNothing, 'v'},
    {kQuality, "quality", Takes::kValue},
    {kCount, "count", Takes::kValue, 'c'},
    {kMergeReports, "merge-reports", Takes::kValue},
    {kMergeOutput, "merge-output", Takes::kValue},
    {kGray, "gray"},
};

Refusal Unknown(const char* argument) {
    return {Mistake::kUnknownOption, argument, {}};
}
Refusal Missing(const char* argument, const char* option) {
    return {Mistake::kMissingValue, argument, option};
}

struct LineCase {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<Use> uses;
    std::vector<std::string> operands;
    std::optional<Refusal> refusal;
};

class OptionParserTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(OptionParserTest, FindsOptionsOperandsAndTheFirstMistake) {
    const ParsedLine line = Parse(kTable, GetParam().arguments);
    EXPECT_EQ(line.uses, GetParam().uses);
    EXPECT_EQ(line.operands, GetParam().operands);
    EXPECT_EQ(line.refusal, GetParam().refusal);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, OptionParserTest,
    ::testing::Values(
        LineCase{"ValueAsTheNextArgument", {"--quality", "90"}, {{kQuality, "90"}}, {}, {}},
        LineCase{"ValueAfterEquals", {"--quality=90"}, {{kQuality, "90"}}, {}, {}},
        LineCase{"EmptyValueAfterEquals", {"--quality="}, {{kQuality, ""}}, {}, {}},
        LineCase{"EqualsInsideTheValue", {"--quality=a=b"}, {{kQuality, "a=b"}}, {}, {}},
        LineCase{"ValueStartingWithADash", {"--quality", "-5"}, {{kQuality, "-5"}}, {}, {}},
        LineCase{"DoubleDashAsAValue", {"--quality", "--"}, {{kQuality, "--"}}, {}, {}},
        LineCase{"ShortValueJoined", {"-c5"}, {{kCount, "5"}}, {}, {}},
        LineCase{"ShortValueApart", {"-c", "5"}, {{kCount, "5"}}, {}, {}},
        LineCase{"BundledLetters", {"-hv"}, {{kHelp, ""}, {kVersion, ""}}, {}, {}},
        LineCase{"Abbreviation", {"--qual", "9"}, {{kQuality, "9"}}, {}, {}},
        LineCase{"AbbreviationWithEquals", {"--merge-r=a"}, {{kMergeReports, "a"}}, {}, {}},
        LineCase{"RepeatsInOrder",
                 {"--quality", "1", "--quality=2"},
                 {{kQuality, "1"}, {kQuality, "2"}},
                 {},
                 {}},
        LineCase{"OperandsKeepTheirPlace",
                 {"a", "--gray", "b", "--count", "1", "c"},
                 {{kGray, ""}, {kCount, "1"}},
                 {"a", "b", "c"},
                 {}},
        LineCase{"DoubleDashEndsTheOptions",
                 {"--gray", "--", "--x", "-h", "--"},
                 {{kGray, ""}},
                 {"--x", "-h", "--"},
                 {}},
        LineCase{"LoneDashIsAnOperand", {"-", "--gray"}, {{kGray, ""}}, {"-"}, {}},
        LineCase{"UnknownLongOption", {"--frobnicate"}, {}, {}, Unknown("--frobnicate")},
        LineCase{"UnknownWithAValue", {"--frobnicate=3"}, {}, {}, Unknown("--frobnicate=3")},
        LineCase{"AmbiguousAbbreviation", {"--merge", "x"}, {}, {"x"}, Unknown("--merge")},
        LineCase{"ValueForAnOptionWithout", {"--gray=yes"}, {}, {}, Unknown("--gray=yes")},
        LineCase{"UnknownLetterInABundle", {"-hx"}, {{kHelp, ""}}, {}, Unknown("-x")},
        LineCase{"SingleDashLongName", {"-quality", "1"}, {}, {"1"}, Unknown("-q")},
        LineCase{"MissingValue", {"a", "--quality"}, {}, {"a"}, Missing("--quality", "--quality")},
        LineCase{"MissingValueAbbreviated", {"--qu"}, {}, {}, Missing("--qu", "--quality")},
        LineCase{"MissingShortValue", {"-c"}, {}, {}, Missing("-c", "--count")},
        LineCase{"ParsingGoesOnPastAMistake",
                 {"--bad", "--help", "--worse"},
                 {{kHelp, ""}},
                 {},
                 Unknown("--bad")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OptionParser, OperandsDoNotEndTheOptionsEvenUnderPosixlyCorrect) {
    ::setenv("POSIXLY_CORRECT", "1", 1);
    const ParsedLine line = Parse(kTable, {"a.bmp", "--gray", "b.jpg"});
    ::unsetenv("POSIXLY_CORRECT");
    EXPECT_EQ(line.uses, (std::vector<Use>{{kGray, ""}}));
    EXPECT_EQ(line.operands, (std::vector<std::string>{"a.bmp", "b.jpg"}));
}

// A line left in the middle of a bundle, or after a mistake, must not shape
// the next one: getopt_long keeps its place in globals.
TEST(OptionParser, EachLineStartsAfresh) {
    const std::vector<std::vector<std::string>> unfinished = {
        {"-hx", "-v"}, {"--frobnicate"}, {"--quality"}, {"a", "--", "b"}, {"-c"}};
    for (const auto& first : unfinished) {
        Parse(kTable, first);
        const ParsedLine line = Parse(kTable, {"--count", "3", "c"});
        EXPECT_EQ(line.uses, (std::vector<Use>{{kCount, "3"}})) << first.front();
        EXPECT_EQ(line.operands, (std::vector<std::string>{"c"})) << first.front();
        EXPECT_FALSE(line.refusal) << first.front();
    }
}

TEST(OptionParser, ThreadsParsingAtOnceEachGetTheirOwnLine) {
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([thread, &wrong] {
            const std::string value = std::to_string(thread);
            for (int round = 0; round < 300; ++round) {
                const ParsedLine line = Parse(kTable, {"-hc", value, value + ".bmp", "--gray"});
                const std::vector<Use> expected{{kHelp, ""}, {kCount, value}, {kGray, ""}};
                wrong[thread] += line.uses != expected || line.operands.size() != 1 ||
                                 line.operands.front() != value + ".bmp";
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(Version, ToolsNameThemselvesAndThePackage) {
    using options::kVersion;
    using options::VersionText;
    EXPECT_TRUE(std::regex_match(kVersion, std::regex(R"(\d+\.\d+\.\d+)"))) << kVersion;
    EXPECT_EQ(VersionText(), std::string("Tesselon ") + kVersion + "\n");
    EXPECT_EQ(VersionText("tesselon-grab"),
              std::string("tesselon-grab (Tesselon) ") + kVersion + "\n");
}

} // namespace
