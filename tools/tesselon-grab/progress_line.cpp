#include "progress_line.h"

#include "json_text.h"
#include "report_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace grab {

namespace {

// A terminal is redrawn ten times a second; a log gets a line every few seconds.
constexpr auto kTerminalPeriod = std::chrono::milliseconds(100);
constexpr auto kLogPeriod = std::chrono::seconds(5);

std::string Duration(std::chrono::seconds seconds) {
    const long long s = seconds.count();
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

} // namespace

ProgressLine::ProgressLine(std::ostream& out, Form form, int videos, int framesPerVideo)
    : out_(out)
    , form_(form)
    , videos_(videos)
    , framesPerVideo_(framesPerVideo) {}

void ProgressLine::StartVideo(int number, const std::string& name) {
    video_ = number;
    name_ = name;
    videoFrames_ = 0;
    frame_.reset();
    Show(true);
}

void ProgressLine::Frame(std::optional<std::int64_t> number) {
    ++videoFrames_;
    ++framesDone_;
    frame_ = number;
    Show(form_ == Form::Json);
}

void ProgressLine::EndVideo() {
    ++videosDone_;
    Show(true);
}

void ProgressLine::Finish() {
    if (form_ == Form::InPlace && shownWidth_ > 0)
        out_ << '\n' << std::flush;
    shownWidth_ = 0;
}

std::string ProgressLine::Text(Clock::time_point now) const {
    char text[160];
    std::snprintf(text, sizeof text, "video %d/%d %s: %d/%d frames · all %d/%d", video_, videos_,
                  name_.c_str(), videoFrames_, framesPerVideo_, framesDone_,
                  videos_ * framesPerVideo_);
    std::string line = text;
    if (const std::optional<double> left = SecondsLeft(now))
        line +=
            " · " + Duration(std::chrono::seconds(static_cast<long long>(*left + 0.5))) + " left";
    return line;
}

std::string ProgressLine::Json(Clock::time_point now) const {
    std::string line = "{\"video\": ";
    AppendJsonString(line, name_);
    const auto field = [&](const char* key, auto value) {
        line += std::string(", \"") + key + "\": ";
        AppendNumber(line, value);
    };
    field("videoIndex", video_);
    field("videos", videos_);
    line += ", \"frame\": ";
    if (frame_)
        AppendNumber(line, *frame_);
    else
        line += "null";
    field("written", videoFrames_);
    field("total", framesPerVideo_);
    line += ", \"secondsLeft\": ";
    if (const std::optional<double> left = SecondsLeft(now))
        AppendNumber(line, std::round(*left * 10) / 10);
    else
        line += "null";
    line += std::string(", \"done\": ") + (videosDone_ >= video_ ? "true" : "false") + "}";
    return line;
}

// The rate so far, over the frames still to take; a video that ends early
// (sampling, failures) counts as done whole.
std::optional<double> ProgressLine::SecondsLeft(Clock::time_point now) const {
    const int planned = videos_ * framesPerVideo_;
    const int done = videosDone_ * framesPerVideo_ + (video_ > videosDone_ ? videoFrames_ : 0);
    const auto elapsed = std::chrono::duration<double>(now - start_).count();
    if (done <= 0 || elapsed <= 0.5)
        return std::nullopt;
    return elapsed / done * std::max(planned - done, 0);
}

void ProgressLine::Show(bool force) {
    const Clock::time_point now = Clock::now();
    if (!force && now - lastShown_ < (form_ == Form::InPlace ? kTerminalPeriod : kLogPeriod))
        return;
    lastShown_ = now;
    const std::string line = form_ == Form::Json ? Json(now) : Text(now);
    if (form_ != Form::InPlace) {
        out_ << line << '\n' << std::flush;
        return;
    }
    // Spaces wipe what a longer line before left.
    const std::size_t width = line.size();
    out_ << '\r' << line << std::string(shownWidth_ > width ? shownWidth_ - width : 0, ' ')
         << std::flush;
    shownWidth_ = width;
}

} // namespace grab
