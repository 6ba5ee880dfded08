// The duration probe on clips whose containers do not state their length,
// made by the ffmpeg command at test time and written through a pipe, so that
// nothing (duration, index) is patched in afterwards.
#include "media/duration_probe.h"
#include "media/media_stream.h"
#include "media/ffmpeg_handles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using media::DurationProbeLimits;
using media::kStreamUnitsPerSecond;
using media::StreamTime;

constexpr StreamTime kFrame25 = kStreamUnitsPerSecond / 25;
constexpr StreamTime k20Seconds = 20 * kStreamUnitsPerSecond;
const std::string kPattern = "-f lavfi -i testsrc=s=176x144:r=25:d=20 ";

const std::map<std::string, std::string> kRecipes = {
    {"elementary.m1v", kPattern + "-c:v mpeg1video -f mpeg1video"},
    {"raw.h264", kPattern + "-c:v libx264 -f h264"},
    // 30 frames a second, where the raw demuxer assumes 25 until it parses.
    {"raw_30fps.h264", "-f lavfi -i testsrc=s=176x144:r=30:d=10 -c:v libx264 -f h264"},
    // The sequence header states the peak rate, more than twice the mean.
    {"variable_rate.mpg",
     kPattern + "-c:v mpeg1video -b:v 150k -maxrate 600k -bufsize 300k -f mpeg1video"},
    {"streamed.mkv", kPattern + "-c:v libx264 -f matroska"},
    {"streamed.asf", kPattern + "-c:v wmv2 -f asf"},
    // Sound goes on for 5 s after the picture: the last 48 KB hold no video.
    {"longer_sound.mkv", kPattern + "-f lavfi -i sine=d=25 -c:v libx264 -c:a mp2 -f matroska"},
    {"longer_sound.asf", kPattern + "-f lavfi -i sine=d=25 -c:v wmv2 -c:a wmav2 -f asf"},
    {"sound.mp2", "-f lavfi -i sine=d=5 -f mp2"},
};

bool Runs(const std::string& command) {
    return std::system((command + " 2> /dev/null").c_str()) == 0;
}

// Clips are made once per process into its own folder, removed on exit.
struct ClipFolder {
    ClipFolder() { fs::create_directories(path); }
    ~ClipFolder() { fs::remove_all(path); }
    fs::path path = fs::temp_directory_path() / ("tesselon-duration-" + std::to_string(getpid()));
};

fs::path Clip(const std::string& name) {
    static const ClipFolder folder;
    const fs::path path = folder.path / name;
    if (!fs::exists(path) &&
        !Runs("ffmpeg -nostdin " + kRecipes.at(name) + " - > '" + path.string() + "'"))
        fs::remove(path);
    return path;
}

// Opened as the media stream opens a file.
media::FormatContextPtr OpenFormat(const fs::path& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return nullptr;
    media::FormatContextPtr opened(raw);
    avformat_find_stream_info(opened.get(), nullptr);
    return opened;
}

std::optional<StreamTime> Probe(const fs::path& path, const DurationProbeLimits& limits = {}) {
    const media::FormatContextPtr opened = OpenFormat(path);
    return opened ? media::ProbeDuration(path, *opened, limits) : std::nullopt;
}

// Lengths are compared to the nearest 25 fps frame.
std::optional<StreamTime> InFrames(std::optional<StreamTime> length) {
    if (length)
        return (*length + kFrame25 / 2) / kFrame25;
    return std::nullopt;
}

// How far ffprobe gets reading the whole file: its frames' lengths added up,
// or the end of its latest frame where later frames survive a damaged middle.
std::optional<StreamTime> ReadableLength(const fs::path& path) {
    const std::string command = "ffprobe -v quiet -select_streams v:0 -show_entries "
                                "packet=pts_time,duration_time -of csv=p=0 '" +
                                path.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    double summed = 0, first = 1e9, end = 0;
    char line[128];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
        // "time,length", either of them "N/A"; an unknown length is one frame.
        double time = 0, length = 0.04;
        if (const char* comma = std::strchr(line, ','))
            std::sscanf(comma + 1, "%lf", &length);
        if (std::sscanf(line, "%lf", &time) == 1) {
            first = std::min(first, time);
            end = std::max(end, time + length);
        }
        summed += length;
    }
    if (pipe != nullptr)
        pclose(pipe);
    const double seconds = std::max(summed, end - first);
    return seconds > 0 ? std::optional(StreamTime(seconds * kStreamUnitsPerSecond)) : std::nullopt;
}

class DurationProbeTest : public testing::Test {
protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_QUIET); }
    void SetUp() override {
        if (!Runs("ffmpeg -version > /dev/null") || !Runs("ffprobe -version > /dev/null"))
            GTEST_SKIP() << "the ffmpeg command is missing";
    }
};

class DurationProbeClip : public DurationProbeTest,
                          public testing::WithParamInterface<std::pair<const char*, StreamTime>> {};

TEST_P(DurationProbeClip, FindsTheLengthFFmpegMissesOrMisjudges) {
    const auto [name, length] = GetParam();
    const media::FormatContextPtr opened = OpenFormat(Clip(name));
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(media::DurationNeedsProbe(*opened));
    if (opened->duration != AV_NOPTS_VALUE) {
        EXPECT_GT(std::abs(opened->duration * 10 - length), kStreamUnitsPerSecond);
    }
    EXPECT_EQ(InFrames(media::ProbeDuration(Clip(name), *opened)), InFrames(length));
    // The stream reports it, so the slider's range covers the whole file.
    media::MediaStream stream({media::DefaultTimeSource(), media::AudioMode::Silent});
    ASSERT_TRUE(stream.OpenFile(Clip(name)));
    EXPECT_EQ(InFrames(stream.GetDuration()), InFrames(length));
}

// Where sound outlasts the picture, the picture's length.
INSTANTIATE_TEST_SUITE_P(Kinds, DurationProbeClip,
                         testing::Values(std::pair("elementary.m1v", k20Seconds),
                                         std::pair("raw.h264", k20Seconds),
                                         std::pair("raw_30fps.h264", k20Seconds / 2),
                                         std::pair("variable_rate.mpg", k20Seconds),
                                         std::pair("streamed.mkv", k20Seconds),
                                         std::pair("streamed.asf", k20Seconds),
                                         std::pair("longer_sound.mkv", k20Seconds)),
                         [](const auto& info) {
                             std::string name = info.param.first;
                             return name.replace(name.find('.'), 1, "_");
                         });

// The limits leave the probe one way: the end only (a whole file of 0 bytes),
// with or without retreating, or the whole file up to a bound.
TEST_F(DurationProbeTest, EachWayAnswersOnlyWhereItCanBeTrusted) {
    const struct {
        const char* clip;
        DurationProbeLimits limits;
        std::optional<StreamTime> expected;
    } cases[] = {
        {"streamed.mkv", {16 << 10, 16 << 10, 0}, k20Seconds},
        // Elementary streams count time from where reading began.
        {"elementary.m1v", {16 << 10, 16 << 10, 0}, std::nullopt},
        {"raw.h264", {16 << 10, 16 << 10, 0}, std::nullopt},
        // ASF, as Matroska finds its way back to earlier clusters by itself.
        {"longer_sound.asf", {4 << 10, 4 << 10, 0}, std::nullopt},
        {"longer_sound.asf", {4 << 10, 1 << 20, 0}, k20Seconds},
        // The clip is about 90 KB.
        {"raw.h264", {16 << 10, 16 << 10, 64 << 10}, std::nullopt},
        {"raw.h264", {16 << 10, 16 << 10, 1 << 20}, k20Seconds},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InFrames(Probe(Clip(c.clip), c.limits)), InFrames(c.expected)) << c.clip;
}

// However far FFmpeg can still read a damaged file, the probe measures; a file
// with no frame left has no length. Each copy keeps the first `kept` of the
// clip and has `patternBytes` of 0xA5 written at `patternAt` of its size.
TEST_F(DurationProbeTest, DamagedFilesMeasureWhatIsLeft) {
    const struct {
        const char* clip;
        double kept;
        double patternAt;
        std::size_t patternBytes;
    } damages[] = {
        {"elementary.m1v", 0.57, 0, 0},        {"elementary.m1v", 1, 0.4, 65536},
        {"elementary.m1v", 1, 0.001, 1 << 20}, {"raw.h264", 0.5, 0.3, 4096},
        {"streamed.mkv", 0.61, 0, 0},          {"streamed.mkv", 1, 0.9, 8192},
        {"streamed.asf", 0.73, 0.5, 3000},
    };
    for (const auto& damage : damages) {
        const fs::path copy = Clip(damage.clip).replace_extension(".damaged");
        const auto size = static_cast<double>(fs::file_size(Clip(damage.clip)));
        fs::copy_file(Clip(damage.clip), copy, fs::copy_options::overwrite_existing);
        fs::resize_file(copy, static_cast<std::uintmax_t>(size * damage.kept));
        std::fstream(copy, std::ios::in | std::ios::out | std::ios::binary)
                .seekp(static_cast<std::streamoff>(size * damage.patternAt))
            << std::string(damage.patternBytes, '\xA5');
        EXPECT_EQ(InFrames(Probe(copy)), InFrames(ReadableLength(copy)))
            << damage.clip << " kept " << damage.kept << " pattern at " << damage.patternAt;
    }
}

TEST_F(DurationProbeTest, LeavesStatedDurationsAndFilesWithoutVideoAlone) {
    for (const char* name : {"index.mp4", "index.mpg", "index.asf"}) {
        const fs::path path = fs::path(TESSELON_TEST_DATA) / name;
        const media::FormatContextPtr opened = OpenFormat(path);
        ASSERT_NE(opened, nullptr) << name;
        EXPECT_FALSE(media::DurationNeedsProbe(*opened)) << name;
        EXPECT_FALSE(media::ProbeDuration(path, *opened).has_value()) << name;
    }
    const media::FormatContextPtr sound = OpenFormat(Clip("sound.mp2"));
    ASSERT_NE(sound, nullptr);
    EXPECT_TRUE(media::DurationNeedsProbe(*sound));
    EXPECT_FALSE(media::ProbeDuration(Clip("sound.mp2"), *sound).has_value());
}

} // namespace
