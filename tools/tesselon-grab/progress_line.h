// The progress line of a grab over many videos: the video in hand, its frames
// and all frames so far, and an estimate of the time left. On a terminal it
// is redrawn in place; elsewhere (when asked for) it is a line now and then,
// or, for other programs, a JSON object at every picture.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace grab {

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;

    enum class Form {
        InPlace, // one line redrawn with a carriage return (a terminal)
        Lines,   // a line every few seconds (a log)
        Json,    // a JSON object a line, at every change
    };

    ProgressLine(std::ostream& out, Form form, int videos, int framesPerVideo);
    // inPlace: Form::InPlace, otherwise Form::Lines.
    ProgressLine(std::ostream& out, bool inPlace, int videos, int framesPerVideo)
        : ProgressLine(out, inPlace ? Form::InPlace : Form::Lines, videos, framesPerVideo) {}

    void StartVideo(int number, const std::string& name);
    // One more frame of the video in hand was taken: its number in the file
    // when counted.
    void Frame(std::optional<std::int64_t> number = std::nullopt);
    void EndVideo();
    // Ends the line on a terminal.
    void Finish();

    // The text shown, for a moment `now`.
    std::string Text(Clock::time_point now) const;
    // {"video": ..., "videoIndex": 1, "videos": 3, "frame": 250, "written": 12,
    // "total": 30, "secondsLeft": 4.2, "done": false}, for a moment `now`.
    std::string Json(Clock::time_point now) const;

private:
    // The run's time left, once the rate can be told.
    std::optional<double> SecondsLeft(Clock::time_point now) const;
    void Show(bool force);

    std::ostream& out_;
    const Form form_;
    const int videos_;
    const int framesPerVideo_;
    const Clock::time_point start_ = Clock::now();
    Clock::time_point lastShown_{};
    int video_ = 0;
    std::string name_;
    int videoFrames_ = 0;
    std::optional<std::int64_t> frame_; // the last taken, in the file
    int framesDone_ = 0; // in every video so far
    int videosDone_ = 0;
    std::size_t shownWidth_ = 0;
};

} // namespace grab
