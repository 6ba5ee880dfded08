#include "app/video_view.h"

#include "controls/control_classes.h"
#include "res/resource_ids.h"

#include <QHBoxLayout>
#include <QPalette>

CVideoView::CVideoView(QWidget* parent)
    : QWidget(parent) {
    // The class background: the black stock brush, and the arrow cursor.
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setCursor(Qt::ArrowCursor);
    tesselon::controls::SetControlId(this, res::ID_VIDEO_VIEW);
}

void CVideoView::paintEvent(QPaintEvent*) {
    // The background is filled by Qt; the picture comes from the presenter.
}

VideoViewEdge::VideoViewEdge(QWidget* parent)
    : QFrame(parent)
    , view_(new CVideoView(this)) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    auto* layout = new QHBoxLayout(this);
    // The layout works inside the frame's edge already.
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}
