#include "progress_line.h"

#include <algorithm>
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

ProgressLine::ProgressLine(std::ostream& out, bool inPlace, int videos, int framesPerVideo)
    : out_(out)
    , inPlace_(inPlace)
    , videos_(videos)
    , framesPerVideo_(framesPerVideo) {}

void ProgressLine::StartVideo(int number, const std::string& name) {
    video_ = number;
    name_ = name;
    videoFrames_ = 0;
    Show(true);
}

void ProgressLine::Frame() {
    ++videoFrames_;
    ++framesDone_;
    Show(false);
}

void ProgressLine::EndVideo() {
    ++videosDone_;
    Show(true);
}

void ProgressLine::Finish() {
    if (inPlace_ && shownWidth_ > 0)
        out_ << '\n' << std::flush;
    shownWidth_ = 0;
}

std::string ProgressLine::Text(Clock::time_point now) const {
    char text[160];
    std::snprintf(text, sizeof text, "video %d/%d %s: %d/%d frames · all %d/%d", video_, videos_,
                  name_.c_str(), videoFrames_, framesPerVideo_, framesDone_,
                  videos_ * framesPerVideo_);
    std::string line = text;
    // The rate so far, over the frames still to take; a video that ends
    // early (sampling, failures) counts as done whole.
    const int planned = videos_ * framesPerVideo_;
    const int done = videosDone_ * framesPerVideo_ + (video_ > videosDone_ ? videoFrames_ : 0);
    const auto elapsed = std::chrono::duration<double>(now - start_).count();
    if (done > 0 && elapsed > 0.5) {
        const double left = elapsed / done * std::max(planned - done, 0);
        line +=
            " · " + Duration(std::chrono::seconds(static_cast<long long>(left + 0.5))) + " left";
    }
    return line;
}

void ProgressLine::Show(bool force) {
    const Clock::time_point now = Clock::now();
    if (!force && now - lastShown_ < (inPlace_ ? kTerminalPeriod : kLogPeriod))
        return;
    lastShown_ = now;
    const std::string line = Text(now);
    if (!inPlace_) {
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
