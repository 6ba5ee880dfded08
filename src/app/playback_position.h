// PlaybackPosition: where the open stream is, shown in the status bar and
// moved by the user. Once a second the slider and the position pane follow
// the stream, unless the user moved the slider away, which seeks there.
// Frame by frame, Pause toggles, the steps pause first, and the jumps keep
// playing or stay paused as they find the stream; while paused, the frame on
// show is presented and named beside the slider.
//
// It drives gSource and gPresenter, never while a capture batch owns them
// (gCommandsEnabled is 0 then). User-interface thread only.
#pragma once

#include "app/go_to_target.h"

#include <QObject>
#include <QTimer>

#include <cstdint>

class PositionPanes;
class QAction;

class PlaybackPosition : public QObject {
public:
    static constexpr int kTimerPeriodMs = 1000;
    static constexpr int kJumpSeconds = 5;

    // `pause` is the Pause command, checked while the stream is paused. Both
    // outlive this object.
    PlaybackPosition(PositionPanes& panes, QAction& pause);

    // Start-up: the slider, which seeks when the user moves it while
    // paused. 0 on success, -1 when it exists already.
    int CreateSlider();

    // A file just opened: its duration and start shown, playing, followed.
    void Start();
    // The file closed: no longer followed.
    void Stop();
    bool IsFollowing() const { return timer_.isActive(); }
    // The one-second tick.
    void OnTimer();
    // The slider and the position pane show where the stream is now.
    void FollowStreamPosition();
    // Pause checked while paused, and the paused frame presented, with its
    // number and time beside the slider.
    void ShowPlaybackState();

    // The Control commands.
    void PauseToggle();
    void NextFrame();
    void PreviousFrame();
    void Back5Seconds();
    void Forward5Seconds();
    void GoToStart();
    // Control, Go to: pauses on exactly that frame, or the first at or after
    // that time. Empty, or why there is no such frame (`typed` is the text
    // the user entered, for the message).
    QString GoTo(const GoToTarget& target, const QString& typed);

    int DurationSeconds() const { return durationSeconds_; }
    int PositionSeconds() const { return positionSeconds_; }

private:
    void JumpTo(std::int64_t streamTime);
    // A slider moved by the user while paused shows the frame there.
    void OnSliderMovedWhilePaused();
    // Widens the slider and the duration pane to a duration that grew.
    void FollowGrowingDuration();

    PositionPanes& panes_;
    QAction& pause_;
    QTimer timer_;
    int durationSeconds_ = 0;
    int positionSeconds_ = 0;
};
