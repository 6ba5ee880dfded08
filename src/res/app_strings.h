// Strings of the main frame that the shared table does not hold: the texts
// that the status bar's position and duration panes show before a file is
// open. The program installs a lookup that asks the shared table first:
//     platform::InstallStringTable(&res::LoadAppString);
#pragma once

#include <QString>

namespace res {

// res::LoadString(id) when that has the string, otherwise the main frame's
// own text for `id`, otherwise an empty string. Any thread.
QString LoadAppString(int id);

} // namespace res
