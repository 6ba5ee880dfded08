// The string table. The program installs it at start-up so that
// platform::LoadString and platform::FormatString find the texts:
//     platform::InstallStringTable(&res::SharedTableString);
#pragma once

#include <QString>

namespace res {

// The text of string `id` (status prompts as "prompt\ntooltip"), or an empty
// string for an id that is not in the table. Any thread.
QString SharedTableString(int id);

} // namespace res
