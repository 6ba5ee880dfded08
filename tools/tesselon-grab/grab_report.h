// The integrity report of a grab: per video its source, its stream and every
// frame taken, with the checks of frame_checks.h. Written as JSON, or CSV for
// spreadsheets; per-video reports of separate runs merge into one.
#pragma once

#include "fraction.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace grab {

struct FrameRecord {
    std::string file;                  // the JPEG path written (or that would have been)
    Fraction time;                     // seconds from the video's first frame, exact
    double ms = 0;                     // the same in milliseconds (may be fractional)
    std::optional<std::int64_t> frame; // true frame number in the file, from 0
    std::optional<bool> keyFrame;
    std::string pictureType;       // "I","P","B","S","SI","SP","BI", or "" when unknown
    std::uint64_t pictureHash = 0; // of the captured pixels, 0 = not hashed; not in reports
    bool written = false;
    bool skipped = false; // not written because the file existed (--skip-existing)
    std::string error;    // why it was not written; empty when written or skipped
    // Set by MarkChecks:
    bool gap = false;           // frames missing before this one
    bool repeat = false;        // the same frame (or picture) as the one before
    bool irregularStep = false; // the time step to this frame is unlike the others
    // What a selection knew of the frame when it took it:
    std::string requested;                // what was asked for: "frame 250", "time 1.5"; "" otherwise
    std::optional<double> sceneScore;     // how unlike the frame before it is, 0 to 1
    std::optional<double> sharpness;      // the picture's sharpness score
    bool nearDuplicate = false;           // almost the same picture as the one before
    friend bool operator==(const FrameRecord&, const FrameRecord&) = default;
};

struct VideoRecord {
    std::string path; // the source video's path as given
    std::optional<std::uintmax_t> bytes;
    std::string sha256;        // lower-case hex; empty when not computed
    std::string codec;         // FFmpeg codec name, e.g. "h264"
    int width = 0, height = 0; // frame size as shown: the coded size, turned
    Fraction sampleAspect{1, 1};
    Fraction displayAspect{0, 1};
    int outputWidth = 0, outputHeight = 0; // size of the written pictures
    std::string error;                     // non-empty when the video failed as a whole
    // The run was stopped by a signal before this video's frames were all
    // taken (or before it was started): its frames are what was taken.
    bool interrupted = false;
    // The turn the file's display matrix asks for, applied to every picture:
    // degrees clockwise, then a left-right flip when mirrored.
    int rotation = 0;
    bool mirrored = false;
    std::vector<FrameRecord> frames;
    std::string deinterlace;   // the --deinterlace setting; empty in reports of earlier versions
    bool deinterlaced = false; // some frame taken was deinterlaced
    friend bool operator==(const VideoRecord&, const VideoRecord&) = default;
};

struct Totals {
    int videos = 0, videosFailed = 0, framesWritten = 0, framesSkipped = 0, framesFailed = 0,
        gaps = 0, repeats = 0, irregularSteps = 0, videosInterrupted = 0;
    friend bool operator==(const Totals&, const Totals&) = default;
};
// A frame failed when it has an error; a video failed when it has an error or
// a failed frame.
Totals TotalsOf(const VideoRecord&);
Totals TotalsOf(const std::vector<VideoRecord>&);

struct Report {
    std::vector<VideoRecord> videos;
};

// Writes JSON, or CSV when the name ends in ".csv" (any case), whole or not at
// all (files::OutputFile), so a reader never sees half a report; "-" is
// standard output, and a device or FIFO is written to, never replaced. False
// with a one-line reason on failure.
bool WriteReport(const Report&, const std::filesystem::path&, std::string& error);
// Reads what WriteReport wrote: CSV for ".csv", JSON for ".json", otherwise as
// the content looks. Stored totals are ignored. None with a one-line reason
// for a missing, unreadable, malformed or too large file (kMaxReportBytes).
// Byte counts must be below 2^63.
std::optional<Report> ReadReport(const std::filesystem::path&, std::string& error);
// Reads no more of a report than this: a report of about a million frames
// (10,000 videos of 100) fits, while an endless input such as a device or a
// pipe is refused before its text and its parse exhaust the memory.
inline constexpr std::size_t kMaxReportBytes = std::size_t{256} << 20;
// The videos of all reports in the order given, frames and checks as they are.
Report MergeReports(std::vector<Report>);

} // namespace grab
