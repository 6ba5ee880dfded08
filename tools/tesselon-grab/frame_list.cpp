#include "frame_list.h"

#include "json_text.h"
#include "report_text.h"

#include <cmath>

namespace grab {

namespace {

void AppendDouble(std::string& out, double value) {
    if (std::isfinite(value))
        AppendNumber(out, value);
    else
        out += "null";
}

} // namespace

std::string ListLine(const std::string& video, const FrameRecord& frame) {
    std::string line = "{\"video\": ";
    AppendJsonString(line, video);
    line += ", \"frame\": ";
    if (frame.frame)
        AppendNumber(line, *frame.frame);
    else
        line += "null";
    line += ", \"time\": ";
    AppendJsonString(line, ToString(frame.time));
    line += ", \"ms\": ";
    AppendDouble(line, frame.ms);
    line += ", \"keyFrame\": ";
    line += !frame.keyFrame ? "null" : *frame.keyFrame ? "true" : "false";
    if (!frame.requested.empty()) {
        line += ", \"requested\": ";
        AppendJsonString(line, frame.requested);
    }
    if (const std::optional<double> score = frame.sceneScore ? frame.sceneScore : frame.sharpness) {
        line += ", \"score\": ";
        AppendDouble(line, *score);
    }
    return line + "}";
}

} // namespace grab
