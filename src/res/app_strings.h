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

// res::SharedTableString(id) when that has the string, otherwise the main frame's
// own text for `id`, otherwise an empty string. Any thread.
QString LoadAppString(int id);

} // namespace res
