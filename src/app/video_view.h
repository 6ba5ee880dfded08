// CVideoView: the black child window between the main frame's bars into
// which the display presenter draws the video. It draws nothing itself: once
// the presenter is bound to it, the presented picture paints it.
// User-interface thread only.
#pragma once

#include <QFrame>
#include <QWidget>

class CVideoView : public QWidget {
    Q_OBJECT

public:
    explicit CVideoView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The sunken client edge around the view (the view's extended style on the
// original platform). The view fills it inside the edge.
class VideoViewEdge : public QFrame {
    Q_OBJECT

public:
    explicit VideoViewEdge(QWidget* parent = nullptr);

    CVideoView* View() const { return view_; }

private:
    CVideoView* view_;
};
