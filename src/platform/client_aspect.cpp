#include "platform/client_aspect.h"

#include <QWidget>

#include <algorithm>

namespace platform {

std::optional<QSize> FitClientToAspect(QSize client, float aspect) {
    const int cx = client.width();
    const int cy = client.height();
    if (cy == 0 || aspect <= 0.0f)
        return std::nullopt;
    // The arithmetic is single precision, as the windows keep their aspect.
    const float ratio = static_cast<float>(cx) / static_cast<float>(cy);
    if (ratio >= aspect)
        return QSize(cx, static_cast<int>(static_cast<float>(cx) / aspect));
    return QSize(static_cast<int>(static_cast<float>(cy) * aspect), cy);
}

float AspectOf(int width, int height) {
    if (width <= 0 || height <= 0)
        return 0.0f;
    return static_cast<float>(width) / static_cast<float>(height);
}

QSize PictureGrid::ClientFor(QSize picture) const {
    return QSize(perSide * (picture.width() + margin.width()),
                 perSide * (picture.height() + margin.height()));
}

QSize PictureGrid::PictureIn(QSize client) const {
    const auto lastCell = [this](int extent) {
        return extent - (perSide - 1) * extent / perSide;
    };
    return QSize(std::max(lastCell(client.width()) - margin.width(), 1),
                 std::max(lastCell(client.height()) - margin.height(), 1));
}

std::optional<QSize> PictureGrid::Fit(QSize client, QSize maximum) const {
    if (client.height() == 0)
        return std::nullopt;
    const std::optional<QSize> picture = FitClientToAspect(PictureIn(client), pictureAspect);
    if (!picture)
        return std::nullopt;
    return ClientForPicture(*picture, maximum);
}

QSize PictureGrid::ClientForPicture(QSize picture, QSize maximum) const {
    const QSize client = ClientFor(picture);
    if (maximum.isEmpty() ||
        (client.width() <= maximum.width() && client.height() <= maximum.height()))
        return client;
    // Every cell's picture within the smaller share, so that the whole grid fits.
    const QSize room(std::max(maximum.width() / perSide - margin.width(), 1),
                     std::max(maximum.height() / perSide - margin.height(), 1));
    return ClientFor(LargestWithin(room.boundedTo(picture), pictureAspect));
}

QSize PictureGrid::ClientForPictureWidth(int width, QSize maximum) const {
    // A picture one row high is wider than any aspect: its width is kept.
    const QSize oneRow = ClientFor(QSize(std::max(width, 1), 1));
    return Fit(oneRow, maximum).value_or(oneRow);
}

QSize LargestWithin(QSize room, float aspect) {
    if (aspect <= 0.0f)
        return room;
    const float ratio = static_cast<float>(room.width()) / static_cast<float>(room.height());
    if (ratio >= aspect) // the height limits
        return QSize(std::max(static_cast<int>(static_cast<float>(room.height()) * aspect), 1),
                     room.height());
    return QSize(room.width(),
                 std::max(static_cast<int>(static_cast<float>(room.width()) / aspect), 1));
}

int MenuBarHeight(const QWidget* menuBar, int width) {
    if (menuBar == nullptr || menuBar->isHidden())
        return 0;
    int height = menuBar->heightForWidth(std::max(width, menuBar->minimumWidth()));
    if (height < 0)
        height = menuBar->sizeHint().height();
    return std::clamp(height, menuBar->minimumSizeHint().height(), menuBar->maximumHeight());
}

} // namespace platform
