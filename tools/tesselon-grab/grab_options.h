// The command line of tesselon-grab: what to grab from which videos, where
// the files go and how they are named, and the report.
#pragma once

#include "frame_requests.h"
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

// --scenes without a threshold, on the scene score (see scene_measure.h):
// cuts between test patterns, colour bars, a fractal and a white flash scored
// 0.26 to 0.36, motion within one shot (a pan, a zoom, moving patterns) 0.015
// at most. Cuts between alike shots score lower, so the threshold sits well
// below the cuts rather than midway.
inline constexpr double kDefaultSceneThreshold = 0.1;
// --min-gap without a value: a flash or a flicker changes the picture and
// changes it back within a few frames, which half a second covers.
inline constexpr double kDefaultMinGapSeconds = 0.5;

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
    // --frames or --times: exactly these frames, in this order (count is
    // their number).
    std::vector<FrameRequest> requests;
    // --list: print the frames that would be taken, as JSON lines; write none.
    bool list = false;
    // --keyframes: only the keyframes, decoded without the frames between.
    bool keyframes = false;
    // --scenes: the first frame of each shot, where the scene score exceeds
    // the threshold; none without --scenes.
    std::optional<double> sceneThreshold;
    // --min-gap: after a frame taken for a scene change, changes within this
    // many seconds are not taken.
    double minGapSeconds = kDefaultMinGapSeconds;
    bool minGapGiven = false;
    // --best-of N: the sharpest of every N frames (of every interval with
    // --interval); 0 when not given, 1 takes every frame.
    int bestOf = 0;
    std::optional<std::string> label;
    std::optional<std::filesystem::path> report;
    bool provenance = false;
    // --metadata: Exif and XMP in every picture (frame_metadata.h).
    bool metadata = false;
    bool progress = false; // even when standard error is not a terminal
    bool progressJson = false; // --progress json: JSON lines for other programs
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

    // --sheet COLSxROWS: one contact sheet per video instead of a file per
    // frame; --sheet-width its width in pixels, 0 for the default
    // (SheetWidthFor).
    int sheetColumns = 0;
    int sheetRows = 0;
    int sheetWidth = 0;

    bool help = false;
    bool version = false;

    // Frames chosen to the end of the video (or --count), not a burst.
    bool Sampling() const {
        return everyGiven || interval.has_value() || keyframes || sceneThreshold.has_value() ||
               bestOf > 0;
    }
    bool Sheet() const { return sheetColumns > 0; }
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
