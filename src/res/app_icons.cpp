#include "res/app_icons.h"

#include <QPainter>
#include <QPolygonF>

// The XPM images are C arrays.
#include "res/toolbar_about.xpm"
#include "res/toolbar_images.xpm"
#include "res/toolbar_images4.xpm"
#include "res/toolbar_next_frame.xpm"
#include "res/toolbar_open.xpm"
#include "res/toolbar_pause.xpm"
#include "res/toolbar_previous_frame.xpm"

namespace res {
namespace {

// The icon's own coordinates: a 48 × 48 square, as in the SVG's viewBox.
constexpr qreal kIconUnits = 48.0;

void PaintFilmStrip(QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2b, 0x2b, 0x2b));
    painter.drawRoundedRect(QRectF(2, 7, 44, 34), 3, 3);
    painter.setBrush(QColor(0xe8, 0xe8, 0xe8));
    for (int hole = 0; hole < 5; ++hole) {
        const qreal x = 6 + 8 * hole;
        painter.drawRect(QRectF(x, 9.5, 4, 3));
        painter.drawRect(QRectF(x, 35.5, 4, 3));
    }
}

void PaintPicture(QPainter& painter) {
    const QRectF picture(7, 15, 34, 18);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x5f, 0xa8, 0xe8));
    painter.drawRect(picture);
    painter.setBrush(QColor(0xff, 0xd7, 0x00));
    painter.drawEllipse(QPointF(33, 20), 3, 3);
    painter.setBrush(QColor(0x2e, 0x9e, 0x3e));
    painter.drawPolygon(QPolygonF(
        {QPointF(7, 33), QPointF(16, 23), QPointF(23, 29), QPointF(29, 24), QPointF(41, 33)}));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0xff, 0x8a, 0x00), 2));
    painter.drawRect(picture);
}

} // namespace

QPixmap AppIconPixmap(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / kIconUnits, side / kIconUnits);
    PaintFilmStrip(painter);
    PaintPicture(painter);
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64})
        icon.addPixmap(AppIconPixmap(side));
    return icon;
}

QPixmap ToolbarImage(ToolbarIcon icon) {
    switch (icon) {
    case ToolbarIcon::kOpen:
        return QPixmap(toolbar_open_xpm);
    case ToolbarIcon::kImages:
        return QPixmap(toolbar_images_xpm);
    case ToolbarIcon::kImages4:
        return QPixmap(toolbar_images4_xpm);
    case ToolbarIcon::kAbout:
        return QPixmap(toolbar_about_xpm);
    case ToolbarIcon::kPause:
        return QPixmap(toolbar_pause_xpm);
    case ToolbarIcon::kNextFrame:
        return QPixmap(toolbar_next_frame_xpm);
    case ToolbarIcon::kPreviousFrame:
        return QPixmap(toolbar_previous_frame_xpm);
    case ToolbarIcon::kNone:
        break;
    }
    return QPixmap();
}

} // namespace res
