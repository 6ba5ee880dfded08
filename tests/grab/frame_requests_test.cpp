// --frames and --times as written: lists, ranges, the forms of a time, a file
// of times, and what the command line refuses with them.
#include "frame_requests.h"
#include "grab_options.h"

#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using grab::FrameRequest;

struct TimeCase {
    const char* text;
    std::optional<std::int64_t> units; // none: refused
};

TEST(FrameRequests, TimesAreExactInHundredNanosecondUnits) {
    const TimeCase cases[] = {
        {"0", 0},
        {"1.5", 15'000'000},
        {"0.1", 1'000'000}, // a double would make it 999999.99...
        {"62.04", 620'400'000},
        {"00:01:02.040", 620'400'000},
        {"1:02.04", 620'400'000},
        {"01:00:00", 36'000'000'000},
        {"100:00:00.5", 3'600'005'000'000},
        {"2.123456789", 21'234'567}, // past the seventh decimal: dropped
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"1.", std::nullopt},
        {".5", std::nullopt},
        {"1.5.2", std::nullopt},
        {"1e3", std::nullopt},
        {"1:60", std::nullopt},
        {"1:60:00", std::nullopt},
        {"1:2:3:4", std::nullopt},
        {"1::2", std::nullopt},
        {"99999999999", std::nullopt},
    };
    for (const TimeCase& c : cases)
        EXPECT_EQ(grab::ParseTime(c.text), c.units) << '"' << c.text << '"';
}

struct ListCase {
    const char* text;
    std::vector<std::int64_t> values; // empty: refused
    const char* said;                 // in the first entry's text, or in the error
};

TEST(FrameRequests, FrameListsExpandRangesAndNameTheirMistakes) {
    const ListCase cases[] = {
        {"0,250,1000-1003", {0, 250, 1000, 1001, 1002, 1003}, "frame 0"},
        {" 7 , 3-3 ,7", {7, 3, 7}, "frame 7"},
        {"", {}, "at least one"},
        {"1,,2", {}, "empty entry"},
        {"4,", {}, "empty entry"},
        {"-3", {}, "-3 is negative"},
        {"9-5", {}, "9-5 runs backwards"},
        {"x", {}, "\"x\" is not a frame number"},
        {"1-", {}, "not a frame number"},
        {"1-2-3", {}, "not a frame number"},
        {"1.5", {}, "not a frame number"},
        {"0-2000000", {}, "more than 1000000"},
    };
    for (const ListCase& c : cases) {
        std::vector<FrameRequest> requests;
        std::string error;
        const bool parsed = grab::ParseFrameList(c.text, requests, error);
        ASSERT_EQ(parsed, !c.values.empty()) << '"' << c.text << "\": " << error;
        if (!parsed) {
            EXPECT_NE(error.find(c.said), std::string::npos) << error;
            EXPECT_EQ(error.rfind("--frames", 0), 0u) << error;
            continue;
        }
        std::vector<std::int64_t> values;
        for (const FrameRequest& request : requests) {
            EXPECT_EQ(request.kind, FrameRequest::Kind::Frame);
            EXPECT_EQ(request.requested, "frame " + std::to_string(request.value));
            values.push_back(request.value);
        }
        EXPECT_EQ(values, c.values) << c.text;
    }
}

TEST(FrameRequests, ATimeFileHoldsOneTimeALine) {
    testing_support::TemporaryFolder folder;
    const auto write = [&](const char* name, const char* text) {
        std::ofstream(folder.Path() / name) << text;
        return "@" + (folder.Path() / name).string();
    };
    std::vector<FrameRequest> requests;
    std::string error;
    ASSERT_TRUE(grab::ParseTimeList(
        write("cues.txt", "# cues\n1.5\n\n  00:00:02.040\r\n   # later\n3\n"), requests, error))
        << error;
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].value, 15'000'000);
    EXPECT_EQ(requests[1].value, 20'400'000);
    EXPECT_EQ(requests[1].requested, "time 00:00:02.040");
    EXPECT_EQ(requests[2].kind, FrameRequest::Kind::Time);

    const std::pair<std::string, const char*> refused[] = {
        {write("bad.txt", "1\n2\n1,5\n"), "line 3: \"1,5\" is not a time"},
        {write("empty.txt", "# nothing\n\n"), "holds no time"},
        {"@" + (folder.Path() / "missing.txt").string(), "cannot read"},
        {"1.5,,2", "empty entry"},
    };
    for (const auto& [text, said] : refused) {
        std::vector<FrameRequest> none;
        EXPECT_FALSE(grab::ParseTimeList(text, none, error)) << text;
        EXPECT_NE(error.find(said), std::string::npos) << error;
    }
}

std::optional<grab::Settings> Parse(std::vector<std::string> arguments, std::string& error) {
    return grab::ParseArguments(arguments, error);
}

TEST(FrameRequests, NothingElseThatChoosesFramesGoesWithThem) {
    const std::vector<std::vector<std::string>> lines = {
        {"--frames", "1", "--times", "2"},    {"--frames", "1", "--every", "2"},
        {"--times", "1", "--interval", "2"},  {"--frames", "1", "--count", "3"},
        {"--times", "1", "--start", "2"},     {"--frames", "1", "--paced"},
        {"--list", "--frames", "1", "--report", "r.json"},
    };
    for (std::vector<std::string> line : lines) {
        const std::string first = line[0] == "--list" ? line[3] : line[2];
        line.insert(line.end(), {"a.mp4", "out"});
        std::string error;
        EXPECT_FALSE(Parse(line, error)) << line[2];
        EXPECT_NE(error.find(first), std::string::npos) << error;
    }
}

TEST(FrameRequests, ListAndJsonProgressOnTheCommandLine) {
    std::string error;
    const auto listing = Parse({"--list", "--frames", "0-2,9", "a.mp4", "b.mp4"}, error);
    ASSERT_TRUE(listing) << error;
    EXPECT_TRUE(listing->list);
    EXPECT_EQ(listing->videos.size(), 2u); // no output folder among them
    EXPECT_EQ(listing->count, 4);
    EXPECT_EQ(listing->requests.back().value, 9);

    for (const auto& line : std::vector<std::vector<std::string>>{
             {"--progress", "json", "a.mp4", "out"}, {"a.mp4", "--progress=json", "out"}}) {
        const auto json = Parse(line, error);
        ASSERT_TRUE(json) << error;
        EXPECT_TRUE(json->progressJson);
        EXPECT_EQ(json->videos, std::vector<std::filesystem::path>{"a.mp4"});
    }
    // Alone it is the progress line; after `--`, or as a value, a name.
    const auto plain = Parse({"--progress", "a.mp4", "out"}, error);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->progress && !plain->progressJson);
    const auto named = Parse({"--label", "--progress", "json", "out"}, error);
    ASSERT_TRUE(named) << error;
    EXPECT_EQ(named->label, "--progress");
    EXPECT_FALSE(named->progressJson);
}

} // namespace
