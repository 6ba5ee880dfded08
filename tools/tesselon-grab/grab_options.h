// The command line of tesselon-grab: what to grab from which videos, where
// the files go and how they are named, and the report.
#pragma once

#include "images/image_format.h"
#include "media/media_stream.h"
#include "options/option_parser.h"
#include "playback/frame_capture.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace grab {

// Exit statuses, as --help documents them.
inline constexpr int kExitAllWritten = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = options::kExitUsage;

// Which sides --size gave: both (WxH), or one, the other then following the
// video's shape as shown (W, or xH).
enum class GivenSide { Both, Width, Height };

struct Settings {
    std::vector<std::filesystem::path> videos;
    std::filesystem::path outputDirectory;
    bool perVideo = false;
    std::string nameTemplate = "{ms}";
    // The pictures' size, the program's by default; native takes each
    // video's own, its pixels made square.
    bool nativeSize = false;
    int width = playback::kCaptureRect.Width();
    int height = playback::kCaptureRect.Height();
    GivenSide givenSide = GivenSide::Both;
    // --format and --quality: JPEG at 75 by default; WebP without --quality
    // is lossless.
    images::StillFormat format;
    std::int32_t startMs = 0;
    int count = 100;
    // --count was given: it then bounds sampling too, which otherwise runs
    // to the end of the video.
    bool countGiven = false;
    // Sampling: every Nth frame, or the first frame at or after each multiple
    // of the interval (in 100 ns units, exactly as given). --every 1 samples
    // too: every frame to the end, not a burst of --count.
    int every = 1;
    bool everyGiven = false;
    std::optional<std::int64_t> interval;
    // --best-of N: the sharpest of every N frames (of every interval with
    // --interval); 0 when not given, 1 takes every frame.
    int bestOf = 0;
    std::optional<std::string> label;
    std::optional<std::filesystem::path> report;
    bool provenance = false;
    bool progress = false; // even when standard error is not a terminal
    bool skipExisting = false;
    bool paced = false;
    // --deinterlace: interlaced video woven into whole pictures as the
    // stream says (auto), always (on) or never (off).
    media::Deinterlace deinterlace = media::Deinterlace::Auto;

    // --merge-reports OUT IN..., or --merge-output OUT IN...
    std::optional<std::filesystem::path> mergeOutput;
    // OUT was named by --merge-output: an existing report there is replaced.
    bool mergeOutputReplaces = false;
    std::vector<std::filesystem::path> mergeInputs;

    bool help = false;
    bool version = false;

    bool Sampling() const { return everyGiven || interval.has_value() || bestOf > 0; }
    bool operator==(const Settings&) const = default;
};

// The settings of a command line, or none (with the reason and a usage line
// in error).
std::optional<Settings> ParseArguments(const std::vector<std::string>& arguments,
                                       std::string& error);

// The text of --help.
std::string HelpText();

// "auto", "on" or "off", as --deinterlace takes it and the report says it.
std::string DeinterlaceName(media::Deinterlace deinterlace);

// The text of --version.
std::string VersionText();

} // namespace grab
