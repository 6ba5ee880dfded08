// PositionPanes: the main frame's status bar widgets that show where the
// stream is. Pane 0 stretches and holds the position slider, with the paused
// frame's label before it; the position and duration panes follow, each wide
// enough for the longest time. A prompt shown in the status bar covers pane 0
// for as long as it is shown.
//
// The status bar owns the widgets. User-interface thread only.
#pragma once

class QLabel;
class QSlider;
class QStatusBar;
class QWidget;

class PositionPanes {
public:
    static constexpr int kPaneWidth = 45;
    // The slider's least width, when the paused frame's label shares its pane.
    static constexpr int kMinimumSliderWidth = 48;

    // Everything but the slider, which comes later (CreateSlider).
    explicit PositionPanes(QStatusBar& bar);

    // Start-up: the slider in pane 0. Null when it exists already.
    QSlider* CreateSlider();
    // The slider fills pane 0 through the pane's layout; settles it now.
    void PlaceSlider();

    // The slider's range and page, and the duration pane's text.
    void ShowDuration(int seconds);
    // The position pane's text.
    void ShowPosition(int seconds);
    // The slider's value, as a move of the user's would set it.
    void MoveSlider(int seconds);
    // The slider's value, without a signal: the program moved it, not the user.
    void SetSliderQuietly(int seconds);

    // Null until CreateSlider.
    QSlider* Slider() const { return slider_; }
    QLabel* PositionPane() const { return positionPane_; }
    QLabel* DurationPane() const { return durationPane_; }
    // Beside the slider while paused: the frame's number and time.
    QLabel* FrameLabel() const { return frameLabel_; }

private:
    QLabel* AddTimePane(QStatusBar& bar, int id);

    QWidget* sliderPane_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* positionPane_ = nullptr;
    QLabel* durationPane_ = nullptr;
    QLabel* frameLabel_ = nullptr;
};
