// The report as JSON, written by hand and read back through Qt's parser.
//
// A JSON library would keep the keys' order and the 64-bit integers too, but
// not the bytes that reports have always had: nlohmann-json's writer puts
// every value on a line of its own (here a frame takes one line), writes a
// whole number of milliseconds as "40.0" (here "40") and 0.0001 as "0.0001"
// (here "1e-04"), escapes a backspace as "\b" (here "\u0008"), and for a
// byte that is not UTF-8 can only stop, drop it or write U+FFFD, where the
// byte is kept here as a lone surrogate "\udcXX". Its parser refuses such a
// surrogate, which Qt's takes.
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
