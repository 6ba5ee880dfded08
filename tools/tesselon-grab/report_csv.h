// The report as CSV for spreadsheets, one row per frame, and read back.
#pragma once

#include "grab_report.h"

#include <optional>
#include <string>
#include <string_view>

namespace grab {

// RFC 4180 (CRLF, quoted where needed): a header line, then one row per frame
// with its video's fields repeated and the video's number from 1 in the first
// column; a video without frames gets one row with empty frame fields. The
// video's own error is in "videoError", a frame's in "error".
std::string ToCsv(const Report&);
// Reads what ToCsv wrote, columns in any order. None with a one-line reason
// for a missing column, a malformed field or videos out of order.
std::optional<Report> ParseCsvReport(std::string_view text, std::string& error);

} // namespace grab
