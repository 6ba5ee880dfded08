// The report as JSON, written by hand so that fields keep their order and
// 64-bit integers are exact, and read back through Qt's parser.
#pragma once

#include "grab_report.h"

#include <optional>
#include <string>
#include <string_view>

namespace grab {

// Pretty UTF-8 JSON: {"tool": "tesselon-grab", "videos": [...], "totals": {...}},
// each video with its fields, its frames (one to a line) and its totals.
// pictureHash is left out. Integers are written exactly, all 64 bits.
std::string ToJson(const Report&);
// Reads what ToJson wrote; stored totals are ignored. None with a one-line
// reason for malformed text or a field of the wrong kind.
std::optional<Report> ParseJsonReport(std::string_view text, std::string& error);

} // namespace grab
