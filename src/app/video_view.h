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
// original platform). The view fills it inside the edge when that area has
// the picture's aspect; otherwise (a maximised frame, a window manager that
// chose the size) the view lies centred in it at the picture's aspect,
// between black bars.
class VideoViewEdge : public QFrame {
    Q_OBJECT

public:
    explicit VideoViewEdge(QWidget* parent = nullptr);

    CVideoView* View() const { return view_; }
    // The picture's width ÷ height; 0 fills the edge whatever its shape.
    void SetPictureAspect(float aspect);
    // Where the view lies in an area of `room` inside the edge.
    static QRect ViewRectIn(QSize room, float aspect);

signals:
    // The area inside the edge changed size.
    void Resized();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceView();

    CVideoView* view_;
    float aspect_ = 0.0f;
};
