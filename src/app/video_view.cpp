#include "app/video_view.h"

#include "controls/control_classes.h"
#include "platform/client_aspect.h"
#include "res/resource_ids.h"

#include <QPalette>

#include <cmath>

namespace {

void PaintBlack(QWidget& widget) {
    QPalette black = widget.palette();
    black.setColor(QPalette::Window, Qt::black);
    widget.setPalette(black);
    widget.setAutoFillBackground(true);
}

} // namespace

CVideoView::CVideoView(QWidget* parent)
    : QWidget(parent) {
    // The class background: the black stock brush, and the arrow cursor.
    PaintBlack(*this);
    setCursor(Qt::ArrowCursor);
    controls::SetControlId(this, res::ID_VIDEO_VIEW);
}

void CVideoView::paintEvent(QPaintEvent*) {
    // The background is filled by Qt; the picture comes from the presenter.
}

VideoViewEdge::VideoViewEdge(QWidget* parent)
    : QFrame(parent)
    , view_(new CVideoView(this)) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    // The bars beside a view in aspect are black like the view.
    PaintBlack(*this);
}

void VideoViewEdge::SetPictureAspect(float aspect) {
    aspect_ = aspect;
    PlaceView();
}

QRect VideoViewEdge::ViewRectIn(QSize room, float aspect) {
    const QRect whole(QPoint(0, 0), room);
    if (aspect <= 0.0f || room.isEmpty())
        return whole;
    // A room within a pixel of the aspect is the picture's own shape: the
    // rule that sized the frame truncates, and so may be a pixel short.
    const float width = static_cast<float>(room.width());
    const float height = static_cast<float>(room.height());
    if (std::abs(width / aspect - height) < 1.0f || std::abs(height * aspect - width) < 1.0f)
        return whole;
    const QSize picture = platform::LargestWithin(room, aspect);
    return QRect(
        QPoint((room.width() - picture.width()) / 2, (room.height() - picture.height()) / 2),
        picture);
}

void VideoViewEdge::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    PlaceView();
    emit Resized();
}

void VideoViewEdge::PlaceView() {
    const QRect inside = contentsRect();
    view_->setGeometry(ViewRectIn(inside.size(), aspect_).translated(inside.topLeft()));
}
