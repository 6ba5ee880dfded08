#include "images/image_view.h"

#include "images/image_list.h"
#include "platform/client_aspect.h"
#include "platform/resampler.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace images {
namespace {

// The shown rows of a picture stretched to `size`; black for an empty
// position.
QImage StretchedImage(const ImageList& list, int index, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    const picture::Picture* shown = list.PictureAt(index);
    if (shown == nullptr) {
        image.fill(Qt::black);
        return image;
    }
    platform::ResampleSmooth(
        {image.bits(), static_cast<int>(image.bytesPerLine()), image.width(), image.height()},
        {shown->Pixels(), shown->Stride(), shown->Width(), list.Rows()});
    // The pictures' fourth byte is unused (0 in the band); Qt reads it as alpha.
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] |= 0xFF000000u;
    }
    return image;
}

} // namespace

ImageView::ImageView(const ImageList& list, int index, QWidget* parent)
    : QWidget(parent)
    , list_(list)
    , index_(index) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect ImageView::PictureRect() const {
    // The dialog sizes its views in aspect, give or take the pixels of its
    // halves and truncations; only a size it did not choose (a maximised
    // window) leaves bars.
    // Two pixels of height, or their width in a wide picture.
    const float aspect = list_.PictureAspect();
    const int slack = static_cast<int>(std::ceil(2.0f * std::max(aspect, 1.0f / aspect)));
    const QSize fitted = platform::LargestWithin(size(), aspect);
    if (width() - fitted.width() <= slack && height() - fitted.height() <= slack)
        return rect();
    QRect picture(QPoint(0, 0), fitted);
    picture.moveCenter(rect().center());
    return picture;
}

void ImageView::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    const QRect picture = PictureRect();
    if (picture != rect()) {
        const QRegion bars = QRegion(rect()).subtracted(picture);
        for (const QRect& bar : bars)
            painter.fillRect(bar, Qt::black);
    }
    painter.drawImage(picture.topLeft(), StretchedImage(list_, index_, picture.size()));
}

int ImageIndexOfSheet(const QWidget* sheet, const std::vector<ImageView*>& views) {
    const auto found = std::find(views.begin(), views.end(), sheet);
    return found == views.end() ? -1 : static_cast<int>(found - views.begin());
}

} // namespace images
