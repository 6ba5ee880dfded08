// The progress line of a grab over many videos: the video in hand, its frames
// and all frames so far, and an estimate of the time left. On a terminal it
// is redrawn in place; elsewhere (when asked for) it is a line now and then.
#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

namespace grab {

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;

    // inPlace: redraw one line with a carriage return (a terminal).
    ProgressLine(std::ostream& out, bool inPlace, int videos, int framesPerVideo);

    void StartVideo(int number, const std::string& name);
    // One more frame of the video in hand was taken.
    void Frame();
    void EndVideo();
    // Ends the line on a terminal.
    void Finish();

    // The text shown, for a moment `now`.
    std::string Text(Clock::time_point now) const;

private:
    void Show(bool force);

    std::ostream& out_;
    const bool inPlace_;
    const int videos_;
    const int framesPerVideo_;
    const Clock::time_point start_ = Clock::now();
    Clock::time_point lastShown_{};
    int video_ = 0;
    std::string name_;
    int videoFrames_ = 0;
    int framesDone_ = 0; // in every video so far
    int videosDone_ = 0;
    std::size_t shownWidth_ = 0;
};

} // namespace grab
