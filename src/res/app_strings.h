// Strings that the shared table does not hold: the texts that the status
// bar's position and duration panes show before a file is open, and the
// program's own later messages, each under an id of its own. The program
// installs a lookup that asks the shared table first:
//     platform::InstallStringTable(&res::LoadAppString);
#pragma once

#include <QString>

namespace res {

// Save all, when some of its files exist: replace them all, keep both, or
// cancel. %1 = the save directory.
inline constexpr int IDS_SAVE_ALL_FILES_EXIST = 61215;

// Opening a video of which not one frame decodes. %1 = the file's name.
inline constexpr int IDS_NO_DECODABLE_FRAME = 61231;

// A capture batch at the video's own size that needs more than half the
// memory free: capture at 360 × 240 instead, or cancel. %1 = the frames, %2
// and %3 = their width and height, %4 = the memory needed, %5 = the free.
inline constexpr int IDS_CAPTURE_NEEDS_MEMORY = 61232;

// A recent video chosen from the File menu that is gone. %1 = its path.
inline constexpr int IDS_RECENT_VIDEO_GONE = 61233;
// The status bar after a snapshot. %1 = the file written; the reason.
inline constexpr int IDS_SNAPSHOT_SAVED = 61234;
inline constexpr int IDS_SNAPSHOT_FAILED = 61235;

// Control, Go to, when there is no such frame. %1 = the number typed, %2 =
// the last frame's; %1 = the time typed; the frames could not be counted.
inline constexpr int IDS_GO_TO_NO_FRAME = 61240;
inline constexpr int IDS_GO_TO_PAST_END = 61241;
inline constexpr int IDS_GO_TO_NOT_COUNTED = 61242;

// res::SharedTableString(id) when that has the string, otherwise the main frame's
// own text for `id`, otherwise an empty string. Any thread.
QString LoadAppString(int id);

} // namespace res
