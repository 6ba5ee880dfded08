// One video of a grab: opened as the program opens it, its frames captured
// (consecutive, as the capture batch takes them, or sampled by frame number
// or time), named, and written; what became of each goes into its record.
#pragma once

#include "grab_options.h"
#include "grab_report.h"
#include "images/label_band.h"
#include "name_template.h"
#include "playback/capture_names.h"

#include <filesystem>
#include <iosfwd>
#include <map>
#include <optional>

namespace grab {

class ProgressLine;

// What every video of one run shares.
struct GrabContext {
    const Settings& settings;
    const NameTemplate& names;
    // The label's text; each video's band is rendered at its pictures' width.
    const std::optional<QString>& label;
    ProgressLine* progress = nullptr;
    // --list: the frames taken are printed here, one JSON line each, and
    // nothing is written.
    std::ostream* listing = nullptr;
    // Names used so far, per folder: videos that share a folder never
    // overwrite each other's files.
    std::map<std::filesystem::path, playback::NameMaker> usedNames{};
    // --per-video folder names given so far: two videos of one name get two.
    playback::NameMaker perVideoFolders{};
};

// Grabs one video on the calling thread, with no window. The record
// holds every frame taken, written or not, and the video's error when it
// could not be grabbed at all, its frames' checks marked.
VideoRecord GrabVideo(const std::filesystem::path& video, GrabContext& context);

// The pictures' size for a video whose frames are width x height pixels of
// the given shape: the settings' size, or native (square pixels, by
// widening or heightening, never by squeezing).
std::pair<int, int> OutputSize(const Settings& settings, int width, int height,
                               Fraction sampleAspect);

} // namespace grab
