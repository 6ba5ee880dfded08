// JSON strings as the report writes them, for the other JSON that
// tesselon-grab prints (--list, --progress json).
#pragma once

#include <string>
#include <string_view>

namespace grab {

// Appends text as a quoted JSON string. A byte that is not part of
// well-formed UTF-8 becomes the lone surrogate \udcXX (see report_json.h).
void AppendJsonString(std::string& out, std::string_view text);

} // namespace grab
